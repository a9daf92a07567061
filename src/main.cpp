#include "app/Form1.h"
#include "app/TerminationSignals.h"
#include "export/Clipboard.h"
#include "export/Spreadsheet.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("orvelle"));
    SystemClipboard clipboard;
    const auto spreadsheets = makeDefaultSpreadsheetFactory();
    Form1Services services;
    services.clipboard = &clipboard;
    services.spreadsheets = spreadsheets.get();
    Form1 window(services);
    closeOnTermination(&window);
    window.show();
    return application.exec();
}
