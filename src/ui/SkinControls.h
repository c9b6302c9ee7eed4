#pragma once

#include <QColor>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

// Position and size in twips, kept as the program set them so that reading them back gives
// exactly what was written; the widget's pixels follow.
class TwipsBox
{
public:
    explicit TwipsBox(QWidget *self) : m_self(self) {}
    virtual ~TwipsBox() = default;

    float Left() const { return m_left; }
    float Top() const { return m_top; }
    float Width() const { return m_width; }
    float Height() const { return m_height; }
    void setLeft(float twips);
    void setTop(float twips);
    void setWidth(float twips);
    void setHeight(float twips);
    void setTwipsGeometry(float left, float top, float width, float height);

protected:
    void place();
    // Auto-sized controls report the size their content gave them.
    void takePixelSize(QSize size);

private:
    QWidget *m_self;
    float m_left = 0;
    float m_top = 0;
    float m_width = 0;
    float m_height = 0;
};

// An image control: shows its picture at the picture's own size and takes that size.
class SkinImage : public QWidget, public TwipsBox
{
    Q_OBJECT

public:
    explicit SkinImage(QWidget *parent = nullptr);

    QPixmap Picture() const { return m_picture; }
    void setPicture(const QPixmap &picture);

signals:
    void MouseDown();
    void MouseUp();
    void Click();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPixmap m_picture;
};

// A label with a transparent background whose size always follows its text.
class SkinLabel : public QLabel, public TwipsBox
{
    Q_OBJECT

public:
    explicit SkinLabel(QWidget *parent = nullptr);

    QString Caption() const { return text(); }
    void setCaption(const QString &caption);
    void setForeColor(const QColor &color);

signals:
    void MouseDown();
    void MouseUp();
    void Click();

protected:
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void autoSize();
};

// A plain rectangle painted in its fill colour with a thin black border.
class ShapeRect : public QWidget, public TwipsBox
{
    Q_OBJECT

public:
    explicit ShapeRect(const QColor &fill, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
};
