#pragma once

#include <QAbstractSpinBox>
#include <QDialog>
#include <QtGlobal>

#include <optional>

class QDialogButtonBox;
class QLabel;

// The two marks in hundredths of a second.
struct MarkHundredths
{
    qint64 start = 0;
    qint64 end = 0;
};

// A field for one mark's time with an up-down control. It holds text, not a value: what the
// person typed stays as typed until it reads as a time, so a half-typed time is never taken.
// Up, Down and the wheel move 0.01 s, PageUp and PageDown 1 s, within 0 and the file's length.
class MarkTimeEdit : public QAbstractSpinBox
{
    Q_OBJECT

public:
    explicit MarkTimeEdit(QWidget *parent = nullptr);

    // The file's length, which also decides whether the hours are shown.
    void setLength(qint64 hundredths);
    void setHundredths(qint64 hundredths);
    // The time the text reads as; nullopt while it is not a time.
    std::optional<qint64> hundredths() const;

    QValidator::State validate(QString &input, int &pos) const override;
    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The text changed, typed or stepped.
    void timeChanged();

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    qint64 m_length = 0;
    bool m_withHours = false;
};

// Asks for both marks' times, refusing in place what cannot be a piece of the file: the reason
// stands beside the wrong field and 确定 stays disabled until it is mended.
class MarkTimesDialog : public QDialog
{
    Q_OBJECT

public:
    MarkTimesDialog(QWidget *parent, MarkHundredths marks, qint64 length);

    // The times as they stand; nullopt while either is refused.
    std::optional<MarkHundredths> marks() const;

    void accept() override;

private:
    enum class Edited { Start, End };
    void check(Edited last);

    qint64 m_length;
    MarkTimeEdit *m_start = nullptr;
    MarkTimeEdit *m_end = nullptr;
    QLabel *m_startReason = nullptr;
    QLabel *m_endReason = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
};

// Modal, titled with the program's name. `length`: the file's length in hundredths. Returns the
// accepted times; nullopt on 取消, Esc or closing the window.
std::optional<MarkHundredths> askMarkTimes(QWidget *parent, MarkHundredths marks, qint64 length);
