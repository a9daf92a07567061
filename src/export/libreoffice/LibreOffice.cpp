#include "export/libreoffice/LibreOffice.h"

#include "export/libreoffice/LibreOfficeCalc.h"
#include "export/libreoffice/LibreOfficeCalls.h"
#include "export/libreoffice/LibreOfficeProcess.h"
#include "export/libreoffice/LibreOfficeUno.h"
#include "shell/Failure.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/document/XDocumentEventBroadcaster.hpp>
#include <com/sun/star/document/XDocumentEventListener.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/theGlobalEventBroadcaster.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <cppuhelper/implbase1.hxx>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using css::uno::Reference;
using namespace LibreOfficeUno;

namespace {

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

// The office's toolkit plugins that reach the desktop's accessibility bus,
// as SAL_USE_VCLPLUGIN names them; each is libvclplug_<name>lo.so in the
// office's program folder.
const QStringList readableToolkits = {QStringLiteral("gtk3"), QStringLiteral("gtk4"), QStringLiteral("kf5"),
                                      QStringLiteral("kf6"),  QStringLiteral("qt5"),  QStringLiteral("qt6")};

// The runtime's named pipes are sockets in /tmp named after the user: the
// one named `name`.
QString officeSocket(const QString &name)
{
    return QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(getuid()).arg(name);
}

// The runtime's pipes that the processes of group `group` hold open: the
// office's own (its profile's single-instance pipe) beside the one we named.
QStringList socketsHeldBy(pid_t group)
{
    // The sockets bound to a pipe's path, by inode ("Num RefCount Protocol
    // Flags Type St Inode Path").
    const QString prefix = officeSocket(QString());
    QHash<QByteArray, QString> paths;
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 8 && QFile::decodeName(fields[7]).startsWith(prefix))
            paths.insert(fields[6], QFile::decodeName(fields[7]));
    }
    QStringList held;
    for (const QString &process : QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs)) {
        if (getpgid(pid_t(process.toInt())) != group)
            continue;
        const QString fds = QStringLiteral("/proc/%1/fd").arg(process);
        for (const QString &fd : QDir(fds).entryList(QDir::System | QDir::Files)) {
            char target[64] = {};
            const QByteArray link = QFile::encodeName(fds + QLatin1Char('/') + fd);
            const ssize_t length = readlink(link.constData(), target, sizeof target - 1);
            const QByteArray text(target, std::max<ssize_t>(length, 0));
            const QByteArray inode = text.startsWith("socket:[") ? text.mid(8).chopped(1) : QByteArray();
            if (paths.contains(inode) && !held.contains(paths.value(inode)))
                held.append(paths.value(inode));
        }
    }
    return held;
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

// While the office answers a call: let the window handle its events, input
// included, as at the yields of a long command. A command started meanwhile
// queues its own calls behind the one waited for.
void processEvents(QEventLoop::ProcessEventsFlags flags)
{
    if (QCoreApplication::instance() && QCoreApplication::instance()->thread() == QThread::currentThread())
        QCoreApplication::processEvents(flags);
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
    options.endsWithLastDocument = !options.headless;
    return options;
}

struct LibreOfficeFactory::Private : std::enable_shared_from_this<LibreOfficeFactory::Private>
{
    LibreOfficeOptions options;
    std::shared_ptr<LibreOfficeProcess> process; // the office we started, while we hold it
    QString profile;                             // its temporary profile folder, if any
    std::shared_ptr<OfficeCalls> calls;          // the calls into it
    QString pipe;
    QStringList sockets;     // the sockets it made in /tmp
    bool handedOver = false; // an office of the user's took our request over
    QString address;
    Reference<css::uno::XComponentContext> context;
    bool starting = false;
    // While the office starts or is ended: nothing a command could start
    // meanwhile could be served, so clicks and keys wait until afterwards.
    int holdingInput = 0;
    // Held by every application object on the office: while one lives, an
    // export is under way, and the office stays.
    std::shared_ptr<int> inUse = std::make_shared<int>(0);
    // Tells this factory when a document of an office it started with a
    // display has closed.
    css::uno::Reference<css::document::XDocumentEventListener> watcher;

    void start();
    void watch();
    bool ownsOffice() const;
    bool holdsDocuments();
    void documentClosed();
    void connectWhileStarting();
    void forget(bool endOffice, int graceMs);
    void whileWaiting() const;
    void wait(int ms) const;
};

namespace {

// Holds clicks and keys back while it lives.
class HeldInput
{
public:
    explicit HeldInput(int &holding)
        : m_holding(++holding)
    {
    }
    ~HeldInput() { --m_holding; }
    HeldInput(const HeldInput &) = delete;
    HeldInput &operator=(const HeldInput &) = delete;

private:
    int &m_holding;
};

} // namespace

void LibreOfficeFactory::Private::whileWaiting() const
{
    if (options.whileWaiting)
        options.whileWaiting();
    else
        processEvents(holdingInput > 0 ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
}

void LibreOfficeFactory::Private::wait(int ms) const
{
    const QDeadlineTimer until(ms);
    do {
        whileWaiting();
        QThread::msleep(5);
    } while (!until.hasExpired());
}

void LibreOfficeFactory::Private::start()
{
    const QString program = findOffice(options.program);
    if (program.isEmpty())
        throw Failure(QStringLiteral("LibreOffice is not installed: no soffice program was found."));
    localContext(); // the runtime first: without it there is no point starting the office
    const HeldInput held(holdingInput);

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
        arguments << QStringLiteral("-env:UserInstallation=")
                + QUrl::fromLocalFile(profile).toString(QUrl::FullyEncoded);
        // Its temporary files too, so that they go with the profile even
        // when the office is killed.
        const QString temporary = profile + QStringLiteral("/tmp");
        if (QDir().mkpath(temporary))
            environment << QStringLiteral("TMPDIR=") + temporary;
    }

    address = QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe);
    sockets = QStringList{officeSocket(pipe)};
    try {
        process = std::make_shared<LibreOfficeProcess>(program, arguments, environment);
        // An office of ours that hangs is ended when it has no display (no
        // one can see it, or have work in it); one with a display may only
        // be waiting for its user, who can close it.
        std::function<void()> onHang;
        if (options.headless)
            onHang = [office = std::weak_ptr(process)] {
                if (const auto hung = office.lock())
                    hung->end(0);
            };
        calls = std::make_shared<OfficeCalls>(
            options.callTimeoutMs, [this] { whileWaiting(); }, std::move(onHang));
        connectWhileStarting();
        watch();
        // The office's own pipe, for its profile, beside the one we named.
        for (const QString &socket : socketsHeldBy(process->pid())) {
            if (!sockets.contains(socket))
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
            // The start's own time, not a call's: an office may answer its
            // first call only once it has fully started.
            const int left = int(std::max<qint64>(deadline.remainingTime(), 1000));
            context = calls->run([address = address] { return connect(address); }, left);
            return;
        } catch (const css::uno::Exception &) {
            // Not listening yet.
        }
        if (!handedOver && !process->running()) {
            // An office with a display that already runs for this user takes
            // the request over, and the launcher ends at once, successfully.
            handedOver = !options.headless && process->exitCode() == 0;
            if (!handedOver)
                throw Failure(
                    QStringLiteral("LibreOffice ended while starting (exit code %1).").arg(process->exitCode()));
        }
        if (deadline.hasExpired())
            throw Failure(QStringLiteral("LibreOffice did not start within %1 seconds.")
                              .arg(options.startTimeoutMs / 1000.0, 0, 'g', 3));
        wait(50);
    }
}

void LibreOfficeFactory::Private::forget(bool endOffice, int graceMs)
{
    if (watcher.is() && context.is() && calls->answering()) {
        try {
            calls->run(
                [context = context, watcher = watcher] {
                css::uno::Reference<css::document::XDocumentEventBroadcaster>(
                    css::frame::theGlobalEventBroadcaster::get(context), css::uno::UNO_QUERY_THROW)
                    ->removeDocumentEventListener(watcher);
                },
                2000);
        } catch (...) {
            // The office has gone, or drops the listener once it fails.
        }
    }
    watcher.clear();
    if (endOffice && context.is() && process && process->running() && calls->answering()) {
        const HeldInput held(holdingInput);
        try {
            calls->run([context = context] { css::frame::Desktop::create(context)->terminate(); },
                       std::max(graceMs, 1000));
        } catch (...) {
            // Ending it by force below.
        }
    }
    context.clear();
    calls.reset();
    const bool ended = ownsOffice() && (endOffice || !process->running());
    if (process) {
        if (endOffice)
            process->end(graceMs);
        process.reset();
    }
    // An office leaves its sockets behind when it is killed or crashes;
    // those that no longer listen are litter. An office just killed may
    // still be going for a moment.
    const QDeadlineTimer gone(ended ? 3000 : 0);
    for (const QString &socket : std::as_const(sockets)) {
        while (listening(socket) && !gone.hasExpired())
            QThread::msleep(10);
        struct stat status = {};
        if (lstat(QFile::encodeName(socket).constData(), &status) == 0 && S_ISSOCK(status.st_mode)
            && !listening(socket))
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

namespace {

// Hears the office's documents close, on a thread of the UNO runtime, and
// hands the news to the thread of the factory, which acts on it there. It
// holds the factory weakly: an office outlives the factory that started it.
class DocumentsClosing : public cppu::WeakImplHelper1<css::document::XDocumentEventListener>
{
public:
    explicit DocumentsClosing(std::function<void()> onClosed)
        : m_onClosed(std::move(onClosed))
    {
    }
    void SAL_CALL documentEventOccured(const css::document::DocumentEvent &event) override
    {
        if (event.EventName == "OnUnload")
            m_onClosed();
    }
    void SAL_CALL disposing(const css::lang::EventObject &) override {}

private:
    std::function<void()> m_onClosed;
};

} // namespace

// An office with a display that this factory started ends as the
// spreadsheet application of the original does: when the user closes its
// last document (the office would show its Start Center instead), and when
// the factory ends holding none of the user's documents. An office of the
// user's, which took our request over, is never ended.
bool LibreOfficeFactory::Private::ownsOffice() const
{
    return process && !handedOver;
}

void LibreOfficeFactory::Private::watch()
{
    if (!options.endsWithLastDocument || !ownsOffice() || !QCoreApplication::instance())
        return;
    const std::weak_ptr<Private> factory = weak_from_this();
    watcher = new DocumentsClosing([factory] {
        if (QCoreApplication *const application = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                application,
                [factory] {
                if (const auto alive = factory.lock())
                    alive->documentClosed();
                },
                Qt::QueuedConnection);
        }
    });
    try {
        calls->run([context = context, watcher = watcher] {
            css::uno::Reference<css::document::XDocumentEventBroadcaster>(
                css::frame::theGlobalEventBroadcaster::get(context), css::uno::UNO_QUERY_THROW)
                ->addDocumentEventListener(watcher);
        });
    } catch (...) {
        // Not watched: the office ends at the latest with the factory.
        watcher.clear();
    }
}

bool LibreOfficeFactory::Private::holdsDocuments()
{
    if (!context.is() || !calls->answering())
        return true;
    try {
        return calls->run(
            [context = context] {
            const auto components = css::frame::Desktop::create(context)->getComponents()->createEnumeration();
            while (components->hasMoreElements()) {
                // The Start Center is a component too, but no document.
                if (css::uno::Reference<css::frame::XModel>(components->nextElement(), css::uno::UNO_QUERY).is())
                    return true;
            }
            return false;
            },
            5000);
    } catch (const css::lang::DisposedException &) {
        return false; // the office has gone
    } catch (...) {
        return true; // it may only be busy with its user
    }
}

void LibreOfficeFactory::Private::documentClosed()
{
    if (starting || inUse.use_count() > 1 || !context.is() || !ownsOffice() || holdsDocuments())
        return;
    forget(true, 5000);
}

LibreOfficeFactory::LibreOfficeFactory(LibreOfficeOptions options)
    : d(std::make_shared<Private>())
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
        // An office that stopped answering is given up: another one starts.
        if (d->context.is() && !d->calls->answering())
            d->forget(d->options.headless, 0);
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
        // Our own hold on the calls: a command started while we wait may
        // give this office up and start another.
        const std::shared_ptr<OfficeCalls> calls = d->calls;
        try {
            auto desktop = calls->run([context = d->context] { return css::frame::Desktop::create(context); });
            return std::make_unique<CalcApplication>(calls, std::move(desktop), d->options.headless, d->inUse,
                                                     d->options.importFromCells);
        } catch (const css::lang::DisposedException &) {
            // The office we started has gone (closed by the user, or
            // crashed): start another one, once (unless a command started
            // meanwhile already did).
            if (d->calls == calls)
                d->forget(d->options.headless, 0);
            if (attempt > 0)
                throw Failure(QStringLiteral("LibreOffice closed the connection as soon as it was made."));
        } catch (const css::uno::Exception &) {
            throw Failure(describeCaughtException());
        } catch (const Failure &) {
            // It did not answer: the same, once.
            if (attempt > 0 || calls->answering())
                throw;
            if (d->calls == calls)
                d->forget(d->options.headless, 0);
        }
    }
}

bool LibreOfficeFactory::windowReadable() const
{
    if (d->options.headless)
        return true; // no window: nothing to read
    const QString program = findOffice(d->options.program);
    if (program.isEmpty())
        return true; // no office: it says so itself
    // Its own folder, where a link to it (/usr/bin/soffice) leads.
    const QString real = QFileInfo(program).canonicalFilePath();
    const QDir folder = QFileInfo(real.isEmpty() ? program : real).absoluteDir();
    const auto has = [&folder](const QString &toolkit) {
        return folder.exists(QStringLiteral("libvclplug_%1lo.so").arg(toolkit));
    };
    const QString told = qEnvironmentVariable("SAL_USE_VCLPLUGIN");
    if (!told.isEmpty())
        return readableToolkits.contains(told) && has(told);
    return std::any_of(readableToolkits.cbegin(), readableToolkits.cend(), has);
}

qint64 LibreOfficeFactory::officeProcessId() const
{
    return d->process ? d->process->pid() : 0;
}

QStringList LibreOfficeFactory::officeSockets() const
{
    return d->process ? d->sockets : QStringList();
}

QString LibreOfficeFactory::officeAddress() const
{
    return d->context.is() ? d->address : QString();
}

void LibreOfficeFactory::shutDown()
{
    d->forget(d->options.headless || (d->options.endsWithLastDocument && d->ownsOffice() && !d->holdsDocuments()),
              5000);
}
