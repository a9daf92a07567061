// The generation run, its random draws and the list commands, on fixture
// databases and the shipped one, through a host without a window.

#include "generate/GenerationRun.h"
#include "generate/ListCommands.h"
#include "generate/RandomRecord.h"
#include "generate/ResultList.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>

Q_DECLARE_METATYPE(DisplayFieldSet)

namespace {

const QString runSource = QStringLiteral("in Orvelle2021/08/31.Form1.PushButton2_Click ");

class GenerationTestHost : public FakeHostOf<GenerationHost>
{
public:
    QString numberText() const override { return number; }
    DisplayFieldSet fieldSet() const override { return fields; }
    void focusCity() override { ++focusMoves; }

    QString number = QStringLiteral("200");
    DisplayFieldSet fields{true, true, true};
    int focusMoves = 0;
};

void makeDatabase(const QString &folder, const QString &sql)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QDir(folder).filePath(QStringLiteral("zipbase.mdb")).toUtf8().constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

} // namespace

class TestGeneration : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void drawsReachEveryRecord();
    void drawsAreUniform();
    void reseedWithUnchangedTimerGivesNewValues();
    void zeroRecordsDrawOne();
    void timerIsSecondsSinceMidnight();
    void timerOnDaysOf23And25Hours();

    void twoHundredRowsFromTheShippedDatabase();
    void zeroAndNegativeCounts_data();
    void zeroAndNegativeCounts();
    void fieldSetsThroughTheRun_data();
    void fieldSetsThroughTheRun();
    void missingDatabase();
    void noFieldChosen();
    void noFieldAndNoDatabase();
    void badCounts_data();
    void badCounts();
    void countBeyondMemoryIsRefused();
    void unreadableDatabaseLeavesTheList_data();
    void unreadableDatabaseLeavesTheList();
    void unreadableRecordRepeatsTheRowBefore();
    void secondRunReplacesTheRows();
    void busyRunDoesNothing();
    void rowsAreCommittedToTheViewOnlyWhenAsked();

    void deleteSelectedRow();
    void clearKeepsTheColumn();

private:
    QTemporaryDir m_dir;
    GenerationTestHost m_host;
};

void TestGeneration::init()
{
    m_host = GenerationTestHost();
    m_host.folder = QFileInfo(QStringLiteral(ZIPBASE_PATH)).absolutePath();
}

void TestGeneration::drawsReachEveryRecord()
{
    RecordGenerator generator;
    const int m = 7;
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        const double r = RandomRecordNumber(m, generator, 1000.25f);
        QCOMPARE(r, std::floor(r));
        QVERIFY(r >= 1 && r <= m);
        seen.insert(int(r));
    }
    QCOMPARE(int(seen.size()), m);
}

void TestGeneration::drawsAreUniform()
{
    // Chi-square over 10 cells, 9 degrees of freedom: 27.88 is the 0.1 % point.
    RecordGenerator generator;
    const int cells = 10;
    const int draws = 100000;
    std::vector<int> counts(cells, 0);
    float timer = 43200.0f;
    for (int i = 0; i < draws; ++i) {
        if (i % 97 == 0)
            timer += 0.015625f; // the timer moves only now and then
        ++counts[std::size_t(RandomRecordNumber(cells, generator, timer)) - 1];
    }
    double chiSquare = 0;
    const double expected = double(draws) / cells;
    for (int count : counts)
        chiSquare += (count - expected) * (count - expected) / expected;
    QVERIFY2(chiSquare < 27.88, qPrintable(QString::number(chiSquare)));
}

void TestGeneration::reseedWithUnchangedTimerGivesNewValues()
{
    RecordGenerator generator;
    std::set<float> values;
    for (int i = 0; i < 1000; ++i) {
        generator.reseed(5.5f);
        values.insert(generator.next());
    }
    QVERIFY(values.size() > 990);
    // The new values come from the generator's state, not from chance: two
    // generators re-seeded alike from the same state agree, value for value.
    RecordGenerator a;
    RecordGenerator b;
    for (int i = 0; i < 100; ++i) {
        a.reseed(5.5f);
        b.reseed(5.5f);
        QCOMPARE(a.next(), b.next());
    }
}

void TestGeneration::zeroRecordsDrawOne()
{
    RecordGenerator generator;
    for (int i = 0; i < 100; ++i)
        QCOMPARE(RandomRecordNumber(0, generator, 1.0f), 1.0);
    QCOMPARE(RandomRecordNumber(1), 1.0);
}

void TestGeneration::timerIsSecondsSinceMidnight()
{
    const float timer = secondsSinceMidnight();
    const double expected = QTime(0, 0).msecsTo(QTime::currentTime()) / 1000.0;
    QVERIFY(timer >= 0 && timer < 86400);
    QVERIFY(std::abs(timer - expected) < 2 || std::abs(timer - expected) > 86000);
}

void TestGeneration::timerOnDaysOf23And25Hours()
{
    // New York's clocks went forward at 2:00 on 10 March 2024 and back at 2:00 on 3 November.
    const QTimeZone zone("America/New_York");
    QVERIFY(zone.isValid());
    const auto at = [&](int month, int day, QTime time) {
        return QDateTime(QDate(2024, month, day), time, zone).toMSecsSinceEpoch();
    };
    LocalClock clock(zone);
    // 23 hours: at 3:30 the timer shows 3:30, though 2.5 hours have passed since midnight.
    QCOMPARE(clock.secondsSinceMidnight(at(3, 10, QTime(3, 30))), 3.5f * 3600);
    // 25 hours: the last hour of the day reads from 23:00, with no look-up per draw.
    const qint64 lastHour = at(11, 3, QTime(23, 0));
    QCOMPARE(clock.secondsSinceMidnight(lastHour), 23.0f * 3600);
    const int lookups = clock.zoneLookups();
    for (qint64 ms = lastHour; ms < lastHour + 3'600'000; ms += 250)
        QVERIFY(clock.secondsSinceMidnight(ms) >= 23.0f * 3600);
    QCOMPARE(clock.zoneLookups(), lookups);
    QCOMPARE(clock.secondsSinceMidnight(lastHour + 3'600'000), 0.0f);
}

void TestGeneration::twoHundredRowsFromTheShippedDatabase()
{
    ResultsColumnList list;
    generatePlaces(m_host, list);
    QVERIFY(m_host.m_dialogs.messages.isEmpty());
    QCOMPARE(list.rows(), 200);
    const QRegularExpression shape(QStringLiteral(R"(^[A-Z][^,]*, [A-Z]{2} \d{5}$)"));
    for (const QString &row : rowsOf(list))
        QVERIFY2(shape.match(row).hasMatch(), qPrintable(row));
    for (int row = 1; row <= list.rows(); ++row)
        QVERIFY(!list.checked(row));
    QCOMPARE(m_host.pointers, (QList<Pointer>{Pointer::Hourglass, Pointer::Normal}));
    QVERIFY(m_host.yields >= 200);
    // The bar rises with every row up to full, then empties; its caption is
    // set back once.
    const QList<double> &values = m_host.m_progress.values;
    QCOMPARE(values.size(), 200 + 1);
    QVERIFY(values.first() > 0.0);
    QVERIFY(std::adjacent_find(values.begin(), values.end() - 1, std::greater_equal<double>()) == values.end() - 1);
    QCOMPARE(values[199], 100.0);
    QCOMPARE(values.last(), 0.0);
    QCOMPARE(m_host.m_progress.texts, QStringList{QStringLiteral("Progress Bar")});
}

void TestGeneration::zeroAndNegativeCounts_data()
{
    QTest::addColumn<QString>("number");
    QTest::newRow("zero") << "0";
    QTest::newRow("negative") << "-3";
    QTest::newRow("rounds to zero") << "0.4";
}

void TestGeneration::zeroAndNegativeCounts()
{
    QFETCH(QString, number);
    ResultsColumnList list;
    list.append(QStringLiteral("old row"));
    m_host.number = number;
    generatePlaces(m_host, list);
    QCOMPARE(list.rows(), 0);
    QVERIFY(m_host.m_dialogs.messages.isEmpty());
    QCOMPARE(m_host.m_progress.values, QList<double>{0.0}); // no row drawn
    QCOMPARE(m_host.pointers, (QList<Pointer>{Pointer::Hourglass, Pointer::Normal}));
}

void TestGeneration::fieldSetsThroughTheRun_data()
{
    QTest::addColumn<DisplayFieldSet>("fields");
    QTest::addColumn<QString>("row");
    QTest::newRow("city") << DisplayFieldSet{true, false, false} << "Saint Paul";
    QTest::newRow("state") << DisplayFieldSet{false, true, false} << "Mn";
    QTest::newRow("zip") << DisplayFieldSet{false, false, true} << "05501";
    QTest::newRow("city state") << DisplayFieldSet{true, true, false} << "Saint Paul, MN";
    QTest::newRow("city zip") << DisplayFieldSet{true, false, true} << "Saint Paul 05501";
    QTest::newRow("state zip") << DisplayFieldSet{false, true, true} << "Mn 05501";
    QTest::newRow("all") << DisplayFieldSet{true, true, true} << "Saint Paul, MN 05501";
}

void TestGeneration::fieldSetsThroughTheRun()
{
    QFETCH(DisplayFieldSet, fields);
    QFETCH(QString, row);
    // One record: every row shows its display string.
    QTemporaryDir dir;
    makeDatabase(dir.path(),
                 QStringLiteral("CREATE TABLE zip_codes (city TEXT, state TEXT, zip TEXT);"
                                "INSERT INTO zip_codes VALUES ('SAINT PAUL', 'mn', '05501');"));
    m_host.folder = dir.path();
    m_host.fields = fields;
    m_host.number = QStringLiteral("3");
    ResultsColumnList list;
    generatePlaces(m_host, list);
    QCOMPARE(rowsOf(list), QStringList(3, row));
    QVERIFY(m_host.m_dialogs.messages.isEmpty());
}

void TestGeneration::missingDatabase()
{
    QTemporaryDir dir;
    m_host.folder = dir.path();
    ResultsColumnList list;
    list.append(QStringLiteral("kept"));
    m_host.m_progress.setValue(42);
    m_host.m_progress.values.clear();
    generatePlaces(m_host, list);
    QCOMPARE(m_host.m_dialogs.texts(), QStringList{dir.path() + QStringLiteral("/zipbase.mdb not found.")});
    QCOMPARE(m_host.m_dialogs.messages[0].title, QStringLiteral("Orvelle"));
    QCOMPARE(m_host.m_dialogs.messages[0].icon, Dialogs::Icon::None);
    QCOMPARE(rowsOf(list), QStringList{QStringLiteral("kept")});
    QVERIFY(m_host.m_progress.values.isEmpty());
    QVERIFY(m_host.pointers.isEmpty());

    // A folder in the file's place is not found either, in the same words.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("zipbase.mdb")));
    generatePlaces(m_host, list);
    QCOMPARE(m_host.m_dialogs.texts().last(), dir.path() + QStringLiteral("/zipbase.mdb not found."));
    QCOMPARE(rowsOf(list), QStringList{QStringLiteral("kept")});
    QVERIFY(m_host.pointers.isEmpty());
}

void TestGeneration::noFieldChosen()
{
    m_host.fields = {};
    ResultsColumnList list;
    list.append(QStringLiteral("kept"));
    generatePlaces(m_host, list);
    QCOMPARE(m_host.m_dialogs.texts(), QStringList{QStringLiteral("You forgot to check which fields to display.")});
    QCOMPARE(m_host.focusMoves, 1);
    QCOMPARE(rowsOf(list), QStringList{QStringLiteral("kept")});
    QCOMPARE(m_host.pointers, QList<Pointer>{Pointer::Normal});
    QCOMPARE(m_host.m_progress.values, QList<double>{0.0});
    QCOMPARE(m_host.m_progress.texts, QStringList{QStringLiteral("Progress Bar")});
}

void TestGeneration::noFieldAndNoDatabase()
{
    QTemporaryDir dir;
    m_host.folder = dir.path();
    m_host.fields = {};
    ResultList list;
    generatePlaces(m_host, list);
    QCOMPARE(m_host.m_dialogs.messages.size(), 1);
    QVERIFY(m_host.m_dialogs.messages[0].text.endsWith(QStringLiteral("zipbase.mdb not found.")));
    QCOMPARE(m_host.focusMoves, 0);
}

void TestGeneration::badCounts_data()
{
    QTest::addColumn<QString>("number");
    QTest::newRow("letters") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("beyond the range") << "3000000000";
    QTest::newRow("fraction rounding past the range") << "2147483647.5";
    QTest::newRow("beyond a double") << "1e999";
    QTest::newRow("400 digits") << QString(400, QLatin1Char('9'));
}

void TestGeneration::badCounts()
{
    QFETCH(QString, number);
    ResultsColumnList list;
    list.append(QStringLiteral("old"));
    m_host.number = number;
    generatePlaces(m_host, list);
    QCOMPARE(reportedSteps(m_host.m_dialogs, runSource), QList<int>{138});
    QCOMPARE(list.rows(), 0);
    QCOMPARE(m_host.pointers, (QList<Pointer>{Pointer::Hourglass, Pointer::Normal}));
    QCOMPARE(m_host.m_progress.value(), 0.0);
    QCOMPARE(m_host.m_progress.text(), QStringLiteral("Progress Bar"));
}

void TestGeneration::countBeyondMemoryIsRefused()
{
    ResultsColumnList list;
    list.append(QStringLiteral("kept"));
    m_host.number = QStringLiteral("2147483647");
    if (std::uint64_t(2147483647) * bytesPerGeneratedRow <= availableMemory())
        QSKIP("this machine could hold the largest count");
    generatePlaces(m_host, list);
    QCOMPARE(m_host.m_dialogs.messages.size(), 1);
    QVERIFY(m_host.m_dialogs.messages[0].text.contains(QStringLiteral("too many")));
    QCOMPARE(m_host.m_dialogs.messages[0].icon, Dialogs::Icon::None);
    QCOMPARE(rowsOf(list), QStringList{QStringLiteral("kept")});
    QCOMPARE(m_host.pointers, (QList<Pointer>{Pointer::Hourglass, Pointer::Normal}));
    QCOMPARE(m_host.m_progress.text(), QStringLiteral("Progress Bar"));
}

void TestGeneration::unreadableDatabaseLeavesTheList_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("description");
    QFile shipped(QStringLiteral(ZIPBASE_PATH));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    // A file that is no database (empty, of another kind, cut short) fails
    // the opening of the connection, whatever is wrong with it.
    QTest::newRow("zero-length") << QByteArray("") << 130 << "is empty (zero bytes)";
    QTest::newRow("truncated") << shipped.read(64 * 1024) << 130 << "cannot be read";
    QTest::newRow("random bytes") << QByteArray(4096, 'x') << 130 << "is not an SQLite database file";
    QTest::newRow("no records") << QByteArray() << 146 << "found no places";
}

void TestGeneration::unreadableDatabaseLeavesTheList()
{
    QFETCH(QByteArray, content);
    QFETCH(int, step);
    QFETCH(QString, description);
    QTemporaryDir dir;
    if (content.isNull()) {
        makeDatabase(dir.path(), QStringLiteral("CREATE TABLE zip_codes (city TEXT, state TEXT, zip TEXT);"));
    } else {
        QFile file(QDir(dir.path()).filePath(QStringLiteral("zipbase.mdb")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    m_host.folder = dir.path();
    ResultsColumnList list;
    list.append(QStringLiteral("kept"));
    generatePlaces(m_host, list);
    // One report, no rows added, the list as it was; then the closing steps.
    QCOMPARE(reportedSteps(m_host.m_dialogs, runSource), QList<int>{step});
    const QString text = m_host.m_dialogs.messages[0].text;
    QVERIFY2(text.contains(description), qPrintable(text));
    if (step != 146)
        QVERIFY2(text.startsWith(QStringLiteral("The place database %1/zipbase.mdb ").arg(dir.path())),
                 qPrintable(text));
    QCOMPARE(rowsOf(list), QStringList{QStringLiteral("kept")});
    QCOMPARE(m_host.pointers, (QList<Pointer>{Pointer::Hourglass, Pointer::Normal}));
    QCOMPARE(m_host.m_progress.values, QList<double>{0.0});
    QCOMPARE(m_host.m_progress.text(), QStringLiteral("Progress Bar"));
}

void TestGeneration::unreadableRecordRepeatsTheRowBefore()
{
    // Two places and a record whose text cannot be read: each draw of that one
    // is reported and repeats the row before (the first row: an empty one),
    // whether that row's text was read or reused from an earlier draw.
    QTemporaryDir dir;
    makeDatabase(dir.path(),
                 QStringLiteral("CREATE TABLE zip_codes (city TEXT, state TEXT, zip TEXT);"
                                "INSERT INTO zip_codes VALUES ('AGAWAM', 'MA', '01001'), "
                                "(NULL, 'NY', '00501'), ('ADJUNTAS', 'PR', '00601');"));
    m_host.folder = dir.path();
    m_host.number = QStringLiteral("300");
    ResultsColumnList list;
    QSet<int> failedRows;
    m_host.m_dialogs.onMessage = [&] { failedRows.insert(list.rows() + 1); };
    generatePlaces(m_host, list);

    QCOMPARE(reportedSteps(m_host.m_dialogs, runSource), QList<int>(failedRows.size(), 150));
    QVERIFY(!failedRows.isEmpty());
    const QStringList rows = rowsOf(list);
    QCOMPARE(rows.size(), 300);
    for (int row = 1; row <= rows.size(); ++row) {
        const QString &text = rows[row - 1];
        if (failedRows.contains(row))
            QCOMPARE(text, row == 1 ? QString() : rows[row - 2]);
        else
            QVERIFY2(text == "Agawam, MA 01001" || text == "Adjuntas, PR 00601", qPrintable(text));
    }
}

void TestGeneration::secondRunReplacesTheRows()
{
    ResultsColumnList list;
    m_host.number = QStringLiteral("30");
    generatePlaces(m_host, list);
    m_host.number = QStringLiteral("7");
    m_host.fields = {false, false, true};
    generatePlaces(m_host, list);
    QCOMPARE(list.rows(), 7);
    for (const QString &row : rowsOf(list))
        QVERIFY2(QRegularExpression(QStringLiteral(R"(^\d{5}$)")).match(row).hasMatch(), qPrintable(row));
}

void TestGeneration::busyRunDoesNothing()
{
    ResultsColumnList list;
    m_host.number = QStringLiteral("20");
    int nested = 0;
    m_host.onYield = [&] {
        if (nested++ == 5)
            generatePlaces(m_host, list); // a second press while the hourglass shows
    };
    generatePlaces(m_host, list);
    QCOMPARE(list.rows(), 20);
    QCOMPARE(m_host.pointers, (QList<Pointer>{Pointer::Hourglass, Pointer::Normal}));
}

void TestGeneration::rowsAreCommittedToTheViewOnlyWhenAsked()
{
    ResultsColumnList list;
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    m_host.number = QStringLiteral("1000");
    generatePlaces(m_host, list);
    QCOMPARE(list.rows(), 1000);
    QCOMPARE(list.rowCount(), 0);
    list.commit();
    QCOMPARE(list.rowCount(), 1000);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(list.data(list.index(999, 0), Qt::DisplayRole).toString(), list.text(1000, 1));
}

void TestGeneration::deleteSelectedRow()
{
    ResultsColumnList list;
    for (const char *text : {"r1", "r2", "r3", "r4", "r5"})
        list.append(QLatin1String(text));
    list.commit();
    list.setChecked(4, true);
    removeSelectedRow(m_host, list, 3);
    QCOMPARE(rowsOf(list), (QStringList{"r1", "r2", "r4", "r5"}));
    QVERIFY(list.checked(3)); // the check flag moves up with its row
    QCOMPARE(list.rowCount(), 4);
    removeSelectedRow(m_host, list, 0); // nothing selected
    removeSelectedRow(m_host, list, 9);
    QCOMPARE(list.rows(), 4);
    ResultList empty;
    removeSelectedRow(m_host, empty, 1);
    QCOMPARE(empty.rows(), 0);
}

void TestGeneration::clearKeepsTheColumn()
{
    ResultsColumnList list;
    m_host.number = QStringLiteral("200");
    generatePlaces(m_host, list);
    clearList(m_host, list);
    QCOMPARE(list.rows(), 0);
    QCOMPARE(list.columns(), 1);
    QCOMPARE(list.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Result(s)"));
    clearList(m_host, list); // an empty list stays empty
    QCOMPARE(list.rows(), 0);
}

QTEST_GUILESS_MAIN(TestGeneration)
#include "tst_generation.moc"
