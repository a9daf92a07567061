// The window's executable as a user starts it: displays it cannot open, and
// its ending by a signal at any moment.

#include "TestSupport.h"

#include "shell/ErrorReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QProcessEnvironment cleanEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

// The window's executables as on a machine without qt6-wayland where it is
// installed: copies of them beside a qt.conf that gives Qt a plugin folder of
// its own, which holds Qt's platform plugins but the Wayland ones. Qt reads
// its paths from a qt.conf beside the executable, so the copies see no
// Wayland plugin, and nothing else changes.
class WithoutWaylandPlugin
{
public:
    static bool needed() { return !QDir(plugins()).entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty(); }

    // The copy of `program`, all made on the first call; empty where one cannot be made.
    QString copyOf(const QString &program)
    {
        const QDir folder(m_folder.path());
        if (!folder.exists(QStringLiteral("qt.conf")) && !make(folder))
            return QString();
        return folder.filePath(QFileInfo(program).fileName());
    }

private:
    static QString plugins() { return QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"); }

    bool make(const QDir &folder)
    {
        if (!folder.mkpath(QStringLiteral("plugins/platforms")))
            return false;
        const QDir from(plugins());
        for (const QString &name : from.entryList(QDir::Files)) {
            if (!name.startsWith(QLatin1String("libqwayland"))
                && !QFile::copy(from.filePath(name), folder.filePath(QStringLiteral("plugins/platforms/") + name)))
                return false;
        }
        for (const char *program : {ORVELLE_WINDOW, ORVELLE_PROGRAM}) {
            const QString name = QString::fromLocal8Bit(program);
            if (!QFile::copy(name, folder.filePath(QFileInfo(name).fileName())))
                return false;
        }
        QFile conf(folder.filePath(QStringLiteral("qt.conf")));
        return conf.open(QIODevice::WriteOnly)
            && conf.write(QStringLiteral("[Paths]\nPlugins = %1\n")
                              .arg(folder.filePath(QStringLiteral("plugins")))
                              .toLocal8Bit())
            > 0;
    }

    QTemporaryDir m_folder;
};

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void displaysThatCannotOpen_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("line");
        const QString window = QStringLiteral(ORVELLE_WINDOW);
        const QString command = QStringLiteral(ORVELLE_PROGRAM);
        const QString noX = QStringLiteral("the X display :%1 (%2) cannot be opened");
        const QString noWayland = QStringLiteral("Qt's Wayland platform plugin, which %1 asks for, is not installed "
                                                 "(Debian: the package qt6-wayland)");
        QTest::newRow("DISPLAY") << window << QStringList{QStringLiteral("DISPLAY=:987")} << QStringList()
                                 << noX.arg(QStringLiteral("987"), QStringLiteral("DISPLAY"));
        QTest::newRow("-display, through the command line")
            << command << QStringList() << QStringList{QStringLiteral("-display"), QStringLiteral(":986")}
            << noX.arg(QStringLiteral("986"), QStringLiteral("-display"));
        QTest::newRow("QT_QPA_PLATFORM") << window << QStringList{QStringLiteral("QT_QPA_PLATFORM=nosuch")}
                                         << QStringList()
                                         << QStringLiteral(
                                                "Qt has no platform plugin \"nosuch\" (QT_QPA_PLATFORM=nosuch)");
        // The rows below without Qt's Wayland plugin, hidden where it is installed.
        QTest::newRow("QT_QPA_PLATFORM=wayland")
            << window << QStringList{QStringLiteral("QT_QPA_PLATFORM=wayland")} << QStringList()
            << noWayland.arg(QStringLiteral("QT_QPA_PLATFORM=wayland"));
        QTest::newRow("WAYLAND_DISPLAY alone, through the command line")
            << command << QStringList{QStringLiteral("WAYLAND_DISPLAY=wayland-9")} << QStringList()
            << noWayland.arg(QStringLiteral("WAYLAND_DISPLAY=wayland-9"))
                + QStringLiteral("; there is no X display to open (DISPLAY is not set)");
    }

    // One line that names the display and how it was named, status 1, no abort.
    void displaysThatCannotOpen()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, environment);
        QFETCH(QStringList, arguments);
        QFETCH(QString, line);
        QProcess process;
        QProcessEnvironment variables = cleanEnvironment();
        for (const QString &variable : environment)
            variables.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        process.setProcessEnvironment(variables);
        WithoutWaylandPlugin withoutWayland;
        if (line.contains(QLatin1String("qt6-wayland")) && WithoutWaylandPlugin::needed()) {
            program = withoutWayland.copyOf(program);
            QVERIFY2(!program.isEmpty(), "the programs could not be copied without Qt's Wayland plugin");
        }
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()),
                 QStringLiteral("orvelle: the window cannot open: %1\n").arg(line));
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }

    void signalsEndTheWindowAtAnyTime_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("TERM") << int(SIGTERM);
        QTest::newRow("INT") << int(SIGINT);
        QTest::newRow("HUP") << int(SIGHUP);
    }

    // The start reports a settings file it cannot use in a modal message;
    // while it waits, a signal ends the window at once, the close storing
    // the list, or, where it cannot, saying so in a line: no new message waits.
    void signalsEndTheWindowAtAnyTime()
    {
        QFETCH(int, signal);
        QTemporaryDir config;
        const QString folder = config.filePath(QStringLiteral("Kestrova"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Orvelle Software.conf")));
        const QString listFile = folder + QStringLiteral("/Orvelle Software Prefixes.txt");
        const bool listStorable = signal != SIGTERM;
        if (!listStorable)
            QVERIFY(QDir().mkpath(listFile));
        QProcess process;
        QProcessEnvironment environment = cleanEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(ORVELLE_WINDOW), QStringList());
        QVERIFY(process.waitForStarted());
        QVERIFY(catchesSignal(process, signal));
        QVERIFY(!process.waitForFinished(1500)); // the start's message waits for its OK
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QStringList told = QString::fromLocal8Bit(process.readAllStandardError())
                                     .split(QLatin1Char('\n'))
                                     .filter(QStringLiteral("could not be stored"));
        if (listStorable) {
            QVERIFY(QFileInfo(listFile).isFile());
            QVERIFY(told.isEmpty());
        } else {
            // The whole error report, on one line.
            QCOMPARE(told, QStringList{QStringLiteral("orvelle: The result list could not be stored in %1: a folder "
                                                      "of that name is in its place. | in Orvelle2021/08/31.Form1."
                                                      "Form_QueryUnload at line 110 | Please email screenshot of "
                                                      "this message to %2")
                                           .arg(listFile, supportAddress())});
        }
    }
};

QTEST_GUILESS_MAIN(TestWindow)
#include "tst_window.moc"
