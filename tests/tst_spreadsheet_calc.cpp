// The spreadsheet export into a real, headless LibreOffice Calc, read back
// through UNO. The factory under test starts the office in a temporary
// profile and ends it; every office started is also noted in a file, so
// that the cleanup step (`--end-offices`) can end what a crashed run left,
// with its profile and pipes.

#include "export/libreoffice/LibreOffice.h"
#include "export/libreoffice/LibreOfficeUno.h"
#include "export/SpreadsheetExport.h"
#include "generate/ListCommands.h"
#include "shell/Failure.h"
#include "shell/ListSource.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SheetTransfer)

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// Whether a process of group `group` still runs (zombies do not count).
bool groupAlive(qint64 group)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (const QString &entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        // "pid (command) state ppid pgrp ...": the command may hold blanks.
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toLongLong() == group && fields[0] != "Z")
            return true;
    }
    return false;
}

bool waitUntilGone(qint64 group)
{
    QElapsedTimer timer;
    timer.start();
    while (groupAlive(group) && timer.elapsed() < 5000)
        QThread::msleep(20);
    return !groupAlive(group);
}

// The cleanup step: ends the noted offices that still run, by process group,
// and removes the noted profiles and pipes.
int endLeftOffices()
{
    QFile file(QStringLiteral(OFFICE_PID_FILE));
    const QList<QByteArray> notes = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    for (const QByteArray &note : notes) {
        const QByteArray value = note.mid(note.indexOf(' ') + 1);
        if (note.startsWith("office ")) {
            const pid_t pid = pid_t(value.toLongLong());
            QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (pid > 0 && command.open(QIODevice::ReadOnly) && command.readAll().contains("office")
                && getpgid(pid) == pid) {
                std::printf("ending office %d, left by an earlier run\n", int(pid));
                kill(-pid, SIGKILL);
            }
        } else if (note.startsWith("profiles ") && value.contains("/tst_spreadsheet_calc-")) {
            QDir(QFile::decodeName(value)).removeRecursively();
        } else if (note.startsWith("socket ")
                   && QFileInfo(QFile::decodeName(value)).fileName().startsWith("OSL_PIPE_")) {
            QFile::remove(QFile::decodeName(value));
        } else if (note.startsWith("pipes ")) {
            const QString prefix = QStringLiteral("OSL_PIPE_%1_%2").arg(getuid()).arg(QString::fromLatin1(value));
            for (const QString &name : QDir(QStringLiteral("/tmp")).entryList({prefix + '*'}, QDir::System))
                QFile::remove(QStringLiteral("/tmp/") + name);
        }
    }
    file.remove();
    return 0;
}

// Those of `sockets` that are still there.
QStringList existing(const QStringList &sockets)
{
    QStringList result;
    for (const QString &socket : sockets) {
        if (QFileInfo::exists(socket))
            result.append(socket);
    }
    return result;
}

void note(const QByteArray &line)
{
    QFile file(QStringLiteral(OFFICE_PID_FILE));
    if (file.open(QIODevice::Append))
        file.write(line + '\n');
}

// A cell as "" (empty), "text:...", "value:..." or "formula:...".
QString describeCell(const Reference<css::sheet::XSpreadsheet> &sheet, int column, int row)
{
    const Reference<css::table::XCell> cell = sheet->getCellByPosition(column, row);
    switch (cell->getType()) {
    case css::table::CellContentType_EMPTY:
        return QString();
    case css::table::CellContentType_TEXT:
        return "text:" + LibreOfficeUno::toQString(Reference<css::text::XText>(cell, UNO_QUERY_THROW)->getString());
    case css::table::CellContentType_VALUE:
        return QStringLiteral("value:%1").arg(cell->getValue());
    default:
        return "formula:" + LibreOfficeUno::toQString(cell->getFormula());
    }
}

// The cells of the top left `rows` x `columns` of the sheet, row by row,
// each with its number format, each row with its height.
QStringList describeCells(const Reference<css::sheet::XSpreadsheet> &sheet, int rows, int columns)
{
    QStringList cells;
    const auto widths = Reference<css::table::XColumnRowRange>(sheet, UNO_QUERY_THROW)->getColumns();
    for (int column = 0; column < columns; ++column) {
        cells.append(QStringLiteral("column width %1")
                         .arg(Reference<css::beans::XPropertySet>(widths->getByIndex(column), UNO_QUERY_THROW)
                                  ->getPropertyValue("Width")
                                  .get<sal_Int32>()));
    }
    const auto heights = Reference<css::table::XColumnRowRange>(sheet, UNO_QUERY_THROW)->getRows();
    for (int row = 0; row < rows; ++row) {
        cells.append(QStringLiteral("row height %1")
                         .arg(Reference<css::beans::XPropertySet>(heights->getByIndex(row), UNO_QUERY_THROW)
                                  ->getPropertyValue("Height")
                                  .get<sal_Int32>()));
        for (int column = 0; column < columns; ++column) {
            const Reference<css::beans::XPropertySet> cell(sheet->getCellByPosition(column, row), UNO_QUERY_THROW);
            cells.append(describeCell(sheet, column, row)
                         + QStringLiteral(" format %1").arg(cell->getPropertyValue("NumberFormat").get<sal_Int32>()));
        }
    }
    return cells;
}

// A window that hands each key it gets to `onKey`.
class KeyWindow : public QWindow
{
public:
    std::function<void()> onKey;

protected:
    void keyPressEvent(QKeyEvent *) override
    {
        if (onKey)
            onKey();
    }
};

const QString clickSource = QStringLiteral("in Orvelle2021/08/31.Form1.PushButton13_Click ");
// The hourglass while the probe waits, and again from step 110 to step 176.
const QList<Pointer> probing = {Pointer::Hourglass, Pointer::Normal};
const QList<Pointer> hourglassThenNormal = probing + probing;

// Runs a test's body: a UNO exception escaping it would end the program.
template <typename Body> void failingOnUnoExceptions(Body &&body)
{
    try {
        body();
    } catch (const css::uno::Exception &) {
        QFAIL(qPrintable(LibreOfficeUno::describeCaughtException()));
    }
}

} // namespace

class TestSpreadsheetCalc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void cellsHoldTheirTextsLiterally();
    void blocksWriteWhatCellByCellWrites_data();
    void blocksWriteWhatCellByCellWrites();
    void officeKilledWhileFilling_data();
    void officeKilledWhileFilling();
    void hangingOfficeIsGivenUp();
    void largeImportIsGivenTimeByItsCells();
    void keyDuringCallStartsAnotherExport();
    void missingOfficeShowsBothMessages();
    void cellsTypedMeanwhileOutsideTheRowsStay();
    void nothingElseActsWhileTheProbeWaits_data();
    void nothingElseActsWhileTheProbeWaits();
    void launcherIsCollectedOnceItEnds();
    void officeWithADisplayEndsWithTheUsersLastDocument();
    void columnsAreAsWideAsCalcsOwnFit();
    void aKilledWindowsImportFolderGoes();
    void windowReadableOnlyThroughADesktopToolkit();

private:
    // The Calc documents open in the office, through a connection of our own.
    QList<Reference<css::frame::XModel>> documents() const { return documents(*m_factory); }
    static QList<Reference<css::frame::XModel>> documents(const LibreOfficeFactory &factory);
    Reference<css::sheet::XSpreadsheet> onlyDocumentsActiveSheet() const;
    void noteOffice(const LibreOfficeFactory *factory);
    // The user types into the new sheet at the export's first yield: each
    // text into its cell (column, row, from 0).
    using Typing = std::pair<std::pair<int, int>, QString>;
    void typeAtFirstYield(FakeHost &host, const QList<Typing> &typing) const;

    QTemporaryDir m_profiles;
    // The office this test's factory holds, running: started by a one-row
    // export when none runs.
    qint64 runningOffice();

    std::unique_ptr<LibreOfficeFactory> m_factory;
    std::function<void()> m_whileWaiting; // runs while m_factory waits for its office
    QList<qint64> m_offices;
    QStringList m_sockets; // the offices' pipes
};

void TestSpreadsheetCalc::initTestCase()
{
    // As the program's UNO runtime does where nothing else handles the
    // signal, but QtTest's crash handler does by now: a write to an office
    // that has just gone fails instead of ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    QVERIFY(m_profiles.isValid());
    note("profiles " + QFile::encodeName(m_profiles.path()));
    note("pipes orvelle_" + QByteArray::number(QCoreApplication::applicationPid()) + '_');
    // The program's temporary files, apart, to see that none is left.
    QVERIFY(QDir().mkpath(m_profiles.filePath("tmp")));
    qputenv("TMPDIR", QFile::encodeName(m_profiles.filePath("tmp")));
    LibreOfficeOptions options;
    options.headless = true;
    options.profileParent = m_profiles.path();
    // Every export of cells that may go through the office's text import
    // goes through it, however few.
    options.importFromCells = 1;
    options.whileWaiting = [this] {
        noteOffice(m_factory.get());
        if (m_whileWaiting)
            m_whileWaiting();
    };
    m_factory = std::make_unique<LibreOfficeFactory>(options);
}

qint64 TestSpreadsheetCalc::runningOffice()
{
    if (m_factory->officeProcessId() == 0 || !groupAlive(m_factory->officeProcessId())) {
        FakeHost host;
        exportToSpreadsheet(host, TableList({"Result(s)"}, {"x|Holtsville, NY 00501"}), *m_factory);
        cleanup();
    }
    return m_factory->officeProcessId();
}

void TestSpreadsheetCalc::noteOffice(const LibreOfficeFactory *factory)
{
    // Not while the factory is made or ended: its offices are known then.
    if (!factory)
        return;
    const qint64 pid = factory->officeProcessId();
    if (pid > 0 && !m_offices.contains(pid)) {
        m_offices.append(pid);
        note("office " + QByteArray::number(pid));
    }
    for (const QString &socket : factory->officeSockets()) {
        if (!m_sockets.contains(socket)) {
            m_sockets.append(socket);
            note("socket " + QFile::encodeName(socket));
        }
    }
}

void TestSpreadsheetCalc::cleanup()
{
    // Each test starts from an office without documents.
    try {
        for (const auto &document : documents())
            Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
    } catch (const css::uno::Exception &) {
        // The office is gone; the next export starts another one.
    }
}

void TestSpreadsheetCalc::cleanupTestCase()
{
    m_factory.reset();
    for (const qint64 pid : std::as_const(m_offices))
        QVERIFY2(waitUntilGone(pid), "an office outlived its factory");
    // Every office's pipes go with it, killed or hung ones included.
    QCOMPARE(existing(m_sockets), QStringList());
    QFile::remove(QStringLiteral(OFFICE_PID_FILE));
    QVERIFY(QDir(m_profiles.filePath("tmp")).removeRecursively());
    QVERIFY2(QDir(m_profiles.path()).isEmpty(), "the temporary profiles should go with their offices");
}

QList<Reference<css::frame::XModel>> TestSpreadsheetCalc::documents(const LibreOfficeFactory &factory)
{
    QList<Reference<css::frame::XModel>> result;
    if (factory.officeAddress().isEmpty())
        return result;
    const auto context = LibreOfficeUno::connect(factory.officeAddress());
    const auto components = css::frame::Desktop::create(context)->getComponents()->createEnumeration();
    while (components->hasMoreElements())
        result.append(Reference<css::frame::XModel>(components->nextElement(), UNO_QUERY));
    return result;
}

void TestSpreadsheetCalc::typeAtFirstYield(FakeHost &host, const QList<Typing> &typing) const
{
    host.onYield = [this, &host, typing] {
        if (host.yields != 1)
            return;
        const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
        QVERIFY(sheet.is());
        for (const auto &[cell, text] : typing)
            sheet->getCellByPosition(cell.first, cell.second)->setFormula(LibreOfficeUno::toOUString(text));
    };
}

Reference<css::sheet::XSpreadsheet> TestSpreadsheetCalc::onlyDocumentsActiveSheet() const
{
    const auto all = documents();
    if (all.size() != 1)
        return {};
    return Reference<css::sheet::XSpreadsheetView>(all.front()->getCurrentController(), UNO_QUERY_THROW)
        ->getActiveSheet();
}

void TestSpreadsheetCalc::cellsHoldTheirTextsLiterally()
{
    failingOnUnoExceptions([&] {
        FakeHost host;
        const TableList list({"Result(s)", "Zip", "Note"},
                             {"x|Holtsville, NY 00501|00501|=1+1", "-|Agawam, MA 01001|01001|unticked",
                              "x|=SUM(1;2)||a=b=c", "x|00501|==|after the signs", "x|'quoted|TRUE|12/31/2020"});
        exportToSpreadsheet(host, list, *m_factory);

        QCOMPARE(host.m_dialogs.texts(), QStringList());
        QCOMPARE(host.pointers, hourglassThenNormal);
        const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
        QVERIFY2(sheet.is(), "the export should leave exactly one new Calc document");
        const QList<QStringList> expected = {
            {"text:Result(s)", "text:Zip", "text:Note", ""},
            {"text:Holtsville, NY 00501", "text:00501", "text:1+1", ""},
            {"", "", "", ""},
            {"text:=SUM(1;2)", "text:abc", "", ""},
            {"text:00501", "", "text:after the signs", ""},
            {"text:'quoted", "text:TRUE", "text:12/31/2020", ""},
            {"", "", "", ""},
        };
        for (int row = 0; row < expected.size(); ++row) {
            QStringList actual;
            for (int column = 0; column < 4; ++column)
                actual.append(describeCell(sheet, column, row));
            QCOMPARE(actual, expected[row]);
        }

        // The sheet's cursor is on its first cell, the header.
        const auto selected = Reference<css::view::XSelectionSupplier>(documents().front()->getCurrentController(),
                                                                       UNO_QUERY_THROW)
                                  ->getSelection();
        const css::table::CellRangeAddress cursor
            = Reference<css::sheet::XCellRangeAddressable>(selected, UNO_QUERY_THROW)->getRangeAddress();
        QCOMPARE(QList<int>({cursor.StartColumn, cursor.StartRow, cursor.EndColumn, cursor.EndRow}),
                 QList<int>({0, 0, 0, 0}));

        // Fitted: column A is wider than an untouched column.
        const auto columns = Reference<css::table::XColumnRowRange>(sheet, UNO_QUERY_THROW)->getColumns();
        const auto width = [&](int column) {
            return Reference<css::beans::XPropertySet>(columns->getByIndex(column), UNO_QUERY_THROW)
                ->getPropertyValue("Width")
                .get<sal_Int32>();
        };
        QVERIFY(width(0) > width(5));

        // The next export reuses the office, with a document of its own.
        const qint64 office = m_factory->officeProcessId();
        exportToSpreadsheet(host, list, *m_factory);
        QCOMPARE(m_factory->officeProcessId(), office);
        QCOMPARE(documents().size(), 2);
    });
}

void TestSpreadsheetCalc::blocksWriteWhatCellByCellWrites_data()
{
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("rowsPerBlock");
    QTest::addColumn<QString>("wrapped"); // a cell the user sets to wrap its text before the export writes it

    const QStringList oneColumn = {"Result(s)"};
    const QStringList threeColumns = {"Result(s)", "State", "Zip"};
    QTest::newRow("ticked rows 1 and 3 of three")
        << oneColumn << QStringList({"x|Holtsville, NY 00501", "-|Agawam, MA 01001", "x|Adjuntas, PR 00601"}) << 0
        << QString();
    QTest::newRow("empty first row") << oneColumn << QStringList({"x|", "x|Agawam, MA 01001"}) << 0 << QString();
    QTest::newRow("equals signs in column 2")
        << threeColumns << QStringList({"x|=1+1|=NY|00501", "x|Agawam|a=b=c|=01001"}) << 0 << QString();
    // Through the office's text import: texts it might read otherwise.
    QTest::newRow("texts that read as something else")
        << threeColumns
        << QStringList({"x|007|1e5|TRUE", "-|x|y|z", "x| lead, and trail |a\"b\"\"c|\"quoted\"",
                        "x|'x|2020-01-01|12%", "x|1/2|-3|+1", "x|Añasco|Ñ|ü"})
        << 0 << QString();
    QTest::newRow("empty middle cell of three")
        << threeColumns << QStringList({"x|Holtsville|NY|00501", "x|Agawam||01001", "x||PR|00601"}) << 0 << QString();
    // Rows that Calc may make higher: two lines, other scripts, a cell set
    // to wrap (its long text then takes lines of its own), each in a block
    // of its own between blocks that change no height.
    QTest::newRow("rows of other heights")
        << oneColumn
        << QStringList({"x|Añasco, PR 00610", "x|two\nlines", "x|Agawam, MA 01001", QStringLiteral("x|東京, ไทย"),
                        "x|a long text that the cell set to wrap breaks into several lines", "x|Aguada, PR 00602"})
        << 1 << "A6";
    // Blocks of sheet rows 1-2, 3-4 and 5-6: list row 3 (sheet row 4), not
    // ticked, ends the second; the last list row ends the third.
    QTest::newRow("block ends on an unticked row and on the last row")
        << threeColumns
        << QStringList({"x|Holtsville|NY|00501", "x|Agawam||01001", "-|Adjuntas|PR|00601", "x|Aguada|PR|",
                        "x|Aguadilla|PR|00603"})
        << 2 << QString();
}

void TestSpreadsheetCalc::blocksWriteWhatCellByCellWrites()
{
    QFETCH(QStringList, headers);
    QFETCH(QStringList, rows);
    QFETCH(int, rowsPerBlock);
    QFETCH(QString, wrapped);
    failingOnUnoExceptions([&] {
        QList<QStringList> sheets;
        for (const SheetTransfer &transfer :
             {SheetTransfer{.cellByCell = true}, SheetTransfer{.rowsPerBlock = rowsPerBlock}}) {
            FakeHost host;
            host.onYield = [&] {
                if (host.yields != 1 || wrapped.isEmpty())
                    return;
                const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
                QVERIFY(sheet.is());
                Reference<css::beans::XPropertySet>(sheet->getCellRangeByName(LibreOfficeUno::toOUString(wrapped)),
                                                    UNO_QUERY_THROW)
                    ->setPropertyValue("IsTextWrapped", css::uno::Any(true));
            };
            exportToSpreadsheet(host, TableList(headers, rows), *m_factory, transfer);
            QCOMPARE(host.m_dialogs.texts(), QStringList());
            const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
            QVERIFY(sheet.is());
            sheets.append(describeCells(sheet, int(rows.size()) + 2, int(headers.size()) + 1));
            // Nothing of an import is left: no link to its file, no file.
            const auto links = Reference<css::beans::XPropertySet>(documents().constFirst(), UNO_QUERY_THROW)
                                   ->getPropertyValue("SheetLinks")
                                   .get<Reference<css::container::XNameAccess>>();
            QCOMPARE(links->getElementNames().getLength(), 0);
            QCOMPARE(QDir(m_profiles.filePath("tmp")).entryList({"orvelle-*"}, QDir::AllEntries | QDir::Hidden),
                     QStringList());
            cleanup();
        }
        QCOMPARE(sheets[1], sheets[0]);
        QVERIFY(!sheets[0].filter(QStringLiteral("text:")).isEmpty());
        if (QTest::currentDataTag() == QLatin1String("rows of other heights")) {
            // Only the wrapped row is higher than the others (a text of two
            // lines is one in a cell that does not wrap).
            const QStringList heights = sheets[0].filter(QStringLiteral("row height"));
            QCOMPARE(heights.count(heights[0]), heights.size() - 1);
            QVERIFY(heights[5] != heights[0]);
        }
    });
}

void TestSpreadsheetCalc::officeKilledWhileFilling_data()
{
    QTest::addColumn<SheetTransfer>("transfer");
    QTest::addColumn<QList<int>>("lost"); // the steps of the cells reported
    QTest::newRow("cell by cell") << SheetTransfer{.cellByCell = true} << QList<int>(26, 156);
    // The first block (the header and list rows 1 to 4) has gone out when the office dies.
    QTest::newRow("blocks of five rows") << SheetTransfer{.rowsPerBlock = 5} << QList<int>(26, 156);
    // All held for the end: every cell fails, in the order of the steps.
    QTest::newRow("all at once") << SheetTransfer{} << QList<int>{126} + QList<int>(30, 156);
}

void TestSpreadsheetCalc::officeKilledWhileFilling()
{
    QFETCH(SheetTransfer, transfer);
    QFETCH(QList<int>, lost);
    failingOnUnoExceptions([&] {
        QStringList rows;
        for (int i = 0; i < 30; ++i)
            rows.append(QStringLiteral("x|Holtsville, NY %1").arg(501 + i, 5, 10, QLatin1Char('0')));

        // The office dies at the yield before row 5 (after the header's and
        // two per row): rows 5 to 30, the fit and the window all fail.
        FakeHost host;
        qint64 killed = 0;
        QStringList pipes;
        host.onYield = [&] {
            if (host.yields != 1 + 2 * 4 + 1)
                return;
            killed = m_factory->officeProcessId();
            pipes = m_factory->officeSockets();
            kill(-pid_t(killed), SIGKILL);
            QVERIFY(waitUntilGone(killed));
        };
        exportToSpreadsheet(host, TableList({"Result(s)"}, rows), *m_factory, transfer);

        QVERIFY(killed > 0);
        QCOMPARE(reportedSteps(host.m_dialogs, clickSource), lost + QList<int>({172, 174}));
        QCOMPARE(host.pointers, hourglassThenNormal);

        // The program goes on: the next export starts another office.
        FakeHost again;
        exportToSpreadsheet(again, TableList({"Result(s)"}, {"x|Agawam, MA 01001"}), *m_factory);
        QCOMPARE(again.m_dialogs.texts(), QStringList());
        QVERIFY(m_factory->officeProcessId() != killed);
        const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
        QVERIFY(sheet.is());
        QCOMPARE(describeCell(sheet, 0, 1), QStringLiteral("text:Agawam, MA 01001"));
        // The killed office's pipes (the one named for it and its profile's) went with it.
        QCOMPARE(pipes.size(), 2);
        QCOMPARE(existing(pipes), QStringList());
    });
}

void TestSpreadsheetCalc::hangingOfficeIsGivenUp()
{
    failingOnUnoExceptions([&] {
        LibreOfficeOptions options;
        options.headless = true;
        options.profileParent = m_profiles.path();
        options.callTimeoutMs = 5000;
        LibreOfficeFactory *self = nullptr;
        // Once the first call has given the office up (it reports so), the
        // later ones fail without waiting for it.
        FakeHost host;
        bool exporting = true;
        int waitsAfterGivingUp = 0;
        options.whileWaiting = [&] {
            noteOffice(self);
            waitsAfterGivingUp += exporting && !host.m_dialogs.messages.isEmpty() ? 1 : 0;
        };
        LibreOfficeFactory factory(options);
        self = &factory;
        const TableList list({"Result(s)"}, {"x|Holtsville, NY 00501", "x|Agawam, MA 01001", "x|Adjuntas, PR 00601"});

        // The office stops answering at the yield before list row 2; the
        // cells go out after the last row.
        qint64 stopped = 0;
        QStringList pipes;
        host.onYield = [&] {
            if (host.yields != 1 + 2 + 1)
                return;
            noteOffice(&factory);
            stopped = factory.officeProcessId();
            pipes = factory.officeSockets();
            kill(-pid_t(stopped), SIGSTOP);
        };
        exportToSpreadsheet(host, list, factory);
        exporting = false;

        QVERIFY(stopped > 0);
        QCOMPARE(reportedSteps(host.m_dialogs, clickSource), QList<int>({126, 156, 156, 156, 172, 174}));
        for (const QString &text : host.m_dialogs.texts())
            QVERIFY(text.startsWith("LibreOffice did not answer within 5 seconds.\r\n"));
        QCOMPARE(waitsAfterGivingUp, 0);
        QCOMPARE(host.pointers, hourglassThenNormal);
        QVERIFY2(waitUntilGone(stopped), "an office without a display that hangs should be ended");

        // The next export starts a fresh office.
        FakeHost again;
        exportToSpreadsheet(again, list, factory);
        QCOMPARE(again.m_dialogs.texts(), QStringList());
        noteOffice(&factory);
        QVERIFY(factory.officeProcessId() != stopped);
        // The hung office's pipes went with it.
        QCOMPARE(pipes.size(), 2);
        QCOMPARE(existing(pipes), QStringList());
    });
}

void TestSpreadsheetCalc::largeImportIsGivenTimeByItsCells()
{
    failingOnUnoExceptions([&] {
        // A million rows go into the sheet in one call, which takes the
        // office several seconds, longer than its limit for a call: that
        // call is given time by its cells, and every other stays within it.
        LibreOfficeOptions options;
        options.headless = true;
        options.profileParent = m_profiles.path();
        options.callTimeoutMs = 2000;
        LibreOfficeFactory *self = nullptr;
        options.whileWaiting = [&] { noteOffice(self); };
        LibreOfficeFactory factory(options);
        self = &factory;
        FakeHost warmUp;
        exportToSpreadsheet(warmUp, TableList({"Result(s)"}, {"x|Holtsville, NY 00501"}), factory);
        QCOMPARE(warmUp.m_dialogs.texts(), QStringList());
        for (const auto &document : documents(factory))
            Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);

        constexpr int rows = 1'000'000;
        ResultList list;
        list.addColumn(QStringLiteral("Result(s)"));
        list.reserve(rows);
        for (int i = 0; i < rows; ++i)
            list.append(QStringLiteral("Holtsville, NY %1").arg(501 + i % 99000, 5, 10, QLatin1Char('0')));
        list.setAllChecked(true);
        FakeHost host;
        QElapsedTimer timer;
        timer.start();
        exportToSpreadsheet(host, list, factory);
        qInfo("%d rows in %.1f s", rows, double(timer.elapsed()) / 1000);
        QCOMPARE(host.m_dialogs.messages.size(), 0);
        const QList<Reference<css::frame::XModel>> all = documents(factory);
        QCOMPARE(all.size(), 1);
        const Reference<css::sheet::XSpreadsheet> sheet = Reference<css::sheet::XSpreadsheetView>(
                                                              all.front()->getCurrentController(), UNO_QUERY_THROW)
                                                              ->getActiveSheet();
        QCOMPARE(describeCell(sheet, 0, rows), QStringLiteral("text:Holtsville, NY %1").arg(501 + (rows - 1) % 99000));
    });
}

void TestSpreadsheetCalc::keyDuringCallStartsAnotherExport()
{
    failingOnUnoExceptions([&] {
        // As the window's own factory: its waits handle input.
        LibreOfficeOptions options;
        options.headless = true;
        options.profileParent = m_profiles.path();
        LibreOfficeFactory factory(options);
        QStringList rows;
        for (int i = 0; i < 4000; ++i)
            rows.append(QStringLiteral("x|Holtsville, NY %1").arg(501 + i, 5, 10, QLatin1Char('0')));
        const TableList list({"Result(s)"}, rows);

        // A key comes in as the cells start to go out; the host itself never
        // dispatches, so only a wait for the office can hand it to the
        // window, whose key starts an export of its own.
        KeyWindow window;
        window.show();
        FakeHost host;
        FakeHost other;
        bool exporting = true;
        bool otherDuringExport = false;
        window.onKey = [&] {
            exportToSpreadsheet(other, TableList({"Result(s)"}, {"x|Agawam, MA 01001"}), factory);
            otherDuringExport = exporting;
        };
        host.onYield = [&] {
            if (host.yields != 1)
                return;
            noteOffice(&factory);
            QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                &window, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
        };
        exportToSpreadsheet(host, list, factory);
        exporting = false;

        QVERIFY2(otherDuringExport, "the key should have been handled while the office worked");
        QCOMPARE(host.m_dialogs.texts(), QStringList());
        QCOMPARE(other.m_dialogs.texts(), QStringList());
        QCOMPARE(host.pointers, hourglassThenNormal);
        QCOMPARE(other.pointers, hourglassThenNormal);
        QStringList firstCells;
        for (const auto &document : documents(factory)) {
            const auto sheet = Reference<css::sheet::XSpreadsheetView>(document->getCurrentController(),
                                                                       UNO_QUERY_THROW)
                                   ->getActiveSheet();
            firstCells.append(describeCell(sheet, 0, 1));
            if (firstCells.constLast() == QStringLiteral("text:Holtsville, NY 00501")) {
                QCOMPARE(describeCell(sheet, 0, 4000), QStringLiteral("text:Holtsville, NY 04500"));
                QCOMPARE(describeCell(sheet, 0, 4001), QString());
            }
        }
        firstCells.sort();
        QCOMPARE(firstCells, QStringList({"text:Agawam, MA 01001", "text:Holtsville, NY 00501"}));
    });
}

void TestSpreadsheetCalc::missingOfficeShowsBothMessages()
{
    // No such program; a program that ends at once instead of listening,
    // which the factory notices rather than waiting for it to start.
    const QList<std::pair<const char *, QString>> programs = {
        {"/nonexistent/soffice", "LibreOffice is not installed: no soffice program was found."},
        {"/bin/true", "LibreOffice ended while starting (exit code 0)."}};
    for (const auto &[program, cause] : programs) {
        LibreOfficeOptions options;
        options.program = QString::fromLatin1(program);
        options.profileParent = m_profiles.path();
        LibreOfficeFactory factory(options);
        FakeHost host;

        exportToSpreadsheet(host, TableList({"Result(s)"}, {"x|Agawam, MA 01001"}), factory);

        QCOMPARE(host.m_dialogs.messages.size(), 2);
        QVERIFY(host.m_dialogs.texts().constLast().endsWith(QLatin1String("to use this feature.")));
        QCOMPARE(host.pointers, probing);
        try {
            factory.create();
            QFAIL("the office should not have started");
        } catch (const Failure &failure) {
            QCOMPARE(failure.description(), cause);
        }
    }
}

void TestSpreadsheetCalc::cellsTypedMeanwhileOutsideTheRowsStay()
{
    // The user types into the new sheet as it fills: into the row of a list
    // row not ticked, right of a short row, right of the header and below
    // the last row. The export writes none of those cells, so none changes.
    const QStringList typed = {"A3", "C3", "B4", "C4", "D1", "A5"};
    const auto position = [](const QString &cell) {
        return std::pair(cell[0].unicode() - 'A', cell.mid(1).toInt() - 1);
    };
    failingOnUnoExceptions([&] {
        for (const SheetTransfer &transfer :
             {SheetTransfer{.cellByCell = true}, SheetTransfer{.rowsPerBlock = 2}, SheetTransfer{}}) {
            FakeHost host;
            QList<Typing> typing;
            for (const QString &cell : typed)
                typing.append({position(cell), QStringLiteral("typed")});
            typeAtFirstYield(host, typing);
            exportToSpreadsheet(host,
                                TableList({"Result(s)", "State", "Zip"},
                                          {"x|Holtsville|NY|00501", "-|Agawam|MA|01001", "x|Adjuntas||"}),
                                *m_factory, transfer);

            QCOMPARE(host.m_dialogs.texts(), QStringList());
            const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
            QVERIFY(sheet.is());
            for (const QString &cell : typed) {
                const auto [column, row] = position(cell);
                QCOMPARE(describeCell(sheet, column, row), QStringLiteral("text:typed"));
            }
            QCOMPARE(describeCell(sheet, 2, 1), QStringLiteral("text:00501"));
            QCOMPARE(describeCell(sheet, 0, 3), QStringLiteral("text:Adjuntas"));
            cleanup();
        }
    });
}

void TestSpreadsheetCalc::nothingElseActsWhileTheProbeWaits_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("a second click") << "click";
    QTest::newRow("Clear List") << "clear";
    QTest::newRow("the window closes") << "close";
}

void TestSpreadsheetCalc::nothingElseActsWhileTheProbeWaits()
{
    // The office holds the probe's call (it is stopped) until the window has
    // acted on what came in meanwhile, as it does while it waits for the office.
    QFETCH(QString, meanwhile);
    failingOnUnoExceptions([&] {
        const qint64 office = runningOffice();
        QVERIFY(office > 0);
        ResultsColumnList list;
        for (const char *text : {"Holtsville, NY 00501", "Agawam, MA 01001", "Adjuntas, PR 00601"})
            list.append(QLatin1String(text));
        list.setAllChecked(true);
        FakeHost host;
        bool acted = false;
        m_whileWaiting = [&] {
            if (acted)
                return;
            acted = true;
            kill(-pid_t(office), SIGCONT);
            if (meanwhile == QLatin1String("click"))
                exportToSpreadsheet(host, list, *m_factory);
            else if (meanwhile == QLatin1String("clear"))
                clearList(host, list);
            else
                host.closed = true;
        };
        kill(-pid_t(office), SIGSTOP);
        try {
            exportToSpreadsheet(host, list, *m_factory);
        } catch (const ProgramEnding &) {
            QVERIFY(host.closed);
        }
        m_whileWaiting = nullptr;
        kill(-pid_t(office), SIGCONT);

        QVERIFY(acted);
        QCOMPARE(host.m_dialogs.texts(), QStringList());
        if (host.closed) {
            // The office closes the document as it is told, on a loaded machine a moment later.
            QTRY_COMPARE_WITH_TIMEOUT(documents().size(), 0, 10000);
            return;
        }
        QCOMPARE(list.rows(), 3);
        QCOMPARE(host.pointers, hourglassThenNormal);
        const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
        QVERIFY2(sheet.is(), "the export should leave exactly one new Calc document");
        QCOMPARE(describeCell(sheet, 0, 3), QStringLiteral("text:Adjuntas, PR 00601"));
    });
}

void TestSpreadsheetCalc::launcherIsCollectedOnceItEnds()
{
    // The office ends (here: killed) while the program goes on: its launcher,
    // this program's child, does not stay behind as a zombie.
    const qint64 office = runningOffice();
    QVERIFY(office > 0);
    kill(-pid_t(office), SIGKILL);
    QVERIFY(waitUntilGone(office));
    QTRY_VERIFY2(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(office)), "the launcher should be collected");
}

void TestSpreadsheetCalc::windowReadableOnlyThroughADesktopToolkit()
{
    // An office's folder as Debian lays it out, reached through a link as
    // /usr/bin/soffice is; nothing is started.
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("program")) && QDir(root.path()).mkpath(QStringLiteral("bin")));
    QFile office(root.filePath(QStringLiteral("program/soffice")));
    QVERIFY(office.open(QIODevice::WriteOnly) && office.write("#!/bin/sh\n") > 0);
    office.close();
    QVERIFY(office.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QFile::link(office.fileName(), root.filePath(QStringLiteral("bin/soffice"))));
    LibreOfficeOptions options;
    options.program = root.filePath(QStringLiteral("bin/soffice"));
    options.headless = false;
    const auto readable = [&options] { return LibreOfficeFactory(options).windowReadable(); };
    qunsetenv("SAL_USE_VCLPLUGIN");

    QVERIFY(!readable()); // its own X11 toolkit alone
    QFile plugin(root.filePath(QStringLiteral("program/libvclplug_gtk3lo.so")));
    QVERIFY(plugin.open(QIODevice::WriteOnly));
    plugin.close();
    QVERIFY(readable());
    // Told to use a toolkit, it uses that one.
    qputenv("SAL_USE_VCLPLUGIN", "gen");
    QVERIFY(!readable());
    qputenv("SAL_USE_VCLPLUGIN", "kf5");
    QVERIFY(!readable()); // not there
    qputenv("SAL_USE_VCLPLUGIN", "gtk3");
    QVERIFY(readable());
    qunsetenv("SAL_USE_VCLPLUGIN");
    // Without a display there is no window to read.
    QVERIFY(plugin.remove());
    options.headless = true;
    QVERIFY(readable());
}

void TestSpreadsheetCalc::officeWithADisplayEndsWithTheUsersLastDocument()
{
    // An office the factory started that ends with the user's last document,
    // as one with a display does (this machine's office has no display
    // backend: it runs headless, its documents hidden).
    std::unique_ptr<LibreOfficeFactory> factory;
    LibreOfficeOptions options;
    options.headless = true;
    options.endsWithLastDocument = true;
    options.profileParent = m_profiles.path();
    options.whileWaiting = [&] {
        noteOffice(factory.get());
        QCoreApplication::processEvents();
    };
    factory = std::make_unique<LibreOfficeFactory>(options);
    const TableList list({"Result(s)"}, {"x|Holtsville, NY 00501"});
    // The user closes the filled sheet as Ctrl+W does, once saved (or not).
    const auto closeTheSheet = [&] {
        const QList<Reference<css::frame::XModel>> sheets = documents(*factory);
        QCOMPARE(sheets.size(), 1);
        Reference<css::util::XModifiable>(sheets.front(), UNO_QUERY_THROW)->setModified(false);
        const auto context = LibreOfficeUno::connect(factory->officeAddress());
        const Reference<css::frame::XDispatchProvider> frame(sheets.front()->getCurrentController()->getFrame(),
                                                             UNO_QUERY_THROW);
        css::frame::DispatchHelper::create(context)->executeDispatch(frame, ".uno:CloseDoc", "_self", 0, {});
    };
    failingOnUnoExceptions([&] {
        // The office ends with the last document the user closes, at once:
        // no Start Center stays behind, with the window still open.
        FakeHost host;
        exportToSpreadsheet(host, list, *factory);
        QCOMPARE(host.m_dialogs.texts(), QStringList());
        const qint64 first = factory->officeProcessId();
        QVERIFY(first > 0);
        closeTheSheet();
        QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(first), 15000);
        QCOMPARE(factory->officeProcessId(), 0);

        // The sheet closed while the window was busy, the window closes
        // next: the office goes with it.
        exportToSpreadsheet(host, list, *factory);
        const qint64 second = factory->officeProcessId();
        QVERIFY(second > 0 && second != first);
        closeTheSheet();
        QElapsedTimer closing;
        closing.start();
        while (!documents(*factory).isEmpty() && closing.elapsed() < 10000)
            QThread::msleep(20);
        factory.reset();
        QVERIFY2(waitUntilGone(second), "an office without the user's documents should end with the window");
    });
    m_offices.removeIf([](qint64 pid) { return !groupAlive(pid); });
}

void TestSpreadsheetCalc::columnsAreAsWideAsCalcsOwnFit()
{
    // Column A's widest text is not its longest, among more distinct texts
    // than Calc measures all of, of narrow and wide letters; column B
    // repeats its texts. Once the user types a long text into column C as
    // it fills, and into column E, which the export does not write; once
    // the user widens the empty column F; once the sheet goes through the
    // office's text import.
    failingOnUnoExceptions([&] {
        QStringList rows;
        for (int i = 0; i < 300; ++i)
            rows.append(i % 3 == 0       ? "x|iiiiiiiiiiiiiiii|WWW|1"
                            : i % 3 == 1 ? "x|WWWWWWWWW|i|22"
                                         : "-|MMMMMMMMMM|ii|3");
        std::mt19937 random(7);
        for (int i = 0; i < 1500; ++i) {
            // Long texts of narrow letters, and a few short ones of wide letters.
            const QString letters = i % 50 == 0 ? QStringLiteral("WMmwÑ") : QStringLiteral("iIl.,' \"");
            QString text;
            for (auto n = i % 50 == 0 ? 8 + random() % 4 : 12 + random() % 12; n > 0; --n)
                text += letters[qsizetype(random() % letters.size())];
            rows.append("x|" + text + "|i|1");
        }
        for (const QString &meanwhile : QStringList{"typing", "widening", "nothing"}) {
            FakeHost host;
            if (meanwhile == "typing") {
                typeAtFirstYield(host, {{{2, 3}, QStringLiteral("typed by the user meanwhile")},
                                        {{4, 5}, QStringLiteral("typed too")}});
            } else if (meanwhile == "widening") {
                host.onYield = [&] {
                    if (host.yields != 1)
                        return;
                    const auto columns = Reference<css::table::XColumnRowRange>(onlyDocumentsActiveSheet(),
                                                                                UNO_QUERY_THROW)
                                             ->getColumns();
                    Reference<css::beans::XPropertySet>(columns->getByIndex(5), UNO_QUERY_THROW)
                        ->setPropertyValue("Width", css::uno::Any(sal_Int32(5000)));
                };
            }
            exportToSpreadsheet(host, TableList({"Result(s)", "State", "Zip"}, rows), *m_factory);
            QCOMPARE(host.m_dialogs.texts(), QStringList());
            const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
            QVERIFY(sheet.is());
            const auto columns = Reference<css::table::XColumnRowRange>(sheet, UNO_QUERY_THROW)->getColumns();
            const auto widths = [&] {
                QList<sal_Int32> result;
                for (int column = 0; column < 6; ++column) {
                    result.append(Reference<css::beans::XPropertySet>(columns->getByIndex(column), UNO_QUERY_THROW)
                                      ->getPropertyValue("Width")
                                      .get<sal_Int32>());
                }
                return result;
            };
            const QList<sal_Int32> exported = widths();
            Reference<css::beans::XPropertySet>(columns, UNO_QUERY_THROW)
                ->setPropertyValue("OptimalWidth", css::uno::Any(true));
            QCOMPARE(exported, widths());
            QCOMPARE(exported[2] > exported[1], meanwhile == "typing");
            QCOMPARE(documents().size(), 1);
            cleanup();
        }
    });
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--end-offices") == 0)
        return endLeftOffices();
    QGuiApplication application(argc, argv);
    TestSpreadsheetCalc test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_spreadsheet_calc.moc"

void TestSpreadsheetCalc::aKilledWindowsImportFolderGoes()
{
    failingOnUnoExceptions([&] {
        // The folders a window killed during an import leaves (its process is gone), beside
        // others that are not such leftovers: a running process's, a folder that holds more
        // than files, one of another name, and (where the test may make it) another user's.
        const pid_t gone = fork();
        if (gone == 0)
            _exit(0);
        QCOMPARE(waitpid(gone, nullptr, 0), gone);
        const QDir temporary(m_profiles.filePath("tmp"));
        const QString left = QStringLiteral("orvelle-%1-abcdef").arg(gone);
        QStringList kept{QStringLiteral("orvelle-1-abcdef"), QStringLiteral("orvelle-%1-fuller").arg(gone),
                         QStringLiteral("orvelle-notmine")};
        if (geteuid() == 0)
            kept.append(QStringLiteral("orvelle-%1-others").arg(gone));
        for (const QString &name : kept + QStringList{left}) {
            QVERIFY(temporary.mkdir(name));
            QFile cells(temporary.filePath(name + QStringLiteral("/cells.txt")));
            QVERIFY(cells.open(QIODevice::WriteOnly) && cells.write("x\t\n") == 3);
        }
        QVERIFY(temporary.mkdir(kept[1] + QStringLiteral("/inner")));
        if (geteuid() == 0)
            QCOMPARE(chown(QFile::encodeName(temporary.filePath(kept[3])).constData(), 65534, 65534), 0);

        FakeHost host;
        exportToSpreadsheet(host, TableList({"Result(s)"}, {"x|Holtsville, NY 00501"}), *m_factory);
        QCOMPARE(host.m_dialogs.texts(), QStringList());
        kept.sort();
        QCOMPARE(temporary.entryList(QDir::Dirs | QDir::NoDotAndDotDot), kept);
        for (const QString &name : std::as_const(kept))
            QVERIFY(QDir(temporary.filePath(name)).removeRecursively());
    });
}
