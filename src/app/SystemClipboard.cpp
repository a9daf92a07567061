#include "app/SystemClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

QClipboard *systemClipboard()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

} // namespace

bool SystemClipboard::clear()
{
    QClipboard *clipboard = systemClipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    return true;
}

bool SystemClipboard::setText(const QString &text, int format)
{
    Q_UNUSED(format)
    QClipboard *clipboard = systemClipboard();
    if (!clipboard)
        return false;
    clipboard->setText(text);
    return clipboard->text() == text;
}
