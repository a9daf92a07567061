#include "app/Accessible.h"

#include "app/AccessibleResultView.h"
#include "app/ProgressBar.h"
#include "app/ResultView.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QApplication>
#include <QMenu>

namespace {

// The progress bar: named by the caption drawn on it, its value what it shows.
class AccessibleProgressBar : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit AccessibleProgressBar(ProgressBar *bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return bar()->text();
        return QAccessibleWidget::text(t);
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return bar()->shownValue(); }
    // The bar shows the program's progress: nothing outside sets it.
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return 100.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.0; }

private:
    ProgressBar *bar() const { return static_cast<ProgressBar *>(widget()); }
};

// What a screen reader is told without the focus moving: a notification of
// the window, shown anew for each announcement, which readers speak whenever
// it shows. It has no place on screen.
class Announcement : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    QString text;
};

class AccessibleAnnouncement : public QAccessibleObject
{
public:
    explicit AccessibleAnnouncement(Announcement *announcement)
        : QAccessibleObject(announcement)
    {
    }

    QWindow *window() const override { return owner() ? owner()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(owner()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? static_cast<Announcement *>(object())->text : QString();
    }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override { return {}; }

private:
    QWidget *owner() const { return isValid() ? qobject_cast<QWidget *>(object()->parent()) : nullptr; }
};

QAccessibleInterface *widgetInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("ResultView"))
        return accessibleResultView(static_cast<ResultView *>(object));
    if (className == QLatin1String("Announcement"))
        return new AccessibleAnnouncement(static_cast<Announcement *>(object));
    if (className == QLatin1String("ProgressBar"))
        return new AccessibleProgressBar(static_cast<ProgressBar *>(object));
    if (className == QLatin1String("QMenu") && qobject_cast<ResultView *>(object->parent()))
        return accessibleResultMenu(static_cast<QMenu *>(object));
    return nullptr;
}

} // namespace

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(widgetInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

void announce(QWidget *context, const QString &text)
{
    if (!context || text.isEmpty() || !QAccessible::isActive())
        return;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(context, text);
    QAccessible::updateAccessibility(&event);
#else
    // One notification per window, kept: a reader asks for its text some
    // time after it hears it show.
    QWidget *window = context->window();
    auto *notification = window->findChild<Announcement *>(QString(), Qt::FindDirectChildrenOnly);
    if (!notification)
        notification = new Announcement(window);
    notification->text = text;
    QAccessibleEvent event(notification, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
#endif
}

#include "Accessible.moc"
