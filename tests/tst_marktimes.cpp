#include "ui/MarkTimesDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// 3:25.07, as a file's length.
constexpr qint64 Length = 20507;

// Runs `act` on the dialog once askMarkTimes has it up, and returns what askMarkTimes returned.
std::optional<MarkHundredths> askAndDo(MarkHundredths marks,
                                       const std::function<void(MarkTimesDialog &)> &act)
{
    QTimer::singleShot(0, qApp, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *dialog = qobject_cast<MarkTimesDialog *>(modal);
        QVERIFY2(dialog, "askMarkTimes shows a MarkTimesDialog, modal");
        if (QTest::qWaitForWindowActive(dialog))
            act(*dialog);
        // Should `act` leave it open, close it so that the test goes on.
        if (modal)
            modal->close();
    });
    return askMarkTimes(nullptr, marks, Length);
}

void retype(MarkTimeEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
}

} // namespace

class TestMarkTimes : public QObject
{
    Q_OBJECT

private slots:
    void typesAndSteps();
    void refuses_data();
    void refuses();
    void escapeChangesNothing();
};

void TestMarkTimes::typesAndSteps()
{
    const auto result = askAndDo({100, 200}, [](MarkTimesDialog &dialog) {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Velquistmp3剪切器"));
        auto *start = dialog.findChild<MarkTimeEdit *>("start");
        auto *end = dialog.findChild<MarkTimeEdit *>("end");
        QCOMPARE(start->text(), QStringLiteral("00:01.00"));
        QCOMPARE(end->text(), QStringLiteral("00:02.00"));
        // The start is selected: typing replaces it; Tab selects the end for the same.
        QCOMPARE(dialog.focusWidget(), start);
        QTest::keyClicks(start, "1:02.5");
        QTest::keyClick(start, Qt::Key_Tab);
        QTest::keyClicks(end, "03:2"); // a half-typed end is not taken
        QCOMPARE(dialog.marks().has_value(), false);
        QTest::keyClicks(end, "0.41");
        // 0.01 s a step, 1 s a page, never past the file's end.
        QTest::keyClick(end, Qt::Key_Up);
        QCOMPARE(end->text(), QStringLiteral("03:20.42"));
        QTest::keyClick(end, Qt::Key_PageUp);
        QTest::keyClick(end, Qt::Key_PageUp);
        QCOMPARE(end->text(), QStringLiteral("03:22.42"));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(end, Qt::Key_PageUp);
        QCOMPARE(end->text(), QStringLiteral("03:25.07"));
        QTest::keyClick(end, Qt::Key_Down);
        QTest::keyClick(end, Qt::Key_Return);
    });
    QVERIFY(result);
    QCOMPARE(result->start, 6250);
    QCOMPARE(result->end, 20506);
}

void TestMarkTimes::refuses_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("wrongField");
    QTest::addColumn<QString>("reason");
    QTest::newRow("end before start") << "00:10.00"
                                      << "00:09.99"
                                      << "end"
                                      << "结束必须晚于开始";
    QTest::newRow("end at start") << "00:10.00"
                                  << "00:10.00"
                                  << "end"
                                  << "结束必须晚于开始";
    QTest::newRow("past the file's end") << "00:10.00"
                                         << "03:25.08"
                                         << "end"
                                         << "超出文件长度 03:25.07";
    QTest::newRow("start past the end, too") << "03:26.00"
                                             << "03:25.07"
                                             << "start"
                                             << "超出文件长度 03:25.07";
    QTest::newRow("not a time") << "1:2"
                                << "00:20.00"
                                << "start"
                                << "时间的格式是 分:秒.百分秒";
}

void TestMarkTimes::refuses()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, wrongField);
    QFETCH(QString, reason);
    MarkTimesDialog dialog(nullptr, {0, 500}, Length);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    retype(dialog.findChild<MarkTimeEdit *>("start"), start);
    retype(dialog.findChild<MarkTimeEdit *>("end"), end);

    const QString rightField = wrongField == "start" ? "end" : "start";
    QCOMPARE(dialog.findChild<QLabel *>(wrongField + "Reason")->text(), reason);
    QCOMPARE(dialog.findChild<QLabel *>(rightField + "Reason")->text(), QString());
    QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
    QCOMPARE(ok->text(), QStringLiteral("确定"));
    QVERIFY(!ok->isEnabled());
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
    dialog.accept();
    QVERIFY(dialog.isVisible());

    // Mended, the reasons go and 确定 takes the times.
    retype(dialog.findChild<MarkTimeEdit *>("start"), "00:01.00");
    retype(dialog.findChild<MarkTimeEdit *>("end"), "03:25.07");
    QCOMPARE(dialog.findChild<QLabel *>(wrongField + "Reason")->text(), QString());
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.marks()->end, Length);
}

void TestMarkTimes::escapeChangesNothing()
{
    const auto result = askAndDo({100, 200}, [](MarkTimesDialog &dialog) {
        auto *start = dialog.findChild<MarkTimeEdit *>("start");
        QTest::keyClicks(start, "00:00.50");
        QTest::keyClick(start, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    });
    QVERIFY(!result);
}

QTEST_MAIN(TestMarkTimes)
#include "tst_marktimes.moc"
