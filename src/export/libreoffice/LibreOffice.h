#pragma once

#include "export/Spreadsheet.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// How the program reaches LibreOffice.
struct LibreOfficeOptions
{
    // The office's launcher; empty: the one found beside the SDK at build
    // time, else "soffice" or "libreoffice" on the PATH.
    QString program;
    // No display: the office runs headless and its documents stay hidden.
    bool headless = true;
    // Headless offices get a profile of their own in a new temporary folder
    // under this one (empty: the system's temporary folder), removed when the
    // office ends. An office with a display uses the user's own profile.
    QString profileParent;
    // An office this factory starts ends when the last document in it closes,
    // and with the factory when it holds no document; an office of the
    // user's that takes the request over never does. Without it, an office
    // with a display outlives the factory. Set for offices with a display.
    bool endsWithLastDocument = false;
    // How long the office may take to start and accept the connection.
    int startTimeoutMs = 20000;
    // How long one call into the office may take. An office that lets a call
    // wait longer counts as hung: the call fails, and so does every later
    // call to it; the next application object starts a fresh office. One
    // without a display is ended then.
    int callTimeoutMs = 30000;
    // Cells that the export hands over at once from this many on go into
    // the new document's empty sheet through the office's own text import,
    // which stores them in about the time it takes to read them from a file,
    // whatever the pattern of ticked rows; fewer go as ranges of the sheet.
    int importFromCells = 4096;
    // Called every few milliseconds while the office starts or a call into it
    // takes a while; it must not throw. Empty: lets the application process
    // its pending events, as the window does at the yields of a long
    // command: a command started meanwhile (another export included) makes
    // its calls after the one waited for. While the office starts or is
    // ended, clicks and keys wait until afterwards.
    std::function<void()> whileWaiting;

    // Headless when there is no display: neither DISPLAY nor WAYLAND_DISPLAY
    // is set, or Qt runs on the offscreen or minimal platform.
    static LibreOfficeOptions forThisSession();
};

// Application objects on a LibreOffice office: the office this factory
// started, while it runs, else a new one. Each application object opens its
// workbooks as new Calc documents in that office.
//
// A headless office is ended with the factory (its documents can be seen by
// no one); an office with a display that it started stays while it holds a
// document of the user's, and ends when the user closes the last one (as the
// spreadsheet application of the original does, without LibreOffice's Start
// Center) or when the factory ends while it holds none (see
// LibreOfficeOptions::endsWithLastDocument). An office of the user's that
// took the request over is never ended.
// The application objects it makes must not outlive it.
class LibreOfficeFactory : public SpreadsheetFactory
{
public:
    explicit LibreOfficeFactory(LibreOfficeOptions options = LibreOfficeOptions::forThisSession());
    ~LibreOfficeFactory() override;

    LibreOfficeFactory(const LibreOfficeFactory &) = delete;
    LibreOfficeFactory &operator=(const LibreOfficeFactory &) = delete;

    std::unique_ptr<SpreadsheetApplication> create() override;
    // An office with a display is read by a screen reader only through a
    // desktop toolkit's plugin of its own (GTK, KDE, Qt: Debian's
    // libreoffice-gtk3 and the like), the one it is told to use or, when
    // not told, any it has; its own X11 one has no way to the bus.
    bool windowReadable() const override;

    // The office this factory started, while it holds it: the process id of
    // its launcher (0 when none), and the UNO address of its component
    // context once connected (empty when not).
    qint64 officeProcessId() const;
    QString officeAddress() const;
    // The named pipes (sockets in /tmp) of the office this factory started,
    // while it holds it: the one it named for the office, and the office's
    // own for its profile. Once the office has ended (ended by the factory,
    // killed, crashed, or given up as hung), the factory removes those left.
    QStringList officeSockets() const;

    // Ends the office when this factory started it headless, or with a
    // display and it holds no document; otherwise only lets go of the
    // connection.
    void shutDown();

private:
    struct Private;
    std::shared_ptr<Private> d;
};
