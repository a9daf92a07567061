#pragma once

// The Calc side of the LibreOffice backend: an application object on an
// office's desktop. This header needs the SDK and the generated API headers.

#include "export/Spreadsheet.h"

#include <QHashFunctions>
#include <QString>

#include <map>
#include <memory>
#include <unordered_set>

#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/uno/Reference.hxx>

class OfficeCalls;

// An application object: the office's desktop, and the Calc document it
// added last with that document's view. Its calls go through the office's
// `calls`, so that an office that hangs makes them fail instead.
class CalcApplication : public SpreadsheetApplication
{
public:
    // For the sets of texts.
    struct Hash
    {
        std::size_t operator()(const QString &text) const { return qHash(text); }
    };

    // `inUse` is held while the object lives. Rectangles of `importFrom`
    // cells and more go into an empty sheet through the office's own text
    // import (see LibreOfficeOptions::importFromCells).
    CalcApplication(std::shared_ptr<OfficeCalls> calls, css::uno::Reference<css::frame::XDesktop2> desktop,
                    bool headless, std::shared_ptr<int> inUse = {}, sal_Int64 importFrom = 4096);

    void addWorkbook() override;
    void setCell(int row, int column, const QString &value) override;
    void setCells(int row, int column, const QList<QStringList> &cells) override;
    void setRectangles(const std::vector<SheetRectangle> &rectangles, std::size_t &stored) override;
    bool storesAllAtOnce() const override { return true; }
    void autofitColumns() override;
    void setVisible(bool visible) override;

private:
    // Stores the rectangles as ranges of the sheet, in one call.
    void storeInRanges(std::vector<SheetRectangle> rectangles);

    // Runs `call` through the office's calls (see OfficeCalls::run: it must
    // capture by value, and `limitMs` below 0 is the office's own limit),
    // turning what UNO throws into a Failure.
    template <typename Call> auto callOffice(Call call, int limitMs = -1) -> decltype(call());

    // What the object wrote into its sheet, column by column (from 0): the
    // distinct texts, and how many cells got one. Noted on the office's
    // thread, as the cells go out.
    struct Written
    {
        std::map<sal_Int32, std::unordered_set<QString, Hash>> texts;
        std::map<sal_Int32, sal_Int64> cells;
        void note(sal_Int32 column, const QString &text);
        void note(const std::vector<SheetRectangle> &rectangles);
        // Takes in what `other` noted.
        void add(Written &&other);
    };

    std::shared_ptr<OfficeCalls> m_calls;
    std::shared_ptr<Written> m_written = std::make_shared<Written>();
    css::uno::Reference<css::frame::XDesktop2> m_desktop;
    css::uno::Reference<css::frame::XController> m_controller;
    css::uno::Reference<css::sheet::XSpreadsheetView> m_view;
    bool m_headless;
    sal_Int64 m_importFrom;
    std::shared_ptr<int> m_inUse;
};
