#include "LongTone.h"
#include "WindowFixture.h"
#include "app/FrmMain.h"
#include "platform/MediaPlayer.h"
#include "platform/Translations.h"
#include "ui/SkinControls.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

// A person's whole cut, on the real player, the real file dialogs and the real message boxes.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openPlayMarkAndSave();

private:
    // Acts on the next modal window of type T as soon as it is up.
    template <typename T> void whenModal(std::function<void(T *)> act)
    {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [poll, act] {
            if (auto *modal = qobject_cast<T *>(QApplication::activeModalWidget())) {
                poll->stop();
                poll->deleteLater();
                act(modal);
            }
        });
        poll->start(50);
    }

    void answerFileDialog(const QString &path)
    {
        whenModal<QFileDialog>([path](QFileDialog *dialog) {
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            edit->setText(path);
            QTest::keyClick(edit, Qt::Key_Return);
        });
    }
};

void TestEndToEnd::initTestCase()
{
    installChineseTranslations(*QCoreApplication::instance());
}

void TestEndToEnd::openPlayMarkAndSave()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // 12 s: the marks fall well inside it however late the player learns the length and starts
    // to report where it is.
    const QString source = dir.filePath(QStringLiteral("曲子 1.mp3"));
    const QByteArray sourceBytes = writeLongTone(source);
    QVERIFY(!sourceBytes.isEmpty());

    FrmMain window(Platform::qt());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const MainWindowSkin &skin = skinOf(window);

    answerFileDialog(source);
    QTest::mouseClick(skin.Labdakai, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(skin.LabFname->Caption(), QStringLiteral("正在播放:") + source,
                              10000);
    MediaPlayer &player = *skin.WindowsMediaPlayer1;
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.3, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(skin.LabTime->Caption().endsWith(QStringLiteral("/00:12")), 3000);

    QTest::mouseClick(skin.ImgKaishi, Qt::LeftButton);
    QVERIFY(!skin.ShapXuan->isHidden());
    const double startPosition = player.controls().currentPosition();
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > startPosition + 0.8, 5000);
    QTest::mouseClick(skin.ImgJiesu, Qt::LeftButton);

    const QString target = dir.filePath(QStringLiteral("片段.mp3"));
    answerFileDialog(target);
    QString success;
    whenModal<QMessageBox>([&success](QMessageBox *box) {
        success = box->windowTitle() + QLatin1Char('|') + box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::mouseClick(skin.LabBaocun, Qt::LeftButton);
    QCOMPARE(success, QStringLiteral("恭喜你！|剪切成功！"));

    QFile cut(target);
    QVERIFY(cut.open(QIODevice::ReadOnly));
    // About the 0.8 s played between the marks (more than half a second of the 12): a header
    // frame of its own and the reservoir's frames, then the source's own bytes, not from its start.
    const QByteArray piece = cut.readAll();
    QVERIFY2(piece.size() > sourceBytes.size() / 24, qPrintable(QString::number(piece.size())));
    QVERIFY(sourceBytes.indexOf(piece.right(piece.size() / 2)) > 0);
    QVERIFY(skin.ShapXuan->isHidden());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
