#pragma once

#include <QString>

class Dialogs;

// The text of the uniform error report: description, CR LF, the procedure's
// source text, "at line " and the step, CR CR, and the request to write to support.
QString errorReportText(const QString &description, const QString &source, int step);

// Shows the report ("Application Error", warning icon, OK) and waits for the user.
void ErrorReport(Dialogs &dialogs, const QString &description, const QString &source, int step);

// The support address configured at build time.
QString supportAddress();
