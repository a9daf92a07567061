#include "export/LibreOffice.h"

#include "export/LibreOfficeProcess.h"
#include "export/LibreOfficeUno.h"
#include "shell/Failure.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// Every call into the office is made on the calling (GUI) thread. The bridge
// runs threads of its own, but this process hands the office no objects of
// its own (no listeners, no callbacks), so none of them ever calls back in.

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
            throw Failure(QStringLiteral("LibreOffice's runtime could not be started: %1").arg(toQString(e.getMessage())));
        } catch (const css::uno::Exception &) {
            throw Failure(QStringLiteral("LibreOffice's runtime could not be started: %1").arg(describeCaughtException()));
        }
    }();
    return *context;
}

Reference<css::uno::XComponentContext> connect(const QString &address)
{
    const Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(localContext());
    return Reference<css::uno::XComponentContext>(resolver->resolve(toOUString(address)), UNO_QUERY_THROW);
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

using namespace LibreOfficeUno;

namespace {

// Runs calls into the office, turning what UNO throws into a Failure.
template <typename Calls>
void callOffice(Calls &&calls)
{
    try {
        calls();
    } catch (const css::uno::Exception &) {
        throw Failure(describeCaughtException());
    }
}

css::beans::PropertyValue property(const char *name, const css::uno::Any &value)
{
    css::beans::PropertyValue result;
    result.Name = OUString::createFromAscii(name);
    result.Value = value;
    return result;
}

// An application object: the office's desktop, and the Calc document it
// added last with that document's view.
class CalcApplication : public SpreadsheetApplication
{
public:
    CalcApplication(Reference<css::frame::XDesktop2> desktop, bool headless)
        : m_desktop(std::move(desktop))
        , m_headless(headless)
    {
    }

    void addWorkbook() override
    {
        callOffice([&] {
            // A headless office cannot make a visible document: it aborts.
            const css::beans::PropertyValue hidden = property("Hidden", css::uno::Any(true));
            const css::uno::Sequence<css::beans::PropertyValue> arguments(&hidden, m_headless ? 1 : 0);
            const Reference<css::lang::XComponent> document =
                m_desktop->loadComponentFromURL("private:factory/scalc", "_blank", 0, arguments);
            const Reference<css::frame::XModel> model(document, UNO_QUERY);
            if (!model.is())
                throw Failure(QStringLiteral("LibreOffice could not make a new Calc document."));
            const Reference<css::frame::XController> controller = model->getCurrentController();
            const Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY);
            if (!view.is())
                throw Failure(QStringLiteral("LibreOffice made a Calc document without a sheet view."));
            m_controller = controller;
            m_view = view;
        });
    }

    void setCell(int row, int column, const QString &value) override
    {
        callOffice([&] {
            const Reference<css::table::XCell> cell = activeSheet()->getCellByPosition(column - 1, row - 1);
            // A leading apostrophe makes Calc take the rest as text as it is,
            // as when typed in. Nothing at all empties the cell.
            cell->setFormula(value.isEmpty() ? OUString() : toOUString(QLatin1Char('\'') + value));
        });
    }

    void autofitColumns() override
    {
        callOffice([&] {
            const Reference<css::table::XColumnRowRange> ranges(activeSheet(), UNO_QUERY_THROW);
            const Reference<css::beans::XPropertySet> columns(ranges->getColumns(), UNO_QUERY_THROW);
            columns->setPropertyValue("OptimalWidth", css::uno::Any(true));
        });
    }

    void setVisible(bool visible) override
    {
        callOffice([&] {
            // Without a document there is no window to show, but the office
            // must still be there.
            if (!m_controller.is()) {
                m_desktop->getCurrentFrame();
                return;
            }
            const Reference<css::frame::XFrame> frame = m_controller->getFrame();
            if (!frame.is())
                throw Failure(QStringLiteral("The Calc document has no window."));
            const Reference<css::awt::XWindow> window = frame->getContainerWindow();
            // Without a display the document stays hidden: there is no one to show it to.
            if (m_headless || !window.is())
                return;
            window->setVisible(visible);
            const Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
            if (visible && top.is())
                top->toFront();
        });
    }

private:
    // The active sheet, fetched anew for every use.
    Reference<css::sheet::XSpreadsheet> activeSheet() const
    {
        if (!m_view.is())
            throw Failure(QStringLiteral("No Calc document is open."));
        const Reference<css::sheet::XSpreadsheet> sheet = m_view->getActiveSheet();
        if (!sheet.is())
            throw Failure(QStringLiteral("The Calc document has no active sheet."));
        return sheet;
    }

    Reference<css::frame::XDesktop2> m_desktop;
    Reference<css::frame::XController> m_controller;
    Reference<css::sheet::XSpreadsheetView> m_view;
    bool m_headless;
};

QString findOffice(const QString &configured)
{
    if (!configured.isEmpty())
        return QFileInfo(configured).isExecutable() ? configured : QString();
    const QString besideSdk = QStringLiteral(ORVELLE_LIBREOFFICE_PROGRAM_DIR "/soffice");
    if (QFileInfo(besideSdk).isExecutable())
        return besideSdk;
    for (const QString &name : {QStringLiteral("soffice"), QStringLiteral("libreoffice")}) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

// The runtime's named pipes are sockets in /tmp named after the user.
QStringList officeSockets()
{
    const QString prefix = QStringLiteral("OSL_PIPE_%1_").arg(getuid());
    QStringList result;
    const QStringList names = QDir(QStringLiteral("/tmp")).entryList({prefix + QLatin1Char('*')}, QDir::System);
    for (const QString &name : names)
        result.append(QStringLiteral("/tmp/") + name);
    return result;
}

bool listening(const QString &socketPath)
{
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (std::size_t(path.size()) >= sizeof(address.sun_path))
        return true; // not ours to judge
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return true;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    close(fd);
    return connected;
}

// While the office starts: let the window repaint, but hold back clicks and
// keys, so that no command starts in the middle of this one.
void processNonInputEvents()
{
    if (QCoreApplication::instance() && QCoreApplication::instance()->thread() == QThread::currentThread())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

LibreOfficeOptions LibreOfficeOptions::forThisSession()
{
    LibreOfficeOptions options;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    bool offscreen = platform.startsWith("offscreen") || platform.startsWith("minimal");
    if (qGuiApp) {
        const QString name = QGuiApplication::platformName();
        offscreen = offscreen || name == QLatin1String("offscreen") || name == QLatin1String("minimal");
    }
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    options.headless = noDisplay || offscreen;
    return options;
}

struct LibreOfficeFactory::Private
{
    LibreOfficeOptions options;
    std::unique_ptr<LibreOfficeProcess> process; // the office we started, while we hold it
    QString profile;                             // its temporary profile folder, if any
    QString pipe;
    QStringList sockets;     // the sockets it made in /tmp
    bool handedOver = false; // an office of the user's took our request over
    QString address;
    Reference<css::uno::XComponentContext> context;
    bool starting = false;

    void start();
    void connectWhileStarting();
    void forget(bool endOffice, int graceMs);
    void wait(int ms);
};

void LibreOfficeFactory::Private::wait(int ms)
{
    const QDeadlineTimer until(ms);
    do {
        if (options.whileStarting)
            options.whileStarting();
        else
            processNonInputEvents();
        QThread::msleep(5);
    } while (!until.hasExpired());
}

void LibreOfficeFactory::Private::start()
{
    const QString program = findOffice(options.program);
    if (program.isEmpty())
        throw Failure(QStringLiteral("LibreOffice is not installed: no soffice program was found."));
    localContext(); // the runtime first: without it there is no point starting the office

    static int started = 0;
    pipe = QStringLiteral("orvelle_%1_%2").arg(getpid()).arg(++started);
    handedOver = false;
    QStringList arguments;
    QStringList environment;
    if (options.headless)
        arguments << QStringLiteral("--headless") << QStringLiteral("--invisible");
    arguments << QStringLiteral("--norestore") << QStringLiteral("--nologo") << QStringLiteral("--nodefault")
              << QStringLiteral("--accept=pipe,name=%1;urp;").arg(pipe);
    if (options.headless) {
        const QString parent = options.profileParent.isEmpty() ? QDir::tempPath() : options.profileParent;
        QTemporaryDir folder(parent + QStringLiteral("/orvelle-office-XXXXXX"));
        if (!folder.isValid())
            throw Failure(QStringLiteral("No folder for LibreOffice's profile could be made in %1.").arg(parent));
        folder.setAutoRemove(false);
        profile = folder.path();
        arguments << QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(QUrl::FullyEncoded);
        // Its temporary files too, so that they go with the profile even
        // when the office is killed.
        const QString temporary = profile + QStringLiteral("/tmp");
        if (QDir().mkpath(temporary))
            environment << QStringLiteral("TMPDIR=") + temporary;
    }

    address = QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe);
    const QStringList socketsBefore = officeSockets();
    try {
        process = std::make_unique<LibreOfficeProcess>(program, arguments, environment);
        connectWhileStarting();
        // Ours: the pipe we named, and the profile's single-instance pipe,
        // which appeared as the office started.
        for (const QString &socket : officeSockets()) {
            if (!socketsBefore.contains(socket))
                sockets.append(socket);
        }
    } catch (...) {
        forget(true, 0);
        throw;
    }
}

void LibreOfficeFactory::Private::connectWhileStarting()
{
    const QDeadlineTimer deadline(options.startTimeoutMs);
    for (;;) {
        try {
            context = connect(address);
            return;
        } catch (const css::uno::Exception &) {
            // Not listening yet.
        }
        if (!handedOver && !process->running()) {
            // An office with a display that already runs for this user takes
            // the request over, and the launcher ends at once, successfully.
            handedOver = !options.headless && process->exitCode() == 0;
            if (!handedOver)
                throw Failure(QStringLiteral("LibreOffice ended while starting (exit code %1).").arg(process->exitCode()));
        }
        if (deadline.hasExpired())
            throw Failure(QStringLiteral("LibreOffice did not start within %1 seconds.")
                              .arg(options.startTimeoutMs / 1000.0, 0, 'g', 3));
        wait(50);
    }
}

void LibreOfficeFactory::Private::forget(bool endOffice, int graceMs)
{
    if (endOffice && context.is() && process && process->running()) {
        try {
            css::frame::Desktop::create(context)->terminate();
        } catch (const css::uno::Exception &) {
            // Ending it by force below.
        }
    }
    context.clear();
    if (process) {
        if (endOffice)
            process->end(graceMs);
        process.reset();
    }
    // An office leaves its sockets behind when it ends (and always when it
    // is killed); those that no longer listen are litter.
    for (const QString &socket : std::as_const(sockets)) {
        if (!listening(socket))
            QFile::remove(socket);
    }
    sockets.clear();
    pipe.clear();
    address.clear();
    if (!profile.isEmpty()) {
        QDir(profile).removeRecursively();
        profile.clear();
    }
}

LibreOfficeFactory::LibreOfficeFactory(LibreOfficeOptions options)
    : d(std::make_unique<Private>())
{
    d->options = std::move(options);
}

LibreOfficeFactory::~LibreOfficeFactory()
{
    shutDown();
}

std::unique_ptr<SpreadsheetApplication> LibreOfficeFactory::create()
{
    if (d->starting)
        throw Failure(QStringLiteral("LibreOffice is still starting."));
    for (int attempt = 0;; ++attempt) {
        if (!d->context.is()) {
            d->starting = true;
            try {
                d->start();
            } catch (...) {
                d->starting = false;
                throw;
            }
            d->starting = false;
        }
        try {
            return std::make_unique<CalcApplication>(css::frame::Desktop::create(d->context), d->options.headless);
        } catch (const css::lang::DisposedException &) {
            // The office we started has gone (closed by the user, or
            // crashed): start another one, once.
            d->forget(d->options.headless, 0);
            if (attempt > 0)
                throw Failure(QStringLiteral("LibreOffice closed the connection as soon as it was made."));
        } catch (const css::uno::Exception &) {
            throw Failure(describeCaughtException());
        }
    }
}

qint64 LibreOfficeFactory::officeProcessId() const
{
    return d->process ? d->process->pid() : 0;
}

QString LibreOfficeFactory::officeAddress() const
{
    return d->context.is() ? d->address : QString();
}

void LibreOfficeFactory::shutDown()
{
    d->forget(d->options.headless, 5000);
}

std::unique_ptr<SpreadsheetFactory> makeDefaultSpreadsheetFactory()
{
    return std::make_unique<LibreOfficeFactory>();
}
