#include "cli/CommandLine.h"
#include "cli/FileNames.h"
#include "cli/WindowStart.h"

#include <QCoreApplication>
#include <QDir>

#include <unistd.h>

namespace {

// Installed, the database and the window's executable lie in folders of
// their own, found from this executable's folder by the relative paths the
// build gives; in the build tree they lie beside it.
QString installedOrHere(const char *relativeFolder, const QString &file)
{
    const QString here = executableFolder();
    const QString installed = QDir::cleanPath(here + QLatin1Char('/') + QLatin1String(relativeFolder));
    return access(encodeFileName(QString(installed + QLatin1Char('/') + file)).constData(), F_OK) == 0 ? installed : here;
}

} // namespace

// The command line, without a window and without a display; with no
// arguments, or only Qt's own, it hands over to the window's executable.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    // File names are taken as the bytes they are, which Qt's own decoding of the arguments would not keep.
    const QStringList arguments = decodedArguments(argc, argv);
    const QString windowName = QStringLiteral("orvelle-window");
    const QString window = installedOrHere(ORVELLE_WINDOW_FOLDER, windowName) + QLatin1Char('/') + windowName;
    if (startsWindow(arguments.mid(1)))
        return startWindow(window, arguments.mid(1), argv);
    return runCommandLine(arguments, installedOrHere(ORVELLE_DATA_FOLDER, QStringLiteral("zipbase.mdb")), {window});
}
