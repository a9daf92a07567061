#include "app/Form1.h"
#include "app/SystemClipboard.h"
#include "app/TerminationSignals.h"
#include "export/Spreadsheet.h"

#include <QApplication>

// The window, started by the command line's executable when it is given no
// arguments but Qt's own; its database and plugins lie beside it.
int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Named as the command that starts it, not as its executable: the
    // window's class on the desktop and on the accessibility bus.
    QApplication::setApplicationName(QStringLiteral("orvelle"));
    QApplication::setDesktopFileName(QStringLiteral("org.kestrova.Orvelle"));
    SystemClipboard clipboard;
    const auto spreadsheets = makeDefaultSpreadsheetFactory();
    Form1 window({clipboard, *spreadsheets});
    closeOnTermination(&window);
    window.show();
    return application.exec();
}
