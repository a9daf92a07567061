// Takes the README's screenshot: the real window on an X display (Xvfb),
// after a generation with a few rows ticked. Usage: screenshot out.png
#include "app/Form1.h"
#include "app/ProgressBar.h"
#include "app/ResultView.h"
#include "app/SystemClipboard.h"
#include "export/Spreadsheet.h"
#include "generate/ResultList.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    SystemClipboard clipboard;
    const auto spreadsheets = makeDefaultSpreadsheetFactory();
    Form1Services services(clipboard, *spreadsheets);
    services.programFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    Form1 window(services);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("PushButton2")), Qt::LeftButton);
    for (int row : {1, 2, 4, 7})
        window.list().setChecked(row, true);
    window.findChild<ResultView *>(QStringLiteral("ListView1"))->setSelectedRow(4);
    window.progressBar().setValue(62.5);
    window.progressBar().setText(QStringLiteral("Writing file: places.txt"));
    QTest::qWait(300);
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
