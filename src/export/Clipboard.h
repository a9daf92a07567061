#pragma once

#include <QString>

// The system clipboard as the clipboard copy uses it: the window's is
// app/SystemClipboard.h, so that this library needs no Qt Gui. Each operation returns
// false when the platform refused it (another program holding the clipboard).
class Clipboard
{
public:
    virtual ~Clipboard() = default;
    virtual bool clear() = 0;
    // `format` 0 is plain text; this platform keeps every text as plain text,
    // so other formats are placed as plain text too.
    virtual bool setText(const QString &text, int format) = 0;
};
