#include "platform/PlayerTransportBar.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>

namespace {

// A classic dark media-bar palette; turquoise marks what is live.
const QColor barTop(0x34, 0x37, 0x3d);
const QColor barBottom(0x09, 0x0a, 0x0c);
const QColor barTopEdge(0x74, 0x7a, 0x84);
const QColor glyphNormal(0xc4, 0xc9, 0xce);
const QColor glyphHover(0x5c, 0xdc, 0xdc);
const QColor glyphPressed(0x2e, 0xa8, 0xa8);
const QColor glyphDisabled(0x55, 0x59, 0x5f);
const QColor grooveBase(0x16, 0x18, 0x1b);
const QColor grooveEdge(0x4a, 0x4f, 0x56);
const QColor grooveFillStart(0x1f, 0x9a, 0x9e);
const QColor grooveFillEnd(0x5c, 0xdc, 0xdc);
const QColor handleColour(0xe2, 0xe6, 0xe9);
const QColor statusColour(0xa8, 0xad, 0xb3);

constexpr int statusLeft = 70;
constexpr int statusRight = 195;

} // namespace

// A flat button that draws its own glyph instead of a grey Qt face.
class BarButton : public QAbstractButton
{
public:
    enum class Glyph { Play, Pause, Stop, Speaker, SpeakerMuted };

    explicit BarButton(Glyph glyph, bool ringed, QWidget *parent = nullptr)
        : QAbstractButton(parent), m_glyph(glyph), m_ringed(ringed)
    {
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
        setCursor(Qt::PointingHandCursor);
    }

    void setGlyph(Glyph glyph)
    {
        m_glyph = glyph;
        update();
    }
    Glyph glyph() const { return m_glyph; }

    QSize sizeHint() const override { return {22, 22}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor colour = glyphNormal;
        if (!isEnabled())
            colour = glyphDisabled;
        else if (isDown())
            colour = glyphPressed;
        else if (underMouse())
            colour = glyphHover;

        const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (m_ringed) {
            QRadialGradient shine(box.center() - QPointF(0, box.height() / 4), box.width() / 1.6);
            shine.setColorAt(0, QColor(0x4a, 0x4f, 0x57));
            shine.setColorAt(1, QColor(0x14, 0x16, 0x19));
            p.setBrush(shine);
            p.setPen(QPen(colour, 1.2));
            p.drawEllipse(box);
        } else if (underMouse() && isEnabled()) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 22));
            p.drawRoundedRect(box, 3, 3);
        }

        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        const QPointF c = box.center();
        const qreal s = std::min(box.width(), box.height()) / 2.0; // half the usable size
        switch (m_glyph) {
        case Glyph::Play: {
            const qreal h = s * 0.55;
            const QPointF tri[] = {{c.x() - h * 0.7, c.y() - h},
                                   {c.x() - h * 0.7, c.y() + h},
                                   {c.x() + h * 1.0, c.y()}};
            p.drawPolygon(tri, 3);
            break;
        }
        case Glyph::Pause: {
            const qreal h = s * 0.5;
            const qreal w = h * 0.45;
            p.drawRect(QRectF(c.x() - h * 0.6 - w / 2, c.y() - h, w, 2 * h));
            p.drawRect(QRectF(c.x() + h * 0.6 - w / 2, c.y() - h, w, 2 * h));
            break;
        }
        case Glyph::Stop: {
            const qreal h = s * 0.45;
            p.drawRect(QRectF(c.x() - h, c.y() - h, 2 * h, 2 * h));
            break;
        }
        case Glyph::Speaker:
        case Glyph::SpeakerMuted: {
            const qreal h = s * 0.55;
            const qreal left = c.x() - h * 1.1;
            const QPointF cone[] = {
                {left, c.y() - h * 0.4},           {left + h * 0.5, c.y() - h * 0.4},
                {left + h * 1.1, c.y() - h},       {left + h * 1.1, c.y() + h},
                {left + h * 0.5, c.y() + h * 0.4}, {left, c.y() + h * 0.4}};
            p.drawPolygon(cone, 6);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(colour, 1.4, Qt::SolidLine, Qt::RoundCap));
            const qreal x = left + h * 1.5;
            if (m_glyph == Glyph::Speaker) {
                p.drawArc(QRectF(x - h * 0.6, c.y() - h * 0.6, h * 1.2, h * 1.2), -50 * 16,
                          100 * 16);
                p.drawArc(QRectF(x - h * 1.1, c.y() - h * 1.1, h * 2.2, h * 2.2), -50 * 16,
                          100 * 16);
            } else {
                const qreal d = h * 0.5;
                const QPointF m(x + d * 0.9, c.y());
                p.drawLine(m + QPointF(-d, -d), m + QPointF(d, d));
                p.drawLine(m + QPointF(-d, d), m + QPointF(d, -d));
            }
            break;
        }
        }
    }

private:
    Glyph m_glyph;
    bool m_ringed;
};

// A slim horizontal slider, painted here; a press jumps the handle to the pointer.
class BarSlider : public QAbstractSlider
{
public:
    explicit BarSlider(bool wheelAdjusts, QWidget *parent = nullptr)
        : QAbstractSlider(parent), m_wheelAdjusts(wheelAdjusts)
    {
        setOrientation(Qt::Horizontal);
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF groove = grooveRect();
        p.setPen(QPen(grooveEdge, 1));
        p.setBrush(grooveBase);
        p.drawRoundedRect(groove, 2, 2);

        const qreal x = handleX();
        if (isEnabled() && maximum() > minimum()) {
            QLinearGradient fill(groove.topLeft(), groove.topRight());
            fill.setColorAt(0, grooveFillStart);
            fill.setColorAt(1, grooveFillEnd);
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawRoundedRect(
                QRectF(groove.left(), groove.top(), x - groove.left(), groove.height()), 2, 2);
        }
        if (!isEnabled())
            return;
        const bool lit = isSliderDown() || underMouse();
        const qreal r = lit ? handleRadius : handleRadius - 1;
        p.setPen(QPen(QColor(0, 0, 0, 160), 1));
        p.setBrush(lit ? glyphHover : handleColour);
        p.drawEllipse(QPointF(x, height() / 2.0), r, r);
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton || maximum() <= minimum()) {
            event->ignore();
            return;
        }
        setSliderDown(true);
        setSliderPosition(valueAt(event->position().x()));
        event->accept();
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!isSliderDown()) {
            event->ignore();
            return;
        }
        setSliderPosition(valueAt(event->position().x()));
        event->accept();
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (!isSliderDown() || event->button() != Qt::LeftButton) {
            event->ignore();
            return;
        }
        setSliderPosition(valueAt(event->position().x()));
        setSliderDown(false);
        event->accept();
    }

    void wheelEvent(QWheelEvent *event) override
    {
        if (m_wheelAdjusts)
            QAbstractSlider::wheelEvent(event);
        else
            event->ignore();
    }

private:
    static constexpr qreal handleRadius = 5.0;

    QRectF grooveRect() const
    {
        const qreal h = 4.0;
        return {handleRadius, (height() - h) / 2.0, width() - 2 * handleRadius, h};
    }

    qreal handleX() const
    {
        const QRectF groove = grooveRect();
        if (maximum() <= minimum())
            return groove.left();
        const qreal share =
            qreal(sliderPosition() - minimum()) / (qreal(maximum()) - qreal(minimum()));
        return groove.left() + std::clamp(share, 0.0, 1.0) * groove.width();
    }

    int valueAt(qreal x) const
    {
        const QRectF groove = grooveRect();
        if (groove.width() <= 0)
            return minimum();
        const qreal share = std::clamp((x - groove.left()) / groove.width(), 0.0, 1.0);
        return minimum() + qRound(share * (qreal(maximum()) - qreal(minimum())));
    }

    bool m_wheelAdjusts;
};

PlayerTransportBar::PlayerTransportBar(QWidget *parent)
    : QWidget(parent), m_playPause(new BarButton(BarButton::Glyph::Play, true, this)),
      m_stop(new BarButton(BarButton::Glyph::Stop, false, this)),
      m_mute(new BarButton(BarButton::Glyph::Speaker, false, this)),
      m_seek(new BarSlider(false, this)), m_volume(new BarSlider(true, this)),
      m_status(QStringLiteral("就绪"))
{
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_playPause->setToolTip(QStringLiteral("播放"));
    m_stop->setToolTip(QStringLiteral("停止"));
    m_mute->setToolTip(QStringLiteral("静音"));
    m_mute->setCheckable(true);
    m_seek->setToolTip(QStringLiteral("进度"));
    m_seek->setRange(0, 0);
    m_seek->setEnabled(false);
    m_volume->setToolTip(QStringLiteral("音量"));
    m_volume->setRange(0, 100);
    m_volume->setSingleStep(5);
    m_volume->setPageStep(10);
    m_volume->setValue(50);

    connect(m_playPause, &QAbstractButton::clicked, this, [this] {
        if (m_playing)
            emit pauseRequested();
        else
            emit playRequested();
    });
    connect(m_stop, &QAbstractButton::clicked, this, &PlayerTransportBar::stopRequested);
    connect(m_mute, &QAbstractButton::toggled, this, &PlayerTransportBar::muteRequested);
    // Seek once, where the user lets go, rather than on every pixel of a drag.
    connect(m_seek, &QAbstractSlider::sliderReleased, this,
            [this] { emit seekRequested(m_seek->sliderPosition()); });
    connect(m_volume, &QAbstractSlider::valueChanged, this, &PlayerTransportBar::volumeRequested);

    resize(sizeHint());
    layoutControls();
}

QAbstractButton *PlayerTransportBar::playPauseButton() const
{
    return m_playPause;
}
QAbstractButton *PlayerTransportBar::stopButton() const
{
    return m_stop;
}
QAbstractButton *PlayerTransportBar::muteButton() const
{
    return m_mute;
}
QAbstractSlider *PlayerTransportBar::seekSlider() const
{
    return m_seek;
}
QAbstractSlider *PlayerTransportBar::volumeSlider() const
{
    return m_volume;
}

QSize PlayerTransportBar::sizeHint() const
{
    return {385, 49};
}

void PlayerTransportBar::setCompact(bool on)
{
    m_compact = on;
    m_mute->setVisible(!on);
    m_volume->setVisible(!on);
    update();
}

void PlayerTransportBar::setPlaying(bool playing)
{
    m_playing = playing;
    m_playPause->setGlyph(playing ? BarButton::Glyph::Pause : BarButton::Glyph::Play);
    m_playPause->setToolTip(playing ? QStringLiteral("暂停") : QStringLiteral("播放"));
}

void PlayerTransportBar::setDuration(qint64 milliseconds)
{
    const int top = static_cast<int>(std::clamp<qint64>(milliseconds, 0, INT_MAX));
    m_seek->setRange(0, top);
    m_seek->setEnabled(top > 0);
    // From an hour on the window's time text ("1:52:28/2:00:00") is longer; the volume makes room.
    const bool hours = milliseconds >= 3600 * 1000;
    if (hours != m_hours) {
        m_hours = hours;
        layoutControls();
    }
}

void PlayerTransportBar::setPosition(qint64 milliseconds)
{
    if (m_seek->isSliderDown())
        return;
    m_seek->setValue(static_cast<int>(std::clamp<qint64>(milliseconds, 0, m_seek->maximum())));
    m_seek->update();
}

void PlayerTransportBar::setSeekable(bool seekable)
{
    m_seek->setEnabled(seekable && m_seek->maximum() > 0);
}

void PlayerTransportBar::setVolume(int percent)
{
    const QSignalBlocker quiet(m_volume);
    m_volume->setValue(percent);
    m_volume->update();
}

void PlayerTransportBar::setMuted(bool muted)
{
    const QSignalBlocker quiet(m_mute);
    m_mute->setChecked(muted);
    m_mute->setGlyph(muted ? BarButton::Glyph::SpeakerMuted : BarButton::Glyph::Speaker);
    m_mute->setToolTip(muted ? QStringLiteral("取消静音") : QStringLiteral("静音"));
}

void PlayerTransportBar::setStatusText(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    update(QRect(statusLeft, height() / 2, statusRight - statusLeft, height() - height() / 2));
}

void PlayerTransportBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QLinearGradient shade(0, 0, 0, height());
    shade.setColorAt(0, barTop);
    shade.setColorAt(0.45, QColor(0x1a, 0x1c, 0x20));
    shade.setColorAt(1, barBottom);
    p.fillRect(rect(), shade);
    p.setPen(barTopEdge);
    p.drawLine(0, 0, width() - 1, 0);
    p.setPen(QColor(0, 0, 0));
    p.drawLine(0, height() - 1, width() - 1, height() - 1);

    if (m_compact || m_status.isEmpty())
        return;
    QFont small = font();
    small.setPixelSize(12);
    p.setFont(small);
    p.setPen(statusColour);
    const QRect area(statusLeft, 20, statusRight - statusLeft, height() - 22);
    p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(small).elidedText(m_status, Qt::ElideRight, area.width()));
}

void PlayerTransportBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void PlayerTransportBar::layoutControls()
{
    const int w = width();
    m_seek->setGeometry(4, 3, std::max(0, w - 8), 14);
    m_playPause->setGeometry(8, 21, 25, 25);
    m_stop->setGeometry(39, 23, 21, 21);
    // Kept right of x = 290 at the stock width (x = 322 for media of an hour or more); the
    // window's time text lives left of that.
    const int shorter = m_hours ? 32 : 0;
    m_mute->setGeometry(w - 92 + shorter, 23, 21, 21);
    m_volume->setGeometry(w - 68 + shorter, 26, 62 - shorter, 14);
}
