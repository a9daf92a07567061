#pragma once

#include <QString>
#include <QStringList>

// Whether `arguments` (the program's name left out) start the window rather
// than the command line: none at all, or only the options Qt's applications
// take themselves, with their values: "-session ID" from the session
// manager's restart after a logout, "-platform offscreen", "-style fusion",
// "-display :1", "-name", "-reverse" and their kin.
bool startsWindow(const QStringList &arguments);

// Qt's own options among `arguments`, as given ("-platform", "-style=fusion"
// as "-style"): the window's, which the command line refuses.
QStringList windowOptions(const QStringList &arguments);

// Replaces this process with the window's executable `window`, handing it
// `argv` (this program's own, its name included; `arguments` are the same
// without the name). Returns only when the
// window cannot open: there is no display (DISPLAY, WAYLAND_DISPLAY or
// -display) and no platform is named (-platform or QT_QPA_PLATFORM), or `window` is not installed or does not
// start. It has then said so on standard error, in one line that points to
// the command line, and the result is the exit status, 1.
int startWindow(const QString &window, const QStringList &arguments, char *argv[]);
