#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

// File names on this system are bytes, not text. The command line keeps them
// as text whose bytes can be had back exactly: a byte that is not part of a
// valid UTF-8 sequence becomes the lone code unit U+DC80 to U+DCFF, and goes
// back to that byte. Qt's own file classes would write such a name as UTF-8
// with a replacement character, and so name another file; the command line
// reaches the files it writes or reads by the bytes alone.
QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(QStringView name);

// The program's arguments, decoded as above.
QStringList decodedArguments(int argc, char *argv[]);

// The running executable, from the system's link to it, and its folder, decoded as above.
QString executableFile();
QString executableFolder();
