#include "ui/FrmAbout.h"

#include "AppInfo.h"
#include "ui/ScreenPlacement.h"
#include "ui/SkinPicture.h"
#include "ui/Twips.h"
#include "ui/WindowFrame.h"

#include <QColor>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QWindow>

namespace {

// A push button whose face is a picture, centred and cut to the button, with the caption on top.
class PictureFaceButton : public QPushButton
{
public:
    PictureFaceButton(const QString &caption, const QString &facePath, QWidget *parent)
        : QPushButton(caption, parent), m_face(skinPicture(facePath))
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        painter.drawControl(QStyle::CE_PushButtonBevel, option);

        if (!m_face.isNull()) {
            // Leave the bevel's edge visible so it still reads as a button.
            const int edge = 2;
            painter.save();
            painter.setClipRect(rect().adjusted(edge, edge, -edge, -edge));
            QRect face(QPoint(), m_face.deviceIndependentSize().toSize());
            face.moveCenter(rect().center());
            if (isDown())
                face.translate(1, 1);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawPixmap(face.topLeft(), m_face);
            painter.restore();
        }

        painter.drawControl(QStyle::CE_PushButtonLabel, option);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }

private:
    QPixmap m_face;
};

// A straight horizontal line of a given thickness; two of them make the etched separator.
class FlatLine : public QWidget
{
public:
    FlatLine(const QColor &colour, QWidget *parent) : QWidget(parent), m_colour(colour)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), m_colour); }

private:
    QColor m_colour;
};

// Lines are given by their end points in twips; the end point itself is not drawn.
FlatLine *addLine(QWidget *parent, int index, int x1, int x2, int y, int thickness,
                  const QColor &colour)
{
    auto *line = new FlatLine(colour, parent);
    line->setObjectName(QStringLiteral("Line1"));
    line->setProperty("index", index);
    const int left = Twips::toPixels(static_cast<float>(x1));
    const int right = Twips::toPixels(static_cast<float>(x2));
    line->setGeometry(left, Twips::toPixels(static_cast<float>(y)), right - left, thickness);
    return line;
}

QLabel *addLabel(QWidget *parent, const char *name, const QRect &geometry, bool blackText)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    // Plain text keeps the description's leading blanks; rich text would fold them away.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (blackText) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
    }
    return label;
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent),
      m_background(std::make_unique<QPixmap>(skinPicture(QStringLiteral(":/about-background.jpg"))))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/velquist.ico")));
    setFixedSize(Twips::toPixels(5730.0f), Twips::toPixels(3555.0f));

    // The separator lies under everything else, so it is made first.
    addLine(this, 1, 90, 5654, 2445, 1, QColor(128, 128, 128));
    addLine(this, 0, 105, 5654, 2460, 2, Qt::white);

    m_cmdOK = new PictureFaceButton(QStringLiteral("确定"), QStringLiteral(":/about-ok.jpg"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(Twips::toPixelRect(4125, 2625, 1500, 345));
    m_cmdOK->setDefault(true);
    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(Twips::toPixelRect(240, 240, 540, 540));
    picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picIcon->setLineWidth(2);
    picIcon->setScaledContents(true);
    picIcon->setPixmap(skinPicture(QStringLiteral(":/about-icon.ico")));
    // Like any picture box, it is a stop on the Tab round.
    picIcon->setFocusPolicy(Qt::StrongFocus);

    QLabel *description =
        addLabel(this, "lblDescription", Twips::toPixelRect(1050, 1125, 3765, 1170), true);
    description->setText(
        QStringLiteral("    说明：本程序为剪切mp3文件的小工具。能从mp3文件中任意切取一段，"
                       "另存为一个新的mp3文件。欢迎使用本软件。"));

    QLabel *disclaimer =
        addLabel(this, "lblDisclaimer", Twips::toPixelRect(255, 2625, 2790, 825), true);
    // The address without its scheme, as people write it.
    const QString homepage =
        QString::fromLatin1(AppInfo::Homepage).section(QStringLiteral("://"), -1);
    disclaimer->setText(QStringLiteral("本软件由 Velquist 提供。\n"
                                       "作者：Velquist 工作室\n"
                                       "主页：") +
                        homepage);

    m_lblTitle = addLabel(this, "lblTitle", Twips::toPixelRect(1050, 240, 3885, 480), true);
    m_lblVersion = addLabel(this, "lblVersion", Twips::toPixelRect(1050, 780, 3885, 225), false);

    setTabOrder(m_cmdOK, picIcon);
}

frmAbout::~frmAbout() = default;

QSizeF frmAbout::outerSizeTwips() const
{
    const QSize outer = size().grownBy(m_knownFrame.value_or(DesignedFrame));
    return {Twips::fromPixels(outer.width()), Twips::fromPixels(outer.height())};
}

void frmAbout::Load()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize pixels = screen ? screen->size() : QSize(0, 0);
    Load(QSizeF(Twips::fromPixels(pixels.width()), Twips::fromPixels(pixels.height())));
}

void frmAbout::Load(QSizeF screenTwips)
{
    const QPointF where = ::placeOnScreen(screenTwips, outerSizeTwips());
    move(Twips::toPixels(static_cast<float>(where.x())),
         Twips::toPixels(static_cast<float>(where.y())));

    const QString title = QString::fromUtf8(AppInfo::Title);
    setWindowTitle(QStringLiteral("关于 ") + title);
    m_lblVersion->setText(QStringLiteral("版本 ") + QString::fromLatin1(AppInfo::Version));
    m_lblTitle->setText(title);

    // Each opening starts on the button, wherever the focus was left last time.
    m_cmdOK->setFocus(Qt::OtherFocusReason);
}

void frmAbout::showModal(QWidget *keepAbove)
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    Load();
    setWindowModality(Qt::ApplicationModal);
    if (keepAbove) {
        // No owner widget, yet the window manager keeps us above the main window.
        winId();
        if (QWindow *above = keepAbove->window()->windowHandle())
            windowHandle()->setTransientParent(above);
    }
    exec();
}

void frmAbout::done(int result)
{
    // While still shown, the window system knows our real frame; the next opening uses it.
    if (const QWindow *window = windowHandle(); window && isVisible())
        m_knownFrame = window->frameMargins();
    QDialog::done(result);
}

void frmAbout::paintEvent(QPaintEvent *)
{
    if (!m_background->isNull()) {
        // Drawn at its own size; whatever lies past the client area is simply cut off.
        QPainter painter(this);
        // Between 100 % and 200 % the picture drawn at twice the size is scaled down, smoothly.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(0, 0, *m_background);
    }
}
