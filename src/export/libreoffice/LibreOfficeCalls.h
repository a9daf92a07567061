#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>

// The calls into one office, made one after another on a thread of their own
// while the calling thread waits, letting `whileWaiting` run every few
// milliseconds. A call made from `whileWaiting` (a command that starts in the
// middle of another's call) queues behind the calls before it and is waited
// for on its own; the waits below it go on once it is done.
//
// A call may run at most `limitMs` (counted from when the office's thread
// takes it up). One that runs longer fails with a Failure, and so does every
// call waiting behind it; `onHang` runs, and the office counts as hung: every
// later call fails at once.
//
// A call that is given up may still run to its end after run() has returned,
// so a call must own what it uses: capture by value.
// `whileWaiting` must not throw.
class OfficeCalls
{
public:
    OfficeCalls(int limitMs, std::function<void()> whileWaiting, std::function<void()> onHang);
    ~OfficeCalls();

    OfficeCalls(const OfficeCalls &) = delete;
    OfficeCalls &operator=(const OfficeCalls &) = delete;

    // Runs `call` and returns its result, or throws what it threw. `limitMs`
    // below 0: the limit given at construction.
    template <typename Call> auto run(Call call, int limitMs = -1) -> decltype(call())
    {
        using Result = decltype(call());
        if constexpr (std::is_void_v<Result>) {
            runJob(std::move(call), limitMs);
        } else {
            auto result = std::make_shared<std::optional<Result>>();
            runJob([call = std::move(call), result]() mutable { result->emplace(call()); }, limitMs);
            return std::move(**result);
        }
    }

    // False once a call has not come back in time.
    bool answering() const { return m_answering; }
    // The limit given at construction.
    int limitMs() const { return m_limitMs; }

private:
    struct Job;
    struct Shared;

    void runJob(std::function<void()> call, int limitMs);
    QString notAnswering() const;

    int m_limitMs;
    std::function<void()> m_whileWaiting;
    std::function<void()> m_onHang;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    bool m_answering = true;
    int m_waitedMs = 0; // the limit of the call that did not come back
};
