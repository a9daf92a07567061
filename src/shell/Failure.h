#pragma once

#include <QString>

#include <exception>
#include <utility>

// A failure raised by a step of a guarded procedure, carrying the description
// the error report shows. Anything else thrown inside a step is reported too.
class Failure : public std::exception
{
public:
    explicit Failure(QString description)
        : m_description(std::move(description))
    {
    }

    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return "Orvelle failure"; }

private:
    QString m_description;
};

// Thrown from a yield when the window has been closed in the middle of a
// command, so that the command ends at once. The rule: nothing on a command's
// path may swallow it. Code on that path that catches everything does so
// through catchFailures() below, which always lets it pass; only the window's
// command runner catches it, at the top, and a destructor that runs as the
// command unwinds lets nothing leave it.
struct ProgramEnding
{
};

// Runs `action` and returns true when it completed. Anything it throws, except
// ProgramEnding, is a failure: `onFailure` runs inside the catch block (where
// std::current_exception() is the failure) and false is returned.
// ProgramEnding always goes on to the caller.
template <typename Action, typename OnFailure> bool catchFailures(Action &&action, OnFailure &&onFailure)
{
    try {
        std::forward<Action>(action)();
        return true;
    } catch (const ProgramEnding &) {
        throw;
    } catch (...) {
        std::forward<OnFailure>(onFailure)();
        return false;
    }
}

// As above, with a failure left unreported.
template <typename Action> bool catchFailures(Action &&action)
{
    return catchFailures(std::forward<Action>(action), [] {});
}
