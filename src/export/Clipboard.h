#pragma once

#include <QString>

// The system clipboard as the clipboard copy uses it. Each operation returns
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

// The clipboard of the running QGuiApplication. Qt reports no refusal, so a
// text counts as placed when the clipboard gives it back.
class SystemClipboard : public Clipboard
{
public:
    bool clear() override;
    bool setText(const QString &text, int format) override;
};
