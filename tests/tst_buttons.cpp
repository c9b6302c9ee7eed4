#include "WindowFixture.h"

#include "app/FrmMain.h"
#include "ui/FrmAbout.h"
#include "ui/SkinControls.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The picture buttons: pressed and normal faces from the files beside the program, and the
// About box they open.
class TestButtons : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void facesFollowPressAndRelease_data();
    void facesFollowPressAndRelease();
    void onlyReleasedButtonsShowTheFileFace();
    void replacedFaceFileIsPickedUp();
    void missingFaceIsSurvived();
    void aboutOpensOneDialogAndLoadsItEachTime();

private:
    static QImage imageOf(const QPixmap &pixmap)
    {
        return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    }
    static QImage fileFace(const QString &path)
    {
        return QImage(path).convertToFormat(QImage::Format_ARGB32);
    }
    void writeFace(const QString &name, const QColor &colour, QSize size);

    std::unique_ptr<QTemporaryDir> m_folder;
    FakePlatform *m_fake = nullptr;
    std::unique_ptr<FrmMain> m_window;
};

void TestButtons::writeFace(const QString &name, const QColor &colour, QSize size)
{
    // Qt cannot write GIF; the loader goes by content, so a PNG under the GIF's name serves.
    QImage face(size, QImage::Format_ARGB32);
    face.fill(colour);
    QVERIFY(face.save(m_folder->filePath(name), "PNG"));
}

void TestButtons::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    writeFace(QStringLiteral("按钮.gif"), Qt::blue, QSize(87, 29));
    writeFace(QStringLiteral("按钮D.gif"), Qt::darkBlue, QSize(87, 29));
    m_fake = new FakePlatform;
    m_window = std::make_unique<FrmMain>(m_fake->take(m_folder->path()));
}

void TestButtons::cleanup()
{
    m_window.reset();
    delete m_fake;
    m_folder.reset();
}

void TestButtons::facesFollowPressAndRelease_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("image");
    QTest::addColumn<Qt::MouseButton>("button");
    const char *routes[][2] = {
        {"ImgOpenFile", "ImgOpenFile"}, {"Labdakai", "ImgOpenFile"}, {"ImgKaishi", "ImgKaishi"},
        {"Labkaishi", "ImgKaishi"},     {"ImgJiesu", "ImgJiesu"},    {"Labjiesu", "ImgJiesu"},
        {"ImgMowei", "ImgMowei"},       {"Labwei", "ImgMowei"},      {"ImgSave", "ImgSave"},
        {"LabBaocun", "ImgSave"},       {"ImgGuanyu", "ImgGuanyu"},  {"LabGuanyu", "ImgGuanyu"}};
    for (const auto &route : routes) {
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            QTest::addRow("%s %s", route[0], button == Qt::LeftButton ? "left" : "right")
                << QString::fromLatin1(route[0]) << QString::fromLatin1(route[1]) << button;
        }
    }
}

void TestButtons::facesFollowPressAndRelease()
{
    QFETCH(QString, control);
    QFETCH(QString, image);
    QFETCH(Qt::MouseButton, button);
    auto *source = m_window->findChild<QWidget *>(control);
    auto *target = m_window->findChild<SkinImage *>(image);
    QVERIFY(source && target);
    auto *label = qobject_cast<SkinLabel *>(source);
    const QString caption = label ? label->Caption() : QString();
    const QRect labelGeometry = source->geometry();

    QTest::mousePress(source, button, Qt::NoModifier, QPoint(2, 2));
    QCOMPARE(imageOf(target->Picture()), fileFace(m_folder->filePath(QStringLiteral("按钮D.gif"))));
    // Released off the control: the normal face comes back all the same.
    QTest::mouseRelease(source, button, Qt::NoModifier, QPoint(500, 500));
    QCOMPARE(imageOf(target->Picture()), fileFace(m_folder->filePath(QStringLiteral("按钮.gif"))));

    if (label) {
        QCOMPARE(label->Caption(), caption);
        QCOMPARE(label->geometry(), labelGeometry);
    }
    QVERIFY(m_fake->messages->shown.empty()); // a right button or a release elsewhere is no click
}

void TestButtons::onlyReleasedButtonsShowTheFileFace()
{
    const QImage layoutFace = imageOf(QPixmap(QStringLiteral(":/face.gif")));
    QVERIFY(!layoutFace.isNull());
    QTest::mousePress(skinOf(*m_window).ImgKaishi, Qt::LeftButton);
    QTest::mouseRelease(skinOf(*m_window).ImgKaishi, Qt::LeftButton);
    QCOMPARE(imageOf(skinOf(*m_window).ImgKaishi->Picture()),
             fileFace(m_folder->filePath(QStringLiteral("按钮.gif"))));
    for (SkinImage *other :
         {skinOf(*m_window).ImgOpenFile, skinOf(*m_window).ImgJiesu, skinOf(*m_window).ImgMowei,
          skinOf(*m_window).ImgSave, skinOf(*m_window).ImgGuanyu})
        QCOMPARE(imageOf(other->Picture()), layoutFace);
}

void TestButtons::replacedFaceFileIsPickedUp()
{
    SkinImage *image = skinOf(*m_window).ImgSave;
    QTest::mousePress(image, Qt::LeftButton);
    QCOMPARE(image->size(), QSize(87, 29));
    QTest::mouseRelease(image, Qt::RightButton);

    // Nothing is cached: a new pressed face shows at the next press, at its own size.
    writeFace(QStringLiteral("按钮D.gif"), Qt::red, QSize(60, 20));
    QTest::mousePress(image, Qt::LeftButton);
    QCOMPARE(image->size(), QSize(60, 20));
    QCOMPARE(imageOf(image->Picture()).pixelColor(5, 5), QColor(Qt::red));
}

void TestButtons::missingFaceIsSurvived()
{
    QVERIFY(QFile::remove(m_folder->filePath(QStringLiteral("按钮D.gif"))));
    SkinImage *image = skinOf(*m_window).ImgOpenFile;

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("按钮D\\.gif")));
    m_fake->open->answers << QString();
    QTest::mouseClick(image, Qt::LeftButton);
    // The face stays, the click still runs its command, and no box interrupts.
    QCOMPARE(m_fake->open->shown, 1);
    QVERIFY(m_fake->messages->shown.empty());
    QCOMPARE(imageOf(image->Picture()), fileFace(m_folder->filePath(QStringLiteral("按钮.gif"))));

    // Reported once per file, not on every press: a second warning would fail the test.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QTest::mousePress(image, Qt::LeftButton);
    QCOMPARE(imageOf(image->Picture()), fileFace(m_folder->filePath(QStringLiteral("按钮.gif"))));
    QTest::mouseRelease(image, Qt::LeftButton);
}

void TestButtons::aboutOpensOneDialogAndLoadsItEachTime()
{
    // Made at the first opening, then kept.
    const auto abouts = [] {
        int count = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            count += qobject_cast<frmAbout *>(widget) != nullptr;
        return count;
    };
    QCOMPARE(abouts(), 0);
    int opened = 0;
    frmAbout *first = nullptr;
    auto closeWhenUp = [&] {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [&, poll] {
            if (auto *about = qobject_cast<frmAbout *>(QApplication::activeModalWidget())) {
                poll->deleteLater();
                poll->stop();
                ++opened;
                first = first ? first : about;
                QCOMPARE(about, first);
                // Loaded anew at each opening: what the last one left behind is gone.
                QCOMPARE(about->windowTitle(), QStringLiteral("关于 Velquistmp3剪切器"));
                about->setWindowTitle(QStringLiteral("changed"));
                QTest::keyClick(about, Qt::Key_Escape);
            }
        });
        poll->start(20);
    };
    closeWhenUp();
    QTest::mouseClick(skinOf(*m_window).ImgGuanyu, Qt::LeftButton);
    QCOMPARE(opened, 1);
    closeWhenUp();
    QTest::mouseClick(skinOf(*m_window).LabGuanyu, Qt::LeftButton);
    QCOMPARE(opened, 2);
    QCOMPARE(abouts(), 1);
}

QTEST_MAIN(TestButtons)
#include "tst_buttons.moc"
