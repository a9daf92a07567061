#include "shell/ErrorReport.h"

#include "shell/Dialogs.h"

QString supportAddress()
{
    return QStringLiteral(ORVELLE_SUPPORT_ADDRESS);
}

QString errorReportText(const QString &description, const QString &source, int step)
{
    return description + QLatin1String("\r\n") + source + QLatin1String("at line ") + QString::number(step)
        + QLatin1String("\r\r") + QLatin1String("Please email screenshot of this message to ") + supportAddress();
}

void ErrorReport(Dialogs &dialogs, const QString &description, const QString &source, int step)
{
    dialogs.showMessage(QStringLiteral("Application Error"), errorReportText(description, source, step),
                        Dialogs::Icon::Warning);
}
