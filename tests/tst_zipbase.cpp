// The built place database: the window's table and the places table beside
// it row for row, military codes by ZIP range, time zones in the states that
// are split between zones and in the territories, and population weights
// against the 2020 census; and the data build's join of the area codes by
// ZIP code, run on tables of the test's own.

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <cmath>

class TestZipbase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void placesFollowZipCodesRowForRow();
    void militaryCodesFollowTheZipRange();
    void columnsAreWellFormed_data();
    void columnsAreWellFormed();
    void timezones_data();
    void timezones();
    void weightsFollowTheCensus();
    void areaCodesJoinByZipCode();

private:
    // The first column of the first row of `sql`, as text (empty for NULL).
    QString value(const char *sql, const QByteArray &parameter = {});
    sqlite3 *m_db = nullptr;
};

void TestZipbase::initTestCase()
{
    QCOMPARE(sqlite3_open_v2(ZIPBASE_PATH, &m_db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
}

void TestZipbase::cleanupTestCase()
{
    sqlite3_close(m_db);
}

QString TestZipbase::value(const char *sql, const QByteArray &parameter)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        QTest::qFail(sqlite3_errmsg(m_db), __FILE__, __LINE__);
        return {};
    }
    if (!parameter.isNull())
        sqlite3_bind_text(statement, 1, parameter.constData(), int(parameter.size()), SQLITE_TRANSIENT);
    QString text;
    if (sqlite3_step(statement) == SQLITE_ROW)
        text = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return text;
}

void TestZipbase::placesFollowZipCodesRowForRow()
{
    const QString rows = value("SELECT count(*) FROM zip_codes");
    QVERIFY(rows.toInt() > 40000);
    QCOMPARE(value("SELECT count(*) FROM places"), rows);
    QCOMPARE(value("SELECT count(*) FROM zip_codes z JOIN places p ON p.rowid = z.rowid"
                   " WHERE p.zip = z.zip AND p.city = z.city AND p.state = z.state"),
             rows);
    // Names as the data spells them, in both tables.
    QCOMPARE(value("SELECT city FROM places WHERE zip = '83814'"), QStringLiteral("Coeur d'Alene"));
}

void TestZipbase::militaryCodesFollowTheZipRange()
{
    // The range's code, or empty outside the ranges, against the row's military code or empty.
    const char *mismatches = "SELECT count(*) FROM %1 WHERE"
                             " CASE WHEN substr(zip, 1, 3) = '340' THEN 'AA'"
                             " WHEN substr(zip, 1, 3) BETWEEN '090' AND '098' THEN 'AE'"
                             " WHEN substr(zip, 1, 3) BETWEEN '962' AND '966' THEN 'AP' ELSE '' END"
                             " <> CASE WHEN state IN ('AA', 'AE', 'AP') THEN state ELSE '' END";
    for (const char *table : {"zip_codes", "places"})
        QCOMPARE(value(QString::fromLatin1(mismatches).arg(QLatin1String(table)).toUtf8().constData()),
                 QStringLiteral("0"));
    // Every military post office is in one of the ranges, and the Pacific has its own code.
    QCOMPARE(
        value("SELECT count(*) FROM zip_codes WHERE city IN ('APO', 'FPO', 'DPO') AND state NOT IN ('AA', 'AE', 'AP')"
              " AND substr(zip, 1, 3) NOT IN ('967', '968')"),
        QStringLiteral("0"));
    QVERIFY(value("SELECT count(*) FROM zip_codes WHERE state = 'AP'").toInt() > 100);
}

void TestZipbase::columnsAreWellFormed_data()
{
    QTest::addColumn<QByteArray>("faultyRows");
    QTest::newRow("county without a five-digit FIPS code")
        << QByteArray("county IS NOT NULL AND (county_fips IS NULL OR length(county_fips) <> 5"
                      " OR county_fips GLOB '*[^0-9]*')");
    QTest::newRow("FIPS code without a county") << QByteArray("county IS NULL AND county_fips IS NOT NULL");
    QTest::newRow("FIPS code of another state") << QByteArray("state = 'CA' AND substr(county_fips, 1, 2) <> '06'");
    QTest::newRow("population not positive") << QByteArray("NOT (population > 0)");
    QTest::newRow("no state name") << QByteArray("state_name IS NULL OR state_name = ''");
    QTest::newRow("half a position") << QByteArray("(latitude IS NULL) <> (longitude IS NULL)");
    QTest::newRow("ZIP code not five digits") << QByteArray("length(zip) <> 5 OR zip GLOB '*[^0-9]*'");
    QTest::newRow("military place with a county or zone")
        << QByteArray("state IN ('AA', 'AE', 'AP') AND (county IS NOT NULL OR timezone IS NOT NULL)");
    QTest::newRow("place of a state without a zone")
        << QByteArray("state NOT IN ('AA', 'AE', 'AP') AND timezone IS NULL");
    QTest::newRow("area codes not codes of three digits")
        << QByteArray("area_codes GLOB '*[^0-9,]*' OR length(area_codes) % 4 <> 3 OR area_codes GLOB '*,,*'");
    QTest::newRow("area code where none serves")
        << QByteArray("state IN ('AA', 'AE', 'AP', 'MH') AND area_codes IS NOT NULL");
    QTest::newRow("place without an area code") << QByteArray("state NOT IN ('AA', 'AE', 'AP', 'MH') AND area_codes IS NULL");
}

void TestZipbase::columnsAreWellFormed()
{
    QFETCH(QByteArray, faultyRows);
    QCOMPARE(value("SELECT count(*) FROM places WHERE " + faultyRows), QStringLiteral("0"));
}

void TestZipbase::timezones_data()
{
    // Each checked by hand against the county lists of the federal time zone
    // boundaries and the tz database's county regions.
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<QString>("zone");
    const struct
    {
        const char *zip, *zone;
    } places[] = {
        {"32501", "America/Chicago"},  // Pensacola, Escambia County: west of the Apalachicola
        {"32401", "America/Chicago"},  // Panama City, Bay County
        {"32465", "America/Chicago"},  // Wewahitchka, northern Gulf County
        {"32456", "America/New_York"}, // Port St. Joe, southern Gulf County
        {"32320", "America/New_York"}, // Apalachicola, Franklin County
        {"32301", "America/New_York"}, // Tallahassee
        {"79901", "America/Denver"},   // El Paso
        {"79855", "America/Chicago"},  // Van Horn, Culberson County
        {"46320", "America/Chicago"},  // Hammond, Lake County
        {"47708", "America/Chicago"},  // Evansville, Vanderburgh County
        {"46204", "America/Indiana/Indianapolis"},
        {"47586", "America/Indiana/Tell_City"},  // Perry County
        {"46534", "America/Indiana/Knox"},       // Knox, Starke County
        {"47591", "America/Indiana/Vincennes"},  // Knox County
        {"47567", "America/Indiana/Petersburg"}, // Pike County
        {"46996", "America/Indiana/Winamac"},    // Pulaski County
        {"47140", "America/Indiana/Marengo"},    // Crawford County
        {"47043", "America/Indiana/Vevay"},      // Switzerland County
        {"49801", "America/Menominee"},          // Iron Mountain, Dickinson County
        {"49855", "America/Detroit"},            // Marquette
        {"97914", "America/Boise"},              // Ontario, Malheur County
        {"97801", "America/Los_Angeles"},        // Pendleton
        {"83814", "America/Los_Angeles"},        // Coeur d'Alene, Kootenai County
        {"83501", "America/Los_Angeles"},        // Lewiston, Nez Perce County
        {"83702", "America/Boise"},
        {"58601", "America/Denver"},                 // Dickinson, Stark County
        {"58501", "America/Chicago"},                // Bismarck
        {"58554", "America/Chicago"},                // Mandan
        {"58563", "America/North_Dakota/New_Salem"}, // Morton County
        {"58523", "America/North_Dakota/Beulah"},    // Mercer County
        {"58530", "America/North_Dakota/Center"},    // Oliver County
        {"57701", "America/Denver"},                 // Rapid City
        {"57501", "America/Chicago"},                // Pierre
        {"42101", "America/Chicago"},                // Bowling Green, Warren County
        {"40202", "America/Kentucky/Louisville"},
        {"42633", "America/Kentucky/Monticello"}, // Wayne County
        {"40507", "America/New_York"},            // Lexington
        {"37902", "America/New_York"},            // Knoxville
        {"37402", "America/New_York"},            // Chattanooga
        {"38555", "America/Chicago"},             // Crossville, Cumberland County
        {"37203", "America/Chicago"},             // Nashville
        {"69361", "America/Denver"},              // Scottsbluff
        {"69153", "America/Denver"},              // Ogallala, Keith County
        {"69101", "America/Chicago"},             // North Platte, Lincoln County
        {"67735", "America/Denver"},              // Goodland, Sherman County
        {"67758", "America/Denver"},              // Sharon Springs, Wallace County
        {"67701", "America/Chicago"},             // Colby, Thomas County
        {"86515", "America/Denver"},              // Window Rock, Navajo Nation
        {"86045", "America/Denver"},              // Tuba City, Navajo Nation
        {"86039", "America/Phoenix"},             // Kykotsmovi, Hopi Reservation
        {"86001", "America/Phoenix"},             // Flagstaff
        {"85001", "America/Phoenix"},
        {"99546", "America/Adak"}, // Adak, western Aleutians
        {"99501", "America/Anchorage"},
        {"99801", "America/Juneau"},
        {"96813", "Pacific/Honolulu"},
        {"96898", "Pacific/Wake"},        // Wake Island, west of the date line
        {"00601", "America/Puerto_Rico"}, // Adjuntas
        {"00802", "America/St_Thomas"},
        {"96910", "Pacific/Guam"}, // Hagatna
        {"96799", "Pacific/Pago_Pago"},
        {"96950", "Pacific/Saipan"},
        {"09001", ""}, // a military post office: no zone known
    };
    for (const auto &place : places)
        QTest::newRow(place.zip) << QByteArray(place.zip) << QString::fromLatin1(place.zone);
}

void TestZipbase::timezones()
{
    QFETCH(QByteArray, zip);
    QFETCH(QString, zone);
    QCOMPARE(value("SELECT count(*) FROM places WHERE zip = ?", zip), QStringLiteral("1"));
    QCOMPARE(value("SELECT coalesce(timezone, '') FROM places WHERE zip = ?", zip), zone);
}

void TestZipbase::weightsFollowTheCensus()
{
    QFile census(QStringLiteral(TEST_DATA_DIR "/census2020-states.tsv"));
    QVERIFY(census.open(QIODevice::ReadOnly));
    census.readLine();
    QHash<QString, double> people;
    double censusTotal = 0;
    while (!census.atEnd()) {
        const auto cells = QString::fromUtf8(census.readLine()).trimmed().split(QLatin1Char('\t'));
        people[cells[0]] = cells[1].toDouble();
        censusTotal += cells[1].toDouble();
    }
    QCOMPARE(people.size(), 51);

    // The exact expected shares of weighted and of uniform draws.
    sqlite3_stmt *statement = nullptr;
    QCOMPARE(sqlite3_prepare_v2(m_db, "SELECT state, sum(population), count(*) FROM places GROUP BY state", -1,
                                &statement, nullptr),
             SQLITE_OK);
    QHash<QString, double> weight, rows;
    double weightTotal = 0, rowTotal = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const auto state = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        weight[state] = sqlite3_column_double(statement, 1);
        rows[state] = sqlite3_column_double(statement, 2);
        weightTotal += weight[state];
        rowTotal += rows[state];
    }
    sqlite3_finalize(statement);
    // Drawn among the 50 states and DC alone, as --state states draws.
    const auto distance = [&](const QHash<QString, double> &drawn) {
        double total = 0, sum = 0;
        for (auto it = people.cbegin(); it != people.cend(); ++it)
            total += drawn.value(it.key());
        for (auto it = people.cbegin(); it != people.cend(); ++it)
            sum += std::fabs(drawn.value(it.key()) / total - it.value() / censusTotal);
        return sum / 2;
    };
    const double uniform = distance(rows);
    const double weighted = distance(weight);
    qInfo("total variation distance from the census: uniform %.4f, weighted %.4f", uniform, weighted);
    QVERIFY(uniform > 0.15);
    QVERIFY(weighted <= 0.01);
    const double california = weight["CA"] / weightTotal;
    QVERIFY2(california >= 0.11 && california <= 0.13, qPrintable(QString::number(california)));
    // Puerto Rico's 3.2 million; the military post offices, and ZIP codes where nobody lives, together rare.
    QVERIFY(weight["PR"] / weightTotal > 0.009);
    QVERIFY((weight["AA"] + weight["AE"] + weight["AP"]) / weightTotal < 0.001);
    QVERIFY(value("SELECT sum(population) FROM places WHERE population <= 1").toDouble() / weightTotal < 0.001);
}

QTEST_GUILESS_MAIN(TestZipbase)
#include "tst_zipbase.moc"

void TestZipbase::areaCodesJoinByZipCode()
{
    QTemporaryDir dir;
    const auto write = [&](const char *name, const QByteArray &text) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    };
    const QByteArray header = "zip\tcity\tstate\tstate_name\tcounty\tcounty_fips\tlatitude\tlongitude\ttimezone\t"
                              "population\n";
    // Two ZIP codes of one town with other codes; one the table lacks, nearer
    // the second; a military post office listed all the same.
    write("places.tsv", header + "10001\tNew York\tNY\tNew York\tNew York\t36061\t40.75\t-73.99\tAmerica/New_York\t5\n"
                                 "11201\tBrooklyn\tNY\tNew York\tKings\t36047\t40.69\t-73.99\tAmerica/New_York\t5\n"
                                 "11215\tBrooklyn\tNY\tNew York\tKings\t36047\t40.66\t-73.98\tAmerica/New_York\t5\n"
                                 "09001\tAPO\tAE\tArmed Forces Europe\t\t\t50.1\t8.6\t\t1\n");
    const auto build = [&](const QByteArray &codes) {
        write("areacodes.tsv", "zip\tarea_codes\n" + codes);
        QProcess process;
        process.start(QStringLiteral(ZIPBASE_BUILD), {dir.filePath(QStringLiteral("places.tsv")),
                                                      dir.filePath(QStringLiteral("z.mdb")),
                                                      dir.filePath(QStringLiteral("areacodes.tsv"))});
        process.waitForFinished();
        return std::make_pair(process.exitCode(), process.readAllStandardError());
    };
    QCOMPARE(build("10001\t212,332,646,917\n11201\t347,718\n09001\t555\n").first, 0);
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(dir.filePath(QStringLiteral("z.mdb")).toUtf8().constData(), &db, SQLITE_OPEN_READONLY,
                             nullptr),
             SQLITE_OK);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT group_concat(zip || ':' || coalesce(area_codes, '-'), ' ') FROM places", -1,
                       &statement, nullptr);
    QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))),
             QByteArray("10001:212,332,646,917 11201:347,718 11215:347,718 09001:-"));
    sqlite3_finalize(statement);
    sqlite3_close(db);

    // A row that is not a ZIP code and one to six codes of three digits is
    // refused with its line, and no database is left in its place.
    QFile::remove(dir.filePath(QStringLiteral("z.mdb")));
    for (const QByteArray &bad : {QByteArray("10001\t212,33\n"), QByteArray("1000\t212\n"),
                                  QByteArray("10001\t212,332,646,917,347,718,929\n"), QByteArray("10001\t\n")}) {
        const auto [status, error] = build("11201\t718\n" + bad);
        QVERIFY2(status == 1 && error.contains("areacodes.tsv:3: expected a ZIP code and one to six area codes"),
                 bad.constData());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("z.mdb"))));
    }
}
