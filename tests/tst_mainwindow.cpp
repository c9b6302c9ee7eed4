#include "WindowFixture.h"

#include "app/FrmMain.h"
#include "platform/PlayerTransportBar.h"
#include "platform/QtMediaPlayer.h"
#include "ui/SkinControls.h"
#include "ui/Twips.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

// The window as it comes up: its controls as designed, the start-up state and the size cap.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void startsInItsWorkingState();
    void controlsAreWhereDesigned_data();
    void controlsAreWhereDesigned();
    void stackingOrderIsAsDesigned();
    void captionsSitOnTheirFaces();
    void captionsKeepTheirOwnColoursUnderADarkTheme();
    void sizeIsCapped_data();
    void sizeIsCapped();
    void maximizeIsUndone_data();
    void maximizeIsUndone();
    void startupSurvivesAFailingPlayer();
    void timeTextOfHoursClearsTheVolume();
};

void TestMainWindow::startsInItsWorkingState()
{
    FakePlatform fake;
    FrmMain window(fake.take());

    QCOMPARE(window.windowTitle(), QStringLiteral("Velquistmp3剪切器-1.2.2"));
    QCOMPARE(skinOf(window).LabTime->Caption(), QStringLiteral("00:00/00"));
    QCOMPARE(skinOf(window).LabFname->Caption(), QStringLiteral("没有播放文件"));
    QVERIFY(skinOf(window).ShapXuan->isHidden());
    QVERIFY(!skinOf(window).Timer1->isActive());
    QCOMPARE(skinOf(window).Timer1->interval(), 1000);

    for (const FakeFileDialog *dialog : {fake.open, fake.save}) {
        QCOMPARE(dialog->Filter(), QStringLiteral("mp3文件(*.mp3)|*.mp3"));
        QCOMPARE(dialog->Flags(), 4098);
        QVERIFY(dialog->FileName().isEmpty());
    }

    QVERIFY(!fake.player->fullScreen);
    QVERIFY(!fake.player->stretchToFit);
    QVERIFY(!fake.player->contextMenu);
    QCOMPARE(fake.player->uiMode, QStringLiteral("full"));

    QCOMPARE(window.size(), QSize(413, 179));
    // Centred across, a third down, with the designed 6315 x 3195 twip outer size.
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const float left = (screen.width() * 15.0f - 6315.0f) / 2.0f;
    const float top = (screen.height() * 15.0f - 3195.0f) / 3.0f;
    QCOMPARE(window.pos(), QPoint(Twips::toPixels(left), Twips::toPixels(top)));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
}

void TestMainWindow::controlsAreWhereDesigned_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");
    QTest::addColumn<float>("width"); // 0: sized by its content
    QTest::addColumn<float>("height");
    QTest::addColumn<QString>("caption");

    auto row = [](const char *name, float l, float t, float w, float h, const char *caption) {
        QTest::newRow(name) << QString::fromLatin1(name) << l << t << w << h
                            << QString::fromUtf8(caption);
    };
    row("LabGuanyu", 3840, 2160, 0, 0, "关于……");
    row("ImgGuanyu", 3600, 2040, 1305, 435, "");
    row("LabBaocun", 1635, 2160, 0, 0, "保存新文件");
    row("ImgSave", 1440, 2040, 1305, 435, "");
    row("Labwei", 4852, 1560, 0, 0, "至文件尾");
    row("Labjiesu", 3459, 1560, 0, 0, "定位结束");
    row("Labkaishi", 2067, 1560, 0, 0, "定位开始");
    row("Labdakai", 720, 1560, 0, 0, "打开mp3");
    row("ImgMowei", 4560, 1433, 1305, 435, "");
    row("ImgJiesu", 3167, 1433, 1305, 435, "");
    row("ImgKaishi", 1775, 1433, 1305, 435, "");
    row("ImgOpenFile", 383, 1433, 1305, 435, "");
    row("LabFname", 10, 120, 0, 0, "没有播放文件");
    row("LabTime", 3600, 720, 0, 0, "00:00/00");
    row("ShapXuan", 720, 1080, 50, 255, "");
    row("Shape2", 720, 1080, 4935, 255, "");
    row("Shape1", 240, 1080, 5775, 255, "");
}

void TestMainWindow::controlsAreWhereDesigned()
{
    QFETCH(QString, name);
    QFETCH(float, left);
    QFETCH(float, top);
    QFETCH(float, width);
    QFETCH(float, height);
    QFETCH(QString, caption);

    FakePlatform fake;
    FrmMain window(fake.take());
    auto *widget = window.findChild<QWidget *>(name);
    QVERIFY(widget);
    auto *box = dynamic_cast<TwipsBox *>(widget);
    QVERIFY(box);
    QCOMPARE(box->Left(), left);
    QCOMPARE(box->Top(), top);
    QCOMPARE(widget->pos(), QPoint(Twips::toPixels(left), Twips::toPixels(top)));
    if (width > 0) {
        QCOMPARE(box->Width(), width);
        QCOMPARE(box->Height(), height);
    }
    if (auto *label = qobject_cast<SkinLabel *>(widget)) {
        QCOMPARE(label->Caption(), caption);
        QCOMPARE(label->size(), label->sizeHint()); // auto-sized
        QVERIFY(label->testAttribute(Qt::WA_TranslucentBackground));
    }
    if (auto *image = qobject_cast<SkinImage *>(widget)) {
        QCOMPARE(image->size(), QSize(87, 29));
        QCOMPARE(image->cursor().shape(), Qt::BitmapCursor);
    }
}

void TestMainWindow::stackingOrderIsAsDesigned()
{
    FakePlatform fake;
    FrmMain window(fake.take());
    // Top of the stack first.
    const QStringList designed = {
        QStringLiteral("LabGuanyu"), QStringLiteral("ImgGuanyu"),
        QStringLiteral("LabBaocun"), QStringLiteral("ImgSave"),
        QStringLiteral("Labwei"),    QStringLiteral("Labjiesu"),
        QStringLiteral("Labkaishi"), QStringLiteral("Labdakai"),
        QStringLiteral("ImgMowei"),  QStringLiteral("ImgJiesu"),
        QStringLiteral("ImgKaishi"), QStringLiteral("ImgOpenFile"),
        QStringLiteral("LabFname"),  QStringLiteral("LabTime"),
        QStringLiteral("ShapXuan"),  QStringLiteral("Shape2"),
        QStringLiteral("Shape1"),    QStringLiteral("WindowsMediaPlayer1")};
    QStringList actual;
    const QObjectList children = window.children();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        if ((*it)->isWidgetType())
            actual << (*it)->objectName();
    }
    QCOMPARE(actual, designed);
    QCOMPARE(skinOf(window).Timer1->objectName(), QStringLiteral("Timer1"));
    QCOMPARE(skinOf(window).WindowsMediaPlayer1->geometry(), QRect(16, 24, 385, 49));
}

void TestMainWindow::captionsSitOnTheirFaces()
{
    FakePlatform fake;
    FrmMain window(fake.take());
    const MainWindowSkin &s = skinOf(window);
    const std::pair<SkinImage *, SkinLabel *> buttons[] = {
        {s.ImgOpenFile, s.Labdakai}, {s.ImgKaishi, s.Labkaishi}, {s.ImgJiesu, s.Labjiesu},
        {s.ImgMowei, s.Labwei},      {s.ImgSave, s.LabBaocun},   {s.ImgGuanyu, s.LabGuanyu}};
    for (const auto &[image, label] : buttons) {
        const QPoint offset = label->geometry().center() - image->geometry().center();
        QVERIFY2(qAbs(offset.x()) <= 4 && qAbs(offset.y()) <= 4,
                 qPrintable(label->objectName() +
                            QStringLiteral(" is off by %1,%2").arg(offset.x()).arg(offset.y())));
        QCOMPARE(label->cursor().shape(), Qt::BitmapCursor);
    }
    QCOMPARE(s.LabFname->cursor().shape(), Qt::ArrowCursor);
}

void TestMainWindow::captionsKeepTheirOwnColoursUnderADarkTheme()
{
    FakePlatform fake;
    FrmMain window(fake.take());
    // A dark desktop theme: light text everywhere.
    QPalette palette = window.palette();
    for (const QPalette::ColorRole role : {QPalette::ButtonText, QPalette::WindowText})
        palette.setColor(role, QColor(255, 0, 0));
    window.setPalette(palette);
    const auto inks = [](QWidget *label, const std::function<bool(QColor)> &ink) {
        const QImage text = label->grab().toImage();
        int count = 0;
        for (int y = 0; y < text.height(); ++y)
            for (int x = 0; x < text.width(); ++x)
                count += text.pixelColor(x, y).alpha() > 128 && ink(text.pixelColor(x, y));
        return count;
    };
    const auto themed = [](QColor c) { return c.red() > 200 && c.green() < 60; };
    const auto black = [](QColor c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; };
    const auto green = [](QColor c) { return c.green() > 150 && c.red() < 60; };
    for (SkinLabel *label : {skinOf(window).Labkaishi, skinOf(window).LabFname}) {
        QCOMPARE(inks(label, themed), 0);
        QVERIFY2(inks(label, black) > 20, qPrintable(label->objectName()));
    }
    QVERIFY(inks(skinOf(window).LabTime, green) > 20);
}

void TestMainWindow::sizeIsCapped_data()
{
    QTest::addColumn<QSize>("requestedTwips");
    QTest::addColumn<QSize>("expectedTwips");
    QTest::newRow("too wide: both snap") << QSize(7000, 2000) << QSize(6195, 2685);
    QTest::newRow("too tall") << QSize(3000, 3000) << QSize(6195, 2685);
    QTest::newRow("smaller stays") << QSize(3000, 1500) << QSize(3000, 1500);
    QTest::newRow("exactly the cap stays") << QSize(6195, 2685) << QSize(6195, 2685);
}

void TestMainWindow::sizeIsCapped()
{
    QFETCH(QSize, requestedTwips);
    QFETCH(QSize, expectedTwips);
    FakePlatform fake;
    FrmMain window(fake.take());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(Twips::toPixels(requestedTwips.width()),
                  Twips::toPixels(requestedTwips.height()));
    QTRY_COMPARE(window.size(), QSize(Twips::toPixels(expectedTwips.width()),
                                      Twips::toPixels(expectedTwips.height())));
}

void TestMainWindow::maximizeIsUndone_data()
{
    QTest::addColumn<Qt::WindowState>("state");
    QTest::newRow("maximized") << Qt::WindowMaximized;
    QTest::newRow("full screen") << Qt::WindowFullScreen;
}

void TestMainWindow::maximizeIsUndone()
{
    QFETCH(Qt::WindowState, state);
    FakePlatform fake;
    FrmMain window(fake.take());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // No maximum-size hint (a manager would clamp one side past the cap); maximize is undone.
    QCOMPARE(window.windowHandle()->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    const QRect before = window.geometry();
    window.setWindowState(state);
    QTRY_COMPARE(window.windowState(), Qt::WindowNoState);
    QTRY_COMPARE(window.geometry(), before);
}

void TestMainWindow::startupSurvivesAFailingPlayer()
{
    // A player that refuses everything must not keep the rest of start-up from running.
    struct RefusingPlayer : FakeMediaPlayer
    {
        void setFullScreen(bool) override { throw PlayerError("refused"); }
        void setUiMode(const QString &) override { throw PlayerError("refused"); }
    };
    FakePlatform fake;
    delete fake.player;
    fake.player = new RefusingPlayer;
    FrmMain window(fake.take());
    QCOMPARE(skinOf(window).LabTime->Caption(), QStringLiteral("00:00/00"));
    QVERIFY(!fake.player->stretchToFit);
    QCOMPARE(fake.save->Flags(), 4098);
}

void TestMainWindow::timeTextOfHoursClearsTheVolume()
{
    FakePlatform fake;
    Platform platform = fake.take();
    delete fake.player;
    fake.player = nullptr;
    auto *player = new QtMediaPlayer;
    platform.player = player;
    FrmMain window(std::move(platform));
    PlayerTransportBar *bar = player->transportBar();
    SkinLabel *time = skinOf(window).LabTime;

    // The longest text of a file under ten hours.
    bar->setDuration((9 * 3600 + 59 * 60 + 59) * 1000);
    time->setCaption(QStringLiteral("9:59:59/9:59:59"));
    const int textRight = player->mapFrom(&window, time->geometry().topRight()).x();
    QVERIFY2(textRight < bar->muteButton()->x(),
             qPrintable(QStringLiteral("%1 %2").arg(textRight).arg(bar->muteButton()->x())));
    QVERIFY(bar->volumeSlider()->width() >= 30);

    // Shorter files keep the stock layout.
    bar->setDuration(59 * 60 * 1000);
    QCOMPARE(bar->muteButton()->x(), 293);
    QCOMPARE(bar->volumeSlider()->width(), 62);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
