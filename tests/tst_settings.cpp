// The settings store: defaults, round trips through the disk, the 16-bit
// reader, damaged files, and "Prefixes" in its own file.

#include "app/SettingsStore.h"
#include "TestSupport.h"
#include "shell/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <unistd.h>

using Key = SettingsStore::Key;

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void emptyStoreReadsDefaults();
    void roundTrip_data();
    void roundTrip();
    void readInt16_data();
    void readInt16();

    void handWrittenFile_data();
    void handWrittenFile();
    void damagedFileIsKeptBesideIt();
    void fileWithoutReadPermission();
    void unwritableFile_data();
    void unwritableFile();
    void notUtf8IsKeptAsDamage();
    void writeWithoutRoomKeepsEarlierFile();

    void prefixesRows_data();
    void prefixesRows();
    void prefixesLastWriteWins();
    void prefixesStayOutOfOptionsFile();
    void prefixesFileIsNotOpenedAtStart();

private:
    QString folder() const { return m_config->path() + QStringLiteral("/Kestrova"); }
    void restart();

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_config;
};

static void writeRaw(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

static QByteArray readRaw(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each test, and each run within a test, has a config folder of its own: a
// fresh XDG_CONFIG_HOME under one temporary folder.
static std::unique_ptr<QTemporaryDir> newConfigFolder(const QTemporaryDir &home)
{
    auto folder = std::make_unique<QTemporaryDir>(home.path() + QStringLiteral("/XXXXXX"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder->path()));
    return folder;
}

void TestSettings::initTestCase()
{
    QVERIFY(m_home.isValid());
}

void TestSettings::init()
{
    m_config = newConfigFolder(m_home);
}

// The next run of the program: the files are copied to a fresh config folder,
// so the next store reads them from the disk, not from QSettings' cache of
// files already read by this process.
void TestSettings::restart()
{
    auto next = newConfigFolder(m_home);
    QDir().mkpath(next->path() + QStringLiteral("/Kestrova"));
    for (const QFileInfo &file : QDir(folder()).entryInfoList(QDir::Files))
        QFile::copy(file.filePath(), next->path() + QStringLiteral("/Kestrova/") + file.fileName());
    m_config = std::move(next);
}

void TestSettings::emptyStoreReadsDefaults()
{
    const SettingsStore store;
    QCOMPARE(store.status(), QSettings::NoError);
    QCOMPARE(store.fileName(SettingsStore::name(Key::City)), folder() + "/Orvelle Software.conf");

    QCOMPARE(store.read(Key::NumberOfRecords), QStringLiteral("200"));
    QCOMPARE(store.readInt16(Key::City), qint16(1));
    QCOMPARE(store.readInt16(Key::State), qint16(1));
    QCOMPARE(store.readInt16(Key::Zip), qint16(1));
    QCOMPARE(store.read(QStringLiteral("Number Of Records"), QStringLiteral("9")), QStringLiteral("9"));
    QCOMPARE(store.readInt16(QStringLiteral("Check1"), 2), qint16(2));
    QCOMPARE(store.read(Key::Prefixes), QString());

    QVERIFY2(!QFileInfo::exists(folder()), "reading must create nothing");
}

void TestSettings::roundTrip_data()
{
    QTest::addColumn<Key>("key");
    QTest::addColumn<QString>("value");

    const QList<std::pair<const char *, QString>> values = {
        {"digits", QStringLiteral("1500")},
        {"empty text is a value", QStringLiteral("")},
        {"blanks around", QStringLiteral("  2 ")},
        {"separators", QStringLiteral("Holtsville, NY 00501;Adjuntas, PR 00601;a=b")},
        {"line ends", QStringLiteral("one\ntwo\r\nthree\rfour")},
        {"quotes and backslashes", QStringLiteral(R"("q" \n \ "")")},
        {"non-ASCII", QStringLiteral("Zürich – 東京 😀")},
        {"looks like a QVariant", QStringLiteral("@Variant(x)")},
    };
    for (const auto &[name, value] : values) {
        QTest::addRow("options: %s", name) << Key::NumberOfRecords << value;
        QTest::addRow("prefixes: %s", name) << Key::Prefixes << value;
    }
    // Not for the INI file: QSettings drops a U+FEFF at the start of a value.
    QTest::newRow("prefixes: leading U+FEFF") << Key::Prefixes << QStringLiteral("\uFEFFx");
}

void TestSettings::roundTrip()
{
    QFETCH(Key, key);
    QFETCH(QString, value);
    const QString name = SettingsStore::name(key);

    SettingsStore store;
    store.write(key, value);
    QCOMPARE(store.status(), QSettings::NoError);
    QCOMPARE(store.read(name, QStringLiteral("missing")), value);

    restart(); // while the first store is still open: the write is on disk already
    const SettingsStore next;
    QCOMPARE(next.read(name, QStringLiteral("missing")), value);
    QCOMPARE(next.status(), QSettings::NoError);
}

void TestSettings::readInt16_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("expected");

    // The grammar and the rounding are the number box's (tst_errorreport):
    // here what the 16-bit range adds.
    QTest::newRow("no number") << "x" << false << 0;
    QTest::newRow("a number") << " 1.5 " << true << 2;
    QTest::newRow("largest") << "32767" << true << 32767;
    QTest::newRow("smallest") << "-32768" << true << -32768;
    QTest::newRow("rounds to smallest") << "-32768.5" << true << -32768;
    QTest::newRow("too large") << "99999" << false << 0;
    QTest::newRow("one too large") << "32768" << false << 0;
    QTest::newRow("one too small") << "-32769" << false << 0;
    QTest::newRow("rounds out of range") << "32767.5" << false << 0;
}

void TestSettings::readInt16()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, expected);

    SettingsStore store;
    store.write(Key::City, text);
    try {
        const qint16 value = store.readInt16(Key::City);
        QVERIFY2(valid, qPrintable(QStringLiteral("read as %1").arg(value)));
        QCOMPARE(int(value), expected);
    } catch (const Failure &failure) {
        QVERIFY2(!valid, qPrintable(failure.description()));
        QCOMPARE(failure.description(),
                 QStringLiteral("The setting \"Check1\" holds \"%1\", which is not "
                                "a whole number from -32768 to 32767.")
                     .arg(text));
    }
}

void TestSettings::handWrittenFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QSettings::Status>("status");
    QTest::addColumn<QString>("number");

    QTest::newRow("unquoted comma") << QByteArray("[General]\nNumber%20Of%20Records=1,000\n") << QSettings::NoError
                                    << "1,000";
    QTest::newRow("unterminated section")
        << QByteArray("[Orvelle\nNumber%20Of%20Records=5\nCheck2=0\n") << QSettings::FormatError << "200";
    static const char binary[] = "\x00\xff\xfe\x01 no setting\n\x7f\x80\x00";
    QTest::newRow("binary") << QByteArray(binary, sizeof binary - 1) << QSettings::FormatError << "200";
    QTest::newRow("good line kept") << QByteArray("Number%20Of%20Records=42\nnot a setting\n") << QSettings::FormatError
                                    << "42";
}

void TestSettings::handWrittenFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(QSettings::Status, status);
    QFETCH(QString, number);
    writeRaw(folder() + "/Orvelle Software.conf", contents);

    {
        SettingsStore store;
        QCOMPARE(store.status(), status);
        QCOMPARE(store.read(Key::NumberOfRecords), number);
        QCOMPARE(store.readInt16(Key::State), qint16(1));

        store.write(Key::State, QStringLiteral("0"));
        QCOMPARE(store.status(), QSettings::NoError);
    }
    restart();
    const SettingsStore next;
    QCOMPARE(next.status(), QSettings::NoError); // the write left a clean file
    QCOMPARE(next.readInt16(Key::State), qint16(0));
    QCOMPARE(next.read(Key::NumberOfRecords), number);
}

void TestSettings::damagedFileIsKeptBesideIt()
{
    const QString path = folder() + "/Orvelle Software.conf";
    const QByteArray damaged("Check1=0\n\xff\xfe broken\n");
    writeRaw(path + ".damaged", "kept at an earlier start");
    writeRaw(path, damaged);
    {
        SettingsStore store;
        QCOMPARE(store.status(), QSettings::FormatError);
        // Kept before any write, and never over an earlier copy.
        QCOMPARE(store.keptCopy(), path + ".damaged-2");
        QCOMPARE(readRaw(path + ".damaged-2"), damaged);
        QCOMPARE(readRaw(path + ".damaged"), QByteArray("kept at an earlier start"));
        QVERIFY(store.loadProblem().contains(store.keptCopy()));
    }
    restart(); // the same damage at the next start is not kept twice
    const SettingsStore next;
    QCOMPARE(next.keptCopy(), folder() + "/Orvelle Software.conf.damaged-2");
    QVERIFY(!QFileInfo::exists(folder() + "/Orvelle Software.conf.damaged-3"));
}

void TestSettings::fileWithoutReadPermission()
{
    if (geteuid() == 0)
        QSKIP("root reads every file");
    const QString path = folder() + "/Orvelle Software.conf";
    writeRaw(path, "Check1=0\n");
    QVERIFY(QFile::setPermissions(path, {}));

    const SettingsStore store;
    QCOMPARE(store.status(), QSettings::AccessError);
    QCOMPARE(store.readInt16(Key::City), qint16(1));
}

void TestSettings::unwritableFile_data()
{
    QTest::addColumn<QString>("made");
    QTest::addColumn<QString>("cause");
    QTest::newRow("a folder in its place") << "folder"
                                           << "a folder of that name is in its place";
    QTest::newRow("read-only file") << "read-only file"
                                    << "the file is read-only";
    QTest::newRow("read-only folder") << "read-only folder"
                                      << "its folder FOLDER is read-only";
    QTest::newRow("link into no folder") << "link"
                                         << "it is a link to FOLDER/gone/options.conf, whose folder FOLDER/gone "
                                            "does not exist";
}

void TestSettings::unwritableFile()
{
    QFETCH(QString, made);
    QFETCH(QString, cause);
    cause.replace(QStringLiteral("FOLDER"), folder());
    const QString path = folder() + "/Orvelle Software.conf";
    const auto writable = qScopeGuard(
        [&] { QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    if (made == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (made == QLatin1String("link")) {
        QVERIFY(QDir().mkpath(folder()));
        QVERIFY(QFile::link(folder() + "/gone/options.conf", path));
    } else {
        if (geteuid() == 0)
            QSKIP("root writes every file");
        writeRaw(path, "Check1=0\n");
        QVERIFY(QFile::setPermissions(made == QLatin1String("read-only file") ? path : folder(),
                                      QFile::ReadOwner | QFile::ExeOwner));
    }

    SettingsStore store;
    if (made == QLatin1String("folder")) { // nothing to read there: the defaults
        QCOMPARE(store.status(), QSettings::AccessError);
        QCOMPARE(store.read(Key::NumberOfRecords), QStringLiteral("200"));
        QCOMPARE(store.readInt16(Key::Zip), qint16(1));
    }
    store.write(Key::City, QStringLiteral("1"));
    QCOMPARE(store.status(), QSettings::AccessError);
    QCOMPARE(store.writeProblem(SettingsStore::name(Key::City)),
             QStringLiteral("The options cannot be stored in %1: %2. Changes to them will not be kept until the "
                            "file can be written.")
                 .arg(path, cause));
    if (made == QLatin1String("link"))
        return;
    if (made != QLatin1String("folder")) {
        QCOMPARE(readRaw(path), QByteArray("Check1=0\n"));
        return;
    }
    store.write(Key::Prefixes, QStringLiteral("A;B")); // the list's own file is still writable
    QCOMPARE(store.status(), QSettings::NoError);
    QCOMPARE(store.read(Key::Prefixes), QStringLiteral("A;B"));
}

void TestSettings::notUtf8IsKeptAsDamage()
{
    // A hand-edited value in Latin-1: read as U+FFFD, so kept aside before
    // the first write stores it so.
    const QString path = folder() + "/Orvelle Software.conf";
    const QByteArray edited("[General]\nNumber%20Of%20Records=Z\xfcrich\nCheck2=0\n");
    writeRaw(path, edited);
    {
        SettingsStore store;
        QCOMPARE(store.status(), QSettings::FormatError);
        QCOMPARE(store.read(Key::NumberOfRecords), QStringLiteral("Z\uFFFDrich"));
        QCOMPARE(store.readInt16(Key::State), qint16(0));
        QCOMPARE(store.keptCopy(), path + ".damaged");
        QCOMPARE(readRaw(store.keptCopy()), edited);
        QVERIFY(store.loadProblem().contains(QStringLiteral("not UTF-8")));
        QVERIFY(store.loadProblem().contains(store.keptCopy()));

        store.write(Key::City, QStringLiteral("0"));
        QCOMPARE(store.status(), QSettings::NoError);
    }
    restart();
    const SettingsStore next;
    QCOMPARE(next.status(), QSettings::NoError);
    QCOMPARE(next.readInt16(Key::City), qint16(0));
    QCOMPARE(readRaw(folder() + "/Orvelle Software.conf.damaged"), edited);
}

void TestSettings::writeWithoutRoomKeepsEarlierFile()
{
    // A write that fails part way, as on a full disk: neither file's earlier
    // text is replaced, and the store says so.
    SettingsStore store;
    store.write(Key::NumberOfRecords, QStringLiteral("7"));
    store.write(Key::Prefixes, QStringLiteral("A;B"));
    const QString options = store.fileName(SettingsStore::name(Key::NumberOfRecords));
    const QString prefixes = store.fileName(SettingsStore::name(Key::Prefixes));
    const QByteArray optionsBefore = readRaw(options);
    {
        const FileSizeLimit noRoom(64);
        const QString large(200, QLatin1Char('x'));
        store.write(Key::Prefixes, large);
        QCOMPARE(store.status(), QSettings::AccessError);
        QCOMPARE(store.storageCause(SettingsStore::name(Key::Prefixes)),
                 QStringLiteral("the system refused the write: File too large"));
        store.write(Key::NumberOfRecords, large);
        QCOMPARE(store.status(), QSettings::AccessError);
    }
    QCOMPARE(readRaw(prefixes), QByteArray("A;B"));
    QCOMPARE(readRaw(options), optionsBefore);
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no temporary file left
}

void TestSettings::prefixesRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("none") << 0;
    QTest::newRow("three") << 3;
    QTest::newRow("thousand") << 1000;
}

void TestSettings::prefixesRows()
{
    QFETCH(int, rows);
    QStringList list;
    for (int i = 0; i < rows; ++i)
        list.append(QStringLiteral("Place %1, NY %2").arg(i).arg(501 + i, 5, 10, QLatin1Char('0')));
    const QString text = list.join(u';');

    {
        SettingsStore store;
        store.write(Key::Prefixes, text);
        QCOMPARE(store.status(), QSettings::NoError);
    }
    restart();
    const QString read = SettingsStore().read(SettingsStore::name(Key::Prefixes), QStringLiteral("missing"));
    QCOMPARE(read, text);
    QCOMPARE(read.count(u';'), qMax(0, rows - 1));
}

void TestSettings::prefixesLastWriteWins()
{
    {
        SettingsStore store;
        store.write(Key::Prefixes, QStringLiteral("Holtsville, NY 00501;Adjuntas, PR 00601;Aguada, PR 00602"));
        store.write(Key::Prefixes, QStringLiteral("Agawam, MA 01001"));
    }
    restart();
    QCOMPARE(SettingsStore().read(Key::Prefixes), QStringLiteral("Agawam, MA 01001"));
}

void TestSettings::prefixesStayOutOfOptionsFile()
{
    const QString prefixes = QStringLiteral("Holtsville, NY 00501;Adjuntas, PR 00601");
    {
        SettingsStore store;
        store.write(Key::NumberOfRecords, QStringLiteral("7"));
        store.write(Key::Prefixes, prefixes);
        store.write(Key::NumberOfRecords, QStringLiteral("8"));
        QCOMPARE(QFileInfo(store.fileName(SettingsStore::name(Key::Prefixes))).path(), folder());
        QVERIFY(!readRaw(store.fileName(SettingsStore::name(Key::NumberOfRecords))).contains("Holtsville"));
    }
    restart();
    const SettingsStore next; // neither file clobbered the other
    QCOMPARE(next.read(Key::NumberOfRecords), QStringLiteral("8"));
    QCOMPARE(next.read(Key::Prefixes), prefixes);
}

void TestSettings::prefixesFileIsNotOpenedAtStart()
{
    SettingsStore first;
    const QString prefixesFile = first.fileName(SettingsStore::name(Key::Prefixes));
    first.write(Key::City, QStringLiteral("0"));
    QVERIFY(QDir().mkpath(prefixesFile)); // unreadable: a folder in its place

    SettingsStore store;
    QCOMPARE(store.status(), QSettings::NoError);
    QCOMPARE(store.readInt16(Key::City), qint16(0));

    QCOMPARE(store.read(Key::Prefixes), QString());
    QCOMPARE(store.status(), QSettings::AccessError);
    store.write(Key::Prefixes, QStringLiteral("A"));
    QCOMPARE(store.status(), QSettings::AccessError);
}

QTEST_GUILESS_MAIN(TestSettings)

#include "tst_settings.moc"
