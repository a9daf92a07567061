// The place database: presence test, display query, provider, record set and
// display text normalisation, against fixture databases and the shipped one.

#include "generate/PlaceDatabase.h"
#include "shell/Failure.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

Q_DECLARE_METATYPE(DisplayFieldSet)

namespace {

// Creates an SQLite database at `path` by running `sql`.
void makeDatabase(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    char *error = nullptr;
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    const QString message = QString::fromUtf8(error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(code == SQLITE_OK, qPrintable(message));
}

const char fixtureSql[] = "CREATE TABLE zip_codes (city TEXT, state TEXT, zip TEXT, county TEXT);"
                          "INSERT INTO zip_codes VALUES ('HOLTSVILLE', 'NY', '00501', 'Suffolk');"
                          "INSERT INTO zip_codes VALUES ('WINSTON-SALEM', 'NC', '27101', 'Forsyth');"
                          "INSERT INTO zip_codes VALUES ('O''FALLON', 'MO', '63366', 'St. Charles');";

QStringList readAll(PlaceRecordSet &records)
{
    QStringList values;
    for (int k = 0; k < records.recordCount(); ++k) {
        records.moveFirst();
        records.move(k);
        values.append(records.value(QStringLiteral("display_fields")));
    }
    return values;
}

} // namespace

class TestPlaceDatabase : public QObject
{
    Q_OBJECT

private slots:
    void noFieldsMakeNoQuery();
    void textJoinsTranslatedOutsideLiterals();

    void normalize_data();
    void normalize();
    void everySeparatorStartsAWord();

    void presence();
    void fixtureQueries_data();
    void fixtureQueries();
    void nullColumnFailsTheRead();
    void emptyTableFailsMoves();
    void badDatabases_data();
    void badDatabases();
    void shippedDatabase_data();
    void shippedDatabase();

private:
    QTemporaryDir m_dir;
};

void TestPlaceDatabase::noFieldsMakeNoQuery()
{
    QVERIFY(BuildDisplayQuery({false, false, false}).isEmpty());
}

void TestPlaceDatabase::textJoinsTranslatedOutsideLiterals()
{
    QCOMPARE(translateTextJoins(QStringLiteral("SELECT city+ ', ' + state+ ' ' + zip as d From t")),
             QStringLiteral("SELECT city|| ', ' || state|| ' ' || zip as d From t"));
    QCOMPARE(translateTextJoins(QStringLiteral("SELECT 'a+b' + 'it''s+' + c")),
             QStringLiteral("SELECT 'a+b' || 'it''s+' || c"));
}

void TestPlaceDatabase::normalize_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("display");
    QTest::newRow("city state") << "NEW YORK, NY"
                                << "New York, NY";
    QTest::newRow("hyphen") << "WINSTON-SALEM, NC"
                            << "Winston-salem, NC";
    QTest::newRow("apostrophe") << "O'FALLON, MO"
                                << "O'fallon, MO";
    QTest::newRow("full stop") << "ST. LOUIS, MO"
                               << "St. Louis, MO";
    QTest::newRow("all fields") << "HOLTSVILLE, NY 00501"
                                << "Holtsville, NY 00501";
    QTest::newRow("state zip, no comma") << "NY 00501"
                                         << "Ny 00501";
    QTest::newRow("state only") << "NY"
                                << "Ny";
    QTest::newRow("zip only, leading zeros") << "00501"
                                             << "00501";
    QTest::newRow("city zip") << "HOLTSVILLE 00501"
                              << "Holtsville 00501";
    QTest::newRow("comma last") << "ABC,"
                                << "Abc,";
    QTest::newRow("short piece") << "ABC, N"
                                 << "Abc, N";
    QTest::newRow("every occurrence of the piece") << "A, NY, NY"
                                                   << "A, NY, NY";
    QTest::newRow("digit does not start a word") << "1ST AVE, NY"
                                                 << "1st Ave, NY";
    QTest::newRow("non-ASCII letters") << "DOÑA ANA, NM"
                                       << "Doña Ana, NM";
    QTest::newRow("accented lower to upper") << "élan éTÉ"
                                             << "Élan Été";
    QTest::newRow("sharp s keeps its length") << "STRAßE, ßX"
                                              << "Straße, ßX";
    QTest::newRow("empty") << ""
                           << "";
}

void TestPlaceDatabase::normalize()
{
    QFETCH(QString, value);
    QFETCH(QString, display);
    QCOMPARE(NormalizeDisplayText(value), display);
    QCOMPARE(NormalizeDisplayText(value).size(), value.size());
}

void TestPlaceDatabase::everySeparatorStartsAWord()
{
    for (const char16_t separator : {u'\0', u'\t', u'\n', u'\v', u'\f', u'\r', u' '}) {
        const QString value = QStringLiteral("AB") + QChar(separator) + QStringLiteral("CD");
        QCOMPARE(properCase(value), QStringLiteral("Ab") + QChar(separator) + QStringLiteral("Cd"));
    }
    for (const char16_t other : {u'-', u'\'', u'.', u',', u'/', u'(', u'1', u'\u00a0'}) {
        const QString value = QStringLiteral("AB") + QChar(other) + QStringLiteral("CD");
        QCOMPARE(properCase(value), QStringLiteral("Ab") + QChar(other) + QStringLiteral("cd"));
    }
}

void TestPlaceDatabase::presence()
{
    QVERIFY(m_dir.isValid());
    const QString visible = m_dir.filePath(QStringLiteral("zipbase.mdb"));
    QVERIFY(!databasePresent(visible));
    QFile(visible).open(QIODevice::WriteOnly);
    QVERIFY(databasePresent(visible));
    const QString hidden = m_dir.filePath(QStringLiteral(".zipbase.mdb"));
    QFile(hidden).open(QIODevice::WriteOnly);
    QVERIFY(!databasePresent(hidden));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.mdb")));
    QVERIFY(!databasePresent(m_dir.filePath(QStringLiteral("folder.mdb"))));
    QCOMPARE(databasePath(QStringLiteral("/usr/lib/orvelle")), QStringLiteral("/usr/lib/orvelle/zipbase.mdb"));
}

void TestPlaceDatabase::fixtureQueries_data()
{
    QTest::addColumn<DisplayFieldSet>("fields");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("city") << DisplayFieldSet{true, false, false}
                          << QStringList{"HOLTSVILLE", "WINSTON-SALEM", "O'FALLON"};
    QTest::newRow("state") << DisplayFieldSet{false, true, false} << QStringList{"NY", "NC", "MO"};
    QTest::newRow("zip") << DisplayFieldSet{false, false, true} << QStringList{"00501", "27101", "63366"};
    QTest::newRow("city state") << DisplayFieldSet{true, true, false}
                                << QStringList{"HOLTSVILLE, NY", "WINSTON-SALEM, NC", "O'FALLON, MO"};
    QTest::newRow("city zip") << DisplayFieldSet{true, false, true}
                              << QStringList{"HOLTSVILLE 00501", "WINSTON-SALEM 27101", "O'FALLON 63366"};
    QTest::newRow("state zip") << DisplayFieldSet{false, true, true} << QStringList{"NY 00501", "NC 27101", "MO 63366"};
    QTest::newRow("all") << DisplayFieldSet{true, true, true}
                         << QStringList{"HOLTSVILLE, NY 00501", "WINSTON-SALEM, NC 27101", "O'FALLON, MO 63366"};
}

void TestPlaceDatabase::fixtureQueries()
{
    QFETCH(DisplayFieldSet, fields);
    QFETCH(QStringList, values);
    const QString path = m_dir.filePath(QStringLiteral("fixture.mdb"));
    if (!QFile::exists(path))
        makeDatabase(path, fixtureSql);
    PlaceConnection connection;
    connection.open(path);
    PlaceRecordSet records;
    records.open(BuildDisplayQuery(fields), connection);
    QCOMPARE(records.recordCount(), 3);
    QCOMPARE(readAll(records), values);
    records.moveFirst();
    QVERIFY_THROWS_EXCEPTION(Failure, records.move(3));
    QVERIFY_THROWS_EXCEPTION(Failure, records.value(QStringLiteral("other")));
    records.close();
    QVERIFY_THROWS_EXCEPTION(Failure, records.recordCount());
}

void TestPlaceDatabase::nullColumnFailsTheRead()
{
    const QString path = m_dir.filePath(QStringLiteral("nulls.mdb"));
    makeDatabase(path,
                 "CREATE TABLE zip_codes (city TEXT, state TEXT, zip TEXT);"
                 "INSERT INTO zip_codes VALUES ('A', 'NY', NULL);"
                 "INSERT INTO zip_codes VALUES ('B', 'NY', '');");
    PlaceConnection connection;
    connection.open(path);
    PlaceRecordSet records;
    records.open(BuildDisplayQuery({true, true, true}), connection);
    QCOMPARE(records.recordCount(), 2);
    // A NULL operand makes the whole joined value NULL, and a NULL value fails the read.
    records.moveFirst();
    try {
        records.value(QStringLiteral("display_fields"));
        QFAIL("a NULL value was read as text");
    } catch (const Failure &failure) {
        QVERIFY(failure.description().contains(QLatin1String("no value")));
    }
    // An empty text is a value.
    records.move(1);
    QCOMPARE(records.value(QStringLiteral("display_fields")), QStringLiteral("B, NY "));
}

void TestPlaceDatabase::emptyTableFailsMoves()
{
    const QString path = m_dir.filePath(QStringLiteral("empty-table.mdb"));
    makeDatabase(path, "CREATE TABLE zip_codes (city TEXT, state TEXT, zip TEXT);");
    PlaceConnection connection;
    connection.open(path);
    PlaceRecordSet records;
    records.open(BuildDisplayQuery({true, false, false}), connection);
    QCOMPARE(records.recordCount(), 0);
    QVERIFY_THROWS_EXCEPTION(Failure, records.moveFirst());
    QVERIFY_THROWS_EXCEPTION(Failure, records.value(QStringLiteral("display_fields")));
}

// What SQLite says of a table or column the query lacks, named in the place
// database's words (the file's own faults: tst_generation and tst_cli).
void TestPlaceDatabase::badDatabases_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no table") << "CREATE TABLE places (city TEXT);"
                              << "has no table \"zip_codes\"";
    QTest::newRow("missing column") << "CREATE TABLE zip_codes (city TEXT, zip TEXT);"
                                    << "has no column \"state\"";
}
void TestPlaceDatabase::badDatabases()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(QStringLiteral("bad.mdb"));
    QFile::remove(path);
    makeDatabase(path, sql.toUtf8().constData());
    QString description;
    try {
        PlaceConnection connection;
        connection.open(path);
        PlaceRecordSet records;
        records.open(BuildDisplayQuery({true, true, true}), connection);
    } catch (const Failure &failure) {
        description = failure.description();
    }
    QVERIFY2(description.contains(expected), qPrintable(description));
    QVERIFY2(description.contains(path), qPrintable(description));
}

void TestPlaceDatabase::shippedDatabase_data()
{
    QTest::addColumn<bool>("city");
    QTest::addColumn<bool>("state");
    QTest::addColumn<bool>("zip");
    for (int fields = 1; fields < 8; ++fields)
        QTest::addRow("fields %d", fields) << bool(fields & 1) << bool(fields & 2) << bool(fields & 4);
}

void TestPlaceDatabase::shippedDatabase()
{
    QFETCH(bool, city);
    QFETCH(bool, state);
    QFETCH(bool, zip);
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(ZIPBASE_PATH, &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *count = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*), sum(city = '' OR state = '' OR zip = '') FROM zip_codes", -1, &count,
                       nullptr);
    QCOMPARE(sqlite3_step(count), SQLITE_ROW);
    const int rows = sqlite3_column_int(count, 0);
    QCOMPARE(sqlite3_column_int(count, 1), 0);
    sqlite3_finalize(count);
    sqlite3_close(db);
    QVERIFY(rows > 41000);

    PlaceConnection connection;
    connection.open(QStringLiteral(ZIPBASE_PATH));
    PlaceRecordSet records;
    records.open(BuildDisplayQuery({city, state, zip}), connection);
    QCOMPARE(records.recordCount(), rows);
    records.moveFirst();
    const QString first = records.value(QStringLiteral("display_fields"));
    records.move(rows - 1);
    const QString last = records.value(QStringLiteral("display_fields"));
    QVERIFY(!first.isEmpty());
    QVERIFY(!last.isEmpty());
    if (zip && !city && !state)
        QCOMPARE(first.size(), 5);
}

QTEST_GUILESS_MAIN(TestPlaceDatabase)
#include "tst_placedatabase.moc"
