#include "app/CommandRunner.h"

#include "generate/ResultList.h"

#include <QCoreApplication>

CommandRunner::CommandRunner(ResultList &list)
    : m_list(list)
{
    m_sinceDispatch.start();
    m_sinceCommit.start();
}

void CommandRunner::commitRows()
{
    m_list.commit();
}

void CommandRunner::yield()
{
    // Dispatching costs about a microsecond even with nothing pending, and
    // reading the clock costs more than a generated row: a long command
    // looks at the clock every few calls.
    if ((++m_yieldCalls & 15) == 0 && m_sinceDispatch.nsecsElapsed() >= dispatchInterval) {
        m_sinceDispatch.restart();
        if (m_sinceCommit.nsecsElapsed() >= commitInterval) {
            m_sinceCommit.restart();
            m_list.commit();
        }
        QCoreApplication::processEvents();
    }
    endIfUnloaded();
}
