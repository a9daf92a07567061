#include "shell/Messages.h"

#include "shell/FileNames.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <new>
#include <unistd.h>

namespace {

// Control characters as C escapes; everything else as it is.
QString escapedControls(const QString &text, bool quotes)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (quotes && (c == QLatin1Char('\'') || c == QLatin1Char('\\'))) {
            escaped += QLatin1Char('\\');
            escaped += c;
        } else if (code == '\n') {
            escaped += QLatin1String("\\n");
        } else if (code == '\t') {
            escaped += QLatin1String("\\t");
        } else if (code == '\r') {
            escaped += QLatin1String("\\r");
        } else if (code < 0x20 || code == 0x7f) {
            escaped += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// Writes the bytes to standard error, as far as it takes them.
void writeError(const char *data, qsizetype left)
{
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, std::size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return; // nowhere left to say it
        data += written;
        left -= written;
    }
}

int outOfMemoryStatus = 1;

// The end of a run that nothing caught: told without allocating when memory ran out.
[[noreturn]] void endUncaught()
{
    if (const std::exception_ptr failure = std::current_exception()) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::bad_alloc &) {
            static constexpr char message[] = "orvelle: there is not enough memory\n";
            writeError(message, sizeof message - 1);
            ::_exit(outOfMemoryStatus);
        } catch (...) {
        }
    }
    std::abort();
}

} // namespace

void endOnOutOfMemory(int status)
{
    outOfMemoryStatus = status;
    std::set_terminate(endUncaught);
}

QString quotedName(const QString &name)
{
    return QLatin1Char('\'') + escapedControls(name, true) + QLatin1Char('\'');
}

void complain(const QString &text, const QString &advice)
{
    QString line = escapedControls(text.trimmed(), false);
    if (line.endsWith(QLatin1Char('.')) && !line.endsWith(QLatin1String("..")))
        line.chop(1);
    if (line.size() > 1 && line[0].isUpper() && !line[1].isUpper())
        line[0] = line[0].toLower();
    if (!advice.isEmpty())
        line += QStringLiteral("; ") + advice;
    const QByteArray bytes = encodeFileName(QString(QStringLiteral("orvelle: ") + line + QLatin1Char('\n')));
    writeError(bytes.constData(), bytes.size());
}
