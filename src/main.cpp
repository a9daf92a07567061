#include "app/Form1.h"
#include "app/TerminationSignals.h"
#include "cli/CommandLine.h"
#include "cli/FileNames.h"
#include "export/Clipboard.h"
#include "export/Spreadsheet.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (argc > 1) {
        // The command line runs without a window, so no display is needed.
        QCoreApplication application(argc, argv);
        // File names are taken as the bytes they are, which Qt's own decoding of the arguments would not keep.
        return runCommandLine(decodedArguments(argc, argv), executableFolder());
    }
    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("org.kestrova.Orvelle"));
    SystemClipboard clipboard;
    const auto spreadsheets = makeDefaultSpreadsheetFactory();
    Form1 window({clipboard, *spreadsheets});
    closeOnTermination(&window);
    window.show();
    return application.exec();
}
