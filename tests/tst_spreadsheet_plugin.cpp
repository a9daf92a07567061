// The spreadsheet export's plugin, loaded as the window loads it: nothing of
// LibreOffice in the process until the first create(), the office's runtime
// from the office's own folder, and a Failure that names what is missing.

#include "export/SpreadsheetPlugin.h"
#include "shell/Failure.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// The files this process has mapped, one a line.
QString mappedFiles()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(maps.readAll()) : QString();
}

QString failureOf(SpreadsheetFactory &factory)
{
    try {
        factory.create();
    } catch (const Failure &failure) {
        return failure.description();
    }
    return QStringLiteral("no failure");
}

const QString plugin = QStringLiteral(PLUGIN_FILE);
const QStringList runtime = QStringLiteral(OFFICE_RUNTIME).split(QLatin1Char(':'), Qt::SkipEmptyParts);

} // namespace

class TestSpreadsheetPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    // First: nothing of the office is loaded yet.
    void loadedOnFirstUse();
    void missingParts_data();
    void missingParts();
};

void TestSpreadsheetPlugin::initTestCase()
{
    // As the office's runtime does where nothing else handles the signal,
    // but QtTest's crash handler does by now.
    std::signal(SIGPIPE, SIG_IGN);
}

void TestSpreadsheetPlugin::missingParts_data()
{
    QTest::addColumn<QString>("pluginFile");
    QTest::addColumn<QStringList>("runtimeFiles");
    QTest::addColumn<QString>("failure");
    QTest::newRow("built without the SDK")
        << QString() << QStringList()
        << "LibreOffice is not installed: this program was built without LibreOffice support.";
    QTest::newRow("no office") << plugin << QStringList({"/nowhere/libuno_sal.so.3"})
                               << "LibreOffice is not installed: /nowhere/libuno_sal.so.3 is missing.";
    QTest::newRow("no plugin")
        << "/nowhere/liborvelle_libreoffice.so" << QStringList()
        << "The spreadsheet export is not installed: /nowhere/liborvelle_libreoffice.so is missing.";
    if (!runtime.isEmpty())
        QTest::newRow("not a plugin") << runtime.constFirst() << QStringList()
                                      << runtime.constFirst() + " is not a spreadsheet plugin: ";
    QTest::newRow("not a library") << QFINDTESTDATA("tst_spreadsheet_plugin.cpp") << QStringList()
                                   << QFINDTESTDATA("tst_spreadsheet_plugin.cpp") + " could not be loaded: ";
}

void TestSpreadsheetPlugin::missingParts()
{
    QFETCH(QString, pluginFile);
    QFETCH(QStringList, runtimeFiles);
    QFETCH(QString, failure);
    PluginSpreadsheetFactory factory(pluginFile, runtimeFiles);
    // Asked again, the same: nothing half loaded stands in the way.
    for (int attempt = 0; attempt < 2; ++attempt)
        QVERIFY2(failureOf(factory).startsWith(failure), qPrintable(failureOf(factory)));
}

void TestSpreadsheetPlugin::loadedOnFirstUse()
{
    if (plugin.isEmpty())
        QSKIP("built without LibreOffice's SDK");
    PluginSpreadsheetFactory factory(plugin, runtime);
    QVERIFY(!mappedFiles().contains(QLatin1String("libuno_")));
    QVERIFY(!mappedFiles().contains(plugin));

    // Headless here (the offscreen platform): the office ends with the factory.
    std::unique_ptr<SpreadsheetApplication> application;
    try {
        application = factory.create();
        application->addWorkbook();
        application->setCell(1, 1, QStringLiteral("00501"));
    } catch (const Failure &failure) {
        QFAIL(qPrintable(failure.description()));
    }
    const QString mapped = mappedFiles();
    QVERIFY(mapped.contains(plugin));
    for (const QString &library : runtime)
        QVERIFY2(mapped.contains(library), qPrintable(library));
    // From the office's folder only, not through the system's links to it.
    const QString folder = runtime.constFirst().section(QLatin1Char('/'), 0, -2) + QLatin1Char('/');
    for (const QString &line : mapped.split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String("/libuno_")))
            QVERIFY2(line.contains(QLatin1Char(' ') + folder), qPrintable(line));
    }
}

QTEST_MAIN(TestSpreadsheetPlugin)
#include "tst_spreadsheet_plugin.moc"
