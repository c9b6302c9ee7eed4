#include "ui/SkinControls.h"

#include "ui/Twips.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

void TwipsBox::setLeft(float twips)
{
    m_left = twips;
    place();
}

void TwipsBox::setTop(float twips)
{
    m_top = twips;
    place();
}

void TwipsBox::setWidth(float twips)
{
    m_width = twips;
    place();
}

void TwipsBox::setHeight(float twips)
{
    m_height = twips;
    place();
}

void TwipsBox::setTwipsGeometry(float left, float top, float width, float height)
{
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    place();
}

void TwipsBox::place()
{
    m_self->setGeometry(Twips::toPixelRect(m_left, m_top, m_width, m_height));
}

void TwipsBox::takePixelSize(QSize size)
{
    m_width = Twips::fromPixels(size.width());
    m_height = Twips::fromPixels(size.height());
    place();
}

namespace {

// A click is a left-button press and release that both happen on the control.
bool completesClick(const QWidget *widget, const QMouseEvent *event)
{
    return event->button() == Qt::LeftButton &&
           widget->rect().contains(event->position().toPoint());
}

} // namespace

SkinImage::SkinImage(QWidget *parent) : QWidget(parent), TwipsBox(this)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void SkinImage::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    // The logical size: a picture drawn at twice the size for a scaled screen takes no more room.
    takePixelSize(picture.deviceIndependentSize().toSize());
    update();
}

void SkinImage::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Between 100 % and 200 % the picture drawn at twice the size is scaled down, smoothly.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(0, 0, m_picture);
}

void SkinImage::mousePressEvent(QMouseEvent *)
{
    emit MouseDown();
}

void SkinImage::mouseReleaseEvent(QMouseEvent *event)
{
    emit MouseUp();
    if (completesClick(this, event))
        emit Click();
}

SkinLabel::SkinLabel(QWidget *parent) : QLabel(parent), TwipsBox(this)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    setMargin(0);
    setIndent(0);
}

void SkinLabel::setCaption(const QString &caption)
{
    setText(caption);
    autoSize();
}

void SkinLabel::setForeColor(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

void SkinLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        autoSize();
}

void SkinLabel::autoSize()
{
    takePixelSize(sizeHint());
}

void SkinLabel::mousePressEvent(QMouseEvent *)
{
    emit MouseDown();
}

void SkinLabel::mouseReleaseEvent(QMouseEvent *event)
{
    emit MouseUp();
    if (completesClick(this, event))
        emit Click();
}

ShapeRect::ShapeRect(const QColor &fill, QWidget *parent)
    : QWidget(parent), TwipsBox(this), m_fill(fill)
{
}

void ShapeRect::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_fill);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
