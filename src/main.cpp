#include "app/Form1.h"
#include "app/TerminationSignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("org.kestrova.Orvelle"));
    Form1 window;
    closeOnTermination(&window);
    window.show();
    return application.exec();
}
