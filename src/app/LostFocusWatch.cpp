#include "app/LostFocusWatch.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QWidget>

#include <utility>

LostFocusWatch::LostFocusWatch(QWidget *window, QWidget *box, std::function<bool()> acceptable,
                               std::function<void()> lostFocus)
    : QObject(window)
    , m_window(window)
    , m_box(box)
    , m_acceptable(std::move(acceptable))
    , m_lostFocus(std::move(lostFocus))
{
    // A press anywhere in the window may have to be held back.
    qApp->installEventFilter(this);
}

LostFocusWatch::~LostFocusWatch()
{
    qApp->removeEventFilter(this);
}

bool LostFocusWatch::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (!watched->isWidgetType() || (watched != m_window && !m_window->isAncestorOf(static_cast<QWidget *>(watched))))
        return false;
    if (watched == m_box && type == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::MouseFocusReason && !m_acceptable()) {
            m_clickLeftBox = true;
            // Should the click not arrive here, the box is checked all the same.
            QMetaObject::invokeMethod(
                this,
                [this] {
                if (std::exchange(m_clickLeftBox, false))
                    m_lostFocus();
                },
                Qt::QueuedConnection);
        } else if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason
                   || reason == Qt::OtherFocusReason) {
            QMetaObject::invokeMethod(
                this, [this] { m_lostFocus(); }, Qt::QueuedConnection);
        }
    } else if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) && m_clickLeftBox) {
        m_clickLeftBox = false;
        m_swallowRelease = true;
        m_lostFocus();
        // A release that came while the handler's message blocked the window
        // never reaches it: then there is none left to hold back.
        if (QGuiApplication::mouseButtons() == Qt::NoButton)
            m_swallowRelease = false;
        return true;
    } else if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        // A new press: any release still held back for an earlier one was lost on the way.
        m_swallowRelease = false;
    } else if (type == QEvent::MouseButtonRelease && m_swallowRelease) {
        m_swallowRelease = false;
        return true;
    }
    return false;
}
