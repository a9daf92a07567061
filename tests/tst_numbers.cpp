// The numbers the program reads from what the user types: which texts are
// numbers, and the count a number makes.

#include "shell/Failure.h"
#include "shell/Numbers.h"

#include <QTest>

#include <cstdint>
#include <limits>

class TestNumbers : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data();
    void numbers();
    void counts();
};

void TestNumbers::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blanks") << "   " << false;
    QTest::newRow("digits") << "200" << true;
    QTest::newRow("zero") << "0" << true;
    QTest::newRow("negative") << "-3" << true;
    QTest::newRow("plus and blanks") << "  +12  " << true;
    QTest::newRow("fraction") << "2.5" << true;
    QTest::newRow("leading point") << ".5" << true;
    QTest::newRow("trailing point") << "5." << true;
    QTest::newRow("exponent") << "1e6" << true;
    QTest::newRow("huge") << "99999999999999999999" << true;
    QTest::newRow("letter") << "12a" << false;
    QTest::newRow("letters") << "abc" << false;
    QTest::newRow("two signs") << "+-1" << false;
    QTest::newRow("inner blank") << "1 2" << false;
    QTest::newRow("trailing line feed") << "7\n" << false;
    QTest::newRow("lone point") << "." << false;
    // Numbers far beyond any count pass: the form decides, not the size.
    QTest::newRow("beyond a double") << "1e999" << true;
    QTest::newRow("400 digits") << QString(400, QLatin1Char('9')) << true;
}

void TestNumbers::numbers()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QCOMPARE(parseNumber(text).has_value(), numeric);
}

void TestNumbers::counts()
{
    QCOMPARE(toCount(QStringLiteral("200")), 200);
    QCOMPARE(toCount(QStringLiteral("2.5")), 2);
    QCOMPARE(toCount(QStringLiteral("3.5")), 4);
    QCOMPARE(toCount(QStringLiteral("-0.5")), 0);
    QCOMPARE(toCount(QStringLiteral("2147483647")), 2147483647);
    QCOMPARE(toCount(QStringLiteral("-2147483648")), std::numeric_limits<std::int32_t>::min());
    QVERIFY_THROWS_EXCEPTION(Failure, toCount(QStringLiteral("2147483648")));
    QVERIFY_THROWS_EXCEPTION(Failure, toCount(QStringLiteral("2147483647.5"))); // rounds to the even 2147483648
    QVERIFY_THROWS_EXCEPTION(Failure, toCount(QStringLiteral("abc")));
    QVERIFY_THROWS_EXCEPTION(Failure, toCount(QString()));
}

QTEST_GUILESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
