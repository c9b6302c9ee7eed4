#include "app/Numeric.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestNumeric : public QObject
{
    Q_OBJECT

private slots:
    void roundsHalfToEven_data();
    void roundsHalfToEven();
    void refusesWhatDoesNotFit_data();
    void refusesWhatDoesNotFit();
    void faultsInsteadOfInfinityOrNaN();
};

void TestNumeric::roundsHalfToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("1620.5 down to even") << 1620.5 << 1620;
    QTest::newRow("1621.5 up to even") << 1621.5 << 1622;
    QTest::newRow("0.5 to zero") << 0.5 << 0;
    QTest::newRow("1.5 to two") << 1.5 << 2;
    QTest::newRow("-2.5 to -2") << -2.5 << -2;
    QTest::newRow("below half") << 1953.49 << 1953;
    QTest::newRow("above half") << 1953.75 << 1954;
    QTest::newRow("largest") << 2147483647.0 << std::numeric_limits<qint32>::max();
    QTest::newRow("smallest") << -2147483648.0 << std::numeric_limits<qint32>::min();
    QTest::newRow("rounds back into range") << 2147483647.4 << std::numeric_limits<qint32>::max();
}

void TestNumeric::roundsHalfToEven()
{
    QFETCH(double, value);
    QFETCH(qint32, expected);
    QCOMPARE(Numeric::ToInt32(value), expected);
}

void TestNumeric::refusesWhatDoesNotFit_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("just above") << 2147483647.5;
    QTest::newRow("just below") << -2147483648.6;
    QTest::newRow("huge") << 1e300;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
}

void TestNumeric::refusesWhatDoesNotFit()
{
    QFETCH(double, value);
    QVERIFY_THROWS_EXCEPTION(ArithmeticError, Numeric::ToInt32(value));
}

void TestNumeric::faultsInsteadOfInfinityOrNaN()
{
    QVERIFY_THROWS_EXCEPTION(ArithmeticError, Numeric::Div(1.0, 0.0));
    QVERIFY_THROWS_EXCEPTION(ArithmeticError, Numeric::Div(0.0, 0.0));
    QVERIFY_THROWS_EXCEPTION(ArithmeticError, Numeric::Mul(1e200, 1e200));
    QVERIFY_THROWS_EXCEPTION(ArithmeticError, Numeric::Sub(-1e308, 1e308));
    QVERIFY_THROWS_EXCEPTION(ArithmeticError,
                             Numeric::Add(std::numeric_limits<double>::quiet_NaN(), 1.0));
    QCOMPARE(Numeric::Div(45.0, 180.0), 0.25);
}

QTEST_APPLESS_MAIN(TestNumeric)
#include "tst_numeric.moc"
