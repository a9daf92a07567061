#include "export/libreoffice/LibreOfficeCalls.h"

#include "shell/Failure.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// Between two turns of `whileWaiting`, as between two dispatches of the
// window in a long command.
constexpr auto dispatchInterval = std::chrono::milliseconds(4);

} // namespace

struct OfficeCalls::Job
{
    std::function<void()> call;
    int limitMs = 0;
    bool done = false;
    std::exception_ptr failure;
};

// What the office's thread and the callers share. The thread keeps it alive
// on its own, so that a call given up can still end in peace.
struct OfficeCalls::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Job>> queue; // the calls waiting for the office, first to go first
    std::shared_ptr<Job> running;           // the call the office is busy with, if any
    Clock::time_point runningSince;
    bool quit = false; // the callers are gone, or gave up: end after the call that runs

    void serve()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return !queue.empty() || quit; });
            if (quit) {
                // What the calls left behind hold goes on this thread.
                std::deque<std::shared_ptr<Job>> left = std::move(queue);
                lock.unlock();
                for (const auto &job : left)
                    job->call = nullptr;
                return;
            }
            running = std::move(queue.front());
            queue.pop_front();
            runningSince = Clock::now();
            const std::shared_ptr<Job> job = running;
            lock.unlock();
            std::exception_ptr thrown;
            try {
                job->call();
            } catch (...) {
                thrown = std::current_exception();
            }
            job->call = nullptr; // what it holds goes on this thread, before the caller goes on
            lock.lock();
            job->failure = thrown;
            job->done = true;
            running.reset();
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

void OfficeCalls::runJob(std::function<void()> call, int limitMs)
{
    if (!m_answering)
        throw Failure(notAnswering());
    const auto job = std::make_shared<Job>();
    job->call = std::move(call);
    job->limitMs = limitMs < 0 ? m_limitMs : limitMs;
    std::unique_lock lock(m_shared->mutex);
    m_shared->queue.push_back(job);
    m_shared->changed.notify_all();
    Clock::time_point nextTurn = Clock::now() + dispatchInterval;
    while (!job->done) {
        // A call made from `whileWaiting` gave the office up.
        if (!m_answering)
            throw Failure(notAnswering());
        // The office has been busy with one call for too long: this one's,
        // or one queued before it.
        Clock::time_point wakeUp = nextTurn;
        if (const std::shared_ptr<Job> running = m_shared->running) {
            const Clock::time_point deadline = m_shared->runningSince + std::chrono::milliseconds(running->limitMs);
            if (Clock::now() >= deadline) {
                // Given up: the thread stays with the call, and ends after it.
                m_shared->quit = true;
                lock.unlock();
                m_thread.detach();
                m_answering = false;
                m_waitedMs = running->limitMs;
                if (m_onHang)
                    m_onHang();
                throw Failure(notAnswering());
            }
            wakeUp = std::min(wakeUp, deadline);
        }
        m_shared->changed.wait_until(lock, wakeUp);
        if (!job->done && m_whileWaiting && Clock::now() >= nextTurn) {
            lock.unlock();
            m_whileWaiting();
            lock.lock();
            nextTurn = Clock::now() + dispatchInterval;
        }
    }
    const std::exception_ptr failure = job->failure;
    lock.unlock();
    if (failure)
        std::rethrow_exception(failure);
}
