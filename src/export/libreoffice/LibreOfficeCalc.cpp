#include "export/libreoffice/LibreOfficeCalc.h"

#include "export/libreoffice/LibreOfficeCalls.h"
#include "export/libreoffice/LibreOfficeUno.h"
#include "shell/Failure.h"
#include "shell/TemporaryFiles.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUrl>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/sheet/XSheetLinkable.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <com/sun/star/uno/Sequence.hxx>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;
using namespace LibreOfficeUno;

// Every call into the office is made on the office's own thread (see
// OfficeCalls), one at a time, while the GUI thread waits. The application
// objects hand the office no objects of their own (no listeners, no
// callbacks), so nothing calls back in; the factory's one listener only
// passes news on to the GUI thread (see LibreOffice.cpp).

namespace {

// The folders in the temporary folder that hand a sheet's texts to the office.
constexpr QByteArrayView importFolderPrefix = "orvelle-";

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

// Whether `c` is a Latin letter, digit or sign, which Calc sets in the
// format's own font, glyph by glyph.
bool isLatinSign(char16_t c)
{
    return (c >= 0x20 && c <= 0x7e) || (c >= 0xa0 && c <= 0x24f);
}

// Whether `text`, alone in a cell of the default format, leaves its row as
// high as an empty one: one line of Latin letters, digits and signs.
bool keepsRowHeight(const OUString &text)
{
    return std::all_of(text.getStr(), text.getStr() + text.getLength(), isLatinSign);
}

// Runs `change` on the document of `view` with Calc's undo off and, if
// `sameHeights`, its fitting of the rows' heights off; both on again
// afterwards, also after a failure. Calc otherwise copies what a change
// replaces into an undo document first, and measures the rows after, which
// makes a store cost about a third more. The document's undo list is
// emptied meanwhile.
template <typename Change>
void withoutUndo(const Reference<css::sheet::XSpreadsheetView> &view, bool sameHeights, Change change)
{
    const Reference<css::beans::XPropertySet> document(
        Reference<css::frame::XController>(view, UNO_QUERY_THROW)->getModel(), UNO_QUERY_THROW);
    const auto turn = [&](bool on) {
        document->setPropertyValue("IsUndoEnabled", css::uno::Any(on));
        if (sameHeights)
            document->setPropertyValue("IsAdjustHeightEnabled", css::uno::Any(on));
    };
    turn(false);
    auto backOn = qScopeGuard([&] {
        try {
            turn(true);
        } catch (const css::uno::Exception &) {
            // The change failed already, which is what the caller learns.
        }
    });
    change();
    backOn.dismiss();
    turn(true);
}

// Runs `store`, which stores `texts` into `range` of the document of `view`,
// without undo and, where it would change no row, without fitting the rows'
// heights. Rows change height only for a text of more than one line or of
// another script, or in a cell formatted otherwise (one the user set to
// wrap, or a larger font): their rows are fitted as always.
template <typename Store>
void storeQuickly(const Reference<css::sheet::XSpreadsheetView> &view, const Reference<css::table::XCellRange> &range,
                  const css::uno::Sequence<css::uno::Sequence<OUString>> &texts, Store store)
{
    bool sameHeights = true;
    for (const css::uno::Sequence<OUString> &line : texts)
        sameHeights = sameHeights && std::all_of(line.begin(), line.end(), keepsRowHeight);
    sameHeights = sameHeights
        && Reference<css::sheet::XCellRangesQuery>(range, UNO_QUERY_THROW)
                ->queryContentCells(css::sheet::CellFlags::HARDATTR)
                ->getCount()
            == 0;
    withoutUndo(view, sameHeights, store);
}

// Every kind of content a cell can have, formatting included.
constexpr sal_Int16 everything = css::sheet::CellFlags::VALUE | css::sheet::CellFlags::DATETIME
    | css::sheet::CellFlags::STRING | css::sheet::CellFlags::ANNOTATION | css::sheet::CellFlags::FORMULA
    | css::sheet::CellFlags::HARDATTR | css::sheet::CellFlags::STYLES | css::sheet::CellFlags::OBJECTS
    | css::sheet::CellFlags::EDITATTR | css::sheet::CellFlags::FORMATTED;

// What Calc measures when it fits a column.
constexpr sal_Int16 measurable = css::sheet::CellFlags::VALUE | css::sheet::CellFlags::DATETIME
    | css::sheet::CellFlags::STRING | css::sheet::CellFlags::FORMULA;

// How many cells of `range` hold something of `flags`.
sal_Int64 cellsHolding(const Reference<css::table::XCellRange> &range, sal_Int16 flags)
{
    sal_Int64 cells = 0;
    for (const css::table::CellRangeAddress &part :
         Reference<css::sheet::XCellRangesQuery>(range, UNO_QUERY_THROW)->queryContentCells(flags)->getRangeAddresses())
        cells += sal_Int64(part.EndRow - part.StartRow + 1) * (part.EndColumn - part.StartColumn + 1);
    return cells;
}

// The texts of `rectangles` as the office's own text import reads them into
// the same cells as text, in parts one after the other: one line per sheet
// row from row 1, fields apart by tabs from column 1, a field with a quote
// in quotes with its quotes doubled. Empty when a text would not come
// through that import as setCell stores it (a line break or tab in it,
// another script than Latin, or "=" first, which setCell formats as text
// where the import does not), or when a rectangle lies outside `rows` x
// `columns`. `texts`: the non-empty cells.
std::vector<std::string> importedText(const std::vector<SheetRectangle> &rectangles, sal_Int32 rows,
                                      sal_Int32 columns, sal_Int64 &texts, sal_Int32 &width)
{
    struct Entry
    {
        sal_Int32 row;
        sal_Int32 column;
        const QString *text;
    };
    std::vector<Entry> entries;
    std::size_t cells = 0;
    for (const SheetRectangle &rectangle : rectangles)
        cells += std::size_t(rectangle.cells.size()) * std::size_t(rectangle.cells.value(0).size());
    entries.reserve(cells);
    for (const SheetRectangle &rectangle : rectangles) {
        for (qsizetype i = 0; i < rectangle.cells.size(); ++i) {
            for (qsizetype j = 0; j < rectangle.cells[i].size(); ++j)
                entries.push_back({rectangle.row + sal_Int32(i), rectangle.column + sal_Int32(j), &rectangle.cells[i][j]});
        }
    }
    const auto before = [](const Entry &a, const Entry &b) {
        return std::pair(a.row, a.column) < std::pair(b.row, b.column);
    };
    if (!std::is_sorted(entries.begin(), entries.end(), before))
        std::stable_sort(entries.begin(), entries.end(), before);

    // The lines of entries [first, end), after the cell of entry first - 1.
    struct Part
    {
        std::string text;
        sal_Int64 texts = 0;
        sal_Int32 width = 0;
        bool unchanged = true;
    };
    const auto part = [&](std::size_t first, std::size_t end) {
        Part part;
        part.text.reserve((end - first) * 24);
        sal_Int32 row = first == 0 ? 1 : entries[first - 1].row;
        sal_Int32 column = first == 0 ? 1 : entries[first - 1].column;
        for (std::size_t k = first; k < end; ++k) {
            const Entry &entry = entries[k];
            // A later rectangle writes the same cell: its text is the one kept.
            if (k + 1 < entries.size() && entries[k + 1].row == entry.row && entries[k + 1].column == entry.column)
                continue;
            const std::u16string_view value(reinterpret_cast<const char16_t *>(entry.text->constData()),
                                            std::size_t(entry.text->size()));
            if (entry.row < 1 || entry.column < 1 || entry.row > rows || entry.column > columns
                || value.starts_with(u'=') || !std::all_of(value.begin(), value.end(), isLatinSign)) {
                part.unchanged = false;
                break;
            }
            part.text.append(std::size_t(entry.row - row), '\n');
            if (entry.row != row)
                column = 1;
            part.text.append(std::size_t(entry.column - column), '\t');
            row = entry.row;
            column = entry.column;
            // UTF-8, of one byte or two for these.
            const bool quoted = value.find(u'"') != value.npos;
            if (quoted)
                part.text += '"';
            for (const char16_t c : value) {
                if (c < 0x80) {
                    part.text += char(c);
                    if (c == u'"')
                        part.text += '"';
                } else {
                    part.text += char(0xc0 | (c >> 6));
                    part.text += char(0x80 | (c & 0x3f));
                }
            }
            if (quoted)
                part.text += '"';
            part.texts += value.empty() ? 0 : 1;
            part.width = std::max(part.width, entry.column);
        }
        return part;
    };
    // The two halves at once, on two threads.
    const std::size_t half = entries.size() / 2;
    Part first;
    Part second;
    {
        const std::jthread other([&] { second = part(half, entries.size()); });
        first = part(0, half);
    }
    if (!first.unchanged || !second.unchanged)
        return {};
    texts = first.texts + second.texts;
    width = std::max(first.width, second.width);
    second.text += '\n';
    return {std::move(first.text), std::move(second.text)};
}

// Stores `rectangles` into the active sheet of `view` through the office's
// own text import, which costs the office about what the same cells cost it
// in a file, whatever their pattern; a range, whose empty cells each cost
// it more, costs three times that and more for scattered rows. The import
// replaces the whole sheet, its rows' heights included: the document must
// be as it was made (nothing typed, formatted or resized, nothing stored
// yet). Else, or when the texts do not go through the import unchanged (see
// importedText), or the file cannot be written, returns false, with the
// sheet as it was. Undo stays off meanwhile, as for the stores of ranges.
// `meanwhile` runs on a thread of its own while the office imports.
bool importIntoEmptySheet(const Reference<css::sheet::XSpreadsheetView> &view,
                          const std::vector<SheetRectangle> &rectangles, const std::function<void()> &meanwhile)
{
    // Nothing changed since the document was made: not a cell typed or
    // formatted, not a row's height set (and nothing stored yet).
    if (Reference<css::util::XModifiable>(Reference<css::frame::XController>(view, UNO_QUERY_THROW)->getModel(),
                                          UNO_QUERY_THROW)
            ->isModified())
        return false;
    const Reference<css::sheet::XSpreadsheet> sheet = activeSheet(view);
    const Reference<css::table::XColumnRowRange> lines(sheet, UNO_QUERY_THROW);
    const sal_Int32 rows = lines->getRows()->getCount();
    const sal_Int32 columns = lines->getColumns()->getCount();
    const Reference<css::table::XCellRange> whole = sheet->getCellRangeByPosition(0, 0, columns - 1, rows - 1);
    if (cellsHolding(whole, everything) != 0)
        return false;
    sal_Int64 texts = 0;
    sal_Int32 width = 0;
    const std::vector<std::string> text = importedText(rectangles, rows, columns, texts, width);
    if (text.empty())
        return false;

    // The file is the office's to read: a folder of this user's alone,
    // gone when the import is; those that killed windows left go first.
    removeLeftovers(QDir::tempPath(), importFolderPrefix);
    const QTemporaryDir folder(QDir::tempPath() + QLatin1Char('/')
                               + QString::fromLatin1(temporaryTemplate(importFolderPrefix)));
    const TemporaryFolderLock inUse(folder.path());
    QFile file(folder.filePath(QStringLiteral("cells.txt")));
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly))
        return false;
    for (const std::string &part : text) {
        if (file.write(part.data(), qint64(part.size())) != qint64(part.size()))
            return false;
    }
    if (!file.flush())
        return false;
    file.close();
    // Tabs, quotes, UTF-8, from line 1, every column text.
    QString options = QStringLiteral("9,34,76,1,");
    for (sal_Int32 column = 1; column <= width; ++column)
        options += QStringLiteral("%1%2/2").arg(column == 1 ? QString() : QStringLiteral("/")).arg(column);
    const Reference<css::sheet::XSheetLinkable> link(sheet, UNO_QUERY_THROW);
    // A link by value takes the file's cells; without the link, the sheet
    // keeps them and nothing ties it to the file. The interface is marked
    // deprecated, but it is still the office's one way to link a sheet.
    std::exception_ptr failure;
    std::jthread aside([&] {
        try {
            meanwhile();
        } catch (...) {
            failure = std::current_exception();
        }
    });
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    withoutUndo(view, false, [&] {
        link->link(toOUString(QUrl::fromLocalFile(file.fileName()).toString(QUrl::FullyEncoded)), OUString(),
                   "Text - txt - csv (StarCalc)", toOUString(options), css::sheet::SheetLinkMode_VALUE);
        link->link(OUString(), OUString(), OUString(), OUString(), css::sheet::SheetLinkMode_NONE);
    });
#pragma GCC diagnostic pop
    aside.join();
    if (failure)
        std::rethrow_exception(failure);
    // Every text is there, and nothing else but text formats.
    if (cellsHolding(whole, everything & ~css::sheet::CellFlags::FORMATTED & ~css::sheet::CellFlags::HARDATTR)
        != texts) {
        Reference<css::sheet::XSheetOperation>(whole, UNO_QUERY_THROW)->clearContents(everything);
        return false;
    }
    return true;
}

// The widths Calc fits columns 0, 1, ... of `sheet` to, each holding the
// texts of one of `columns` from row 1 (they are left there).
std::vector<sal_Int32> fittedWidths(const Reference<css::sheet::XSpreadsheet> &sheet,
                                    const css::uno::Sequence<css::uno::Sequence<OUString>> &columns)
{
    sal_Int32 rows = 0;
    for (const css::uno::Sequence<OUString> &texts : columns)
        rows = std::max(rows, texts.getLength());
    css::uno::Sequence<css::uno::Sequence<OUString>> block(rows);
    for (sal_Int32 row = 0; row < rows; ++row)
        block.getArray()[row].realloc(columns.getLength());
    for (sal_Int32 column = 0; column < columns.getLength(); ++column) {
        for (sal_Int32 row = 0; row < columns[column].getLength(); ++row)
            block.getArray()[row].getArray()[column] = columns[column][row];
    }
    const Reference<css::table::XCellRange> range = sheet->getCellRangeByPosition(0, 0, columns.getLength() - 1,
                                                                                  rows - 1);
    Reference<css::sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)->setFormulaArray(block);
    const Reference<css::table::XTableColumns> fitted = Reference<css::table::XColumnRowRange>(range, UNO_QUERY_THROW)
                                                            ->getColumns();
    Reference<css::beans::XPropertySet>(fitted, UNO_QUERY_THROW)->setPropertyValue("OptimalWidth", css::uno::Any(true));
    std::vector<sal_Int32> widths;
    for (sal_Int32 column = 0; column < columns.getLength(); ++column) {
        sal_Int32 width = 0;
        Reference<css::beans::XPropertySet>(fitted->getByIndex(column), UNO_QUERY_THROW)->getPropertyValue("Width")
            >>= width;
        widths.push_back(width);
    }
    return widths;
}

// Of the distinct texts of a column, those Calc must measure to fit the
// column: all of a few, but of many only those that may be the widest.
// Calc sets a line of Latin text glyph by glyph, without kerning, so a
// text is as wide as its characters together, in any order: `scratch`
// measures each character first, as the difference between a run of 40 and
// a run of 20 of it, and the texts within a margin of the widest so reckoned
// (one of each set of characters) are those measured. When the runs show
// that the characters do not simply add up (or another script is among the
// texts), all are measured. `scratch` is left with the runs in it.
std::vector<QString> widestTexts(const Reference<css::sheet::XSpreadsheet> &scratch,
                                 const std::unordered_set<QString, CalcApplication::Hash> &texts)
{
    std::vector<QString> all(texts.begin(), texts.end());
    constexpr std::size_t few = 1000;
    if (all.size() <= few)
        return all;
    std::vector<bool> present(0x250, false);
    for (const QString &text : all) {
        for (const QChar c : text) {
            if (!isLatinSign(c.unicode()))
                return all;
            present[c.unicode()] = true;
        }
    }
    std::vector<char16_t> characters;
    css::uno::Sequence<css::uno::Sequence<OUString>> runs;
    for (char16_t c = 0; c < present.size(); ++c) {
        if (!present[c])
            continue;
        characters.push_back(c);
        for (const int length : {20, 40}) {
            const OUString run = literalText(QLatin1Char('x') + QString(length, QChar(c)) + QLatin1Char('x'));
            runs.realloc(runs.getLength() + 1);
            runs.getArray()[runs.getLength() - 1] = css::uno::Sequence<OUString>(&run, 1);
        }
    }
    const std::vector<sal_Int32> widths = fittedWidths(scratch, runs);
    std::vector<double> advance(present.size(), 0);
    double least = std::numeric_limits<double>::max();
    double most = std::numeric_limits<double>::lowest();
    for (std::size_t i = 0; i < characters.size(); ++i) {
        advance[characters[i]] = double(widths[2 * i + 1] - widths[2 * i]) / 20;
        const double rest = widths[2 * i] - 20 * advance[characters[i]];
        least = std::min(least, rest);
        most = std::max(most, rest);
    }
    // What a run is besides its characters is the same for every run, up to
    // Calc's rounding to whole pixels (about 26 hundredths of a millimetre).
    if (most - least > 80)
        return all;
    std::vector<double> reckoned(all.size(), 0);
    double widest = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        for (const QChar c : all[i])
            reckoned[i] += advance[c.unicode()];
        widest = std::max(widest, reckoned[i]);
    }
    // The reckoning is off by at most a twentieth of a pixel per character.
    const double margin = widest / 50 + 100;
    // One text of each set of characters: a set is known by the sum of a
    // random number for each character, which sets of different characters
    // share with a chance of one in 2^64.
    std::mt19937_64 random;
    std::vector<std::uint64_t> code(present.size());
    std::generate(code.begin(), code.end(), random);
    std::vector<QString> measured;
    std::unordered_set<std::uint64_t> sets;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (reckoned[i] < widest - margin)
            continue;
        std::uint64_t set = 0;
        for (const QChar c : all[i])
            set += code[c.unicode()];
        if (sets.insert(set).second)
            measured.push_back(all[i]);
    }
    return measured;
}

} // namespace

CalcApplication::CalcApplication(std::shared_ptr<OfficeCalls> calls, Reference<css::frame::XDesktop2> desktop,
                                 bool headless, std::shared_ptr<int> inUse, sal_Int64 importFrom)
    : m_calls(std::move(calls))
    , m_desktop(std::move(desktop))
    , m_headless(headless)
    , m_importFrom(importFrom)
    , m_inUse(std::move(inUse))
{
}

template <typename Call> auto CalcApplication::callOffice(Call call, int limitMs) -> decltype(call())
{
    try {
        return m_calls->run(std::move(call), limitMs);
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
        const Reference<css::lang::XComponent> document = desktop->loadComponentFromURL("private:factory/scalc",
                                                                                        "_blank", 0, arguments);
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

void CalcApplication::Written::note(sal_Int32 column, const QString &text)
{
    if (text.isEmpty())
        return;
    texts[column].insert(text);
    ++cells[column];
}

void CalcApplication::Written::note(const std::vector<SheetRectangle> &rectangles)
{
    for (const SheetRectangle &rectangle : rectangles) {
        for (const QStringList &line : rectangle.cells) {
            for (qsizetype j = 0; j < line.size(); ++j)
                note(rectangle.column - 1 + sal_Int32(j), line[j]);
        }
    }
}

void CalcApplication::Written::add(Written &&other)
{
    for (auto &[column, distinct] : other.texts) {
        if (texts[column].empty())
            texts[column] = std::move(distinct);
        else
            texts[column].merge(distinct);
    }
    for (const auto &[column, count] : other.cells)
        cells[column] += count;
}

void CalcApplication::setCell(int row, int column, const QString &value)
{
    callOffice([view = m_view, written = m_written, row, column, value] {
        activeSheet(view)->getCellByPosition(column - 1, row - 1)->setFormula(literalText(value));
        written->note(column - 1, value);
    });
}

void CalcApplication::setCells(int row, int column, const QList<QStringList> &cells)
{
    const qsizetype width = cells.isEmpty() ? 0 : cells.constFirst().size();
    if (width == 0)
        return;
    // One cell: a range would cost the office one call more than the cell.
    if (width == 1 && cells.size() == 1) {
        setCell(row, column, cells.constFirst().constFirst());
        return;
    }
    if (std::any_of(cells.begin(), cells.end(), [&](const QStringList &texts) { return texts.size() != width; }))
        throw Failure(QStringLiteral("The cells to store are not a rectangle."));
    const sal_Int32 left = column - 1;
    const sal_Int32 top = row - 1;
    // The texts are made on the office's thread, while the window goes on.
    callOffice([view = m_view, written = m_written, cells, left, top, width] {
        // The same texts as setCell sends, so that Calc reads each as it
        // would there. Calc empties every cell of the range it is given first.
        css::uno::Sequence<css::uno::Sequence<OUString>> block(sal_Int32(cells.size()));
        auto *blockRow = block.getArray();
        for (const QStringList &texts : cells) {
            css::uno::Sequence<OUString> line(static_cast<sal_Int32>(width));
            auto *text = line.getArray();
            for (const QString &value : texts)
                *text++ = literalText(value);
            *blockRow++ = std::move(line);
        }
        const Reference<css::table::XCellRange> range = activeSheet(view)->getCellRangeByPosition(
            left, top, left + sal_Int32(width) - 1, top + block.getLength() - 1);
        storeQuickly(view, range, block,
                     [&] { Reference<css::sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)->setFormulaArray(block); });
        for (const QStringList &texts : cells) {
            for (qsizetype column = 0; column < texts.size(); ++column)
                written->note(left + sal_Int32(column), texts[column]);
        }
    });
}

void CalcApplication::setRectangles(const std::vector<SheetRectangle> &rectangles, std::size_t &stored)
{
    sal_Int64 cells = 0;
    for (const SheetRectangle &rectangle : rectangles)
        cells += sal_Int64(rectangle.cells.size()) * (rectangle.cells.isEmpty() ? 0 : rectangle.cells.constFirst().size());
    // The import is one call however many cells it takes (it replaces the
    // whole sheet, so it cannot go in parts), and its time grows with them:
    // 3 to 8 s for a million cells where it is measured. Its limit grows by
    // 50 us a cell over the office's own, so that it keeps a wide margin on
    // a machine or an office several times slower.
    constexpr sal_Int64 cellsPerMs = 20;
    const int importLimitMs = int(
        std::min<sal_Int64>(m_calls->limitMs() + cells / cellsPerMs, std::numeric_limits<int>::max()));
    if (cells >= m_importFrom && callOffice(
            [view = m_view, written = m_written, rectangles] {
                // The texts are noted while the office imports them.
                Written noted;
                const bool imported = importIntoEmptySheet(view, rectangles, [&] { noted.note(rectangles); });
                if (imported)
                    written->add(std::move(noted));
                return imported;
            },
            importLimitMs)) {
        stored = rectangles.size();
        return;
    }
    if (rectangles.size() <= 1) {
        SpreadsheetApplication::setRectangles(rectangles, stored);
        return;
    }
    // At most so many rows a call, so that the call's time limit means the
    // same for any number of rows.
    constexpr sal_Int32 rowsPerCall = 65536;
    for (std::size_t first = 0; first < rectangles.size();) {
        std::size_t end = first + 1;
        while (end < rectangles.size() && rectangles[end].row - rectangles[first].row < rowsPerCall)
            ++end;
        storeInRanges(std::vector<SheetRectangle>(rectangles.begin() + std::ptrdiff_t(first),
                                                  rectangles.begin() + std::ptrdiff_t(end)));
        stored = end;
        first = end;
    }
}

void CalcApplication::storeInRanges(std::vector<SheetRectangle> rectangles)
{
    // The texts are made on the office's thread, while the window goes on.
    callOffice([view = m_view, written = m_written, rectangles = std::move(rectangles)] {
        // One range over all the rectangles (sheet positions from 0), its
        // texts in `block`; `texts` points, for each cell a rectangle holds, at
        // its text (null for the others).
        sal_Int32 top = rectangles.front().row - 1;
        sal_Int32 left = rectangles.front().column - 1;
        sal_Int32 bottom = top;
        sal_Int32 right = left;
        for (const SheetRectangle &rectangle : rectangles) {
            if (rectangle.cells.isEmpty() || rectangle.cells.constFirst().isEmpty())
                continue;
            top = std::min(top, rectangle.row - 1);
            left = std::min(left, rectangle.column - 1);
            bottom = std::max(bottom, rectangle.row - 1 + sal_Int32(rectangle.cells.size()) - 1);
            right = std::max(right, rectangle.column - 1 + sal_Int32(rectangle.cells.constFirst().size()) - 1);
        }
        const sal_Int32 height = bottom - top + 1;
        const sal_Int32 width = right - left + 1;
        const auto at = [width](sal_Int32 row, sal_Int32 column) {
            return std::size_t(row) * std::size_t(width) + std::size_t(column);
        };
        css::uno::Sequence<css::uno::Sequence<OUString>> block(height);
        css::uno::Sequence<OUString> *const lines = block.getArray();
        for (sal_Int32 row = 0; row < height; ++row)
            lines[row].realloc(width);
        std::vector<const QString *> texts(std::size_t(height) * std::size_t(width), nullptr);
        const auto holds = [&](sal_Int32 row, sal_Int32 column) { return texts[at(row, column)] != nullptr; };
        for (const SheetRectangle &rectangle : rectangles) {
            for (qsizetype i = 0; i < rectangle.cells.size(); ++i) {
                const QStringList &values = rectangle.cells[i];
                if (values.size() != rectangle.cells.constFirst().size())
                    throw Failure(QStringLiteral("The cells to store are not a rectangle."));
                const sal_Int32 row = rectangle.row - 1 + sal_Int32(i) - top;
                OUString *const line = lines[row].getArray();
                for (qsizetype j = 0; j < values.size(); ++j) {
                    const sal_Int32 column = rectangle.column - 1 + sal_Int32(j) - left;
                    line[column] = literalText(values[j]);
                    texts[at(row, column)] = &values[j];
                }
            }
        }

        // Calc empties every cell of a range before it stores the range's
        // texts, and stores nothing for an empty text: a cell of the range
        // that no rectangle holds stays as it was only when it is empty.
        // The rows where such a cell has content (the user's, typed
        // meanwhile) get each rectangle's cells alone; the others go as
        // ranges of as many rows as can be.
        const Reference<css::sheet::XSpreadsheet> sheet = activeSheet(view);
        const Reference<css::table::XCellRange> all = sheet->getCellRangeByPosition(left, top, left + width - 1,
                                                                                    top + height - 1);
        const sal_Int16 contents = css::sheet::CellFlags::VALUE | css::sheet::CellFlags::DATETIME
            | css::sheet::CellFlags::STRING | css::sheet::CellFlags::ANNOTATION | css::sheet::CellFlags::FORMULA;
        const css::uno::Sequence<css::table::CellRangeAddress> filled = Reference<css::sheet::XCellRangesQuery>(
                                                                            all, UNO_QUERY_THROW)
                                                                            ->queryContentCells(contents)
                                                                            ->getRangeAddresses();
        std::vector<bool> keeping(std::size_t(height), false);
        for (const css::table::CellRangeAddress &range : filled) {
            for (sal_Int32 row = std::max(range.StartRow, top); row <= std::min(range.EndRow, bottom); ++row) {
                for (sal_Int32 column = std::max(range.StartColumn, left); column <= std::min(range.EndColumn, right);
                     ++column) {
                    if (!holds(row - top, column - left))
                        keeping[std::size_t(row - top)] = true;
                }
            }
        }
        const auto store = [&](sal_Int32 firstRow, sal_Int32 endRow, sal_Int32 firstColumn, sal_Int32 endColumn) {
            if (firstRow == 0 && endRow == height) {
                Reference<css::sheet::XCellRangeFormula>(all, UNO_QUERY_THROW)->setFormulaArray(block);
                return;
            }
            css::uno::Sequence<css::uno::Sequence<OUString>> part(endRow - firstRow);
            css::uno::Sequence<OUString> *line = part.getArray();
            for (sal_Int32 row = firstRow; row < endRow; ++row)
                *line++ = css::uno::Sequence<OUString>(block[row].getConstArray() + firstColumn,
                                                       endColumn - firstColumn);
            const Reference<css::table::XCellRange> range = sheet->getCellRangeByPosition(
                left + firstColumn, top + firstRow, left + endColumn - 1, top + endRow - 1);
            Reference<css::sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)->setFormulaArray(part);
        };
        storeQuickly(view, all, block, [&] {
            for (sal_Int32 row = 0; row < height;) {
                sal_Int32 end = row;
                while (end < height && !keeping[std::size_t(end)])
                    ++end;
                if (end > row) {
                    store(row, end, 0, width);
                    row = end;
                    continue;
                }
                for (sal_Int32 column = 0; column < width;) {
                    sal_Int32 last = column;
                    while (last < width && holds(row, last))
                        ++last;
                    if (last > column)
                        store(row, row + 1, column, last);
                    column = last + 1;
                }
                ++row;
            }
        });
        for (sal_Int32 row = 0; row < height; ++row) {
            for (sal_Int32 column = 0; column < width; ++column) {
                if (holds(row, column))
                    written->note(left + column, *texts[at(row, column)]);
            }
        }
    });
}

void CalcApplication::autofitColumns()
{
    callOffice([desktop = m_desktop, view = m_view, written = m_written] {
        const Reference<css::sheet::XSpreadsheet> sheet = activeSheet(view);
        const Reference<css::table::XColumnRowRange> ranges(sheet, UNO_QUERY_THROW);
        const Reference<css::table::XTableColumns> columns = ranges->getColumns();
        const auto optimal = [&](sal_Int32 first, sal_Int32 last) {
            if (first > last)
                return;
            const Reference<css::table::XColumnRowRange> span(sheet->getCellRangeByPosition(first, 0, last, 0),
                                                              UNO_QUERY_THROW);
            Reference<css::beans::XPropertySet>(span->getColumns(), UNO_QUERY_THROW)
                ->setPropertyValue("OptimalWidth", css::uno::Any(true));
        };
        // Calc measures every cell of a column it fits. A column that holds
        // only what was written here has the width of its widest distinct
        // text, which Calc measures alone (with those that may be as wide:
        // see widestTexts), in a hidden document of its own. A column that
        // holds anything else (the user's) is fitted as a whole, as is every
        // column not written.
        std::vector<sal_Int32> measured;
        const sal_Int32 lastColumn = columns->getCount() - 1;
        sal_Int32 next = 0;
        for (const auto &[column, count] : written->cells) {
            const Reference<css::table::XCellRange> cells = sheet->getCellRangeByPosition(
                column, 0, column, ranges->getRows()->getCount() - 1);
            if (cellsHolding(cells, measurable) == count && cellsHolding(cells, css::sheet::CellFlags::HARDATTR) == 0)
                measured.push_back(column);
        }
        if (measured.empty()) {
            optimal(0, lastColumn);
            return;
        }

        const css::beans::PropertyValue hidden = property("Hidden", css::uno::Any(true));
        const Reference<css::frame::XModel> scratch(
            desktop->loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                          css::uno::Sequence<css::beans::PropertyValue>(&hidden, 1)),
            UNO_QUERY_THROW);
        const auto closeScratch = [&] {
            try {
                Reference<css::util::XCloseable>(scratch, UNO_QUERY_THROW)->close(true);
            } catch (const css::uno::Exception &) {
                // Hidden, it harms no one until the office ends.
            }
        };
        try {
            const Reference<css::sheet::XSpreadsheet> scratchSheet = Reference<css::sheet::XSpreadsheetView>(
                                                                         scratch->getCurrentController(),
                                                                         UNO_QUERY_THROW)
                                                                         ->getActiveSheet();
            // Every other column, in runs. Calc fits a column with nothing
            // in it to the standard width: a run of such columns that is as
            // wide as the same columns of a new document is left as it is.
            // (Calc's query of a range that reaches the last column also
            // finds cells left of it: the run is looked into only as far as
            // the used area goes.)
            const Reference<css::sheet::XSheetCellCursor> cursor = sheet->createCursor();
            Reference<css::sheet::XUsedAreaCursor>(cursor, UNO_QUERY_THROW)->gotoEndOfUsedArea(false);
            const sal_Int32 used = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)
                                       ->getRangeAddress()
                                       .EndColumn;
            const auto fitted = [&](sal_Int32 first, sal_Int32 last) {
                if (first > last)
                    return;
                const auto width = [&](const Reference<css::sheet::XSpreadsheet> &of) {
                    return Reference<css::beans::XPropertySet>(of->getCellRangeByPosition(first, 0, last, 0),
                                                               UNO_QUERY_THROW)
                        ->getPropertyValue("Size")
                        .get<css::awt::Size>()
                        .Width;
                };
                if ((first <= used
                     && cellsHolding(sheet->getCellRangeByPosition(first, 0, std::min(last, used),
                                                                   ranges->getRows()->getCount() - 1),
                                     measurable)
                         != 0)
                    || width(sheet) != width(scratchSheet))
                    optimal(first, last);
            };
            for (const sal_Int32 column : measured) {
                fitted(next, column - 1);
                next = column + 1;
            }
            fitted(next, lastColumn);

            css::uno::Sequence<css::uno::Sequence<OUString>> texts(sal_Int32(measured.size()));
            for (std::size_t i = 0; i < measured.size(); ++i) {
                const std::vector<QString> widest = widestTexts(scratchSheet, written->texts[measured[i]]);
                css::uno::Sequence<OUString> &column = texts.getArray()[i];
                column.realloc(sal_Int32(widest.size()));
                std::transform(widest.begin(), widest.end(), column.getArray(), literalText);
            }
            const std::vector<sal_Int32> widths = fittedWidths(scratchSheet, texts);
            for (std::size_t i = 0; i < measured.size(); ++i)
                Reference<css::beans::XPropertySet>(columns->getByIndex(measured[i]), UNO_QUERY_THROW)
                    ->setPropertyValue("Width", css::uno::Any(widths[i]));
        } catch (...) {
            closeScratch();
            throw;
        }
        closeScratch();
    });
}

void CalcApplication::setVisible(bool visible)
{
    callOffice([desktop = m_desktop, controller = m_controller, view = m_view, headless = m_headless, visible] {
        // Without a document there is no window to show, but the office
        // must still be there.
        if (!controller.is()) {
            desktop->getCurrentFrame();
            return;
        }
        const Reference<css::frame::XFrame> frame = controller->getFrame();
        if (!frame.is())
            throw Failure(QStringLiteral("The Calc document has no window."));
        // The sheet's cursor on its first cell, the header: what a screen
        // reader reads as the window takes the focus, and where the keys start.
        const Reference<css::view::XSelectionSupplier> selection(controller, UNO_QUERY);
        if (visible && view.is() && selection.is())
            selection->select(css::uno::Any(view->getActiveSheet()->getCellRangeByName("A1")));
        const Reference<css::awt::XWindow> window = frame->getContainerWindow();
        // Without a display the document stays hidden: there is no one to show it to.
        if (headless || !window.is())
            return;
        window->setVisible(visible);
        const Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
        if (visible && top.is())
            top->toFront();
        // The keyboard in the sheet itself, not on the window's frame.
        if (visible) {
            frame->activate();
            if (const Reference<css::awt::XWindow> sheet = frame->getComponentWindow(); sheet.is())
                sheet->setFocus();
        }
    });
}
