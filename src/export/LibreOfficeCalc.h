#pragma once

// The Calc side of the LibreOffice backend: an application object on an
// office's desktop. This header needs the SDK and the generated API headers.

#include "export/Spreadsheet.h"

#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/uno/Reference.hxx>

// An application object: the office's desktop, and the Calc document it
// added last with that document's view.
class CalcApplication : public SpreadsheetApplication
{
public:
    CalcApplication(css::uno::Reference<css::frame::XDesktop2> desktop, bool headless);

    void addWorkbook() override;
    void setCell(int row, int column, const QString &value) override;
    void autofitColumns() override;
    void setVisible(bool visible) override;

private:
    // The active sheet, fetched anew for every use.
    css::uno::Reference<css::sheet::XSpreadsheet> activeSheet() const;

    css::uno::Reference<css::frame::XDesktop2> m_desktop;
    css::uno::Reference<css::frame::XController> m_controller;
    css::uno::Reference<css::sheet::XSpreadsheetView> m_view;
    bool m_headless;
};
