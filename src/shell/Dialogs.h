#pragma once

#include <QString>

// Every message box and the save dialog go through this interface, so that
// tests can answer them without a modal loop.
class Dialogs
{
public:
    enum class Icon
    {
        None,
        Warning
    };

    virtual ~Dialogs() = default;

    // A modal box with one OK button.
    virtual void showMessage(const QString &title, const QString &text, Icon icon) = 0;
    // A save dialog; returns the chosen path, or the empty text when cancelled.
    // `filter` is in Qt's form ("Text Files (*.txt);;All Files (*.*)").
    virtual QString getSaveFileName(const QString &title, const QString &filter) = 0;
};

// Dialogs that pass everything on to others; a wrapper overrides what it
// does around them.
class ForwardingDialogs : public Dialogs
{
public:
    explicit ForwardingDialogs(Dialogs &dialogs)
        : m_dialogs(dialogs)
    {
    }
    void showMessage(const QString &title, const QString &text, Icon icon) override
    {
        m_dialogs.showMessage(title, text, icon);
    }
    QString getSaveFileName(const QString &title, const QString &filter) override
    {
        return m_dialogs.getSaveFileName(title, filter);
    }

private:
    Dialogs &m_dialogs;
};

// The application title, set once at start-up; the title of every message box
// that has none of its own.
QString applicationTitle();
void setApplicationTitle(const QString &title);

// A plain message: OK only, no icon, the application title.
void showPlainMessage(Dialogs &dialogs, const QString &text);
