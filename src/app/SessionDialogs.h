#pragma once

#include "shell/Dialogs.h"

#include <QSessionManager>

// Message boxes while the session ends: shown only when the session manager
// lets the program interact with the user.
class SessionDialogs : public ForwardingDialogs
{
public:
    SessionDialogs(Dialogs &dialogs, QSessionManager &manager)
        : ForwardingDialogs(dialogs)
        , m_manager(manager)
    {
    }
    void showMessage(const QString &title, const QString &text, Icon icon) override
    {
        if (!m_manager.allowsInteraction()) {
            dropped = true;
            return;
        }
        ForwardingDialogs::showMessage(title, text, icon);
        m_manager.release();
    }

    bool dropped = false; // a message was not shown

private:
    QSessionManager &m_manager;
};
