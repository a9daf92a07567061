#pragma once

#include "shell/Dialogs.h"

#include <QSessionManager>

// Message boxes while the session ends: shown only when the session manager
// lets the program interact with the user.
class SessionDialogs : public Dialogs
{
public:
    SessionDialogs(Dialogs &dialogs, QSessionManager &manager)
        : m_dialogs(dialogs)
        , m_manager(manager)
    {
    }
    void showMessage(const QString &title, const QString &text, Icon icon) override
    {
        if (!m_manager.allowsInteraction())
            return;
        m_dialogs.showMessage(title, text, icon);
        m_manager.release();
    }
    QString getSaveFileName(const QString &title, const QString &filter) override
    {
        return m_dialogs.getSaveFileName(title, filter);
    }

private:
    Dialogs &m_dialogs;
    QSessionManager &m_manager;
};
