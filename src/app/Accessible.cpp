#include "app/Accessible.h"

#include "app/AccessibleResultView.h"
#include "app/ProgressBar.h"
#include "app/ResultView.h"

#include <QAccessibleWidget>
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

QAccessibleInterface *widgetInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("ResultView"))
        return accessibleResultView(static_cast<ResultView *>(object));
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
