#pragma once

#include <QString>

#include <exception>

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
// command: guards let it pass, so the command ends at once.
struct ProgramEnding
{
};
