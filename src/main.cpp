#include "cli/CommandLine.h"
#include "cli/WindowStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// Installed, the database and the window's executable lie in folders of
// their own, found from this executable's folder by the relative paths the
// build gives; in the build tree they lie beside it.
QString installedOrHere(const char *relativeFolder, const QString &file)
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(here + QLatin1Char('/') + QLatin1String(relativeFolder));
    return QFileInfo::exists(installed + QLatin1Char('/') + file) ? installed : here;
}

} // namespace

// The command line, without a window and without a display; with no
// arguments, or only Qt's own, it hands over to the window's executable.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (startsWindow(arguments.mid(1))) {
        const QString window = QStringLiteral("orvelle-window");
        return startWindow(installedOrHere(ORVELLE_WINDOW_FOLDER, window) + QLatin1Char('/') + window,
                           arguments.mid(1), argv);
    }
    return runCommandLine(arguments, installedOrHere(ORVELLE_DATA_FOLDER, QStringLiteral("zipbase.mdb")));
}
