#include "app/DisplayOpening.h"

#include "shell/Messages.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace {

struct HeldMessage
{
    QtMsgType type;
    QString category;
    QString text;
};

QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> held;
QString platformOption; // the value of -platform, if given
QString displayOption;  // the value of -display, if given

QString environment(const char *name)
{
    return qEnvironmentVariable(name);
}

// Where the platform was named: the option, the variable, or, for Wayland, its display.
QString platformSource(const QString &platform)
{
    if (!platformOption.isEmpty())
        return QStringLiteral("-platform %1").arg(platformOption);
    if (!environment("QT_QPA_PLATFORM").isEmpty())
        return QStringLiteral("QT_QPA_PLATFORM=%1").arg(environment("QT_QPA_PLATFORM"));
    if (platform == QLatin1String("wayland") && !environment("WAYLAND_DISPLAY").isEmpty())
        return QStringLiteral("WAYLAND_DISPLAY=%1").arg(environment("WAYLAND_DISPLAY"));
    return QStringLiteral("the default platform");
}

QString xDisplaySource(const QString &display)
{
    if (!displayOption.isEmpty())
        return QStringLiteral("-display");
    if (display.isEmpty())
        return QStringLiteral("DISPLAY is not set");
    return QStringLiteral("DISPLAY");
}

// Why the display did not open, from what Qt said of each platform it tried.
QString cause()
{
    static const QRegularExpression missingPlugin(QStringLiteral("Could not find the Qt platform plugin \"([^\"]*)\""));
    static const QRegularExpression xDisplay(QStringLiteral("could not connect to display ?(.*)$"));
    QStringList causes;
    for (const HeldMessage &message : std::as_const(held)) {
        if (const auto match = missingPlugin.match(message.text); match.hasMatch()) {
            const QString plugin = match.captured(1);
            if (plugin.startsWith(QLatin1String("wayland")))
                causes << QStringLiteral("Qt's Wayland platform plugin, which %1 asks for, is not installed "
                                         "(Debian: the package qt6-wayland)")
                              .arg(platformSource(QStringLiteral("wayland")));
            else
                causes << QStringLiteral("Qt has no platform plugin \"%1\" (%2)").arg(plugin, platformSource(plugin));
        } else if (const auto match = xDisplay.match(message.text); match.hasMatch()) {
            const QString display = match.captured(1).trimmed();
            causes << (display.isEmpty() ? QStringLiteral("there is no X display to open (DISPLAY is not set)")
                                         : QStringLiteral("the X display %1 (%2) cannot be opened")
                                               .arg(display, xDisplaySource(display)));
        } else if (message.category == QLatin1String("qt.qpa.wayland")
                   && message.text.contains(QLatin1String("wl_display"))) {
            const QString display = environment("WAYLAND_DISPLAY");
            causes << QStringLiteral("the Wayland display %1 (%2) cannot be opened")
                          .arg(display.isEmpty() ? QStringLiteral("wayland-0") : display,
                               display.isEmpty() ? platformSource(QStringLiteral("wayland"))
                                                 : QStringLiteral("WAYLAND_DISPLAY"));
        }
    }
    if (causes.isEmpty()) {
        for (const HeldMessage &message : std::as_const(held)) {
            if (message.type != QtFatalMsg && !message.text.contains(QLatin1String("even though it was found")))
                causes << message.text.trimmed();
        }
    }
    if (causes.isEmpty())
        causes << QStringLiteral("Qt could not start the platform %1").arg(platformSource(QString()));
    return causes.join(QLatin1String("; "));
}

void onMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const QString category = QString::fromUtf8(context.category ? context.category : "");
    if (type == QtFatalMsg) {
        complain(QStringLiteral("the window cannot open: %1").arg(cause()).simplified());
        _exit(1); // Qt would abort once this returns; nothing is open yet to keep
    }
    if (category.startsWith(QLatin1String("qt.qpa"))) {
        held.append({type, category, text});
        return;
    }
    if (previousHandler)
        previousHandler(type, context, text);
    else
        qt_message_output(type, context, text);
}

} // namespace

void watchDisplayOpening(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        for (auto [name, value] : {std::pair{QStringLiteral("-platform"), &platformOption},
                                   std::pair{QStringLiteral("-display"), &displayOption}}) {
            if (argument == name && i + 1 < argc)
                *value = QString::fromLocal8Bit(argv[i + 1]);
            else if (argument.startsWith(name + QLatin1Char('=')))
                *value = argument.mid(name.size() + 1);
        }
    }
    previousHandler = qInstallMessageHandler(onMessage);
}

void displayOpened()
{
    qInstallMessageHandler(previousHandler);
    const QList<HeldMessage> messages = std::exchange(held, {});
    for (const HeldMessage &message : messages) {
        const QByteArray category = message.category.toUtf8();
        const QMessageLogContext context(nullptr, 0, nullptr, category.constData());
        qt_message_output(message.type, context, message.text);
    }
}
