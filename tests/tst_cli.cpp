// The command line, through the built program: no display, real database,
// real files and devices.

#include "TestSupport.h"

#include "export/TextExport.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
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
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
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

// "zip|STATE|CITY" of every place of the shipped table.
QSet<QString> shippedPlaces()
{
    QSet<QString> places;
    QFile file(QStringLiteral(ZIPCODES_TSV));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return places;
    file.readLine(); // zip, city, state
    while (!file.atEnd()) {
        const QStringList cells = QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char('\t'));
        if (cells.size() == 3)
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
    void seedGivesTheSameBytesEverywhere()
    {
        const QStringList arguments{QStringLiteral("--count"), QStringLiteral("3000"), QStringLiteral("--format"),
                                    QStringLiteral("csv")};
        const Run first = run(arguments + QStringList{QStringLiteral("--seed"), QStringLiteral("7")});
        QCOMPARE(first.exitCode, 0);
        QCOMPARE(run(arguments + QStringList{QStringLiteral("--seed"), QStringLiteral("7")}).out, first.out);
        QVERIFY(run(arguments + QStringList{QStringLiteral("--seed"), QStringLiteral("8")}).out != first.out);
        QVERIFY(run(arguments).out != run(arguments).out);
        // The generator and the table order are part of the promise: these are
        // the places seed 7 draws on any machine.
        QVERIFY2(first.out.startsWith("city,state,zip\r\n"
                                      "Point Of Rocks,MD,21777\r\n"
                                      "Opelika,AL,36801\r\n"
                                      "Purcellville,VA,20134\r\n"),
                 first.out.left(120).constData());
    }

    void stateRowsAreRealPlacesOfThatState()
    {
        const Run result = run({QStringLiteral("--count"), QStringLiteral("10000"), QStringLiteral("--state"),
                                QStringLiteral("CA"), QStringLiteral("--fields"), QStringLiteral("city,state,zip"),
                                QStringLiteral("--format"), QStringLiteral("csv")});
        QCOMPARE(result.exitCode, 0);
        const QList<QStringList> rows = csvRows(result.out, QStringLiteral("city,state,zip"));
        QCOMPARE(rows.size(), 10000);
        const QSet<QString> places = shippedPlaces();
        QVERIFY(places.size() > 40000);
        for (const QStringList &row : rows) {
            QCOMPARE(row.value(1), QStringLiteral("CA"));
            QVERIFY2(places.contains(placeKey(row)), qPrintable(row.join(QLatin1Char(','))));
        }
    }

    void uniqueGivesEveryPlaceOnce()
    {
        const QStringList arguments{QStringLiteral("--unique"), QStringLiteral("--state"), QStringLiteral("RI"),
                                    QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--count")};
        const Run all = run(arguments + QStringList{QStringLiteral("90")});
        QCOMPARE(all.exitCode, 0);
        QSet<QString> drawn;
        for (const QStringList &row : csvRows(all.out, QStringLiteral("city,state,zip")))
            drawn.insert(placeKey(row));
        QSet<QString> rhodeIsland;
        for (const QString &place : shippedPlaces()) {
            if (place.section(QLatin1Char('|'), 1, 1) == QLatin1String("RI"))
                rhodeIsland.insert(place);
        }
        QCOMPARE(rhodeIsland.size(), 90);
        QCOMPARE(drawn, rhodeIsland);

        const Run tooMany = run(arguments + QStringList{QStringLiteral("91")});
        QCOMPARE(tooMany.exitCode, 2);
        QVERIFY2(tooMany.err.contains(QLatin1String("only 90")), qPrintable(tooMany.err));
    }

    void textIsTheWindowsSave()
    {
        const QStringList seed{QStringLiteral("--seed"), QStringLiteral("3"), QStringLiteral("--count"),
                               QStringLiteral("500")};
        const Run text = run(seed);
        const Run csv = run(seed + QStringList{QStringLiteral("--format"), QStringLiteral("csv")});
        QCOMPARE(text.exitCode, 0);
        QCOMPARE(csv.exitCode, 0);

        // The same places in the window's list, every row ticked, saved by the window's routine.
        ResultsColumnList list;
        for (const QStringList &row : csvRows(csv.out, QStringLiteral("city,state,zip")))
            list.append(row.value(0) + QStringLiteral(", ") + row.value(1) + QLatin1Char(' ') + row.value(2));
        QCOMPARE(list.rows(), 500);
        list.setAllChecked(true);
        FakeHost host;
        QBuffer saved;
        saved.open(QIODevice::WriteOnly);
        SaveListviewProperlySpaced(host, list, saved, QStringLiteral("places.txt"), nullptr);
        QVERIFY(host.m_dialogs.messages.isEmpty());
        QCOMPARE(text.out, saved.data());
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        const auto row = [](const char *name, const QString &arguments, const QString &named) {
            QTest::newRow(name) << arguments.split(QLatin1Char(' ')) << named;
        };
        row("no count", QStringLiteral("--unique"), QStringLiteral("--count"));
        row("count not a number", QStringLiteral("--count ten"), QStringLiteral("'ten'"));
        row("negative count", QStringLiteral("--count -5"), QStringLiteral("'-5'"));
        row("unknown option", QStringLiteral("--count 5 --colour"), QStringLiteral("'colour'"));
        row("unknown field", QStringLiteral("--count 5 --fields city,county"), QStringLiteral("'county'"));
        row("unknown state", QStringLiteral("--count 5 --state CA,XQ"), QStringLiteral("'XQ'"));
        row("unknown format", QStringLiteral("--count 5 --format xml"), QStringLiteral("'xml'"));
        row("seed not a number", QStringLiteral("--count 5 --seed x1"), QStringLiteral("'x1'"));
        row("stray argument", QStringLiteral("--count 5 places"), QStringLiteral("'places'"));
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.startsWith(QLatin1String("orvelle: ")) && result.err.contains(named), qPrintable(result.err));
    }

    void helpAndVersion()
    {
        const Run help = run({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith("Usage: orvelle [OPTION]..."));
        QVERIFY(help.out.contains("--unique"));
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

        Run result = run(arguments, program);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err, QStringLiteral("orvelle: %1 not found.\n").arg(folder.filePath(QStringLiteral("zipbase.mdb"))));

        writeFile(folder.filePath(QStringLiteral("zipbase.mdb")), QByteArray(4096, 'x'));
        result = run(arguments, program);
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.contains(QLatin1String("not an SQLite database")) && result.err.count(QLatin1Char('\n')) == 1,
                 qPrintable(result.err));
    }

    void failedWritesLeaveTheEarlierFile()
    {
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("places.txt"));
        writeFile(target, "earlier\n");
        const QStringList arguments{QStringLiteral("--count"), QStringLiteral("100000"), QStringLiteral("--output")};

        // A disk that fills up after 64 KiB.
        Run result = run(arguments + QStringList{target}, QStringLiteral(ORVELLE_PROGRAM), [](QProcess &process) {
            process.setChildProcessModifier([] {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{64 * 1024, 64 * 1024};
                setrlimit(RLIMIT_FSIZE, &limit);
            });
        });
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(QLatin1String("An earlier file of that name is unchanged.")), qPrintable(result.err));
        QCOMPARE(contents(target), QByteArray("earlier\n"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("places.txt")});

        // A full device, named or as standard output.
        result = run(arguments + QStringList{QStringLiteral("/dev/full")});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(QLatin1String("No space left on device")), qPrintable(result.err));
        result = run({QStringLiteral("--count"), QStringLiteral("10")}, QStringLiteral(ORVELLE_PROGRAM),
                     [](QProcess &process) { process.setStandardOutputFile(QStringLiteral("/dev/full")); });
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.startsWith(QLatin1String("orvelle: Standard output could not be written")), qPrintable(result.err));

        // A folder that does not exist.
        result = run(arguments + QStringList{folder.filePath(QStringLiteral("missing/places.txt"))});
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err.count(QLatin1Char('\n')), 1);
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
        QVERIFY(!process.waitForFinished(1500));
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        // Its close stored the list, as only the window does.
        QVERIFY(QFile::exists(config.filePath(QStringLiteral("Kestrova/Orvelle Software Prefixes.txt"))));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
