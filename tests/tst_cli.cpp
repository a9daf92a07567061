// The command line, through the built program: no display, real database,
// real files and devices.

#include "TestSupport.h"

#include "export/TextExport.h"
#include "generate/PlaceDatabase.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <dirent.h>
#include <spawn.h>
#include <sys/wait.h>
#include <filesystem>
#include <sqlite3.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// AddressSanitizer's shadow memory does not fit under a limit of the address space.
#ifdef __SANITIZE_ADDRESS__
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
    QByteArray errBytes;
};

// The program's environment on a machine without a display.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

Run run(const QStringList &arguments, const QString &program = QStringLiteral(ORVELLE_PROGRAM),
        const std::function<void(QProcess &)> &prepare = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(withoutDisplay());
    if (prepare)
        prepare(process);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.errBytes = process.readAllStandardError();
    result.err = QString::fromUtf8(result.errBytes);
    return result;
}

// Runs a shell command line, for arguments whose bytes are not UTF-8 (which
// QProcess would re-encode); "$0" is the built program.
Run runShell(const QString &command, const QString &folder = QString())
{
    return run({QStringLiteral("-c"), command, QStringLiteral(ORVELLE_PROGRAM)}, QStringLiteral("/bin/sh"),
               [&](QProcess &process) {
        if (!folder.isEmpty())
            process.setWorkingDirectory(folder);
    });
}

// The entries of a folder, as the bytes of their names.
QList<QByteArray> entryBytes(const QString &folder)
{
    QList<QByteArray> names;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    while (dirent *entry = dir ? readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.')
            names.append(QByteArray(entry->d_name));
    }
    if (dir)
        closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Each row of a run's output as read by Python's csv or json module, as one
// JSON array of [name, value] pairs per row, in the order the output has them.
QList<QByteArray> parsedRows(const QByteArray &output, const QString &format)
{
    static const QString script = QStringLiteral(R"(
import csv, io, json, sys
fmt = sys.argv[1]
data = sys.stdin.buffer.read().decode('utf-8')
if fmt in ('csv', 'tsv'):
    csv.field_size_limit(sys.maxsize)
    reader = csv.reader(io.StringIO(data, newline=''), dialect='excel' if fmt == 'csv' else 'excel-tab', strict=True)
    rows = list(reader)
    header = rows.pop(0)
    rows = [list(zip(header, [v if v != '' else None for v in row])) for row in rows]
    if fmt == 'csv' and data and '\r\n' not in data: sys.exit('no CR LF')
elif fmt == 'sql':
    import sqlite3
    con = sqlite3.connect(':memory:')
    con.executescript(data)
    cursor = con.execute('SELECT * FROM places ORDER BY rowid')
    names = [d[0] for d in cursor.description]
    rows = [list(zip(names, row)) for row in cursor]
elif fmt == 'postgres':
    sys.path.insert(0, sys.argv[2])
    from private_postgres import PrivatePostgres, Unavailable
    try:
        with PrivatePostgres() as server:
            server.psql(input=data.encode())
            lines = server.psql('-At', '-c', 'SELECT row_to_json(p) FROM places p', capture=True).decode()
    except Unavailable:
        print('(no PostgreSQL)')
        sys.exit(0)
    rows = [json.loads(line, object_pairs_hook=list) for line in lines.split('\n')[:-1]]
elif fmt == 'jsonl':
    rows = [json.loads(line, object_pairs_hook=list) for line in data.split('\n')[:-1]]
else:
    rows = json.loads(data, object_pairs_hook=list)
for row in rows:
    print(json.dumps([[k, None if v is None else str(v)] for k, v in row]))
)");
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script, format, QStringLiteral(TESTS_FOLDER)});
    python.write(output);
    python.closeWriteChannel();
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {"(python failed: " + python.readAllStandardError() + ")"};
    QList<QByteArray> rows = python.readAllStandardOutput().split('\n');
    rows.removeLast();
    return rows;
}

// The table of places with every column, as the shipped database has it.
#define PLACES_TABLE                                                                                                   \
    "CREATE TABLE places (zip TEXT NOT NULL, city TEXT NOT NULL, state TEXT NOT NULL, state_name TEXT,"                \
    " county TEXT, county_fips TEXT, latitude REAL, longitude REAL, timezone TEXT, population REAL NOT NULL);"

// Runs SQL on a new database file.
void makeDatabase(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// The share of each line among the lines of a run, as of the places of a run of --fields city.
QMap<QString, double> drawnShares(const QByteArray &out)
{
    QMap<QString, double> shares;
    const QList<QByteArray> lines = out.split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            shares[QString::fromLatin1(line)] += 1.0 / double(lines.size() - 1);
    }
    return shares;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Where the test runs as root (as CI does), the program runs as an unprivileged user.
void unprivileged(QProcess &process)
{
    if (geteuid() == 0)
        process.setChildProcessModifier([] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(99);
        });
}

// Starts the program as a user's shell starts it: no signal ignored or blocked, and none
// taken over by a sanitizer's handler in the sanitizer pass.
pid_t spawnProgram(const QList<QByteArray> &arguments)
{
    QList<QByteArray> words{ORVELLE_PROGRAM};
    words += arguments;
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    QList<QByteArray> variables{"ASAN_OPTIONS=" + qgetenv("ASAN_OPTIONS")
                                + ":handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0"};
    for (char **variable = environ; *variable; ++variable) {
        if (!QByteArrayView(*variable).startsWith("ASAN_OPTIONS="))
            variables.append(*variable);
    }
    std::vector<char *> environment;
    for (QByteArray &variable : variables)
        environment.push_back(variable.data());
    environment.push_back(nullptr);
    pid_t pid = 0;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int spawned = posix_spawn(&pid, argv[0], nullptr, &attributes, argv.data(), environment.data());
    posix_spawnattr_destroy(&attributes);
    return spawned == 0 ? pid : -1;
}

// The rows of a csv run, each split in its cells; the header row is checked and dropped.
QList<QStringList> csvRows(const QByteArray &out, const QString &header)
{
    QList<QStringList> rows;
    const QStringList lines = QString::fromUtf8(out).split(QStringLiteral("\r\n"));
    if (lines.isEmpty() || lines.constFirst() != header || !lines.constLast().isEmpty())
        return rows;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i)
        rows.append(lines.at(i).split(QLatin1Char(',')));
    return rows;
}

// The features of a GeoJSON file as GDAL's ogrinfo reads them: each an array
// of [name, value] pairs, strings as strings, numbers as numbers, a missing
// value null, and last ["point", [x, y]] or ["point", null].
QList<QJsonArray> ogrFeatures(const QString &path)
{
    QProcess ogrinfo;
    ogrinfo.start(QStringLiteral("ogrinfo"),
                  {QStringLiteral("-ro"), QStringLiteral("-al"), QStringLiteral("-q"), path});
    if (!ogrinfo.waitForFinished(60000) || ogrinfo.exitCode() != 0)
        return {QJsonArray{QStringLiteral("ogrinfo failed: ") + QString::fromUtf8(ogrinfo.readAllStandardError())}};
    static const QRegularExpression property(QStringLiteral("^  (\\w+) \\((String|Real|Integer|Integer64)\\) = (.*)$"));
    static const QRegularExpression point(QStringLiteral("^  POINT \\((\\S+) (\\S+)\\)$"));
    QList<QJsonArray> features;
    const auto close = [&] {
        if (!features.isEmpty() && features.constLast().last().toArray().at(0) != QStringLiteral("point"))
            features.last().append(QJsonArray{QStringLiteral("point"), QJsonValue()});
    };
    for (const QString &line : QString::fromUtf8(ogrinfo.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("OGRFeature("))) {
            close();
            features.append(QJsonArray());
        } else if (const QRegularExpressionMatch match = property.match(line); match.hasMatch()) {
            const QString value = match.captured(3);
            features.last().append(QJsonArray{match.captured(1),
                                              value == QLatin1String("(null)") ? QJsonValue()
                                                  : match.captured(2) == QLatin1String("String")
                                                  ? QJsonValue(value)
                                                  : QJsonValue(value.toDouble())});
        } else if (const QRegularExpressionMatch match = point.match(line); match.hasMatch()) {
            features.last().append(QJsonArray{QStringLiteral("point"),
                                              QJsonArray{match.captured(1).toDouble(), match.captured(2).toDouble()}});
        } else if (!line.isEmpty() && !line.startsWith(QLatin1String("Layer name: "))) {
            features.append(QJsonArray{QStringLiteral("unexpected line: ") + line});
        }
    }
    close();
    return features;
}

// "zip|STATE|CITY" of every place of the shipped table.
QSet<QString> shippedPlaces()
{
    QSet<QString> places;
    QFile file(QStringLiteral(PLACES_TSV));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return places;
    file.readLine(); // zip, city, state, then the details
    while (!file.atEnd()) {
        const QStringList cells = QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char('\t'));
        if (cells.size() >= 3)
            places.insert(cells[0] + QLatin1Char('|') + cells[2].toUpper() + QLatin1Char('|') + cells[1].toUpper());
    }
    return places;
}

QString placeKey(const QStringList &row)
{
    return row.value(2) + QLatin1Char('|') + row.value(1) + QLatin1Char('|') + row.value(0).toUpper();
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void seededOutputsHoldAcrossVersions()
    {
        // The same seed, the same bytes; another seed, or none, others.
        const auto output = [](const QString &arguments) { return run(arguments.split(QLatin1Char(' '))).out; };
        const QByteArray many = output(QStringLiteral("-n 3000 --format csv --seed 7"));
        QVERIFY(many.startsWith("city,state,zip\r\n"));
        QCOMPARE(output(QStringLiteral("-n 3000 --format csv --seed 7")), many);
        QVERIFY(output(QStringLiteral("-n 3000 --format csv --seed 8")) != many);
        QVERIFY(output(QStringLiteral("-n 3000 --format csv")) != output(QStringLiteral("-n 3000 --format csv")));
        // The written promise: the same options, seed and data release give these
        // bytes on every machine and in every later version. A change here is a
        // new data release (ORVELLE_DATA_RELEASE) or a break the README names.
        QCOMPARE(output(QStringLiteral("-n 3 --seed 2026")),
                 QByteArray("Daingerfield, TX 75638\nKansas City, MO 64111\nVanlue, OH 45890\n"));
        QCOMPARE(output(QStringLiteral("-n 3 --seed 2026 --fields zip,county,latitude,longitude --format csv")),
                 QByteArray("zip,county,latitude,longitude\r\n75638,Morris County,33.02047,-94.7297\r\n"
                            "64111,Jackson County,39.05708,-94.5939\r\n45890,Hancock County,40.97993,-83.49477\r\n"));
        QCOMPARE(output(QStringLiteral("-n 3 --seed 2026 --weight population")),
                 QByteArray("Daingerfield, TX 75638\nKansas City, MO 64111\nLewiston, NY 14092\n"));
        QCOMPARE(output(QStringLiteral("-n 3 --seed 2026 --unique --weight population --state RI --fields zip,city")),
                 QByteArray("02914, East Providence\n02864, Cumberland\n02916, Rumford\n"));
        QCOMPARE(
            output(QStringLiteral("-n 3 --seed 2026 --near 10001 --within 10 --fields zip,city,distance --format csv")),
            QByteArray("zip,city,distance\r\n10277,New York,3.6\r\n10021,New York,2.4\r\n10129,New York,3.6\r\n"));
        QCOMPARE(
            output(QStringLiteral("-n 3 --seed 2026 --fields city,state,zip,area_code,phone --format tsv --no-header")),
            QByteArray("Daingerfield\tTX\t75638\t903\t(903) 555-0181\n"
                       "Kansas City\tMO\t64111\t975\t(975) 555-0126\n"
                       "Vanlue\tOH\t45890\t419\t(419) 555-0134\n"));
        QVERIFY(run({QStringLiteral("--version")}).out.contains("\nPlace data release " ORVELLE_DATA_RELEASE "\n"));
    }

    void stateRowsAreRealPlacesOfThatState()
    {
        // Repeated --state options add up.
        const Run result = run({QStringLiteral("--count"), QStringLiteral("10000"), QStringLiteral("--state"),
                                QStringLiteral("CA"), QStringLiteral("--state"), QStringLiteral("NY"),
                                QStringLiteral("--fields"), QStringLiteral("city,state,zip"),
                                QStringLiteral("--format"), QStringLiteral("csv")});
        QCOMPARE(result.exitCode, 0);
        const QList<QStringList> rows = csvRows(result.out, QStringLiteral("city,state,zip"));
        QCOMPARE(rows.size(), 10000);
        const QSet<QString> places = shippedPlaces();
        QVERIFY(places.size() > 40000);
        QSet<QString> states;
        for (const QStringList &row : rows) {
            states.insert(row.value(1));
            QVERIFY2(places.contains(placeKey(row)), qPrintable(row.join(QLatin1Char(','))));
        }
        QCOMPARE(states, (QSet<QString>{QStringLiteral("CA"), QStringLiteral("NY")}));
    }

    void filtersAndListings()
    {
        // ZIP prefixes, excluded states, and both together with a state.
        Run result = run({QStringLiteral("-n"), QStringLiteral("3000"), QStringLiteral("--fields"),
                          QStringLiteral("zip,state"), QStringLiteral("--zip-prefix"), QStringLiteral("100,941"),
                          QStringLiteral("--zip-prefix"), QStringLiteral("09"), QStringLiteral("--exclude-state"),
                          QStringLiteral("AE")});
        QCOMPARE(result.exitCode, 0);
        QSet<QString> prefixes;
        for (const QByteArray &line : result.out.trimmed().split('\n')) {
            QVERIFY2(line.startsWith("100") || line.startsWith("941") || line.startsWith("09"), line.constData());
            QVERIFY2(!line.endsWith("AE"), line.constData());
            prefixes.insert(QString::fromLatin1(line.left(3)));
        }
        QVERIFY(prefixes.contains(QStringLiteral("100")) && prefixes.contains(QStringLiteral("941")));
        result = run({QStringLiteral("-n"), QStringLiteral("5"), QStringLiteral("--zip-prefix"),
                      QStringLiteral("27101"), QStringLiteral("--fields"), QStringLiteral("zip")});
        QCOMPARE(result.out, QByteArray("27101\n27101\n27101\n27101\n27101\n"));

        // A filter that leaves nothing says so.
        result = run({QStringLiteral("-n"), QStringLiteral("5"), QStringLiteral("--state"), QStringLiteral("CA"),
                      QStringLiteral("--zip-prefix"), QStringLiteral("100")});
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.startsWith(
                     QLatin1String("orvelle: no place matches --state CA --zip-prefix 100; see 'orvelle --help'\n")),
                 qPrintable(result.err));

        // The states with their names and numbers of places; the fields.
        result = run({QStringLiteral("--list-states"), QStringLiteral("--state"), QStringLiteral("RI,DC")});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^DC\tDistrict of Columbia\t[0-9]+\nRI\tRhode Island\t90\n$"))
                     .match(QString::fromUtf8(result.out))
                     .hasMatch(),
                 result.out.constData());
        // Groups stand for their codes and mix with codes: the territories
        // with their zones, the 50 states and DC, the military.
        result = run({QStringLiteral("--list-states"), QStringLiteral("--state"), QStringLiteral("territories,MH")});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^AS\tAmerican Samoa\t[0-9]+\nGU\tGuam\t[0-9]+\nMH\tMarshall "
                                                   "Islands\t2\nMP\tNorthern Mariana Islands\t[0-9]+\nPR\tPuerto "
                                                   "Rico\t[0-9]{3}\nVI\tU.S. Virgin Islands\t[0-9]+\n$"))
                     .match(QString::fromUtf8(result.out))
                     .hasMatch(),
                 result.out.constData());
        result = run(
            {QStringLiteral("--list-states"), QStringLiteral("--exclude-state"), QStringLiteral("states,military")});
        QCOMPARE(result.out.count('\n'), 6);
        result = run({QStringLiteral("--list-states"), QStringLiteral("--state"), QStringLiteral("states")});
        QCOMPARE(result.out.count('\n'), 51);
        result = run({QStringLiteral("-n"), QStringLiteral("2000"), QStringLiteral("--state"),
                      QStringLiteral("territories"), QStringLiteral("--fields"), QStringLiteral("state,timezone"),
                      QStringLiteral("--format"), QStringLiteral("tsv"), QStringLiteral("--no-header")});
        const QList<QByteArray> zones = result.out.split('\n');
        QCOMPARE(QSet<QByteArray>(zones.begin(), zones.end()),
                 (QSet<QByteArray>{"PR\tAmerica/Puerto_Rico", "VI\tAmerica/St_Thomas", "GU\tPacific/Guam",
                                   "AS\tPacific/Pago_Pago", "MP\tPacific/Saipan", ""}));

        result = run({QStringLiteral("--list-fields")});
        QCOMPARE(result.exitCode, 0);
        QStringList names;
        for (const QByteArray &line : result.out.trimmed().split('\n'))
            names.append(QString::fromUtf8(line.split('\t').value(0)));
        QCOMPARE(names.join(QLatin1Char(',')),
                 QStringLiteral("city,state,zip,state_name,county,county_fips,latitude,longitude,timezone,"
                                "area_code,phone,distance"));
    }

    void areaCodesAndPhonesFitThePlace()
    {
        // The table the build joins by ZIP code: each ZIP code's area codes.
        QHash<QString, QStringList> listed;
        QFile file(QStringLiteral(AREACODES_TSV));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        file.readLine();
        while (!file.atEnd()) {
            const QStringList cells = QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char('\t'));
            listed[cells.value(0)] = cells.value(1).split(QLatin1Char(','));
        }
        // The codes in service and their states, by the numbering administrator.
        QHash<QString, QString> stateOf;
        QFile npas(QStringLiteral(NPAS_TSV));
        QVERIFY(npas.open(QIODevice::ReadOnly | QIODevice::Text));
        while (!npas.atEnd()) {
            const QStringList cells = QString::fromUtf8(npas.readLine()).split(QLatin1Char('\t'));
            stateOf[cells.value(0)] = cells.value(1);
        }

        // Every place once.
        const Run result = run({QStringLiteral("--unique"), QStringLiteral("-n"),
                                QString::number(shippedPlaces().size()), QStringLiteral("--seed"), QStringLiteral("3"),
                                QStringLiteral("--format"), QStringLiteral("tsv"), QStringLiteral("--no-header"),
                                QStringLiteral("--fields"), QStringLiteral("state,zip,area_code,phone")});
        QCOMPARE(result.exitCode, 0);
        static const QRegularExpression fictional(QStringLiteral("^\\(([0-9]{3})\\) 555-01[0-9]{2}$"));
        QSet<QString> endings;
        QSet<QString> states;
        for (const QByteArray &line : result.out.trimmed().split('\n')) {
            const QStringList row = QString::fromUtf8(line).split(QLatin1Char('\t'));
            const QString &state = row.at(0);
            const QString &code = row.at(2);
            if (QStringList{QStringLiteral("AA"), QStringLiteral("AE"), QStringLiteral("AP"), QStringLiteral("MH")}
                    .contains(state)) {
                // The military post offices and the Marshall Islands: none, and no phone.
                QVERIFY2(code.isEmpty() && row.at(3).isEmpty(), line.constData());
                continue;
            }
            QVERIFY2(fictional.match(row.at(3)).captured(1) == code, line.constData());
            endings.insert(row.at(3).right(2));
            QVERIFY2(listed.value(row.at(1)).contains(code), line.constData());
            QVERIFY2(stateOf.value(code) == state, line.constData());
            states.insert(state);
        }
        QCOMPARE(endings.size(), 100);
        QCOMPARE(states.size(), 56); // the states, DC and the five territories

        // Overlays: the seed picks among them for each row, the same for the same seed.
        const QStringList manhattan{QStringLiteral("-n"),           QStringLiteral("200"),
                                    QStringLiteral("--zip-prefix"), QStringLiteral("10001"),
                                    QStringLiteral("--fields"),     QStringLiteral("area_code"),
                                    QStringLiteral("--seed"),       QStringLiteral("9")};
        const QByteArray codes = run(manhattan).out;
        QCOMPARE(run(manhattan).out, codes);
        const QStringList overlays = listed.value(QStringLiteral("10001"));
        QVERIFY(overlays.size() > 1);
        const QStringList drawn = QString::fromLatin1(codes.trimmed()).split(QLatin1Char('\n'));
        QCOMPARE(QSet<QString>(overlays.begin(), overlays.end()), QSet<QString>(drawn.begin(), drawn.end()));
    }

    void nearGivesEveryPlaceWithinTheDistance()
    {
        // The places of the shipped table within 6 miles of Manhattan's 10001, by their coordinates.
        QFile file(QStringLiteral(PLACES_TSV));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList header = QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char('\t'));
        QHash<QString, std::pair<double, double>> points;
        while (!file.atEnd()) {
            const QStringList cells = QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char('\t'));
            const QString latitude = cells.value(header.indexOf(QStringLiteral("latitude")));
            const QString longitude = cells.value(header.indexOf(QStringLiteral("longitude")));
            if (!latitude.isEmpty())
                points.insert(cells.value(0), {latitude.toDouble(), longitude.toDouble()});
        }
        const std::pair<double, double> from = points.value(QStringLiteral("10001"));
        constexpr double radians = M_PI / 180;
        const auto miles = [&](std::pair<double, double> to) {
            const double a = std::pow(std::sin((to.first - from.first) * radians / 2), 2)
                + std::cos(to.first * radians) * std::cos(from.first * radians)
                    * std::pow(std::sin((to.second - from.second) * radians / 2), 2);
            return 2 * 6371.0088 / 1.609344 * std::asin(std::sqrt(a));
        };
        QHash<QString, double> expected;
        for (auto point = points.cbegin(); point != points.cend(); ++point) {
            if (miles(*point) <= 6)
                expected.insert(point.key(), miles(*point));
        }
        QVERIFY(expected.contains(QStringLiteral("10001")) && expected.size() > 100);
        QVERIFY(std::abs(miles({from.first + 1, from.second}) - 69.1) < 0.1); // a degree of latitude

        // Every one of them once, and no other; the same in kilometres, and from the point itself.
        for (const QString &within : {QStringLiteral("6"), QStringLiteral("9.656064km")}) {
            const QString point = QStringLiteral("%1,%2").arg(from.first, 0, 'f', 6).arg(from.second, 0, 'f', 6);
            for (const QString &near : {QStringLiteral("10001"), point}) {
                const Run result = run({QStringLiteral("--unique"), QStringLiteral("-n"),
                                        QString::number(expected.size()), QStringLiteral("--near"), near,
                                        QStringLiteral("--within"), within, QStringLiteral("--fields"),
                                        QStringLiteral("zip,distance"), QStringLiteral("--format"),
                                        QStringLiteral("tsv"), QStringLiteral("--no-header")});
                QCOMPARE(result.exitCode, 0);
                QSet<QString> zips;
                for (const QByteArray &line : result.out.trimmed().split('\n')) {
                    const QStringList row = QString::fromUtf8(line).split(QLatin1Char('\t'));
                    const double unit = within.endsWith(QLatin1String("km")) ? 1.609344 : 1;
                    QVERIFY2(std::abs(row.value(1).toDouble() - expected.value(row.value(0), 99) * unit) <= 0.05,
                             line.constData());
                    zips.insert(row.value(0));
                }
                QCOMPARE(zips.size(), expected.size());
            }
        }

        // With other filters and weights: only their places, and only near ones.
        const Run result = run({QStringLiteral("-n"), QStringLiteral("300"), QStringLiteral("--near"),
                                QStringLiteral("10001"), QStringLiteral("--within"), QStringLiteral("6"),
                                QStringLiteral("--state"), QStringLiteral("NJ"), QStringLiteral("--weight"),
                                QStringLiteral("population"), QStringLiteral("--fields"), QStringLiteral("zip,state")});
        QCOMPARE(result.exitCode, 0);
        for (const QByteArray &line : result.out.trimmed().split('\n'))
            QVERIFY2(line.endsWith(" NJ") && expected.contains(QString::fromLatin1(line.left(5))), line.constData());
    }

    void uniqueGivesEveryPlaceOnce()
    {
        QSet<QString> rhodeIsland;
        for (const QString &place : shippedPlaces()) {
            if (place.section(QLatin1Char('|'), 1, 1) == QLatin1String("RI"))
                rhodeIsland.insert(place);
        }
        QCOMPARE(rhodeIsland.size(), 90);
        // Uniform and weighted draws without repeats alike reach every place, once.
        for (const QString &weight : {QStringLiteral("none"), QStringLiteral("population")}) {
            const QStringList arguments = QStringLiteral("--unique --state RI --format csv --weight %1 --count")
                                              .arg(weight)
                                              .split(QLatin1Char(' '));
            const Run all = run(arguments + QStringList{QStringLiteral("90")});
            QCOMPARE(all.exitCode, 0);
            const QList<QStringList> rows = csvRows(all.out, QStringLiteral("city,state,zip"));
            QSet<QString> drawn;
            for (const QStringList &row : rows)
                drawn.insert(placeKey(row));
            QCOMPARE(rows.size(), 90);
            QCOMPARE(drawn, rhodeIsland);
            const Run tooMany = run(arguments + QStringList{QStringLiteral("91")});
            QCOMPARE(tooMany.exitCode, 2);
            QVERIFY2(tooMany.err.contains(QLatin1String("only 90")), qPrintable(tooMany.err));
        }
    }

    void alignedIsTheWindowsSave()
    {
        const QStringList seed{QStringLiteral("--seed"), QStringLiteral("3"), QStringLiteral("--count"),
                               QStringLiteral("500")};
        const Run text = run(seed + QStringList{QStringLiteral("--format"), QStringLiteral("aligned")});
        const Run plain = run(seed);
        QCOMPARE(text.exitCode, 0);
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(run(seed + QStringList{QStringLiteral("--format"), QStringLiteral("text")}).out, text.out);

        // The same places in the window's list, as the window shows them, every
        // row ticked, saved by the window's routine.
        ResultsColumnList list;
        for (const QByteArray &line : plain.out.split('\n')) {
            if (!line.isEmpty())
                list.append(NormalizeDisplayText(QString::fromUtf8(line)));
        }
        QCOMPARE(list.rows(), 500);
        list.setAllChecked(true);
        FakeHost host;
        QBuffer saved;
        saved.open(QIODevice::WriteOnly);
        SaveListviewProperlySpaced(host, list, saved, QStringLiteral("places.txt"), nullptr);
        QVERIFY(host.m_dialogs.messages.isEmpty());
        QCOMPARE(text.out, saved.data());
    }

    void everyFormatCarriesTheSameValues()
    {
        // Places whose names the window's casing would change, with every
        // column, in an order of their own.
        const QStringList arguments{QStringLiteral("--zip-prefix"),
                                    QStringLiteral("27101,83814,83638,01001,96201"),
                                    QStringLiteral("--unique"),
                                    QStringLiteral("-n"),
                                    QStringLiteral("5"),
                                    QStringLiteral("--seed"),
                                    QStringLiteral("4"),
                                    QStringLiteral("--fields"),
                                    QStringLiteral("zip,county_fips,city,all")};
        QList<QByteArray> expected;
        for (const char *format : {"csv", "tsv", "jsonl", "json", "sql"}) {
            const Run result = run(arguments + QStringList{QStringLiteral("--format"), QLatin1String(format)});
            QCOMPARE(result.exitCode, 0);
            const QList<QByteArray> rows = parsedRows(result.out, QLatin1String(format));
            if (expected.isEmpty())
                expected = rows;
            QVERIFY2(rows == expected, rows.value(0).constData());
        }
        QVERIFY2(expected.size() == 5, expected.value(0).constData());
        QMap<QString, QJsonArray> byZip;
        for (const QByteArray &row : expected) {
            const QJsonArray pairs = QJsonDocument::fromJson(row).array();
            QStringList names;
            for (const QJsonValue &pair : pairs)
                names.append(pair.toArray().at(0).toString());
            QCOMPARE(names.join(QLatin1Char(',')),
                     QStringLiteral("zip,county_fips,city,state,state_name,county,latitude,longitude,timezone,"
                                    "area_code,phone"));
            byZip[pairs.at(0).toArray().at(1).toString()] = pairs;
        }
        const auto value = [&](const char *zip, int column) {
            return byZip.value(QLatin1String(zip)).at(column).toArray().at(1);
        };
        QCOMPARE(value("27101", 2).toString(), QStringLiteral("Winston-Salem"));
        QCOMPARE(value("83814", 2).toString(), QStringLiteral("Coeur d'Alene"));
        QCOMPARE(value("83638", 2).toString(), QStringLiteral("McCall"));
        QCOMPARE(value("01001", 1).toString(), QStringLiteral("25013")); // leading zeros kept
        QCOMPARE(value("83814", 4).toString(), QStringLiteral("Idaho"));
        // The centre of McCall's ZIP area, which reaches north of the town.
        QVERIFY(std::abs(value("83638", 6).toString().toDouble() - 45.0) < 0.3);
        // A military post office: no county, and none made up.
        QVERIFY(value("96201", 5).isNull());
        QVERIFY(value("96201", 1).isNull());

        // Plain lines: the fields joined as the window joins them, and --no-header.
        Run result = run(arguments.mid(0, 7)
                         + QStringList{QStringLiteral("--fields"), QStringLiteral("city,state,zip,county")});
        QVERIFY2(result.out.split('\n').contains("Winston-Salem, NC 27101, Forsyth County"), result.out.constData());
        result = run(arguments.mid(0, 7)
                     + QStringList{QStringLiteral("--fields"), QStringLiteral("zip,city"), QStringLiteral("--format"),
                                   QStringLiteral("tsv"), QStringLiteral("--no-header")});
        QVERIFY2(result.out.split('\n').contains("83638\tMcCall"), result.out.constData());
        QCOMPARE(result.out.count('\n'), 5);
        result = run({QStringLiteral("-n"), QStringLiteral("0"), QStringLiteral("--format"), QStringLiteral("json")});
        QCOMPARE(parsedRows(result.out, QStringLiteral("json")), QList<QByteArray>());
    }

    void sqlLoadsIntoSqliteAndPostgres()
    {
        // A table of any name, in a schema, made once, then filled again without its CREATE TABLE; in SQLite
        // itself.
        const QStringList arguments{QStringLiteral("-n"),       QStringLiteral("1000"),
                                    QStringLiteral("--seed"),   QStringLiteral("5"),
                                    QStringLiteral("--format"), QStringLiteral("sql"),
                                    QStringLiteral("--table"),  QStringLiteral("main.test \"rows\""),
                                    QStringLiteral("--fields"), QStringLiteral("all")};
        const Run first = run(arguments);
        const Run again = run(arguments + QStringList{QStringLiteral("--no-header")});
        QCOMPARE(first.exitCode, 0);
        QVERIFY(again.out.startsWith("BEGIN;\nINSERT INTO \"main\".\"test \"\"rows\"\"\" (\"city\", "));
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        char *error = nullptr;
        for (const Run &run : {first, again}) {
            QVERIFY2(sqlite3_exec(db, run.out.constData(), nullptr, nullptr, &error) == SQLITE_OK, error);
        }
        sqlite3_stmt *statement = nullptr;
        QCOMPARE(sqlite3_prepare_v2(
                     db,
                     "SELECT count(*), count(DISTINCT zip), sum(typeof(latitude) = 'real') FROM \"test \"\"rows\"\"\"",
                     -1, &statement, nullptr),
                 SQLITE_OK);
        QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(statement, 0), 2000);
        QVERIFY(sqlite3_column_int(statement, 1) > 900);
        QVERIFY(sqlite3_column_int(statement, 2) > 1900);
        sqlite3_finalize(statement);
        // A name of 100,000 characters is written with each row, not kept with each place: 400 MB suffice.
        const Run longName = runShell(QLatin1String(sanitized ? "" : "ulimit -v 400000; ")
                                      + QStringLiteral("\"$0\" -n 2 --format sql --table $(printf '%0100000d' 0) "
                                                       "--fields zip"));
        QCOMPARE(longName.exitCode, 0);
        QVERIFY2(sqlite3_exec(db, longName.out.constData(), nullptr, nullptr, &error) == SQLITE_OK, error);
        sqlite3_close(db);

        // Many rows to an INSERT (the last statement short) and the COPY block load the same rows, empty values
        // NULL, numbers typed, into SQLite and a real PostgreSQL server; none too.
        const QStringList drawn{QStringLiteral("-n"),       QStringLiteral("1000"), QStringLiteral("--seed"),
                                QStringLiteral("5"),        QStringLiteral("--format"), QStringLiteral("sql"),
                                QStringLiteral("--fields"), QStringLiteral("all")};
        const QList<QByteArray> rows = parsedRows(run(drawn).out, QStringLiteral("sql"));
        QCOMPARE(rows.size(), 1000);
        QVERIFY(std::any_of(rows.begin(), rows.end(), [](const QByteArray &row) { return row.contains("null"); }));
        const Run many = run(drawn + QStringList{QStringLiteral("--rows-per-insert"), QStringLiteral("7")});
        QCOMPARE(many.out.count("INSERT INTO"), 143);
        QCOMPARE(parsedRows(many.out, QStringLiteral("sql")), rows);
        const Run none = run({QStringLiteral("-n"), QStringLiteral("0"), QStringLiteral("--format"),
                              QStringLiteral("sql"), QStringLiteral("--rows-per-insert"), QStringLiteral("9")});
        QCOMPARE(none.out, QByteArray("BEGIN;\nCREATE TABLE IF NOT EXISTS \"places\" (\"city\" TEXT, \"state\" "
                                      "TEXT, \"zip\" TEXT);\nCOMMIT;\n"));
        const QList<QByteArray> copied
            = parsedRows(run(drawn + QStringList{QStringLiteral("--copy")}).out, QStringLiteral("postgres"));
        if (copied == QList<QByteArray>{"(no PostgreSQL)"})
            QSKIP("no PostgreSQL server can be started here");
        QCOMPARE(copied, rows);
        QCOMPARE(parsedRows(many.out, QStringLiteral("postgres")), rows);
    }

    void lookupWritesEachCodesPlace()
    {
        // A drawn csv, looked up by its first column, gives itself again, row for row (a ZIP code of several
        // places gives one of them); a code the data lacks keeps its row, empty, and is counted in one line;
        // ZIP+4, quotes and CR LF are taken.
        qsizetype total = 0;
        for (const QByteArray &line : run({QStringLiteral("--list-states")}).out.trimmed().split('\n'))
            total += line.split('\t').value(2).toLongLong();
        QHash<QByteArray, int> places;
        for (const QByteArray &zip : run({QStringLiteral("-n"), QString::number(total), QStringLiteral("--unique"),
                                          QStringLiteral("--fields"), QStringLiteral("zip")})
                                         .out.split('\n'))
            ++places[zip];
        QTemporaryDir folder;
        const QStringList drawn{QStringLiteral("-n"),       QStringLiteral("300"),
                                QStringLiteral("--seed"),   QStringLiteral("9"),
                                QStringLiteral("--fields"), QStringLiteral("zip,city,state,county,latitude"),
                                QStringLiteral("--format"), QStringLiteral("csv")};
        const QByteArray rows = run(drawn).out;
        const QString input = folder.filePath(QStringLiteral("codes.csv"));
        writeFile(input, rows + "99999,x\r\n\"10001-0001\"\r\n");
        const QStringList lookup{QStringLiteral("--lookup"), input, QStringLiteral("--lookup-header")};
        Run result = run(lookup + drawn.mid(4));
        QCOMPARE(result.exitCode, 0);
        QList<QByteArray> expected = rows.split('\n');
        expected.removeLast();
        const QList<QByteArray> found = result.out.split('\n').first(expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const QByteArray zip = expected[i].split(',').value(0);
            QVERIFY2(found[i] == expected[i] || (places.value(zip) > 1 && found[i].startsWith(zip + ',')),
                     found[i].constData());
        }
        QVERIFY2(result.out.endsWith("\r\n,,,,\r\n10001,New York,NY,New York County,40.75065\r\n"), result.out.constData());
        QCOMPARE(result.err, QStringLiteral("orvelle: 1 of the 302 ZIP codes looked up is not in the place data: its "
                                            "row is empty\n"));
        result = run(lookup + QStringList{QStringLiteral("--format"), QStringLiteral("jsonl"),
                                          QStringLiteral("--fields"), QStringLiteral("zip,latitude")});
        QVERIFY(result.out.contains("\n{\"zip\":null,\"latitude\":null}\n"));
        // A line that holds no ZIP code is named; nothing is written.
        writeFile(input, "10001\n\n");
        result = run({QStringLiteral("--lookup"), input});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.contains(QLatin1String("line 2 of the --lookup file")), qPrintable(result.err));
    }

    void perStateDrawsEachStateItsCount()
    {
        // Three places of each of the 52 states, state by state in code order, none twice, weighted; the same
        // seed the same places.
        const QStringList arguments{QStringLiteral("--per-state"), QStringLiteral("3"),
                                    QStringLiteral("--state"),     QStringLiteral("states,PR"),
                                    QStringLiteral("--unique"),    QStringLiteral("--weight"),
                                    QStringLiteral("population"),  QStringLiteral("--seed"),
                                    QStringLiteral("5"),           QStringLiteral("--fields"),
                                    QStringLiteral("state,zip"),   QStringLiteral("--format"),
                                    QStringLiteral("tsv"),         QStringLiteral("--no-header")};
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 0);
        const QList<QByteArray> lines = result.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 52 * 3);
        QStringList states;
        QSet<QByteArray> zips;
        for (const QByteArray &line : lines) {
            states.append(QString::fromUtf8(line.split('\t').value(0)));
            zips.insert(line);
        }
        QCOMPARE(zips.size(), lines.size());
        QStringList sorted = states;
        sorted.sort();
        QCOMPARE(states, sorted);
        sorted.removeDuplicates();
        QCOMPARE(sorted.size(), 52);
        QCOMPARE(run(arguments).out, result.out);
    }

    void progressOnlyOnATerminal()
    {
        // A run of some seconds: on a terminal's standard error, a line of progress, rewritten, then cleared;
        // with standard error a pipe, nothing.
        const QString arguments = QStringLiteral("-n 20000000 --fields all --format json -o /dev/null");
        const Run terminal = runShell(QStringLiteral("script -qec \"'$0' %1\" /dev/null").arg(arguments));
        QCOMPARE(terminal.exitCode, 0);
        QVERIFY2(terminal.out.contains(" of 20000000 rows, ") && terminal.out.contains(" rows/s, ")
                     && terminal.out.contains(" s left\r\033[K") && terminal.out.endsWith("\r\033[K"),
                 terminal.out.right(200).constData());
        const Run pipe = runShell(QStringLiteral("\"$0\" %1").arg(arguments));
        QCOMPARE(pipe.exitCode, 0);
        QCOMPARE(pipe.errBytes, QByteArray());
    }

    void geojsonReadsAsGdalReadsIt()
    {
        // Every state, territory and military post office: each feature as
        // GDAL reads it holds the place's json values and its point, longitude first.
        QTemporaryDir folder;
        const QStringList arguments{QStringLiteral("-n"), QStringLiteral("600"),      QStringLiteral("--seed"),
                                    QStringLiteral("9"),  QStringLiteral("--fields"), QStringLiteral("all")};
        const Run jsonl = run(arguments + QStringList{QStringLiteral("--format"), QStringLiteral("jsonl")});
        QStringList names;
        for (const QByteArray &line : run({QStringLiteral("--list-fields")}).out.trimmed().split('\n')) {
            if (line.split('\t').value(0) != "distance")
                names.append(QString::fromUtf8(line.split('\t').value(0)));
        }
        QList<QJsonArray> expected;
        for (const QByteArray &line : jsonl.out.trimmed().split('\n')) {
            const QJsonObject place = QJsonDocument::fromJson(line).object();
            QJsonArray feature;
            for (const QString &name : names)
                feature.append(QJsonArray{name, place.value(name)});
            feature.append(QJsonArray{
                QStringLiteral("point"),
                QJsonArray{place.value(QStringLiteral("longitude")), place.value(QStringLiteral("latitude"))}});
            expected.append(feature);
        }
        QCOMPARE(expected.size(), 600);
        for (const char *format : {"geojson", "geojsonseq"}) {
            const QString file = folder.filePath(QStringLiteral("places.") + QLatin1String(format));
            const Run result = run(
                arguments + QStringList{QStringLiteral("--format"), QLatin1String(format), QStringLiteral("-o"), file});
            QCOMPARE(result.exitCode, 0);
            const QList<QJsonArray> features = ogrFeatures(file);
            QCOMPARE(features.size(), expected.size());
            for (qsizetype i = 0; i < features.size(); ++i)
                QVERIFY2(features[i] == expected[i],
                         QJsonDocument(features[i]).toJson(QJsonDocument::Compact).constData());
        }
        const QByteArray sequence = contents(folder.filePath(QStringLiteral("places.geojsonseq")));
        QCOMPARE(sequence.count("\x1e{"), 600);
        QCOMPARE(sequence.count("}\n"), 600);
        QVERIFY(!contents(folder.filePath(QStringLiteral("places.geojson"))).contains("crs"));

        // A place without coordinates has no geometry; one with coordinates
        // that are no point on the Earth stops the run in one line.
        const QString program = folder.filePath(QStringLiteral("orvelle"));
        QVERIFY(QFile::copy(QStringLiteral(ORVELLE_PROGRAM), program));
        makeDatabase(folder.filePath(QStringLiteral("zipbase.mdb")),
                     "CREATE TABLE zip_codes (city TEXT NOT NULL, state TEXT NOT NULL, zip TEXT NOT NULL);" PLACES_TABLE
                     "INSERT INTO places VALUES ('09001', 'APO', 'AE', NULL, NULL, NULL, NULL, NULL, NULL, 1),"
                     " ('99501', 'Anchorage', 'AK', NULL, NULL, NULL, 61.2, -149.9, NULL, 1),"
                     " ('99502', 'Anchorage', 'AK', NULL, NULL, NULL, 'nan', -149.9, NULL, 1),"
                     " ('99503', 'Anchorage', 'AK', NULL, NULL, NULL, 61.2, 200, NULL, 1);"
                     "INSERT INTO zip_codes SELECT city, state, zip FROM places;");
        const QString edited = folder.filePath(QStringLiteral("edited.geojson"));
        Run result = run({QStringLiteral("-n"), QStringLiteral("2"), QStringLiteral("--unique"),
                          QStringLiteral("--zip-prefix"), QStringLiteral("09001,99501"), QStringLiteral("--fields"),
                          QStringLiteral("zip"), QStringLiteral("--format"), QStringLiteral("geojson"),
                          QStringLiteral("-o"), edited},
                         program);
        QCOMPARE(result.exitCode, 0);
        QList<QJsonArray> features = ogrFeatures(edited);
        std::sort(features.begin(), features.end(), [](const QJsonArray &a, const QJsonArray &b) {
            return a.at(0).toArray().at(1).toString() < b.at(0).toArray().at(1).toString();
        });
        QCOMPARE(features,
                 (QList<QJsonArray>{QJsonArray{QJsonArray{QStringLiteral("zip"), QStringLiteral("09001")},
                                               QJsonArray{QStringLiteral("point"), QJsonValue()}},
                                    QJsonArray{QJsonArray{QStringLiteral("zip"), QStringLiteral("99501")},
                                               QJsonArray{QStringLiteral("point"), QJsonArray{-149.9, 61.2}}}}));
        for (const char *zip : {"99502", "99503"}) {
            result = run({QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("--zip-prefix"), QLatin1String(zip),
                          QStringLiteral("--format"), QStringLiteral("geojsonseq")},
                         program);
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(
                result.err.startsWith(QStringLiteral("orvelle: the place database gives ZIP code '%1' the latitude ")
                                          .arg(QLatin1String(zip)))
                    && result.err.count(QLatin1Char('\n')) == 1,
                qPrintable(result.err));
        }
    }

    void weightsAreProportionalToPopulation()
    {
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("orvelle"));
        QVERIFY(QFile::copy(QStringLiteral(ORVELLE_PROGRAM), program));
        makeDatabase(folder.filePath(QStringLiteral("zipbase.mdb")),
                     "CREATE TABLE zip_codes (city TEXT NOT NULL, state TEXT NOT NULL, zip TEXT NOT NULL);"
                     "INSERT INTO zip_codes VALUES ('A', 'AK', '99501'), ('B', 'AK', '99502'), ('C', 'AK', '99503'),"
                     " ('D', 'AK', '99504');" PLACES_TABLE
                     "INSERT INTO places VALUES ('99501', 'A', 'AK', NULL, NULL, NULL, NULL, NULL, NULL, 1),"
                     " ('99502', 'B', 'AK', NULL, NULL, NULL, NULL, NULL, NULL, 3),"
                     " ('99503', 'C', 'AK', NULL, NULL, NULL, NULL, NULL, NULL, 6),"
                     " ('99504', 'D', 'AK', NULL, NULL, NULL, NULL, NULL, NULL, 0.0000001);");
        const Run result = run({QStringLiteral("-n"), QStringLiteral("100000"), QStringLiteral("--seed"),
                                QStringLiteral("5"), QStringLiteral("--weight"), QStringLiteral("population"),
                                QStringLiteral("--fields"), QStringLiteral("city")},
                               program);
        QCOMPARE(result.exitCode, 0);
        const QMap<QString, double> shares = drawnShares(result.out);
        QVERIFY2(std::abs(shares.value(QStringLiteral("A")) - 0.1) < 0.005,
                 qPrintable(QString::number(shares.value(QStringLiteral("A")))));
        QVERIFY(std::abs(shares.value(QStringLiteral("B")) - 0.3) < 0.005);
        QVERIFY(std::abs(shares.value(QStringLiteral("C")) - 0.6) < 0.005);
        QVERIFY(shares.value(QStringLiteral("D")) < 0.0001);
        // Without repeats, the light place comes last.
        const Run unique = run({QStringLiteral("-n"), QStringLiteral("4"), QStringLiteral("--unique"),
                                QStringLiteral("--weight"), QStringLiteral("population"), QStringLiteral("--fields"),
                                QStringLiteral("city")},
                               program);
        QCOMPARE(unique.exitCode, 0);
        QVERIFY2(unique.out.endsWith("D\n") && unique.out.size() == 8, unique.out.constData());
        // A population the weights cannot use is named.
        makeDatabase(folder.filePath(QStringLiteral("zipbase.mdb")),
                     "UPDATE places SET population = 0 WHERE zip = '99502';");
        const Run zero = run(
            {QStringLiteral("-n"), QStringLiteral("4"), QStringLiteral("--weight"), QStringLiteral("population")},
            program);
        QCOMPARE(zero.exitCode, 1);
        QVERIFY2(zero.err.contains(QLatin1String("'99502' the population 0, where a number above 0 and below 2^50")),
                 qPrintable(zero.err));
    }

    void editedDatabasesKeepEveryFormatValid()
    {
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("orvelle"));
        QVERIFY(QFile::copy(QStringLiteral(ORVELLE_PROGRAM), program));
        // Bytes that are not UTF-8, a number that is not finite, a line break and an escape in a name.
        makeDatabase(
            folder.filePath(QStringLiteral("zipbase.mdb")),
            "CREATE TABLE zip_codes (city TEXT NOT NULL, state TEXT NOT NULL, zip TEXT NOT NULL);" PLACES_TABLE
            "INSERT INTO places VALUES ('99501', CAST(X'4261ff64' AS TEXT), 'AK', NULL, NULL, NULL, 'nan', 9e999,"
            " NULL, 1), ('99502', 'New' || char(10) || 'Line' || char(27), 'AK', NULL, NULL, NULL, -1e999, 1.5,"
            " NULL, 1);"
            "INSERT INTO zip_codes SELECT city, state, zip FROM places;");
        const auto runOn = [&](const char *zip, const QString &format, const QString &fields) {
            return run({QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("--zip-prefix"), QLatin1String(zip),
                        QStringLiteral("--fields"), fields, QStringLiteral("--format"), format},
                       program);
        };
        const QString all = QStringLiteral("zip,city,latitude,longitude");
        // Every format that can hold the values carries the same ones; JSON has null where a number is not finite.
        for (const char *zip : {"99501", "99502"}) {
            QList<QByteArray> expected;
            for (const QString &format : {QStringLiteral("csv"), QStringLiteral("jsonl"), QStringLiteral("json")}) {
                const Run result = runOn(zip, format, QStringLiteral("zip,city"));
                QCOMPARE(result.exitCode, 0);
                const QList<QByteArray> rows = parsedRows(result.out, format);
                if (expected.isEmpty())
                    expected = rows;
                QCOMPARE(rows, expected);
                QVERIFY2(rows.size() == 1, rows.value(0).constData());
            }
            QCOMPARE(expected.constFirst(),
                     zip == QLatin1String("99501") ? QByteArray(R"([["zip", "99501"], ["city", "Ba\ufffdd"]])")
                                                   : QByteArray(R"([["zip", "99502"], ["city", "New\nLine\u001b"]])"));
            const Run json = runOn(zip, QStringLiteral("json"), all);
            QCOMPARE(QJsonDocument::fromJson(json.out).array().size(), 1);
            QVERIFY2(json.out.contains(zip == QLatin1String("99501") ? "\"latitude\":null,\"longitude\":null"
                                                                     : "\"latitude\":null,\"longitude\":1.5"),
                     json.out.constData());
            // Nor is it a point to measure from.
            const Run near = run({QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("--near"), QLatin1String(zip), QStringLiteral("--within"),
                                  QStringLiteral("5")},
                                 program);
            QVERIFY2(near.exitCode == 2 && near.err.contains(QLatin1String("has no coordinates")), qPrintable(near.err));
        }
        // Plain lines take the replacement character, as the window's lines do.
        Run result = runOn("99501", QStringLiteral("plain"), QStringLiteral("city,zip"));
        QCOMPARE(result.out,
                 QByteArray("Ba\xef\xbf\xbd"
                            "d 99501\n"));
        result = runOn("99501", QStringLiteral("aligned"), QStringLiteral("city,zip"));
        QVERIFY2(result.exitCode == 0
                     && result.out.contains("Ba\xef\xbf\xbd"
                                            "d 99501"),
                 result.out.constData());
        // Formats that cannot hold a control character refuse it in one line, and leave the earlier file.
        writeFile(folder.filePath(QStringLiteral("out")), "earlier\n");
        for (const QString &format : {QStringLiteral("plain"), QStringLiteral("tsv"), QStringLiteral("aligned")}) {
            result = run({QStringLiteral("-n"), QStringLiteral("3"), QStringLiteral("--format"), format,
                          QStringLiteral("-o"), folder.filePath(QStringLiteral("out"))},
                         program);
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.err.startsWith(QLatin1String("orvelle: the place database gives ZIP code '99502' a "))
                         && result.err.endsWith(
                             QStringLiteral("--format %1 cannot hold: csv, jsonl, json, sql, geojson and geojsonseq can\n").arg(format)),
                     qPrintable(result.err));
            QCOMPARE(contents(folder.filePath(QStringLiteral("out"))), QByteArray("earlier\n"));
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    void editedAreaCodesKeepEveryFormatValid()
    {
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("orvelle"));
        QVERIFY(QFile::copy(QStringLiteral(ORVELLE_PROGRAM), program));
        // A quote, a NUL, a line break and a byte that is not UTF-8 in area codes, and a city of 2 MiB.
        makeDatabase(folder.filePath(QStringLiteral("zipbase.mdb")),
                     "CREATE TABLE zip_codes (city TEXT NOT NULL, state TEXT NOT NULL, zip TEXT NOT NULL);"
                     "CREATE TABLE places (zip TEXT NOT NULL, city TEXT NOT NULL, state TEXT NOT NULL,"
                     " population REAL NOT NULL, area_codes TEXT);"
                     "INSERT INTO places VALUES ('10001', 'A', 'NY', 1, '2''2'),"
                     " ('10002', 'B', 'NY', 1, '3' || char(10) || '3,'),"
                     " ('10003', 'C', 'NY', 1, CAST(X'34ff34' AS TEXT)),"
                     " ('10004', printf('%.*c', 2097152, 'D'), 'NY', 1, '505'),"
                     " ('20001', 'E', 'NY', 1, CAST(X'310032' AS TEXT));"
                     "INSERT INTO zip_codes SELECT city, state, zip FROM places;");
        // Each place once: four of ZIP codes 1..., one of 2....
        const auto runOn = [&](const char *prefix, const QString &format) {
            return run(QStringList{QStringLiteral("--unique"), QStringLiteral("-n"),
                                   QLatin1String(*prefix == '1' ? "4" : "1"),
                        QStringLiteral("--zip-prefix"),
                        QLatin1String(prefix), QStringLiteral("--fields"), QStringLiteral("zip,area_code,city,phone"),
                        QStringLiteral("--format")}
                           + format.split(QLatin1Char(' ')),
                       program);
        };
        const QHash<QString, QString> codes{{QStringLiteral("10001"), QStringLiteral("2'2")},
                                            {QStringLiteral("10002"), QStringLiteral("3\n3")},
                                            {QStringLiteral("10003"), QStringLiteral("4\uFFFD4")},
                                            {QStringLiteral("10004"), QStringLiteral("505")},
                                            {QStringLiteral("20001"), QString::fromUtf8("1\0002", 3)}};
        static const QRegularExpression phone(QStringLiteral("^\\((.*)\\) 555-01[0-9]{2}$"),
                                              QRegularExpression::DotMatchesEverythingOption);
        // Every format that can hold them carries them, as read by sqlite3, Python's csv and json.
        for (const QString &format : {QStringLiteral("csv"), QStringLiteral("jsonl"), QStringLiteral("json"),
                                      QStringLiteral("sql"), QStringLiteral("sql --rows-per-insert 3"),
                                      QStringLiteral("sql --copy")}) {
            const Run result = runOn("1", format);
            QCOMPARE(result.exitCode, 0);
            const QList<QByteArray> rows = parsedRows(
                result.out, format.endsWith(QLatin1String("copy")) ? QStringLiteral("postgres") : format.section(u' ', 0, 0));
            if (rows == QList<QByteArray>{"(no PostgreSQL)"})
                continue;
            QCOMPARE(rows.size(), 4);
            for (const QByteArray &row : rows) {
                const QJsonArray cells = QJsonDocument::fromJson(row).array();
                const QString zip = cells[0][1].toString();
                QCOMPARE(cells[1][1].toString(), codes.value(zip));
                QCOMPARE(phone.match(cells[3][1].toString()).captured(1), codes.value(zip));
                QCOMPARE(cells[2][1].toString().size(), zip == QLatin1String("10004") ? 2097152 : 1);
            }
        }
        const Run json = runOn("2", QStringLiteral("json"));
        QCOMPARE(QJsonDocument::fromJson(json.out).array().at(0)[QLatin1String("area_code")].toString(),
                 codes.value(QStringLiteral("20001")));
        // Formats that cannot hold a control character refuse it in one line; sql a NUL.
        for (const auto &[prefix, format] : {std::pair("1", "plain"), std::pair("1", "tsv"), std::pair("2", "tsv"),
                                             std::pair("2", "sql")}) {
            const Run result = runOn(prefix, QLatin1String(format));
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.out.isEmpty() && result.err.contains(QLatin1String("a area_code with a "))
                         && result.err.count(QLatin1Char('\n')) == 1,
                     qPrintable(result.err));
        }
        // Without them, a line of any length.
        const Run plain = run({QStringLiteral("-n"), QStringLiteral("3"), QStringLiteral("--zip-prefix"),
                               QStringLiteral("10004"), QStringLiteral("--fields"), QStringLiteral("city,phone")},
                              program);
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(plain.out.size(), 3 * (2097152 + 17));
    }

    void everyMessageIsOneLine_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("named");
        const auto row = [](const char *name, const char *command, int status, const char *named) {
            QTest::newRow(name) << QString::fromUtf8(command) << status << QString::fromUtf8(named);
        };
        row("no count", "--unique", 2, "--count");
        row("count not a number", "--count ten", 2, "'ten'");
        row("negative count", "--count -5", 2, "'-5'");
        row("unknown option", "--count 5 --colour", 2, "'colour'");
        row("unknown field", "--count 5 --fields city,country", 2, "'country'");
        row("aligned with a column the window lacks", "--count 5 --format aligned --fields city,county", 2, "'county'");
        row("unknown excluded state", "--count 5 --exclude-state AA,XQ", 2, "'XQ'");
        row("zip prefix not digits", "--count 5 --zip-prefix 100,9a", 2, "'9a'");
        row("zip prefix too long", "--count 5 --zip-prefix 123456", 2, "'123456'");
        row("unknown weight", "--count 5 --weight people", 2, "'people'");
        row("unknown state", "--count 5 --state CA,XQ", 2, "'XQ'");
        row("unknown format", "--count 5 --format xml", 2, "'xml'");
        row("completion of an unknown shell", "--completion tcsh", 2, "'tcsh'");
        row("seed not a number", "--count 5 --seed x1", 2, "'x1'");
        row("stray argument", "--count 5 places", 2, "'places'");
        row("unknown ZIP code near", "-n 5 --near 00000 --within 5", 2, "'00000'");
        row("coordinates out of range", "-n 5 --near 95,10 --within 5", 2, "'95,10'");
        row("coordinates not numbers", "-n 5 --near north,west --within 5", 2, "'north,west'");
        row("distance not above 0", "-n 5 --near 10001 --within 0km", 2, "'0km'");
        row("distance in an unknown unit", "-n 5 --near 10001 --within 5ft", 2, "'5ft'");
        row("near without a distance", "-n 5 --near 10001", 2, "--within");
        row("distance without near", "-n 5 --fields zip,distance", 2, "--near");
        row("empty table name", "-n 5 --format sql --table=", 2, "--table");
        row("no rows to an INSERT", "-n 5 --format sql --rows-per-insert 0", 2, "invalid --rows-per-insert '0'");
        row("an option the format does not read", "-n 5 --format csv --table t", 2,
            "--table is for --format sql only, not csv");
        row("a header the format lacks", "-n 5 --format json --no-header", 2,
            "--no-header is for --format csv, tsv or sql only, not json");
        row("a listing's draw option", "--list-states --seed 3", 2, "--list-states takes no --seed");
        row("a listing's filter", "--list-fields --state CA", 2, "--list-fields takes no --state");
        row("an empty part of a table name", "-n 5 --format sql --table a..b", 2, "invalid --table 'a..b'");
        row("a misspelt option", "-n 5 --feilds zip", 2, "unknown option 'feilds' (did you mean --fields?)");
        row("a misspelt field", "-n 5 --fields zpi", 2, "unknown field 'zpi' in --fields (did you mean zip?)");
        row("a misspelt weight", "-n 5 --weight populaton", 2, "'populaton' (did you mean population?)");
        row("a misspelt state", "-n 5 --state Texs", 2, "unknown state code 'TEXS' in --state (did you mean Texas?)");
        row("a lookup's draw option", "--lookup - --seed 3", 2, "--lookup takes no --seed");
        row("more unique places per state than a state has", "--per-state 3 --state MH --unique", 2,
            "--unique asks for 3 places per state, but MH has only 2");
        row("COPY and INSERT", "-n 5 --format sql --copy --rows-per-insert 5", 2, "--copy writes no INSERT");
        row("no place within", "-n 5 --near 10001 --within 20 --state CA", 2,
            "no place within 20 miles of '10001' that matches --state CA");
        row("a point and a distance as given", "-n 5 --near 40.,-73. --within .0000001", 2,
            "no place within 0.0000001 miles of '40.,-73.'");
        row("a state code of letters ASCII only", "-n 5 --state ıa,ſc", 2, "unknown state code 'ıA'");
        row("a table name that is not UTF-8", "-n 1 --format sql --table \"$(printf 'a\\377b')\"", 2,
            "invalid --table 'a\uFFFDb': a name of UTF-8 text");
        row("Qt's option", "-n 1 -platform offscreen -style=fusion", 2, "-platform -style are the window's");
        row("Qt's parser", "-n 1 --bogus", 2, "unknown option 'bogus'");
        row("a line break in a name", "-n 1 -o \"$(printf 'a\\nb/c')\"", 1, "'a\\nb/c'");
        row("a listing's format", "--list-states --format json", 2, "--list-states writes TAB-separated lines");
        row("no earlier file", "-n 100000 -o new.txt", 1, "File too large");
        row("an echoed list cut short",
            "-n 1 --state CT $(i=0; while [ $i -lt 20000 ]; do echo --zip-prefix 9$((i % 90 + 10)); i=$((i + 1)); "
            "done)",
            2, "no place matches --state CT --zip-prefix 910,911,912,913,914,915,916,917,... (82 more)");
    }

    // Every failure, usage error (status 2) or fault (status 1), says so in one
    // line that names what is wrong: the program's name, lower case, no final
    // stop, a name's control characters escaped; no output, no file left.
    void everyMessageIsOneLine()
    {
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(QString, named);
        QTemporaryDir folder;
        const Run result = runShell(QStringLiteral("ulimit -f 1; exec \"$0\" ") + command, folder.path());
        QCOMPARE(result.exitCode, status);
        QVERIFY(result.out.isEmpty());
        static const QRegularExpression oneLine(QStringLiteral("^orvelle: [^A-Z][^\n]*[^.]\n$"));
        QVERIFY2(oneLine.match(result.err).hasMatch() && result.err.contains(named), qPrintable(result.err));
        QVERIFY2(!result.err.contains(QLatin1String("unchanged")), qPrintable(result.err));
        QVERIFY2(result.err.size() < 400, qPrintable(result.err.left(400)));
        QCOMPARE(entryBytes(folder.path()), QList<QByteArray>());
    }

    // Memory that runs out anywhere, at any limit from where the system's
    // loader gives up to where the run succeeds, ends in one line and status 1.
    void outOfMemoryIsOneLine()
    {
        if (sanitized)
            QSKIP("AddressSanitizer's shadow memory does not fit under a limit of the address space");
        int told = 0;
        for (int limit = 40000; limit <= 100000; limit += 500) {
            const Run result = runShell(QStringLiteral("ulimit -v %1; exec \"$0\" -n 10").arg(limit));
            // Before the program runs: the loader, or a library that Qt Core
            // loads setting itself up (libgomp, through libb2), gives up.
            if ((result.exitCode == 127 && result.err.contains(QLatin1String("error while loading shared libraries")))
                || result.err.contains(QLatin1String("libgomp: Out of memory")))
                continue;
            if (result.exitCode == 0) {
                QCOMPARE(result.out.count('\n'), 10);
                continue;
            }
            QVERIFY2(result.exitCode == 1 && result.err.startsWith(QLatin1String("orvelle: "))
                         && result.err.endsWith(QLatin1String("memory\n")) && result.err.count(QLatin1Char('\n')) == 1,
                     qPrintable(QStringLiteral("%1 kB: status %2, %3").arg(limit).arg(result.exitCode).arg(result.err)));
            ++told;
        }
        QVERIFY(told > 0);
    }

    void namesInAnyCase()
    {
        // Names of formats, fields, states, groups, weights and units alike are taken in any case.
        const Run result = run({QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("--format"),
                                QStringLiteral("JSONL"), QStringLiteral("--weight"), QStringLiteral("Population"),
                                QStringLiteral("--fields"), QStringLiteral("State,ZIP"), QStringLiteral("--state"),
                                QStringLiteral("ny,Military"), QStringLiteral("--near"), QStringLiteral("10001"),
                                QStringLiteral("--within"), QStringLiteral("5KM")});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.startsWith("{\"state\":\"NY\",\"zip\":\"1") && result.out.count('\n') == 1,
                 result.out.constData());
        // States by their names and common spellings too; a format by its other name.
        const Run named = run({QStringLiteral("--list-states"), QStringLiteral("--state"),
                               QStringLiteral("texas, New  York,u.s. virgin islands"), QStringLiteral("--state"),
                               QStringLiteral("Washington DC,NY")});
        QCOMPARE(named.exitCode, 0);
        QStringList codes;
        for (const QByteArray &line : named.out.trimmed().split('\n'))
            codes.append(QString::fromUtf8(line.split('\t').value(0)));
        QCOMPARE(codes, (QStringList{QStringLiteral("DC"), QStringLiteral("NY"), QStringLiteral("TX"),
                                     QStringLiteral("VI")}));
        const QStringList seeded{QStringLiteral("-n"), QStringLiteral("20"), QStringLiteral("--seed"),
                                 QStringLiteral("4"), QStringLiteral("--format")};
        QCOMPARE(run(seeded + QStringList{QStringLiteral("NDJSON")}).out,
                 run(seeded + QStringList{QStringLiteral("jsonl")}).out);
    }

    void helpAndVersion()
    {
        const Run help = run({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith("Usage: orvelle [OPTION]..."));
        QVERIFY(help.out.contains("--unique"));
        QCOMPARE(help.out.count("; repeatable."), 4); // --fields, --state, --exclude-state, --zip-prefix
        // The help and the manual page name every field and every format the program takes.
        const QByteArray manual = contents(QStringLiteral(ORVELLE_MANUAL));
        for (const QByteArray &line : run({QStringLiteral("--list-fields")}).out.trimmed().split('\n')) {
            const QByteArray name = line.split('\t').value(0);
            QVERIFY2(help.out.contains(name) && manual.contains(".B " + name + '\n'), name.constData());
        }
        const QByteArray formats = run({QStringLiteral("--list-formats")}).out;
        QCOMPARE(formats.count('\n'), 9);
        for (const QByteArray &line : formats.trimmed().split('\n')) {
            const QList<QByteArray> names = line.split('\t').value(0).split(',');
            for (const QByteArray &name : names)
                QVERIFY2(help.out.contains(name) && manual.contains(name), name.constData());
            QVERIFY2(manual.contains(".B " + names.value(0) + '\n'), line.constData());
        }
        const Run version = run({QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(version.out.startsWith("orvelle (Orvelle) " ORVELLE_VERSION "\n"), version.out.constData());
    }

    void databaseFailures()
    {
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("orvelle"));
        QVERIFY(QFile::copy(QStringLiteral(ORVELLE_PROGRAM), program));
        const QStringList arguments{QStringLiteral("--count"), QStringLiteral("5")};

        // Whatever is wrong with the file, one line that names it and its cause, status 1,
        // and no output; the permissions as an unprivileged user sees them.
        const QString database = folder.filePath(QStringLiteral("zipbase.mdb"));
        QVERIFY(QFile::setPermissions(folder.path(),
                                      QFile::permissions(folder.path()) | QFile::ReadOther | QFile::ExeOther
                                          | QFile::ReadGroup | QFile::ExeGroup));
        const std::vector<std::pair<std::function<void()>, QString>> faults{
            {[] {}, QStringLiteral("%1 not found.")},
            {[&] { writeFile(database, QByteArray(4096, 'x')); },
             QStringLiteral("The place database %1 is not an SQLite database file.")},
            {[&] { QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("zipbase.mdb"))); },
             QStringLiteral("The place database %1 is a folder, not a database file.")},
            {[&] { QCOMPARE(mkfifo(QFile::encodeName(database).constData(), 0644), 0); },
             QStringLiteral("The place database %1 is not a regular file.")},
            {[&] { writeFile(database, QByteArray()); },
             QStringLiteral("The place database %1 is empty (zero bytes), not a database file.")},
            {[&] {
            QVERIFY(QFile::copy(QStringLiteral(ZIPBASE_PATH), database));
            QVERIFY(QFile::setPermissions(database, QFile::WriteOwner));
             },
             QStringLiteral("The place database %1 cannot be opened: Permission denied.")},
            {[&] { makeDatabase(database, "CREATE TABLE towns (city TEXT);"); },
             QStringLiteral("The place database %1 has no table \"zip_codes\".")},
            {[&] {
            makeDatabase(database,
                         "PRAGMA journal_mode=WAL; CREATE TABLE zip_codes (city TEXT, state TEXT, zip TEXT);"
                         "INSERT INTO zip_codes VALUES ('McCall', 'ID', '83638');");
            QVERIFY(QFile::setPermissions(database, QFile::ReadOwner | QFile::ReadOther));
            QVERIFY(QFile::setPermissions(folder.path(),
                                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
             },
             QStringLiteral("The place database %1 keeps a write-ahead log, which SQLite reads only where it may write "
                            "beside the file, and its folder is read-only (PRAGMA journal_mode=DELETE makes it "
                            "readable anywhere).")},
            };
        for (const auto &[make, message] : faults) {
            make();
            const Run result = run(arguments, program, unprivileged);
            QCOMPARE(result.exitCode, 1);
            QVERIFY(result.out.isEmpty());
            // The window's sentence, as the command line's one line: lower case, no final stop.
            QString line = message.arg(database);
            line.chop(1);
            line[0] = line[0].toLower();
            QCOMPARE(result.err, QStringLiteral("orvelle: ") + line + QLatin1Char('\n'));
            QVERIFY(QFile::setPermissions(folder.path(), QFile::permissions(folder.path()) | QFile::WriteOwner));
            QVERIFY(QFileInfo(database).isDir() ? QDir(database).removeRecursively()
                                                : QFile::remove(database) || !QFileInfo::exists(database));
        }
        QCOMPARE(entryBytes(folder.path()), QList<QByteArray>{"orvelle"});

        // Installed, a database in a folder the user may not search is named with that cause,
        // not passed over for one beside the program.
        const QString bin = folder.filePath(QStringLiteral("installed/bin"));
        const QString data = QDir::cleanPath(bin + QStringLiteral("/" ORVELLE_DATA_FOLDER));
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(data));
        QVERIFY(QFile::copy(program, bin + QStringLiteral("/orvelle")));
        QVERIFY(QFile::copy(QStringLiteral(ZIPBASE_PATH), data + QStringLiteral("/zipbase.mdb")));
        QVERIFY(QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner));
        Run result = run(arguments, bin + QStringLiteral("/orvelle"), unprivileged);
        QVERIFY(QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err, QStringLiteral("orvelle: the place database %1/zipbase.mdb cannot be opened: Permission denied\n")
                                 .arg(data));
        QVERIFY(QDir(folder.filePath(QStringLiteral("installed"))).removeRecursively());

        makeDatabase(folder.filePath(QStringLiteral("zipbase.mdb")),
                     "CREATE TABLE zip_codes (city TEXT NOT NULL, state TEXT NOT NULL, zip TEXT NOT NULL);");
        for (const QString &state : {QString(), QStringLiteral("CA")}) {
            result = run(state.isEmpty() ? arguments : arguments + QStringList{QStringLiteral("--state"), state},
                         program);
            QCOMPARE(result.exitCode, 1);
            QCOMPARE(
                result.err,
                QStringLiteral("orvelle: the place database %1 holds no places: its table \"zip_codes\" is empty\n")
                    .arg(folder.filePath(QStringLiteral("zipbase.mdb"))));
        }
        // A database the window alone could read still gives its three columns; weights need the population.
        makeDatabase(folder.filePath(QStringLiteral("zipbase.mdb")),
                     "INSERT INTO zip_codes VALUES ('McCall', 'ID', '83638');");
        result = run(arguments + QStringList{QStringLiteral("--fields"), QStringLiteral("zip,city,county")}, program);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("83638, McCall, \n").repeated(5));
        result = run(arguments + QStringList{QStringLiteral("--weight"), QStringLiteral("population")}, program);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(QLatin1String("no population")), qPrintable(result.err));
    }

    void namesThatAreNotUtf8()
    {
        QTemporaryDir folder;
        // An output name: the file of exactly that name, and no other.
        Run result = runShell(QStringLiteral("exec \"$0\" -n 3 --seed 1 -o \"$(printf 'data\\377.txt')\""),
                              folder.path());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(entryBytes(folder.path()), QList<QByteArray>{"data\xff.txt"});
        QCOMPARE(contents(folder.filePath(QStringLiteral("data"))), QByteArray("(missing)"));
        std::filesystem::remove(
            std::filesystem::path(QFile::encodeName(folder.path()).toStdString() + "/data\xff.txt"));

        // A program in a folder of such a name finds its database there, and names it byte for byte.
        const std::string programFolder = QFile::encodeName(folder.path()).toStdString() + "/prog\xfe";
        std::filesystem::create_directory(programFolder);
        std::filesystem::copy_file(ORVELLE_PROGRAM, programFolder + "/orvelle");
        std::filesystem::permissions(programFolder + "/orvelle", std::filesystem::perms::owner_exec,
                                     std::filesystem::perm_options::add);
        const QString command = QStringLiteral("exec \"$(printf 'prog\\376')/orvelle\" -n 2 --fields zip --seed 1");
        result = runShell(command, folder.path());
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.errBytes.endsWith("/prog\xfe/zipbase.mdb not found\n"), result.errBytes.constData());
        std::filesystem::copy_file(ZIPBASE_PATH, programFolder + "/zipbase.mdb");
        result = runShell(command, folder.path());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out.count('\n'), 2);
        std::filesystem::remove_all(programFolder); // which QTemporaryDir cannot name
    }

    void replacesAFileWhole()
    {
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("places.txt"));
        writeFile(target, "earlier\n");
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(QFile::link(target, folder.filePath(QStringLiteral("link"))));
        const Run result = run({QStringLiteral("-n"), QStringLiteral("2"), QStringLiteral("--seed"),
                                QStringLiteral("7"), QStringLiteral("-o"), folder.filePath(QStringLiteral("link"))});
        QCOMPARE(result.exitCode, 0);
        // The link's file is replaced, keeping its permissions; the link stays a link.
        QCOMPARE(contents(target), QByteArray("Lisbon, MD 21765\nOpelika, AL 36804\n"));
        QCOMPARE(QFile::permissions(target) & 0x7077, QFile::ReadOwner | QFile::WriteOwner); // owner, group, others
        QVERIFY(QFileInfo(folder.filePath(QStringLiteral("link"))).isSymLink());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 2);
    }

    void linksAndOwners()
    {
        QTemporaryDir folder;
        const QByteArray rows = run({QStringLiteral("-n"), QStringLiteral("2"), QStringLiteral("--seed"), QStringLiteral("7")}).out;
        const auto inFolder = [&](QProcess &process) { process.setWorkingDirectory(folder.path()); };
        const auto write = [&](const char *name) {
            return run({QStringLiteral("-n"), QStringLiteral("2"), QStringLiteral("--seed"), QStringLiteral("7"),
                        QStringLiteral("-o"), QLatin1String(name)},
                       QStringLiteral(ORVELLE_PROGRAM), inFolder);
        };
        const auto makeLink = [&](const char *target, const char *name) {
            QCOMPARE(::symlink(target, QFile::encodeName(folder.filePath(QLatin1String(name))).constData()), 0);
        };
        // A dangling link, through another: the file it names is made, and the links stay.
        makeLink("made.txt", "second");
        makeLink("second", "first");
        Run result = write("first");
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(contents(folder.filePath(QStringLiteral("made.txt"))), rows);
        QVERIFY(QFileInfo(folder.filePath(QStringLiteral("first"))).isSymLink());
        QVERIFY(QFileInfo(folder.filePath(QStringLiteral("second"))).isSymLink());
        // A link into a folder that is not there, and a loop: refused in the system's words.
        makeLink("missing/places.txt", "nowhere");
        makeLink("loop", "loop");
        for (const auto &[name, cause] : {std::pair{"nowhere", "No such file or directory"},
                                          std::pair{"loop", "Too many levels of symbolic links"}}) {
            result = write(name);
            QCOMPARE(result.exitCode, 1);
            QCOMPARE(result.err, QStringLiteral("orvelle: the file '%1' could not be created: %2\n")
                                     .arg(QLatin1String(name), QLatin1String(cause)));
            QVERIFY(QFileInfo(folder.filePath(QLatin1String(name))).isSymLink());
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 5);

        // A path of 4,096 bytes and a name of 256 are refused before anything is written (a file
        // size limit would say so); a short name in a path as deep as the system takes is written.
        result = runShell(QStringLiteral(
                              "ulimit -f 64; d=$PWD; while [ ${#d} -lt 3800 ]; do d=$d/$(printf %0100d 0); "
                              "mkdir $d || exit 9; done; s=$d; while [ ${#s} -lt 4088 ]; do s=$s/s; mkdir $s || exit 9; "
                              "done; \"$0\" -n 1000000 -o $d/$(printf %0$((4095 - ${#d}))d 0); echo $?; "
                              "\"$0\" -n 1000000 -o $d/$(printf %0256d 0); echo $?; \"$0\" -n 2 -o $s/n && wc -l < $s/n"),
                          folder.path());
        QCOMPARE(result.out, QByteArray("1\n1\n2\n"));
        QCOMPARE(result.err.count(QLatin1String("' could not be created: File name too long\n")), 2);
        QCOMPARE(result.err.count(QLatin1Char('\n')), 2);

        if (geteuid() != 0)
            QSKIP("Another user's files need the test to run as root.");
        // As a user: a read-only file of the user's, root's file in the user's folder, and root's
        // file that the user may write but not own in a folder for all: each refused before
        // anything is written, and left as it was.
        QVERIFY(QFile::setPermissions(folder.path(), QFile::permissions(folder.path()) | QFile::ExeOther));
        const QString user = folder.filePath(QStringLiteral("user"));
        const QString shared = folder.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkdir(user) && QDir().mkdir(shared));
        QCOMPARE(::chown(QFile::encodeName(user).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        const std::vector<std::tuple<QString, mode_t, uid_t, QString>> refused{
            {user + QStringLiteral("/own.txt"), 0444, 65534, QStringLiteral("could not be written: Permission denied")},
            {user + QStringLiteral("/root.txt"), 0644, 0, QStringLiteral("could not be written: Permission denied")},
            {shared + QStringLiteral("/root.txt"), 0666, 0,
             QStringLiteral("could not be replaced by a file of the same owner (root) and group (root): "
                            "Operation not permitted")}};
        for (const auto &[file, mode, owner, cause] : refused) {
            writeFile(file, "earlier\n");
            QCOMPARE(::chown(QFile::encodeName(file).constData(), owner, owner), 0);
            QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode), 0);
            result = run({QStringLiteral("-c"), QStringLiteral("ulimit -f 64; exec \"$0\" -n 1000000 -o \"$1\""),
                          QStringLiteral(ORVELLE_PROGRAM), file},
                         QStringLiteral("/bin/sh"), unprivileged);
            QCOMPARE(result.exitCode, 1);
            QCOMPARE(result.err, QStringLiteral("orvelle: the file %1 %2; the earlier file of that name is unchanged\n")
                                     .arg(QLatin1Char('\'') + file + QLatin1Char('\''), cause));
            QCOMPARE(contents(file), QByteArray("earlier\n"));
            QCOMPARE(QFileInfo(file).ownerId(), owner);
        }
        // Root replacing the user's file keeps its owner, group and permissions.
        const QString own = user + QStringLiteral("/own.txt");
        QCOMPARE(::chmod(QFile::encodeName(own).constData(), 0640), 0);
        result = run({QStringLiteral("-n"), QStringLiteral("2"), QStringLiteral("-o"), own});
        QCOMPARE(result.exitCode, 0);
        struct stat status
        {
        };
        QCOMPARE(::stat(QFile::encodeName(own).constData(), &status), 0);
        QCOMPARE(std::tuple(status.st_uid, status.st_gid, status.st_mode & 07777), std::tuple(65534u, 65534u, 0640u));
        QCOMPARE(QDir(user).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void neverWritesOverItsOwnFiles()
    {
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("orvelle"));
        QVERIFY(QFile::copy(QStringLiteral(ORVELLE_PROGRAM), program));
        QVERIFY(QFile::copy(QStringLiteral(ZIPBASE_PATH), folder.filePath(QStringLiteral("zipbase.mdb"))));
        writeFile(folder.filePath(QStringLiteral("orvelle-window")), "the window\n");
        QVERIFY(QFile::link(folder.filePath(QStringLiteral("zipbase.mdb")), folder.filePath(QStringLiteral("link"))));
        QCOMPARE(::link(QFile::encodeName(program).constData(),
                        QFile::encodeName(folder.filePath(QStringLiteral("hard"))).constData()),
                 0);
        const QByteArray database = contents(folder.filePath(QStringLiteral("zipbase.mdb")));
        const QByteArray executable = contents(program);
        writeFile(folder.filePath(QStringLiteral("liborvelle_libreoffice.so")), "the plugin\n");
        for (const char *target : {"zipbase.mdb", "./zipbase.mdb", "link", "orvelle", "./hard", "orvelle-window",
                                   "liborvelle_libreoffice.so"}) {
            const Run result = run(
                {QStringLiteral("-n"), QStringLiteral("5"), QStringLiteral("-o"), QLatin1String(target)}, program,
                [&](QProcess &process) { process.setWorkingDirectory(folder.path()); });
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.err.contains(QLatin1String("is the program's own file")), qPrintable(result.err));
        }
        QCOMPARE(contents(folder.filePath(QStringLiteral("zipbase.mdb"))), database);
        QCOMPARE(contents(program), executable);
        QCOMPARE(contents(folder.filePath(QStringLiteral("orvelle-window"))), QByteArray("the window\n"));
        QCOMPARE(contents(folder.filePath(QStringLiteral("liborvelle_libreoffice.so"))), QByteArray("the plugin\n"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 6);
    }

    void failedWritesLeaveTheEarlierFile()
    {
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("places.txt"));
        writeFile(target, "earlier\n");
        const QStringList arguments{QStringLiteral("--count"), QStringLiteral("100000"), QStringLiteral("--output")};

        // A file size limit, as "ulimit -f" sets it, is reached in the middle of a
        // write: the write fails and is named, the earlier file stays.
        Run result = runShell(QStringLiteral("ulimit -f 64; exec \"$0\" -n 100000 -o places.txt"), folder.path());
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err,
                 QStringLiteral("orvelle: the file 'places.txt' could not be written: File too large; "
                                "the earlier file of that name is unchanged\n"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("places.txt")});
        QCOMPARE(contents(target), QByteArray("earlier\n"));
        // So too on standard output, redirected to a file by the shell.
        result = runShell(QStringLiteral("ulimit -f 64; exec \"$0\" -n 100000 > out.txt"), folder.path());
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err, QStringLiteral("orvelle: standard output could not be written: File too large\n"));

        // A full device; as standard output, in standardOutputByAnyName.
        result = run(arguments + QStringList{QStringLiteral("/dev/full")});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(QLatin1String("No space left on device")), qPrintable(result.err));

        // A folder that does not exist.
        result = run(arguments + QStringList{folder.filePath(QStringLiteral("missing/places.txt"))});
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err.count(QLatin1Char('\n')), 1);

        // A folder that takes no new file, as an unprivileged user sees it: the earlier file, writable, stays.
        QVERIFY(QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOther | QFile::ReadOther));
        const QFile::Permissions writable = QFile::permissions(folder.path());
        QVERIFY(QFile::setPermissions(folder.path(),
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        result = run(arguments + QStringList{target}, QStringLiteral(ORVELLE_PROGRAM), unprivileged);
        QVERIFY(QFile::setPermissions(folder.path(), writable));
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(
            result.err.endsWith(QLatin1String(": Permission denied; the earlier file of that name is unchanged\n")),
            qPrintable(result.err));
        QCOMPARE(contents(target), QByteArray("earlier\n"));
    }

    void standardOutputByAnyName()
    {
        QTemporaryDir folder;
        // The shell's file, named as the process's own standard output or error, or another descriptor
        // of it: written in place after what the shell wrote, and before what it writes next.
        const QString rows = QStringLiteral("\"$0\" -n 2 --seed 7 -o");
        const QString command =
            QStringLiteral("{ echo header; %1 /dev/stdout; %1 /proc/self/fd/1; %1 - ; } > f; %1 /dev/stderr 2>> f; "
                           "%1 /dev/fd/3 3>> f; %1 \"$PWD/f\" >> f; echo footer >> f")
                .arg(rows);
        Run result = runShell(command, folder.path());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(contents(folder.filePath(QStringLiteral("f"))),
                 "header\n"
                     + run({QStringLiteral("-n"), QStringLiteral("2"), QStringLiteral("--seed"), QStringLiteral("7")})
                           .out.repeated(6)
                     + "footer\n");
        QCOMPARE(entryBytes(folder.path()), QList<QByteArray>{"f"});

        // Every command on a closed standard output, or one that fails at its flush or close: status 1, the cause.
        for (const char *arguments :
             {"-n 2", "-n 2 -o /dev/stdout", "--help", "--version", "--list-states", "--list-fields"}) {
            result = runShell(QStringLiteral("exec \"$0\" %1 >&-").arg(QLatin1String(arguments)));
            QCOMPARE(result.exitCode, 1);
            QCOMPARE(result.err, QStringLiteral("orvelle: standard output is closed\n"));
            result = runShell(QStringLiteral("exec \"$0\" %1 > /dev/full").arg(QLatin1String(arguments)));
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.err.endsWith(QLatin1String(": No space left on device\n"))
                         && result.err.count(QLatin1Char('\n')) == 1,
                     qPrintable(result.err));
        }
        // A closed standard error or input takes no file's place either.
        result = runShell(QStringLiteral("exec \"$0\" -n 3 -o f 2>&- <&-"), folder.path());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(contents(folder.filePath(QStringLiteral("f"))).count('\n'), 3);
    }

    void signalsLeaveNothingBehind()
    {
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("places.txt"));
        writeFile(target, "earlier\n");
        const struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        // Every signal whose default action ends the process, KILL aside.
        std::vector<int> ending{SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE,
                                 SIGUSR1, SIGSEGV, SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM,   SIGSTKFLT, SIGXCPU,
                                 SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS};
        for (int signal = SIGRTMIN; signal <= SIGRTMAX; signal += 7)
            ending.push_back(signal);
        for (int signal : ending) {
            const pid_t pid = spawnProgram({"-n", "1000000000", "-o", QFile::encodeName(target)});
            QVERIFY(pid > 0);
            QTRY_COMPARE_WITH_TIMEOUT(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 2, 20000);
            QTest::qWait(50);
            ::kill(pid, signal);
            int status = 0;
            QCOMPARE(::waitpid(pid, &status, 0), pid);
            // Ended by the signal, as a shell sees it (status 128 + n), with the new file gone.
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == signal, qPrintable(QString::number(signal)));
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                     QStringList{QStringLiteral("places.txt")});
            QCOMPARE(contents(target), QByteArray("earlier\n"));
        }
        // The system's own: a processor time limit reached (a file size limit is a failed write,
        // in failedWritesLeaveTheEarlierFile).
        const Run result =
            runShell(QStringLiteral("ulimit -St 1; exec \"$0\" -n 1000000000 -o places.txt"), folder.path());
        QCOMPARE(result.exitCode, -1); // ended by a signal
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("places.txt")});
    }

    void aKilledRunsFileGoesWithTheNextRun()
    {
        QTemporaryDir folder;
        const QByteArray output = QFile::encodeName(folder.filePath(QStringLiteral("places.txt")));
        const auto newFiles = [&] {
            return QDir(folder.path()).entryList({QStringLiteral(".orvelle-*")}, QDir::Files | QDir::Hidden);
        };
        const pid_t killed = spawnProgram({"-n", "1000000000", "-o", output});
        QTRY_COMPARE_WITH_TIMEOUT(newFiles().size(), 1, 20000);
        ::kill(killed, SIGKILL);
        QCOMPARE(::waitpid(killed, nullptr, 0), killed);
        const QString left = newFiles().constFirst();
        // What is not a killed run's of this user stays: files of other names, a running
        // run's, and a file of that kind that is another user's.
        QStringList names{QStringLiteral(".orvelle-notmine"), QStringLiteral(".orvelle-123456")};
        if (geteuid() == 0)
            names.append(QStringLiteral(".orvelle-%1-others").arg(killed));
        for (const QString &name : names)
            writeFile(folder.filePath(name), "kept\n");
        if (geteuid() == 0)
            QCOMPARE(::chown(QFile::encodeName(folder.filePath(names.last())).constData(), 65534, 65534), 0);
        // The next run removes it as it starts; a run after that leaves the next one's, which is running.
        const pid_t running = spawnProgram({"-n", "1000000000", "-o", output});
        QTRY_VERIFY_WITH_TIMEOUT(!newFiles().contains(left) && newFiles().size() == names.size() + 1, 20000);
        const QStringList kept = newFiles();
        const Run result = run({QStringLiteral("-n"), QStringLiteral("3"), QStringLiteral("-o"),
                                folder.filePath(QStringLiteral("next.txt"))});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(newFiles(), kept);
        ::kill(running, SIGTERM);
        QCOMPARE(::waitpid(running, nullptr, 0), running);
    }

    void theWindowOpensWithoutArguments()
    {
        QTemporaryDir config;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(ORVELLE_PROGRAM), QStringList());
        QVERIFY(process.waitForStarted());
        // The window stays until it is closed; the command line would have ended at once.
        QVERIFY(catchesSignal(process, SIGTERM));
        QVERIFY(!process.waitForFinished(500));
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        // Its close stored the list, as only the window does.
        QVERIFY(QFile::exists(config.filePath(QStringLiteral("Kestrova/Orvelle Software Prefixes.txt"))));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
