#include "export/LibreOffice.h"

#include "shell/Failure.h"

// Built without the LibreOffice SDK: there is no way to reach the office, so
// the application is missing whatever is installed.

LibreOfficeOptions LibreOfficeOptions::forThisSession()
{
    return LibreOfficeOptions();
}

struct LibreOfficeFactory::Private
{
};

LibreOfficeFactory::LibreOfficeFactory(LibreOfficeOptions)
    : d(std::make_unique<Private>())
{
}

LibreOfficeFactory::~LibreOfficeFactory() = default;

std::unique_ptr<SpreadsheetApplication> LibreOfficeFactory::create()
{
    throw Failure(QStringLiteral("LibreOffice is not installed: this program was built without LibreOffice support."));
}

qint64 LibreOfficeFactory::officeProcessId() const
{
    return 0;
}

QString LibreOfficeFactory::officeAddress() const
{
    return QString();
}

void LibreOfficeFactory::shutDown()
{
}

std::unique_ptr<SpreadsheetFactory> makeDefaultSpreadsheetFactory()
{
    return std::make_unique<LibreOfficeFactory>();
}
