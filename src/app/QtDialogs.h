#pragma once

#include "shell/Dialogs.h"

class QWidget;

// Message boxes and the save dialog on screen, modal to the window. Once the
// process is asked to end (terminationRequested()), a message is one line on
// standard error, the whole of it, and the save dialog is cancelled: nothing
// waits for an answer.
class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget *parent = nullptr);

    void showMessage(const QString &title, const QString &text, Icon icon) override;
    QString getSaveFileName(const QString &title, const QString &filter) override;

private:
    QWidget *const m_parent;
};
