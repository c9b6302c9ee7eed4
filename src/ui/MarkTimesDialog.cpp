#include "ui/MarkTimesDialog.h"

#include "AppInfo.h"
#include "core/TimeText.h"
#include "ui/DefaultFont.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// An hour in hundredths: from there on the times show their hours.
constexpr qint64 Hour = 360000;
// PageUp and PageDown move a whole second.
constexpr int PageSteps = 100;
// Longer than any time a person would type.
constexpr qsizetype LongestText = 16;

bool mayBeInTime(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char(':') ||
           c == QLatin1Char('.') || c == QLatin1Char(' ') || c == QChar(0xFF1A) ||
           c == QChar(0x3002) || c == QChar(0xFF0E);
}

QString formatReason(bool withHours)
{
    return withHours ? QStringLiteral("时间的格式是 时:分:秒.百分秒")
                     : QStringLiteral("时间的格式是 分:秒.百分秒");
}

QString pastEndReason(qint64 length)
{
    return QStringLiteral("超出文件长度 ") + TimeText::fromHundredths(length, length >= Hour);
}

const QString StartNotBeforeEnd = QStringLiteral("开始必须早于结束");

QLabel *reasonLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0xC0, 0x00, 0x00));
    label->setPalette(palette);
    return label;
}

} // namespace

MarkTimeEdit::MarkTimeEdit(QWidget *parent) : QAbstractSpinBox(parent)
{
    setAccelerated(true);
    connect(lineEdit(), &QLineEdit::textChanged, this, &MarkTimeEdit::timeChanged);
}

void MarkTimeEdit::setLength(qint64 hundredths)
{
    m_length = std::max<qint64>(hundredths, 0);
    m_withHours = m_length >= Hour;
    updateGeometry();
}

void MarkTimeEdit::setHundredths(qint64 hundredths)
{
    lineEdit()->setText(TimeText::fromHundredths(hundredths, m_withHours));
}

std::optional<qint64> MarkTimeEdit::hundredths() const
{
    return TimeText::hundredthsFrom(text());
}

QValidator::State MarkTimeEdit::validate(QString &input, int &) const
{
    // Keys that cannot be part of a time are refused as they are typed; the rest is left to the
    // dialog, which says what is wrong rather than undoing it.
    if (input.size() > LongestText || !std::all_of(input.cbegin(), input.cend(), mayBeInTime))
        return QValidator::Invalid;
    return TimeText::hundredthsFrom(input) ? QValidator::Acceptable : QValidator::Intermediate;
}

void MarkTimeEdit::stepBy(int steps)
{
    const auto now = hundredths();
    if (!now)
        return;
    setHundredths(std::clamp<qint64>(*now + steps, 0, m_length));
}

QAbstractSpinBox::StepEnabled MarkTimeEdit::stepEnabled() const
{
    const auto now = hundredths();
    if (!now)
        return StepNone;
    StepEnabled enabled = StepNone;
    if (*now > 0)
        enabled |= StepDownEnabled;
    if (*now < m_length)
        enabled |= StepUpEnabled;
    return enabled;
}

void MarkTimeEdit::keyPressEvent(QKeyEvent *event)
{
    // The spin box's own page step is ten steps, a tenth of a second here; a second is what a
    // page of a song is.
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        const bool up = event->key() == Qt::Key_PageUp;
        if (stepEnabled() & (up ? StepUpEnabled : StepDownEnabled))
            stepBy(up ? PageSteps : -PageSteps);
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

QSize MarkTimeEdit::sizeHint() const
{
    ensurePolished();
    // The widest time with room for two more digits, so that the text never meets the arrows.
    const QString widest =
        m_withHours ? QStringLiteral("00:00:00.0000") : QStringLiteral("00:00.0000");
    const QSize text(fontMetrics().horizontalAdvance(widest), lineEdit()->sizeHint().height());
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, text, this);
}

QSize MarkTimeEdit::minimumSizeHint() const
{
    return sizeHint();
}

MarkTimesDialog::MarkTimesDialog(QWidget *parent, MarkHundredths marks, qint64 length)
    : QDialog(parent), m_length(std::max<qint64>(length, 0))
{
    setObjectName(QStringLiteral("MarkTimesDialog"));
    setWindowTitle(QString::fromUtf8(AppInfo::Title));
    // A small box of fixed size: a close button, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(defaultFont());
    const bool withHours = m_length >= Hour;

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->addWidget(new QLabel(QStringLiteral("文件长度："), this), 0, 0);
    auto *lblLength = new QLabel(TimeText::fromHundredths(m_length, withHours), this);
    lblLength->setObjectName(QStringLiteral("lblLength"));
    // Lined up with the times in the fields, past their frame.
    lblLength->setIndent(style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 1);
    grid->addWidget(lblLength, 0, 1, 1, 2);

    const auto addRow = [&](int row, const QString &caption, const char *name, qint64 value,
                            QLabel *&reason) {
        auto *field = new MarkTimeEdit(this);
        field->setObjectName(QString::fromLatin1(name));
        field->setLength(m_length);
        field->setHundredths(value);
        auto *label = new QLabel(caption, this);
        label->setBuddy(field);
        reason = reasonLabel(this);
        reason->setObjectName(QString::fromLatin1(name) + QStringLiteral("Reason"));
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(reason, row, 2);
        return field;
    };
    m_start = addRow(1, QStringLiteral("开始："), "start", marks.start, m_startReason);
    m_end = addRow(2, QStringLiteral("结束："), "end", marks.end, m_endReason);

    // Room for the longest reason, so that the dialog does not change its size as they come
    // and go.
    const QFontMetrics metrics(font());
    const int reasonWidth = std::max({metrics.horizontalAdvance(formatReason(withHours)),
                                      metrics.horizontalAdvance(pastEndReason(m_length)),
                                      metrics.horizontalAdvance(StartNotBeforeEnd)});
    grid->setColumnMinimumWidth(2, reasonWidth + 4);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // Written out: the texts do not depend on Qt's translations being installed.
    m_buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    m_buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &MarkTimesDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &MarkTimesDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addWidget(m_buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_start, &MarkTimeEdit::timeChanged, this, [this] { check(Edited::Start); });
    connect(m_end, &MarkTimeEdit::timeChanged, this, [this] { check(Edited::End); });
    check(Edited::End);

    // Typing replaces the start at once; Tab goes on to the end with its text selected.
    m_start->setFocus(Qt::OtherFocusReason);
    m_start->selectAll();
}

void MarkTimesDialog::check(Edited last)
{
    const bool withHours = m_length >= Hour;
    const auto fieldReason = [&](std::optional<qint64> time) {
        if (!time)
            return formatReason(withHours);
        return *time > m_length ? pastEndReason(m_length) : QString();
    };
    const auto start = m_start->hundredths();
    const auto end = m_end->hundredths();
    QString startReason = fieldReason(start);
    QString endReason = fieldReason(end);
    // Out of order is told beside the field just changed, which is the one to mend.
    if (startReason.isEmpty() && endReason.isEmpty() && *start >= *end) {
        if (last == Edited::Start)
            startReason = StartNotBeforeEnd;
        else
            endReason = QStringLiteral("结束必须晚于开始");
    }
    m_startReason->setText(startReason);
    m_endReason->setText(endReason);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(marks().has_value());
}

std::optional<MarkHundredths> MarkTimesDialog::marks() const
{
    const auto start = m_start->hundredths();
    const auto end = m_end->hundredths();
    if (!start || !end || *start >= *end || *end > m_length)
        return std::nullopt;
    return MarkHundredths{*start, *end};
}

void MarkTimesDialog::accept()
{
    // Whatever way it comes, an acceptance of refused times is no acceptance.
    if (marks())
        QDialog::accept();
}

std::optional<MarkHundredths> askMarkTimes(QWidget *parent, MarkHundredths marks, qint64 length)
{
    MarkTimesDialog dialog(parent, marks, length);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.marks();
}
