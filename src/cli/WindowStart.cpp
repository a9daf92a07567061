#include "cli/WindowStart.h"

#include "shell/FileNames.h"
#include "shell/Messages.h"

#include <cerrno>
#include <unistd.h>

namespace {

// Qt's own options (QGuiApplication, QApplication and the X11 platform),
// those that take a value and those that do not. A value may also follow
// as "-style=fusion".
const QStringList withValue = {
    QStringLiteral("-platform"),
    QStringLiteral("-platformpluginpath"),
    QStringLiteral("-platformtheme"),
    QStringLiteral("-plugin"),
    QStringLiteral("-qwindowgeometry"),
    QStringLiteral("-qwindowicon"),
    QStringLiteral("-qwindowtitle"),
    QStringLiteral("-session"),
    QStringLiteral("-style"),
    QStringLiteral("-stylesheet"),
    QStringLiteral("-display"),
    QStringLiteral("-geometry"),
    QStringLiteral("-name"),
    QStringLiteral("-title"),
    QStringLiteral("-visual"),
    QStringLiteral("-ncols"),
    QStringLiteral("-qmljsdebugger"),
};
const QStringList withoutValue = {
    QStringLiteral("-reverse"), QStringLiteral("-widgetcount"), QStringLiteral("-nograb"),
    QStringLiteral("-dograb"),  QStringLiteral("-sync"),        QStringLiteral("-cmap"),
};

// Whether Qt is told which platform or X display to use, by an argument or
// the environment.
bool hasDisplay(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        const QString option = argument.section(QLatin1Char('='), 0, 0);
        if (option == QLatin1String("-platform") || option == QLatin1String("-display"))
            return true;
    }
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int refuse(const QString &why)
{
    complain(why, QStringLiteral("run 'orvelle --help' for the command line"));
    return 1;
}

} // namespace

bool startsWindow(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (withoutValue.contains(argument))
            continue;
        if (withValue.contains(argument) && i + 1 < arguments.size()) {
            ++i;
            continue;
        }
        if (!withValue.contains(argument.section(QLatin1Char('='), 0, 0)) || !argument.contains(QLatin1Char('=')))
            return false;
    }
    return true;
}

QStringList windowOptions(const QStringList &arguments)
{
    QStringList found;
    for (const QString &argument : arguments) {
        const QString option = argument.section(QLatin1Char('='), 0, 0);
        if (withoutValue.contains(argument) || withValue.contains(option))
            found.append(option);
    }
    found.removeDuplicates();
    return found;
}

int startWindow(const QString &window, const QStringList &arguments, char *argv[])
{
    if (!hasDisplay(arguments))
        return refuse(QStringLiteral("there is no display to open the window on"));
    const QByteArray program = encodeFileName(window);
    if (access(program.constData(), X_OK) != 0)
        return refuse(QStringLiteral("the window is not installed (Debian: the package orvelle)"));
    execv(program.constData(), argv);
    const int error = errno;
    return refuse(QStringLiteral("%1 could not be started: %2").arg(quotedName(window), qt_error_string(error)));
}
