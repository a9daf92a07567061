#pragma once

#include "export/Clipboard.h"

// The clipboard of the running QGuiApplication. Qt reports no refusal, so a
// text counts as placed when the clipboard gives it back.
class SystemClipboard : public Clipboard
{
public:
    bool clear() override;
    bool setText(const QString &text, int format) override;
};
