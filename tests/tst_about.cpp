#include "ui/FrmAbout.h"
#include "ui/ScreenPlacement.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

namespace {

// Opens the dialog the way the main window does and runs `act` once it is up. Returns false when
// the dialog had to be shut from outside because `act` did not close it.
bool openAndDo(frmAbout &dialog, QWidget *keepAbove, const std::function<void(frmAbout &)> &act)
{
    bool forced = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&] {
        forced = true;
        dialog.reject();
    });
    QTimer::singleShot(0, &dialog, [&] {
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        act(dialog);
    });
    guard.start(5000);
    dialog.showModal(keepAbove);
    return !forced;
}

QPoint expectedPixels(QSizeF screenTwips, QSizeF outerTwips)
{
    const QPointF twips = placeOnScreen(screenTwips, outerTwips);
    return {Twips::toPixels(static_cast<float>(twips.x())),
            Twips::toPixels(static_cast<float>(twips.y()))};
}

QSizeF primaryScreenTwips()
{
    const QSize pixels = QGuiApplication::primaryScreen()->size();
    return {Twips::fromPixels(pixels.width()), Twips::fromPixels(pixels.height())};
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void showsTexts_data();
    void showsTexts();
    void laysOutControls_data();
    void laysOutControls();
    void isFixedModalAndKeptAbove();
    void startsOnOkAndTabsInOrder();
    void placesOnScreen_data();
    void placesOnScreen();
    void loadAssumesTypicalFrameBeforeFirstShow();
    void closes_data();
    void closes();
    void secondOpeningReloadsAndReplaces();
};

void TestAbout::showsTexts_data()
{
    QTest::addColumn<QString>("control"); // empty: the window title
    QTest::addColumn<QString>("expected");
    QTest::newRow("caption") << QString() << QStringLiteral("关于 Velquistmp3剪切器");
    QTest::newRow("title") << "lblTitle" << QStringLiteral("Velquistmp3剪切器");
    QTest::newRow("version") << "lblVersion" << QStringLiteral("版本 1.2.2");
    QTest::newRow("description")
        << "lblDescription"
        << QStringLiteral("    说明：本程序为剪切mp3文件的小工具。能从mp3文件中任意切取一段，另存为"
                          "一个新的mp3文件。欢迎使用本软件。");
    QTest::newRow("credit line, with the package's homepage")
        << "lblDisclaimer"
        << QStringLiteral(
               "本软件由 Velquist 提供。\n作者：Velquist 工作室\n主页：velquist.example.com");
    QTest::newRow("OK button") << "cmdOK" << QStringLiteral("确定");
}

void TestAbout::showsTexts()
{
    QFETCH(QString, control);
    QFETCH(QString, expected);
    frmAbout dialog;
    dialog.Load(QSizeF(15360, 11520));
    if (control.isEmpty()) {
        QCOMPARE(dialog.windowTitle(), expected);
    } else if (auto *label = dialog.findChild<QLabel *>(control)) {
        QCOMPARE(label->text(), expected);
    } else {
        auto *button = dialog.findChild<QPushButton *>(control);
        QVERIFY(button);
        QCOMPARE(button->text(), expected);
    }
}

void TestAbout::laysOutControls_data()
{
    // The designed twips, at 15 to the pixel; line ends are not drawn.
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("lineIndex"); // -1 unless the control is one of the Line1 pair
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("cmdOK") << "cmdOK" << -1 << QRect(275, 175, 100, 23);
    QTest::newRow("picIcon") << "picIcon" << -1 << QRect(16, 16, 36, 36);
    QTest::newRow("lblDescription") << "lblDescription" << -1 << QRect(70, 75, 251, 78);
    QTest::newRow("lblDisclaimer") << "lblDisclaimer" << -1 << QRect(17, 175, 186, 55);
    QTest::newRow("lblTitle") << "lblTitle" << -1 << QRect(70, 16, 259, 32);
    QTest::newRow("lblVersion") << "lblVersion" << -1 << QRect(70, 52, 259, 15);
    QTest::newRow("grey line") << "Line1" << 1 << QRect(6, 163, 371, 1);
    QTest::newRow("white line") << "Line1" << 0 << QRect(7, 164, 370, 2);
}

void TestAbout::laysOutControls()
{
    QFETCH(QString, control);
    QFETCH(int, lineIndex);
    QFETCH(QRect, pixels);
    frmAbout dialog;
    QCOMPARE(dialog.size(), QSize(382, 237));

    QWidget *widget = nullptr;
    for (QWidget *candidate : dialog.findChildren<QWidget *>(control)) {
        if (lineIndex < 0 || candidate->property("index").toInt() == lineIndex)
            widget = candidate;
    }
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), pixels);

    if (auto *label = qobject_cast<QLabel *>(widget);
        label && label != dialog.findChild<QLabel *>("picIcon")) {
        QVERIFY(label->wordWrap());
        QVERIFY(!label->autoFillBackground());
    }
}

void TestAbout::isFixedModalAndKeptAbove()
{
    QWidget mainWindow;
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));

    frmAbout dialog;
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    // Without its artwork the dialog still draws, just without pictures.
    QVERIFY(!dialog.grab().isNull());

    QVERIFY(openAndDo(dialog, &mainWindow, [&](frmAbout &shown) {
        QCOMPARE(shown.parentWidget(), nullptr);
        QCOMPARE(shown.windowModality(), Qt::ApplicationModal);
        QVERIFY(shown.windowHandle());
        QCOMPARE(shown.windowHandle()->transientParent(), mainWindow.windowHandle());
        shown.accept();
    }));
}

void TestAbout::startsOnOkAndTabsInOrder()
{
    frmAbout dialog;
    auto *ok = dialog.findChild<QPushButton *>("cmdOK");
    auto *icon = dialog.findChild<QWidget *>("picIcon");
    QVERIFY(ok && icon);
    QVERIFY(ok->isDefault());

    QVERIFY(openAndDo(dialog, nullptr, [&](frmAbout &shown) {
        QCOMPARE(shown.focusWidget(), ok);
        QTest::keyClick(ok, Qt::Key_Tab);
        QCOMPARE(shown.focusWidget(), icon);
        QTest::keyClick(icon, Qt::Key_Tab);
        QCOMPARE(shown.focusWidget(), ok);
        QTest::keyClick(ok, Qt::Key_Tab);
        shown.reject(); // leave the focus on the icon
    }));
    QVERIFY(openAndDo(dialog, nullptr, [&](frmAbout &shown) {
        QCOMPARE(shown.focusWidget(), ok);
        shown.reject();
    }));
}

void TestAbout::placesOnScreen_data()
{
    QTest::addColumn<QSizeF>("screen");
    QTest::addColumn<QSizeF>("outer");
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");
    QTest::newRow("1024x768, typical frame")
        << QSizeF(15360, 11520) << QSizeF(5850, 4125) << 4755.0f << 2465.0f;
    QTest::newRow("thirds are not rounded")
        << QSizeF(12000, 9000) << QSizeF(5730, 3555) << 3135.0f << 5445.0f / 3.0f;
    QTest::newRow("halves are kept")
        << QSizeF(12015, 9000) << QSizeF(5730, 3555) << 3142.5f << 1815.0f;
    QTest::newRow("screen exactly fits")
        << QSizeF(5850, 4125) << QSizeF(5850, 4125) << 0.0f << 0.0f;
    QTest::newRow("screen smaller than dialog")
        << QSizeF(3000, 2000) << QSizeF(5850, 4125) << -1425.0f << -2125.0f / 3.0f;
}

void TestAbout::placesOnScreen()
{
    QFETCH(QSizeF, screen);
    QFETCH(QSizeF, outer);
    QFETCH(float, left);
    QFETCH(float, top);
    const QPointF place = placeOnScreen(screen, outer);
    QCOMPARE(static_cast<float>(place.x()), left);
    QCOMPARE(static_cast<float>(place.y()), top);
}

void TestAbout::loadAssumesTypicalFrameBeforeFirstShow()
{
    frmAbout dialog;
    QCOMPARE(dialog.outerSizeTwips(), QSizeF((382 + 8) * 15, (237 + 34) * 15));

    dialog.Load(QSizeF(15360, 11520));
    QCOMPARE(dialog.pos(), QPoint(317, 166)); // 4755 and 2485 twips

    // A screen smaller than the dialog puts it partly off the screen, as computed.
    dialog.Load(QSizeF(3000, 2000));
    QCOMPARE(dialog.pos(), QPoint(-95, -46));
}

void TestAbout::closes_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter") << "Enter" << int(QDialog::Accepted);
    QTest::newRow("Esc") << "Esc" << int(QDialog::Rejected);
    QTest::newRow("click on OK") << "click" << int(QDialog::Accepted);
    QTest::newRow("close box") << "close" << int(QDialog::Rejected);
}

void TestAbout::closes()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    frmAbout dialog;
    dialog.setResult(-1);
    QVERIFY(openAndDo(dialog, nullptr, [&](frmAbout &shown) {
        if (how == "Enter")
            QTest::keyClick(&shown, Qt::Key_Return);
        else if (how == "Esc")
            QTest::keyClick(&shown, Qt::Key_Escape);
        else if (how == "click")
            QTest::mouseClick(shown.findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        else
            shown.close();
    }));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), result);
}

void TestAbout::secondOpeningReloadsAndReplaces()
{
    QWidget mainWindow;
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));

    frmAbout dialog;
    QPoint firstPlace;
    QVERIFY(openAndDo(dialog, &mainWindow, [&](frmAbout &shown) {
        firstPlace = shown.pos();
        shown.move(firstPlace + QPoint(40, 30));
        shown.setWindowTitle("changed");
        shown.accept();
    }));
    QCOMPARE(firstPlace, expectedPixels(primaryScreenTwips(), QSizeF(Twips::fromPixels(382 + 8),
                                                                     Twips::fromPixels(237 + 34))));

    // From now on the frame the window system reported counts.
    const QPoint secondPlace = expectedPixels(primaryScreenTwips(), dialog.outerSizeTwips());
    QVERIFY(openAndDo(dialog, &mainWindow, [&](frmAbout &shown) {
        QCOMPARE(shown.pos(), secondPlace);
        QCOMPARE(shown.windowTitle(), QStringLiteral("关于 Velquistmp3剪切器"));
        shown.accept();
    }));
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
