#pragma once

#include <QCursor>
#include <QIcon>
#include <QString>

// The window's look from files: the program's icon, the optional hand
// pointer and the optional style sheet. Each reader throws a Failure that
// names the file.
namespace Skin {

// The program's icon in every size it ships in.
QIcon programIcon();
// The hand pointer from a Windows cursor file, hot spot included.
QCursor loadCursorFile(const QString &path);
// The text of a style sheet file, once Qt has parsed it without complaint.
QString readStyleSheet(const QString &path);

} // namespace Skin
