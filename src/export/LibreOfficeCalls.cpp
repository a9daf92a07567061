#include "export/LibreOfficeCalls.h"

#include "shell/Failure.h"

#include <QDeadlineTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>

// What the office's thread and the caller share. The thread keeps it alive
// on its own, so that a call given up can still end in peace.
struct OfficeCalls::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> job; // the call to make; empty when there is none
    bool done = false;
    std::exception_ptr failure;
    bool quit = false; // the caller is gone: end once no call is left

    void serve()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return job || quit; });
            if (!job)
                return;
            std::function<void()> call = std::move(job);
            job = nullptr;
            lock.unlock();
            std::exception_ptr thrown;
            try {
                call();
            } catch (...) {
                thrown = std::current_exception();
            }
            call = nullptr; // what it holds goes on this thread, before the caller goes on
            lock.lock();
            failure = thrown;
            done = true;
            changed.notify_all();
        }
    }
};

OfficeCalls::OfficeCalls(int limitMs, std::function<void()> whileWaiting, std::function<void()> onHang)
    : m_limitMs(limitMs)
    , m_whileWaiting(std::move(whileWaiting))
    , m_onHang(std::move(onHang))
    , m_shared(std::make_shared<Shared>())
    , m_thread([shared = m_shared] { shared->serve(); })
{
}

OfficeCalls::~OfficeCalls()
{
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->quit = true;
    }
    m_shared->changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

QString OfficeCalls::notAnswering() const
{
    return QStringLiteral("LibreOffice did not answer within %1 seconds.").arg(m_waitedMs / 1000.0, 0, 'g', 3);
}

void OfficeCalls::runJob(std::function<void()> job, int limitMs)
{
    if (!m_answering)
        throw Failure(notAnswering());
    // Reached again from `whileWaiting`: the office is busy with our call.
    if (m_calling)
        throw Failure(QStringLiteral("LibreOffice is still busy with another call."));
    m_calling = true;
    const int limit = limitMs < 0 ? m_limitMs : limitMs;
    const QDeadlineTimer deadline(limit);
    std::unique_lock lock(m_shared->mutex);
    m_shared->job = std::move(job);
    m_shared->done = false;
    m_shared->changed.notify_all();
    while (!m_shared->done) {
        if (deadline.hasExpired()) {
            // Given up: the thread stays with the call, and ends after it.
            m_shared->quit = true;
            lock.unlock();
            m_thread.detach();
            m_answering = false;
            m_calling = false;
            m_waitedMs = limit;
            if (m_onHang)
                m_onHang();
            throw Failure(notAnswering());
        }
        m_shared->changed.wait_for(lock, std::chrono::milliseconds(5));
        if (!m_shared->done && m_whileWaiting) {
            lock.unlock();
            m_whileWaiting();
            lock.lock();
        }
    }
    const std::exception_ptr failure = m_shared->failure;
    m_shared->failure = nullptr;
    lock.unlock();
    m_calling = false;
    if (failure)
        std::rethrow_exception(failure);
}
