#pragma once

// What the benchmark programs share.

#include "Dialogs.h"

#include <cstdio>

// Dialogs that answer at once: messages go to stderr, the save dialog is cancelled.
class SilentDialogs : public Dialogs
{
public:
    void showMessage(const QString &, const QString &text, Icon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString getSaveFileName(const QString &, const QString &) override { return QString(); }
};
