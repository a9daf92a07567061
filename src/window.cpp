#include "app/DisplayOpening.h"
#include "app/Form1.h"
#include "app/SystemClipboard.h"
#include "app/TerminationSignals.h"
#include "export/Spreadsheet.h"

#include <QApplication>

// The window, started by the command line's executable when it is given no
// arguments but Qt's own; its database and plugins lie beside it.
int main(int argc, char *argv[])
{
    watchDisplayOpening(argc, argv);
    QApplication application(argc, argv);
    displayOpened();
    // Named as the command that starts it, not as its executable: the
    // window's class on the desktop and on the accessibility bus.
    QApplication::setApplicationName(QStringLiteral("orvelle"));
    QApplication::setDesktopFileName(QStringLiteral("org.kestrova.Orvelle"));
    // From the start: a signal while a start-up message waits ends the window too.
    catchTerminationSignals();
    SystemClipboard clipboard;
    const auto spreadsheets = makeDefaultSpreadsheetFactory();
    Form1 window({clipboard, *spreadsheets});
    closeOnTermination(&window);
    if (terminationRequested()) // closed already, as it was never shown
        return 0;
    window.show();
    return application.exec();
}
