#include "export/SpreadsheetPlugin.h"
#include "export/libreoffice/LibreOffice.h"

// The entry point the program looks up when it loads this library.
extern "C" SpreadsheetFactory *orvelleSpreadsheetFactory()
{
    return new LibreOfficeFactory();
}
