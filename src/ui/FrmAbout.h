#pragma once

#include <QDialog>
#include <QMargins>
#include <QSizeF>

#include <memory>
#include <optional>

class QLabel;
class QPixmap;
class QPushButton;

// The About box: program title, version, what the program does and who made it.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);
    ~frmAbout() override;

    // Prepares the dialog for an opening: places it on the primary screen and fills in the texts.
    void Load();
    // The same for a screen of the given size in twips.
    void Load(QSizeF screenTwips);

    // Opens the dialog application-modal, kept above keepAbove's window, and returns once it is
    // closed. Events, timers and signals elsewhere keep running meanwhile.
    void showModal(QWidget *keepAbove);

    // The dialog's size with its frame, in twips, as Load uses it.
    QSizeF outerSizeTwips() const;

    void done(int result) override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::unique_ptr<QPixmap> m_background;
    QPushButton *m_cmdOK = nullptr;
    QLabel *m_lblTitle = nullptr;
    QLabel *m_lblVersion = nullptr;
    std::optional<QMargins> m_knownFrame;
};
