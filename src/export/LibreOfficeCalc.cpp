#include "export/LibreOfficeCalc.h"

#include "export/LibreOfficeUno.h"
#include "shell/Failure.h"

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;
using namespace LibreOfficeUno;

// Every call into the office is made on the calling (GUI) thread. The bridge
// runs threads of its own, but this process hands the office no objects of
// its own (no listeners, no callbacks), so none of them ever calls back in.

namespace {

// Runs calls into the office, turning what UNO throws into a Failure.
template <typename Calls>
void callOffice(Calls &&calls)
{
    try {
        calls();
    } catch (const css::uno::Exception &) {
        throw Failure(describeCaughtException());
    }
}

css::beans::PropertyValue property(const char *name, const css::uno::Any &value)
{
    css::beans::PropertyValue result;
    result.Name = OUString::createFromAscii(name);
    result.Value = value;
    return result;
}

} // namespace

CalcApplication::CalcApplication(Reference<css::frame::XDesktop2> desktop, bool headless)
    : m_desktop(std::move(desktop))
    , m_headless(headless)
{
}

void CalcApplication::addWorkbook()
{
    callOffice([&] {
        // A headless office cannot make a visible document: it aborts.
        const css::beans::PropertyValue hidden = property("Hidden", css::uno::Any(true));
        const css::uno::Sequence<css::beans::PropertyValue> arguments(&hidden, m_headless ? 1 : 0);
        const Reference<css::lang::XComponent> document =
            m_desktop->loadComponentFromURL("private:factory/scalc", "_blank", 0, arguments);
        const Reference<css::frame::XModel> model(document, UNO_QUERY);
        if (!model.is())
            throw Failure(QStringLiteral("LibreOffice could not make a new Calc document."));
        const Reference<css::frame::XController> controller = model->getCurrentController();
        const Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY);
        if (!view.is())
            throw Failure(QStringLiteral("LibreOffice made a Calc document without a sheet view."));
        m_controller = controller;
        m_view = view;
    });
}

void CalcApplication::setCell(int row, int column, const QString &value)
{
    callOffice([&] {
        const Reference<css::table::XCell> cell = activeSheet()->getCellByPosition(column - 1, row - 1);
        // A leading apostrophe makes Calc take the rest as text as it is,
        // as when typed in. Nothing at all empties the cell.
        cell->setFormula(value.isEmpty() ? OUString() : toOUString(QLatin1Char('\'') + value));
    });
}

void CalcApplication::autofitColumns()
{
    callOffice([&] {
        const Reference<css::table::XColumnRowRange> ranges(activeSheet(), UNO_QUERY_THROW);
        const Reference<css::beans::XPropertySet> columns(ranges->getColumns(), UNO_QUERY_THROW);
        columns->setPropertyValue("OptimalWidth", css::uno::Any(true));
    });
}

void CalcApplication::setVisible(bool visible)
{
    callOffice([&] {
        // Without a document there is no window to show, but the office
        // must still be there.
        if (!m_controller.is()) {
            m_desktop->getCurrentFrame();
            return;
        }
        const Reference<css::frame::XFrame> frame = m_controller->getFrame();
        if (!frame.is())
            throw Failure(QStringLiteral("The Calc document has no window."));
        const Reference<css::awt::XWindow> window = frame->getContainerWindow();
        // Without a display the document stays hidden: there is no one to show it to.
        if (m_headless || !window.is())
            return;
        window->setVisible(visible);
        const Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
        if (visible && top.is())
            top->toFront();
    });
}

Reference<css::sheet::XSpreadsheet> CalcApplication::activeSheet() const
{
    if (!m_view.is())
        throw Failure(QStringLiteral("No Calc document is open."));
    const Reference<css::sheet::XSpreadsheet> sheet = m_view->getActiveSheet();
    if (!sheet.is())
        throw Failure(QStringLiteral("The Calc document has no active sheet."));
    return sheet;
}
