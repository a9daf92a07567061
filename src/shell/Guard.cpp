#include "shell/Guard.h"

#include "shell/ErrorReport.h"
#include "shell/Failure.h"

#include <limits>
#include <new>
#include <stdexcept>

Guard::Guard(Dialogs &dialogs, QString source)
    : m_dialogs(dialogs)
    , m_source(std::move(source))
{
}

QString Guard::describe(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Failure &f) {
        return f.description();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unexpected failure");
    }
}

std::int32_t Guard::nextCounter(std::int32_t i)
{
    if (i == std::numeric_limits<std::int32_t>::max())
        throw Failure(QStringLiteral("Overflow"));
    return i + 1;
}

void Guard::report(std::exception_ptr failure)
{
    ErrorReport(m_dialogs, describe(failure), m_source, m_line);
}
