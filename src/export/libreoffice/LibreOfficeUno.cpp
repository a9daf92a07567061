#include "export/libreoffice/LibreOfficeUno.h"

#include "shell/Failure.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <com/sun/star/bridge/BridgeExistsException.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/bridge/XBridgeFactory2.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>

#include <csignal>

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace LibreOfficeUno {

Reference<css::uno::XComponentContext> localContext()
{
    // Kept until the process ends: tearing the runtime down while bridges may
    // still wind down is not worth the risk at exit.
    static Reference<css::uno::XComponentContext> *const context = [] {
        // The runtime writes to the office's pipe without guarding against
        // SIGPIPE: were the office to die as a request goes out, the signal
        // would end this program instead of the call failing.
        struct sigaction pipeAction = {};
        if (sigaction(SIGPIPE, nullptr, &pipeAction) == 0 && pipeAction.sa_handler == SIG_DFL)
            std::signal(SIGPIPE, SIG_IGN);

        const QString rc = QStringLiteral(ORVELLE_LIBREOFFICE_PROGRAM_DIR "/fundamentalrc");
        if (qEnvironmentVariableIsEmpty("URE_BOOTSTRAP")) {
            if (!QFileInfo::exists(rc))
                throw Failure(QStringLiteral("LibreOffice is not installed: %1 is missing.").arg(rc));
            qputenv("URE_BOOTSTRAP", QByteArrayLiteral("vnd.sun.star.pathname:") + QFile::encodeName(rc));
        }
        try {
            return new Reference<css::uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
        } catch (const cppu::BootstrapException &e) {
            throw Failure(
                QStringLiteral("LibreOffice's runtime could not be started: %1").arg(toQString(e.getMessage())));
        } catch (const css::uno::Exception &) {
            throw Failure(
                QStringLiteral("LibreOffice's runtime could not be started: %1").arg(describeCaughtException()));
        }
    }();
    return *context;
}

Reference<css::uno::XComponentContext> connect(const QString &address)
{
    // "uno:<connection>;<protocol>;<object>". One bridge per office in this
    // process, named after its connection, shared by every caller: objects
    // are known by their office-wide names, so a second bridge to the same
    // office would hand out the first one's proxies and release its own at
    // once. The office then closes that bridge as unused, which can end the
    // very call that received the object before its caller has taken it.
    const QStringList parts = address.section(QLatin1Char(':'), 1).split(QLatin1Char(';'));
    if (!address.startsWith(QLatin1String("uno:")) || parts.size() != 3)
        throw css::connection::NoConnectException(toOUString(QStringLiteral("Not a UNO address: ") + address));
    const Reference<css::uno::XComponentContext> local = localContext();
    const Reference<css::bridge::XBridgeFactory2> bridges = css::bridge::BridgeFactory::create(local);
    const OUString name = toOUString(QStringLiteral("orvelle;") + parts[0]);
    Reference<css::bridge::XBridge> bridge = bridges->getBridge(name);
    if (!bridge.is()) {
        const Reference<css::connection::XConnection> connection = css::connection::Connector::create(local)->connect(
            toOUString(parts[0]));
        try {
            bridge = bridges->createBridge(name, toOUString(parts[1]), connection, nullptr);
        } catch (const css::bridge::BridgeExistsException &) {
            // Another thread connected meanwhile: its bridge serves.
            connection->close();
            bridge = bridges->getBridge(name);
            if (!bridge.is())
                throw css::connection::NoConnectException(toOUString(address));
        }
    }
    return Reference<css::uno::XComponentContext>(bridge->getInstance(toOUString(parts[2])), UNO_QUERY_THROW);
}

OUString toOUString(const QString &text)
{
    return OUString(reinterpret_cast<const sal_Unicode *>(text.utf16()), sal_Int32(text.size()));
}

QString toQString(const OUString &text)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text.getStr()), text.getLength());
}

QString describeCaughtException()
{
    const css::uno::Any caught = cppu::getCaughtException();
    if (caught.isExtractableTo(cppu::UnoType<css::lang::DisposedException>::get()))
        return QStringLiteral("LibreOffice has been closed: the connection to it is lost.");
    const auto *exception = static_cast<const css::uno::Exception *>(caught.getValue());
    // The office appends where in its sources the exception arose; of no use here.
    static const QRegularExpression sourceLocation(QStringLiteral("\\s+at\\s+\\S+:\\d+$"));
    const QString message = toQString(exception->Message).remove(sourceLocation).trimmed();
    const QString type = toQString(caught.getValueTypeName()).section(QLatin1Char('.'), -1);
    return message.isEmpty() ? QStringLiteral("LibreOffice reported %1.").arg(type)
                             : QStringLiteral("LibreOffice reported %1: %2").arg(type, message);
}

} // namespace LibreOfficeUno
