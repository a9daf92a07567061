#include "export/libreoffice/LibreOfficeCalc.h"

#include "export/libreoffice/LibreOfficeCalls.h"
#include "export/libreoffice/LibreOfficeUno.h"
#include "shell/Failure.h"

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>

#include <algorithm>
#include <utility>

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;
using namespace LibreOfficeUno;

// Every call into the office is made on the office's own thread (see
// OfficeCalls), one at a time, while the GUI thread waits. This process hands
// the office no objects of its own (no listeners, no callbacks), so nothing
// ever calls back in.

namespace {

css::beans::PropertyValue property(const char *name, const css::uno::Any &value)
{
    css::beans::PropertyValue result;
    result.Name = OUString::createFromAscii(name);
    result.Value = value;
    return result;
}

// What Calc takes as the literal text `value`: a leading apostrophe makes it
// take the rest as text as it is, as when typed in. Nothing at all empties
// the cell.
OUString literalText(const QString &value)
{
    return value.isEmpty() ? OUString() : toOUString(QLatin1Char('\'') + value);
}

// The active sheet of `view`, fetched anew for every use.
Reference<css::sheet::XSpreadsheet> activeSheet(const Reference<css::sheet::XSpreadsheetView> &view)
{
    if (!view.is())
        throw Failure(QStringLiteral("No Calc document is open."));
    const Reference<css::sheet::XSpreadsheet> sheet = view->getActiveSheet();
    if (!sheet.is())
        throw Failure(QStringLiteral("The Calc document has no active sheet."));
    return sheet;
}

} // namespace

CalcApplication::CalcApplication(std::shared_ptr<OfficeCalls> calls, Reference<css::frame::XDesktop2> desktop,
                                 bool headless)
    : m_calls(std::move(calls))
    , m_desktop(std::move(desktop))
    , m_headless(headless)
{
}

template <typename Call>
auto CalcApplication::callOffice(Call call) -> decltype(call())
{
    try {
        return m_calls->run(std::move(call));
    } catch (const css::uno::Exception &) {
        throw Failure(describeCaughtException());
    }
}

void CalcApplication::addWorkbook()
{
    const auto [controller, view] = callOffice([desktop = m_desktop, headless = m_headless] {
        // A headless office cannot make a visible document: it aborts.
        const css::beans::PropertyValue hidden = property("Hidden", css::uno::Any(true));
        const css::uno::Sequence<css::beans::PropertyValue> arguments(&hidden, headless ? 1 : 0);
        const Reference<css::lang::XComponent> document =
            desktop->loadComponentFromURL("private:factory/scalc", "_blank", 0, arguments);
        const Reference<css::frame::XModel> model(document, UNO_QUERY);
        if (!model.is())
            throw Failure(QStringLiteral("LibreOffice could not make a new Calc document."));
        const Reference<css::frame::XController> controller = model->getCurrentController();
        const Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY);
        if (!view.is())
            throw Failure(QStringLiteral("LibreOffice made a Calc document without a sheet view."));
        return std::pair(controller, view);
    });
    m_controller = controller;
    m_view = view;
}

void CalcApplication::setCell(int row, int column, const QString &value)
{
    callOffice([view = m_view, row, column, text = literalText(value)] {
        activeSheet(view)->getCellByPosition(column - 1, row - 1)->setFormula(text);
    });
}

void CalcApplication::setCells(int row, int column, const QList<QStringList> &cells)
{
    qsizetype width = 0;
    for (const QStringList &texts : cells)
        width = std::max(width, texts.size());
    if (width == 0)
        return;
    // The same texts as setCell sends, so that Calc reads each as it would there.
    css::uno::Sequence<css::uno::Sequence<OUString>> block(sal_Int32(cells.size()));
    auto *blockRow = block.getArray();
    for (const QStringList &texts : cells) {
        css::uno::Sequence<OUString> line(static_cast<sal_Int32>(width));
        auto *text = line.getArray();
        for (const QString &value : texts)
            *text++ = literalText(value);
        *blockRow++ = std::move(line);
    }
    const sal_Int32 left = column - 1;
    const sal_Int32 top = row - 1;
    callOffice([view = m_view, block = std::move(block), left, top, width] {
        const Reference<css::table::XCellRange> range = activeSheet(view)->getCellRangeByPosition(
            left, top, left + sal_Int32(width) - 1, top + block.getLength() - 1);
        Reference<css::sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)->setFormulaArray(block);
    });
}

void CalcApplication::autofitColumns()
{
    callOffice([view = m_view] {
        const Reference<css::table::XColumnRowRange> ranges(activeSheet(view), UNO_QUERY_THROW);
        const Reference<css::beans::XPropertySet> columns(ranges->getColumns(), UNO_QUERY_THROW);
        columns->setPropertyValue("OptimalWidth", css::uno::Any(true));
    });
}

void CalcApplication::setVisible(bool visible)
{
    callOffice([desktop = m_desktop, controller = m_controller, headless = m_headless, visible] {
        // Without a document there is no window to show, but the office
        // must still be there.
        if (!controller.is()) {
            desktop->getCurrentFrame();
            return;
        }
        const Reference<css::frame::XFrame> frame = controller->getFrame();
        if (!frame.is())
            throw Failure(QStringLiteral("The Calc document has no window."));
        const Reference<css::awt::XWindow> window = frame->getContainerWindow();
        // Without a display the document stays hidden: there is no one to show it to.
        if (headless || !window.is())
            return;
        window->setVisible(visible);
        const Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
        if (visible && top.is())
            top->toFront();
    });
}
