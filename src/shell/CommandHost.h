#pragma once

#include <QString>

class Dialogs;

// The main window's pointer. The hourglass doubles as the busy flag: a long
// command shows it while it works, and the list commands stand aside meanwhile.
enum class Pointer
{
    Normal,
    Hourglass,
    Hand
};

// A progress bar: a real value on 0 to 100 and a caption drawn on the bar.
class ProgressIndicator
{
public:
    virtual ~ProgressIndicator() = default;
    virtual void setValue(double value) = 0;
    virtual double value() const = 0;
    virtual void setText(const QString &text) = 0;
    virtual QString text() const = 0;
};

// What the window lends to the commands it runs.
class CommandHost
{
public:
    virtual ~CommandHost() = default;

    virtual Dialogs &dialogs() = 0;
    virtual Pointer pointer() const = 0;
    virtual void setPointer(Pointer pointer) = 0;
    bool busy() const { return pointer() == Pointer::Hourglass; }

    // Lets the window system process pending events. It may return at once
    // when the last dispatch was only a moment ago.
    virtual void yield() = 0;
    // Ends the command as a yield does once the window has closed (throws
    // ProgramEnding); otherwise returns at once and dispatches nothing. For a
    // command that has waited for another program before it acts again.
    // Hosts without a window to close leave it as it is.
    virtual void endIfClosed() {}
    virtual ProgressIndicator &progress() = 0;
    // The folder that holds the program file, without a trailing "/".
    virtual QString programFolder() const = 0;
};
