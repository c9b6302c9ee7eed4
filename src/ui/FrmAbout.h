#pragma once

#include <QDialog>
#include <QMargins>
#include <QPointF>
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

    // Where the dialog's outer top-left goes on a screen: centred across, a third of the spare
    // height down. Twips in, twips out; negative when the screen is smaller than the dialog.
    static QPointF placeOnScreen(QSizeF screenTwips, QSizeF outerTwips);

    // Frame assumed until the window system has told us the real one.
    static QMargins typicalFrame() { return {4, 34, 4, 4}; }

    // Prepares the dialog for an opening: places it on the primary screen and fills in the texts.
    void Load();
    // The same for a screen of the given size in twips.
    void Load(QSizeF screenTwips);

    // Opens the dialog application-modal, kept above keepAbove's window, and returns once it is
    // closed. Events, timers and signals elsewhere keep running meanwhile.
    void showModal(QWidget *keepAbove);

    // The dialog's size with its frame, in twips, as Load uses it.
    QSizeF outerSizeTwips() const;

    int loadCount() const { return m_loadCount; }

    void done(int result) override;

signals:
    void loaded();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::unique_ptr<QPixmap> m_background;
    QPushButton *m_cmdOK = nullptr;
    QLabel *m_lblTitle = nullptr;
    QLabel *m_lblVersion = nullptr;
    std::optional<QMargins> m_knownFrame;
    int m_loadCount = 0;
};
