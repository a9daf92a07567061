#include "shell/Dialogs.h"

namespace {
QString &title()
{
    static QString value = QStringLiteral("Orvelle");
    return value;
}
} // namespace

QString applicationTitle()
{
    return title();
}

void setApplicationTitle(const QString &text)
{
    title() = text;
}

void showPlainMessage(Dialogs &dialogs, const QString &text)
{
    dialogs.showMessage(applicationTitle(), text, Dialogs::Icon::None);
}
