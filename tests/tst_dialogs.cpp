#include "platform/QtFileDialog.h"
#include "platform/QtMessageBoxes.h"
#include "platform/QtPictureLoader.h"
#include "platform/Translations.h"
#include "ui/SkinControls.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>

namespace {

// Hands the first modal window of type T to `act` once it is up, the way a person would meet it,
// and closes it afterwards if `act` left it open, so a failed check cannot hang the test.
template <typename T> class ModalWatcher : public QObject
{
public:
    explicit ModalWatcher(std::function<void(T *)> act) : m_act(std::move(act))
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
        m_timer.start(10);
    }
    bool seen() const { return m_seen; }

private:
    void poll()
    {
        T *modal = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!modal)
            return;
        m_timer.stop();
        m_seen = true;
        QPointer<T> guard(modal);
        // Typing goes where a person's would: into the focused field of the active window.
        modal->activateWindow();
        if (QTest::qWaitForWindowActive(modal))
            m_act(modal);
        else
            QTest::qFail("the modal window never became active", __FILE__, __LINE__);
        if (guard && guard->isVisible())
            guard->reject();
    }

    std::function<void(T *)> m_act;
    QTimer m_timer;
    bool m_seen = false;
};

using FileDialogWatcher = ModalWatcher<QFileDialog>;
using MessageBoxWatcher = ModalWatcher<QMessageBox>;

const QString mp3Filter = QStringLiteral("mp3文件(*.mp3)|*.mp3");
constexpr qint32 bothFlags = FileDialog::OFN_FILEMUSTEXIST | FileDialog::OFN_OVERWRITEPROMPT;

QLineEdit *fileNameEdit(QFileDialog *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
}

// Replaces whatever the name field proposes, as a person selecting all and typing would.
void typeFileName(QFileDialog *dialog, const QString &name)
{
    QLineEdit *edit = fileNameEdit(dialog);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    // Latin letters come as key strokes; Chinese ones, as from an input method, committed whole.
    for (const QChar c : name) {
        if (c.unicode() < 0x80) {
            QTest::keyClicks(edit, QString(c));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(edit, &commit);
        }
    }
}

void pressEnter(QFileDialog *dialog)
{
    QTest::keyClick(fileNameEdit(dialog), Qt::Key_Return);
}

QStringList listedNames(QFileDialog *dialog)
{
    QStringList names;
    const auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row)
        names.append(view->model()->index(row, 0, root).data().toString());
    return names;
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), contents.size());
}

QtFileDialog mp3Dialog(qint32 flags = bothFlags)
{
    QtFileDialog dialog;
    dialog.setFilter(mp3Filter);
    dialog.setFlags(flags);
    return dialog;
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void filterBecomesNameFilters_data();
    void filterBecomesNameFilters();

    void openChoosesExistingFile();
    void openRefusesMissingFile();
    void openListsMp3WhateverTheCase();
    void cancelReadsEmptyYetNextOpeningProposesLastChoice_data();
    void cancelReadsEmptyYetNextOpeningProposesLastChoice();
    void saveAcceptsNewName();
    void saveOverExistingFile_data();
    void saveOverExistingFile();
    void saveKeepsDialogWhenReplacingIsDeclined();
    void saveKeepsTypedNameWhenFileTypeIsChosenAgain();
    void desktopDialogPatternsMatchAnyCase_data();
    void desktopDialogPatternsMatchAnyCase();
    void offscreenShowsQtsOwnDialogUnforced();
    void detailsSpeakChineseAndShowWholeDates();

    void messageBoxShowsTextTitleAndIcon_data();
    void messageBoxShowsTextTitleAndIcon();
    void questionIsYesOnlyForYes_data();
    void questionIsYesOnlyForYes();

    void loadsGifAndJpeg();
    void refusesMissingOrBrokenPicture_data();
    void refusesMissingOrBrokenPicture();
    void loadsReplacedPictureAnew();
    void shippedFaceAtRatioTwoTakesItsTwin();
    void otherFaceAtRatioTwoShowsItself();
    void compiledInFaceAtRatioTwoKeepsItsSize();

private:
    QTemporaryDir m_dir;
};

void TestDialogs::initTestCase()
{
    QVERIFY(m_dir.isValid());
    installChineseTranslations(*QCoreApplication::instance());
}

void TestDialogs::filterBecomesNameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("the program's filter")
        << mp3Filter << QStringList{QStringLiteral("mp3文件(*.mp3) (*.mp3)")};
    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("description only") << QStringLiteral("mp3文件") << QStringList{};
    QTest::newRow("odd number of parts drops the last")
        << QStringLiteral("mp3|*.mp3|其他") << QStringList{QStringLiteral("mp3 (*.mp3)")};
    QTest::newRow("several patterns")
        << QStringLiteral("音频|*.mp3;*.mp2") << QStringList{QStringLiteral("音频 (*.mp3 *.mp2)")};
    QTest::newRow("blanks and empty patterns") << QStringLiteral("音频| *.mp3 ;; *.mp2 ")
                                               << QStringList{QStringLiteral("音频 (*.mp3 *.mp2)")};
    QTest::newRow("entry without pattern is skipped")
        << QStringLiteral("无||文本|*.txt") << QStringList{QStringLiteral("文本 (*.txt)")};
    QTest::newRow("two entries") << QStringLiteral("mp3|*.mp3|所有文件|*.*")
                                 << QStringList{QStringLiteral("mp3 (*.mp3)"),
                                                QStringLiteral("所有文件 (*.*)")};
}

void TestDialogs::filterBecomesNameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(qtNameFilters(filter), expected);
}

void TestDialogs::openChoosesExistingFile()
{
    const QString song = m_dir.filePath(QStringLiteral("选中.mp3"));
    writeFile(song, "ID3");
    QtFileDialog dialog = mp3Dialog();
    FileDialogWatcher watcher([&](QFileDialog *shown) {
        // Qt's own labels, in Chinese whatever the system locale.
        QCOMPARE(shown->windowTitle(), QStringLiteral("打开"));
        const auto *buttons = shown->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        QCOMPARE(fileNameEdit(shown)->text(), QString());
        typeFileName(shown, song);
        pressEnter(shown);
    });
    dialog.ShowOpen(nullptr);
    QVERIFY(watcher.seen());
    QCOMPARE(dialog.FileName(), song);
}

void TestDialogs::openRefusesMissingFile()
{
    QtFileDialog dialog = mp3Dialog();
    bool stayedOpen = false;
    // Qt may say "file not found" in a box of its own; it is only acknowledged.
    MessageBoxWatcher notFound([](QMessageBox *box) { box->accept(); });
    FileDialogWatcher watcher([&](QFileDialog *shown) {
        typeFileName(shown, m_dir.filePath(QStringLiteral("不存在.mp3")));
        pressEnter(shown);
        stayedOpen = shown->isVisible();
        QTest::keyClick(shown, Qt::Key_Escape);
    });
    dialog.ShowOpen(nullptr);
    QVERIFY(stayedOpen);
    QCOMPARE(dialog.FileName(), QString());
}

void TestDialogs::openListsMp3WhateverTheCase()
{
    const QDir folder(m_dir.filePath(QStringLiteral("listing")));
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    for (const char *name : {"SONG.MP3", "lower.mp3", "Mixed.Mp3", "a.wav"})
        writeFile(folder.filePath(QString::fromLatin1(name)), "x");

    QtFileDialog dialog = mp3Dialog();
    // Opens in the folder to look at, as after an earlier choice there.
    dialog.setFileName(folder.filePath(QStringLiteral("lower.mp3")));
    FileDialogWatcher watcher([&](QFileDialog *shown) {
        const auto *types = shown->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QCOMPARE(types->currentText(), QStringLiteral("mp3文件(*.mp3)"));
        QTRY_COMPARE(listedNames(shown).size(), 3);
        QStringList listed = listedNames(shown);
        listed.sort();
        QCOMPARE(listed, (QStringList{"Mixed.Mp3", "SONG.MP3", "lower.mp3"}));
        typeFileName(shown, QStringLiteral("SONG.MP3"));
        pressEnter(shown);
    });
    dialog.ShowOpen(nullptr);
    QCOMPARE(dialog.FileName(), folder.filePath(QStringLiteral("SONG.MP3")));
}

void TestDialogs::cancelReadsEmptyYetNextOpeningProposesLastChoice_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("open") << false;
    QTest::newRow("save") << true;
}

void TestDialogs::cancelReadsEmptyYetNextOpeningProposesLastChoice()
{
    QFETCH(bool, save);
    const QString chosen =
        m_dir.filePath(save ? QStringLiteral("上次保存.mp3") : QStringLiteral("上次打开.mp3"));
    writeFile(chosen, "x");
    QtFileDialog dialog = mp3Dialog(FileDialog::OFN_FILEMUSTEXIST);
    const auto run = [&] { save ? dialog.ShowSave(nullptr) : dialog.ShowOpen(nullptr); };

    {
        FileDialogWatcher choose([&](QFileDialog *shown) {
            typeFileName(shown, chosen);
            pressEnter(shown);
        });
        run();
    }
    QCOMPARE(dialog.FileName(), chosen);

    // Twice: a cancel must not make the dialog forget what was chosen in it.
    for (int round = 0; round < 2; ++round) {
        QString proposedName;
        QString proposedFolder;
        FileDialogWatcher cancel([&](QFileDialog *shown) {
            proposedName = fileNameEdit(shown)->text();
            proposedFolder = shown->directory().absolutePath();
            QTest::keyClick(shown, Qt::Key_Escape);
        });
        run();
        QVERIFY(cancel.seen());
        QCOMPARE(dialog.FileName(), QString());
        QCOMPARE(proposedName, QFileInfo(chosen).fileName());
        QCOMPARE(proposedFolder, QFileInfo(chosen).absolutePath());
    }
}

void TestDialogs::saveAcceptsNewName()
{
    const QString target = m_dir.filePath(QStringLiteral("新歌.mp3"));
    QVERIFY(!QFile::exists(target));
    QtFileDialog dialog = mp3Dialog();
    MessageBoxWatcher question([](QMessageBox *box) { box->reject(); });
    FileDialogWatcher watcher([&](QFileDialog *shown) {
        QCOMPARE(shown->windowTitle(), QStringLiteral("另存为"));
        typeFileName(shown, target);
        pressEnter(shown);
    });
    dialog.ShowSave(nullptr);
    QVERIFY(!question.seen());
    QCOMPARE(dialog.FileName(), target);
    QVERIFY(!QFile::exists(target)); // choosing a name writes nothing
}

void TestDialogs::saveOverExistingFile_data()
{
    QTest::addColumn<qint32>("flags");
    QTest::addColumn<bool>("asks");
    QTest::newRow("both flags ask") << bothFlags << true;
    QTest::newRow("overwrite prompt asks") << FileDialog::OFN_OVERWRITEPROMPT << true;
    QTest::newRow("without prompt flag") << FileDialog::OFN_FILEMUSTEXIST << false;
}

void TestDialogs::saveOverExistingFile()
{
    QFETCH(qint32, flags);
    QFETCH(bool, asks);
    const QString existing = m_dir.filePath(QStringLiteral("已有.mp3"));
    writeFile(existing, "old");
    QtFileDialog dialog = mp3Dialog(flags);
    QString question;
    MessageBoxWatcher confirm([&](QMessageBox *box) {
        question = box->text();
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    FileDialogWatcher watcher([&](QFileDialog *shown) {
        typeFileName(shown, existing);
        pressEnter(shown);
    });
    dialog.ShowSave(nullptr);
    QCOMPARE(confirm.seen(), asks);
    if (asks)
        QVERIFY2(question.contains(QStringLiteral("已有.mp3 已存在")), qPrintable(question));
    QCOMPARE(dialog.FileName(), existing);
}

void TestDialogs::saveKeepsDialogWhenReplacingIsDeclined()
{
    const QString existing = m_dir.filePath(QStringLiteral("保留.mp3"));
    writeFile(existing, "old");
    QtFileDialog dialog = mp3Dialog();
    // Enter takes the default answer, which is not to replace.
    MessageBoxWatcher confirm([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
    bool stayedOpen = false;
    FileDialogWatcher watcher([&](QFileDialog *shown) {
        typeFileName(shown, existing);
        pressEnter(shown);
        stayedOpen = shown->isVisible();
        QTest::keyClick(shown, Qt::Key_Escape);
    });
    dialog.ShowSave(nullptr);
    QVERIFY(confirm.seen());
    QVERIFY(stayedOpen);
    QCOMPARE(dialog.FileName(), QString());
}

void TestDialogs::saveKeepsTypedNameWhenFileTypeIsChosenAgain()
{
    const QString target = m_dir.filePath(QStringLiteral("剪辑.mp3"));
    QtFileDialog dialog = mp3Dialog();
    FileDialogWatcher watcher([&](QFileDialog *shown) {
        typeFileName(shown, target);
        // Qt puts the chosen type's suffix into the typed name; it must stay "mp3".
        auto *types = shown->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        types->showPopup();
        QTRY_VERIFY(types->view()->isVisible());
        QTest::keyClick(types->view(), Qt::Key_Return);
        QTRY_VERIFY(!types->view()->isVisible());
        QCOMPARE(QFileInfo(fileNameEdit(shown)->text()).fileName(), QStringLiteral("剪辑.mp3"));
        pressEnter(shown);
    });
    dialog.ShowSave(nullptr);
    QCOMPARE(dialog.FileName(), target);
}

void TestDialogs::desktopDialogPatternsMatchAnyCase_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("matching");
    QTest::addColumn<QStringList>("other");
    QTest::newRow("the program's pattern")
        << QStringLiteral("*.mp3") << QStringLiteral("*.[mM][pP]3")
        << QStringList{"a.mp3", "SONG.MP3", "Mixed.Mp3"} << QStringList{"a.mp4", "mp3"};
    QTest::newRow("bracket expression")
        << QStringLiteral("*.m[ap]3") << QStringLiteral("*.[mM][aApP]3")
        << QStringList{"x.MA3", "x.mP3"} << QStringList{"x.mb3"};
    QTest::newRow("no letters, Chinese") << QStringLiteral("歌*.?") << QStringLiteral("歌*.?")
                                         << QStringList{"歌曲.1"} << QStringList{"曲.1"};
}

void TestDialogs::desktopDialogPatternsMatchAnyCase()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QFETCH(QStringList, matching);
    QFETCH(QStringList, other);
    QCOMPARE(anyCasePattern(pattern), expected);
    const QRegularExpression glob(QRegularExpression::wildcardToRegularExpression(expected));
    for (const QString &name : matching)
        QVERIFY2(glob.match(name).hasMatch(), qPrintable(name));
    for (const QString &name : other)
        QVERIFY2(!glob.match(name).hasMatch(), qPrintable(name));
    QCOMPARE(qtNameFilters(QStringLiteral("描述(x)|") + pattern, PatternCase::AnyCase),
             QStringList{QStringLiteral("描述(x) (%1)").arg(expected)});
}

void TestDialogs::offscreenShowsQtsOwnDialogUnforced()
{
    // The platform picks the dialog; offscreen has none, so it is Qt's, with the patterns as given.
    QtFileDialog dialog = mp3Dialog();
    FileDialogWatcher watcher([&](QFileDialog *shown) {
        QVERIFY(!shown->testOption(QFileDialog::DontUseNativeDialog));
        QVERIFY(fileNameEdit(shown));
        QCOMPARE(shown->nameFilters(), qtNameFilters(mp3Filter));
        QTest::keyClick(shown, Qt::Key_Escape);
    });
    dialog.ShowOpen(nullptr);
    QVERIFY(watcher.seen());
    QCOMPARE(dialog.FileName(), QString());
}

void TestDialogs::detailsSpeakChineseAndShowWholeDates()
{
    const QDir folder(m_dir.filePath(QStringLiteral("details")));
    QVERIFY(folder.mkpath(QStringLiteral("子文件夹")));
    const QString song = folder.filePath(QStringLiteral("歌.mp3"));
    writeFile(song, "ID3");
    // A date whose every field has two digits makes the longest text.
    const QDateTime late(QDate(2026, 12, 28), QTime(23, 59, 59));
    QFile file(song);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.setFileTime(late, QFileDevice::FileModificationTime));
    file.close();

    QtFileDialog dialog = mp3Dialog();
    dialog.setFileName(song);
    FileDialogWatcher watcher([&](QFileDialog *shown) {
        QTest::mouseClick(shown->findChild<QAbstractButton *>(QStringLiteral("detailModeButton")),
                          Qt::LeftButton);
        auto *view = shown->findChild<QTreeView *>(QStringLiteral("treeView"));
        QVERIFY(view->isVisible());
        const QModelIndex root = view->rootIndex();
        QTRY_COMPARE(view->model()->rowCount(root), 2);
        // Narrowed as far as it goes, where the last column no longer takes up the spare width.
        shown->resize(shown->minimumSizeHint());
        QStyleOptionViewItem option;
        option.initFrom(view);
        for (int row = 0; row < 2; ++row) {
            const QString name = view->model()->index(row, 0, root).data().toString();
            const QString size = view->model()->index(row, 1, root).data().toString();
            const QString type = view->model()->index(row, 2, root).data().toString();
            const QString date = view->model()->index(row, 3, root).data().toString();
            if (name == QStringLiteral("子文件夹")) {
                QCOMPARE(type, QStringLiteral("文件夹"));
                QCOMPARE(size, QString());
            } else {
                QVERIFY2(date.contains(QStringLiteral("2026")), qPrintable(date));
                QCOMPARE(size, QStringLiteral("3 字节"));
            }
            QVERIFY2(!date.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))),
                     qPrintable(date));
            // Not cut off: the column is as wide as the view would want for the text.
            const QModelIndex dateIndex = view->model()->index(row, 3, root);
            QVERIFY2(view->header()->sectionSize(3) >=
                         view->itemDelegateForIndex(dateIndex)->sizeHint(option, dateIndex).width(),
                     qPrintable(date));
        }
        QTest::keyClick(shown, Qt::Key_Escape);
    });
    dialog.ShowOpen(nullptr);
    QVERIFY(watcher.seen());
}

void TestDialogs::messageBoxShowsTextTitleAndIcon_data()
{
    QTest::addColumn<MessageBoxes::Icon>("icon");
    QTest::addColumn<QMessageBox::Icon>("expectedIcon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain, no title")
        << MessageBoxes::Icon::None << QMessageBox::NoIcon << QString() << QStringLiteral("完成");
    QTest::newRow("information") << MessageBoxes::Icon::Information << QMessageBox::Information
                                 << QStringLiteral("成功") << QStringLiteral("新文件已保存！");
    QTest::newRow("critical, path with markup characters")
        << MessageBoxes::Icon::Critical << QMessageBox::Critical << QStringLiteral("操作错误！")
        << QStringLiteral("无法打开文件“/tmp/<a>&b.mp3”。");
}

void TestDialogs::messageBoxShowsTextTitleAndIcon()
{
    QFETCH(MessageBoxes::Icon, icon);
    QFETCH(QMessageBox::Icon, expectedIcon);
    QFETCH(QString, title);
    QFETCH(QString, text);
    bool closedByEnter = false;
    MessageBoxWatcher watcher([&](QMessageBox *box) {
        QCOMPARE(box->objectName(), QString::fromLatin1(QtMessageBoxes::ObjectName));
        QCOMPARE(box->text(), text);
        QCOMPARE(box->windowTitle(), title);
        QCOMPARE(box->icon(), expectedIcon);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().constFirst()->text(), QStringLiteral("确定"));
        QTest::keyClick(box, Qt::Key_Return);
        closedByEnter = !box->isVisible();
    });
    QtMessageBoxes().show(nullptr, text, title, icon);
    QVERIFY(watcher.seen());
    QVERIFY(closedByEnter);
}

void TestDialogs::questionIsYesOnlyForYes_data()
{
    QTest::addColumn<QString>("press"); // a button's text, or a key
    QTest::addColumn<bool>("yes");
    QTest::newRow("是") << QStringLiteral("是") << true;
    QTest::newRow("否") << QStringLiteral("否") << false;
    QTest::newRow("Enter") << QStringLiteral("Enter") << false;
    QTest::newRow("Esc") << QStringLiteral("Esc") << false;
}

void TestDialogs::questionIsYesOnlyForYes()
{
    QFETCH(QString, press);
    QFETCH(bool, yes);
    const QString text = QStringLiteral("要取消保存并退出吗？<b>");
    MessageBoxWatcher watcher([&](QMessageBox *box) {
        QCOMPARE(box->text(), text);
        QCOMPARE(box->windowTitle(), QStringLiteral("标题"));
        QCOMPARE(box->icon(), QMessageBox::Question);
        QStringList names;
        for (QAbstractButton *button : box->buttons())
            names << button->text();
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("否"), QStringLiteral("是")}));
        if (press == QLatin1String("Enter") || press == QLatin1String("Esc"))
            QTest::keyClick(box, press == QLatin1String("Esc") ? Qt::Key_Escape : Qt::Key_Return);
        for (QAbstractButton *button : box->buttons())
            if (button->text() == press)
                QTest::mouseClick(button, Qt::LeftButton);
    });
    QCOMPARE(QtMessageBoxes().ask(nullptr, text, QStringLiteral("标题")), yes);
    QVERIFY(watcher.seen());
}

void TestDialogs::loadsGifAndJpeg()
{
    // Qt reads GIF but does not write it, so this one is spelled out: 3 × 2 pixels, all red.
    static const unsigned char redGif[] = {
        0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x03, 0x00, 0x02, 0x00, 0xf0, 0x00, 0x00, 0xff, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
        0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x02, 0x02, 0x84, 0x5f, 0x00, 0x3b};
    const QString gifPath = m_dir.filePath(QStringLiteral("按钮.gif"));
    writeFile(gifPath, QByteArray(reinterpret_cast<const char *>(redGif), sizeof redGif));

    const QString jpegPath = m_dir.filePath(QStringLiteral("按钮.jpg"));
    QImage blue(40, 30, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QVERIFY(blue.save(jpegPath, "JPEG"));

    QtPictureLoader loader;
    const QImage gif = loader.LoadPicture(gifPath).toImage();
    QCOMPARE(gif.size(), QSize(3, 2));
    QCOMPARE(gif.pixelColor(2, 1), QColor(Qt::red));

    const QImage jpeg = loader.LoadPicture(jpegPath).toImage();
    QCOMPARE(jpeg.size(), QSize(40, 30));
    QVERIFY(jpeg.pixelColor(20, 15).blue() > 200); // JPEG is lossy; near enough
}

void TestDialogs::refusesMissingOrBrokenPicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("create");
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("missing") << QStringLiteral("没有.gif") << false << QByteArray();
    QTest::newRow("empty") << QStringLiteral("空.jpg") << true << QByteArray();
    QTest::newRow("not a picture")
        << QStringLiteral("文本.jpg") << true << QByteArray("this is not a picture");
    QTest::newRow("header only") << QStringLiteral("截断.gif") << true << QByteArray("GIF89a");
}

void TestDialogs::refusesMissingOrBrokenPicture()
{
    QFETCH(QString, name);
    QFETCH(bool, create);
    QFETCH(QByteArray, contents);
    const QString path = m_dir.filePath(name);
    if (create)
        writeFile(path, contents);
    try {
        QtPictureLoader().LoadPicture(path);
        QFAIL("no PictureError");
    } catch (const PictureError &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(path), error.what());
    }
}

void TestDialogs::loadsReplacedPictureAnew()
{
    const QString path = m_dir.filePath(QStringLiteral("换.jpg"));
    QtPictureLoader loader;
    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QVERIFY(picture.save(path, "JPEG"));
    QCOMPARE(loader.LoadPicture(path).size(), QSize(10, 10));

    picture = QImage(20, 5, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QVERIFY(picture.save(path, "JPEG"));
    QCOMPARE(loader.LoadPicture(path).size(), QSize(20, 5));
}

void TestDialogs::shippedFaceAtRatioTwoTakesItsTwin()
{
    // Each shipped face as installed beside the program.
    for (const char *face : {"face.gif", "face-pressed.gif"}) {
        const QString resource = QStringLiteral(":/") + QLatin1String(face);
        const QString path = m_dir.filePath(QStringLiteral("装好的") + QLatin1String(face));
        QVERIFY(QFile::copy(resource, path));
        const QPixmap sharp = QtPictureLoader::LoadPictureForRatio(path, 2.0);
        QCOMPARE(sharp.devicePixelRatio(), 2.0);
        QCOMPARE(sharp.deviceIndependentSize(), QSizeF(87, 29));
        QCOMPARE(sharp.toImage().convertToFormat(QImage::Format_ARGB32),
                 QImage(doubleSizeName(resource)).convertToFormat(QImage::Format_ARGB32));
        QCOMPARE(QtPictureLoader::LoadPictureForRatio(path, 1.0).devicePixelRatio(), 1.0);
    }
}

void TestDialogs::otherFaceAtRatioTwoShowsItself()
{
    // The shipped face with one pixel recoloured: the shipped twin would hide the change.
    QImage face = QImage(QStringLiteral(":/face.gif")).convertToFormat(QImage::Format_RGB32);
    face.setPixelColor(40, 14, Qt::red);
    const QString path = m_dir.filePath(QStringLiteral("改过的按钮.gif"));
    QVERIFY(face.save(path, "PNG")); // Qt writes no GIF; the loader goes by the content
    const QPixmap shown = QtPictureLoader::LoadPictureForRatio(path, 2.0);
    QCOMPARE(shown.devicePixelRatio(), 1.0);
    QCOMPARE(shown.toImage().pixelColor(40, 14), QColor(Qt::red));
}

void TestDialogs::compiledInFaceAtRatioTwoKeepsItsSize()
{
    SkinImage image;
    image.setPicture(QtPictureLoader::LoadPictureForRatio(QStringLiteral(":/face.gif"), 2.0));
    QCOMPARE(image.Picture().devicePixelRatio(), 2.0);
    QCOMPARE(image.size(), QSize(87, 29));
    QCOMPARE(image.Width(), 1305.0f);
    QCOMPARE(image.Height(), 435.0f);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
