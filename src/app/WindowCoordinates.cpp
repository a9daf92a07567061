#include "app/WindowCoordinates.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <private/qguiapplication_p.h>
#include <private/qspiaccessiblebridge_p.h>
#include <qpa/qplatformintegration.h>

namespace {

// Where the bridge answers for every accessible object: this path, then the object's id.
const QString objectsPath = QStringLiteral("/org/a11y/atspi/accessible");
constexpr uint windowCoordinates = 1; // AT-SPI's ATSPI_COORD_TYPE_WINDOW

// The rectangle of the object at `path`, moved by the top left corner of
// its window; false where the object or its window is not known.
bool extentsInWindow(const QString &path, QRect &extents)
{
    bool isId = false;
    const QAccessible::Id id = path.section(QLatin1Char('/'), 5, 5).toUInt(&isId);
    QAccessibleInterface *object = isId ? QAccessible::accessibleInterface(id) : nullptr;
    if (!object || !object->isValid())
        return false;
    QAccessibleInterface *window = object;
    while (window && window->role() != QAccessible::Window && window->role() != QAccessible::Dialog)
        window = window->parent();
    if (!window)
        return false;
    extents = object->rect().translated(-window->rect().topLeft());
    return true;
}

// The bridge's objects on the bus, with the extents in window coordinates answered here.
class WindowExtents : public QDBusVirtualObject
{
public:
    explicit WindowExtents(QDBusVirtualObject *bridge)
        : QDBusVirtualObject(bridge)
        , m_bridge(bridge)
    {
    }

    QString introspect(const QString &path) const override { return m_bridge->introspect(path); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QVariantList arguments = message.arguments();
        const auto inWindow = [&](qsizetype coordinates) {
            return message.interface() == QLatin1String("org.a11y.atspi.Component")
                && arguments.size() == coordinates + 1 && arguments[coordinates].toUInt() == windowCoordinates;
        };
        QRect extents;
        if (message.member() == QLatin1String("GetExtents") && inWindow(0) && extentsInWindow(message.path(), extents))
            return connection.send(message.createReply(QVariant::fromValue(extents)));
        if (message.member() == QLatin1String("Contains") && inWindow(2) && extentsInWindow(message.path(), extents))
            return connection.send(message.createReply(extents.contains(arguments[0].toInt(), arguments[1].toInt())));
        return m_bridge->handleMessage(message, connection);
    }

private:
    QDBusVirtualObject *const m_bridge;
};

QPointer<WindowExtents> installed;

// Puts WindowExtents before the bridge's objects, once they are on the bus.
void placeBeforeBridge()
{
    QPlatformIntegration *integration = QGuiApplicationPrivate::platformIntegration();
    auto *bridge = integration ? dynamic_cast<QSpiAccessibleBridge *>(integration->accessibility()) : nullptr;
    if (!bridge)
        return;
    QDBusConnection bus = bridge->dBusConnection();
    auto *objects = bus.isConnected() ? qobject_cast<QDBusVirtualObject *>(bus.objectRegisteredAt(objectsPath))
                                      : nullptr;
    if (!objects || objects == installed)
        return;
    bus.unregisterObject(objectsPath);
    installed = new WindowExtents(objects);
    bus.registerVirtualObject(objectsPath, installed, QDBusConnection::SubPath);
}

// The bridge puts its objects on the bus as accessibility turns on.
class Activation : public QAccessible::ActivationObserver
{
public:
    void accessibilityActiveChanged(bool active) override
    {
        if (active)
            QTimer::singleShot(0, QCoreApplication::instance(), placeBeforeBridge);
    }
};

} // namespace

void mendWindowCoordinates()
{
    static Activation activation;
    QAccessible::installActivationObserver(&activation);
    if (QAccessible::isActive())
        QTimer::singleShot(0, QCoreApplication::instance(), placeBeforeBridge);
}
