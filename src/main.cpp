#include "cli/BatchOutput.h"
#include "cli/CommandLine.h"
#include "cli/WindowStart.h"
#include "shell/FileNames.h"
#include "shell/Messages.h"

#include <QCoreApplication>
#include <QDir>

#include <cerrno>
#include <unistd.h>

namespace {

// Installed, the database and the window's executable lie in folders of
// their own, found from this executable's folder by the relative paths the
// build gives; in the build tree they lie beside it. An installed file that
// is there but cannot be reached (a folder this user may not search) is still
// the one, so that its failure names it and the cause.
QString installedOrHere(const char *relativeFolder, const QString &file)
{
    const QString here = executableFolder();
    const QString installed = QDir::cleanPath(here + QLatin1Char('/') + QLatin1String(relativeFolder));
    const bool absent = access(encodeFileName(QString(installed + QLatin1Char('/') + file)).constData(), F_OK) != 0
        && (errno == ENOENT || errno == ENOTDIR);
    return absent ? here : installed;
}

// Every file the program installs or ships beside itself, none of which a
// run may write over: those the installation puts in place (paths from this
// executable's folder, given by the build), and in the build tree the same
// files beside it.
QStringList ownFiles(const QString &window)
{
    const QString here = executableFolder();
    QStringList files{window};
    for (const QString &installed : QStringLiteral(ORVELLE_INSTALLED_FILES).split(QLatin1Char('|')))
        files.append(QDir::cleanPath(here + QLatin1Char('/') + installed));
    for (const char *name : {"orvelle-window", "zipbase.mdb", "liborvelle_libreoffice.so"})
        files.append(here + QLatin1Char('/') + QLatin1String(name));
    return files;
}

// Qt warns on several lines when it cannot switch a "C" locale to UTF-8.
// glibc has C.UTF-8 built in, so only a want of memory makes that fail, and
// the run then ends in its own one line; the command line's texts are UTF-8
// whatever the locale.
QtMessageHandler qtHandler = nullptr;
void withoutLocaleWarning(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (!text.startsWith(QLatin1String("Detected locale")))
        qtHandler(type, context, text);
}

} // namespace

// The command line, without a window and without a display; with no
// arguments, or only Qt's own, it hands over to the window's executable.
int main(int argc, char *argv[])
{
    endOnOutOfMemory(1); // as a run that fails
    claimStandardDescriptors();
    // The command line runs no event loop: without GLib's, whose failed
    // allocation aborts, a want of memory at start is told as anywhere else.
    const bool glibChosen = qEnvironmentVariableIsSet("QT_NO_GLIB");
    if (!glibChosen)
        qputenv("QT_NO_GLIB", "1");
    qtHandler = qInstallMessageHandler(withoutLocaleWarning);
    QCoreApplication application(argc, argv);
    qInstallMessageHandler(qtHandler);
    if (!glibChosen)
        qunsetenv("QT_NO_GLIB");
    // File names are taken as the bytes they are, which Qt's own decoding of the arguments would not keep.
    const QStringList arguments = decodedArguments(argc, argv);
    const QString windowName = QStringLiteral("orvelle-window");
    const QString window = installedOrHere(ORVELLE_WINDOW_FOLDER, windowName) + QLatin1Char('/') + windowName;
    if (startsWindow(arguments.mid(1)))
        return startWindow(window, arguments.mid(1), argv);
    watchEndingSignals();
    return closeStandardOutput(runCommandLine(
        arguments, installedOrHere(ORVELLE_DATA_FOLDER, QStringLiteral("zipbase.mdb")), ownFiles(window)));
}
