// The spreadsheet export against an application that records every call:
// the sheet layout, the two messages of a missing application, and the steps
// reported when the application or the list fails part-way.

#include "export/Spreadsheet.h"
#include "export/SpreadsheetExport.h"
#include "generate/ListCommands.h"
#include "shell/Failure.h"
#include "shell/ListSource.h"
#include "TestSupport.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>

namespace {

// The calls made to a factory and its application objects, in order; a block
// of cells shows as the cells it stores ("row,column text"), and one that is
// not a rectangle fails. Once `callsLeft` reaches 0 the application is gone
// and every call to it fails; once `creatable` does, no object can be
// created. Negative: no limit. A write that reaches sheet row `refusedRow`
// fails. `during` runs at the start of every call, as while the application
// works on it.
class FakeFactory : public SpreadsheetFactory
{
public:
    std::unique_ptr<SpreadsheetApplication> create() override;
    void record(const QString &call, int &budget, bool refused = false)
    {
        if (during)
            during(call);
        const bool fails = budget == 0 || refused;
        calls.append(fails ? call + QLatin1String(" FAILED") : call);
        if (fails)
            throw Failure(QStringLiteral("The application has been closed."));
        if (budget > 0)
            --budget;
    }

    QStringList calls;
    int callsLeft = -1;
    int creatable = -1;
    int refusedRow = 0;
    std::function<void(const QString &call)> during;
};

class FakeApplication : public SpreadsheetApplication
{
public:
    explicit FakeApplication(FakeFactory &log)
        : m_log(log)
    {
    }
    ~FakeApplication() override { m_log.calls.append(QStringLiteral("release")); }
    void addWorkbook() override { m_log.record(QStringLiteral("add workbook"), m_log.callsLeft); }
    void setCell(int row, int column, const QString &value) override
    {
        m_log.record(QStringLiteral("%1,%2 %3").arg(row).arg(column).arg(value), m_log.callsLeft,
                     row == m_log.refusedRow);
    }
    void setCells(int row, int column, const QList<QStringList> &cells) override
    {
        const int last = row + int(cells.size()) - 1;
        const bool rectangle = std::all_of(cells.begin(), cells.end(), [&](const QStringList &texts) {
            return texts.size() == cells.constFirst().size();
        });
        m_log.record(QStringLiteral("block %1-%2").arg(row).arg(last), m_log.callsLeft,
                     (row <= m_log.refusedRow && m_log.refusedRow <= last) || !rectangle);
        m_log.calls.removeLast();
        for (int i = 0; i < cells.size(); ++i) {
            for (int j = 0; j < cells[i].size(); ++j)
                m_log.calls.append(QStringLiteral("%1,%2 %3").arg(row + i).arg(column + j).arg(cells[i][j]));
        }
    }
    void autofitColumns() override { m_log.record(QStringLiteral("autofit"), m_log.callsLeft); }
    void setVisible(bool visible) override { m_log.record(visible ? "visible" : "hidden", m_log.callsLeft); }

private:
    FakeFactory &m_log;
};

std::unique_ptr<SpreadsheetApplication> FakeFactory::create()
{
    record(QStringLiteral("create"), creatable);
    return std::make_unique<FakeApplication>(*this);
}

const QStringList oneColumn = {QStringLiteral("Result(s)")};
const QStringList threeRows = {"x|Holtsville, NY 00501", "x|Agawam, MA 01001", "x|Adjuntas, PR 00601"};
const QStringList probe = {"create", "release"};
// The hourglass while the probe waits, and again from step 110 to step 176.
const QList<Pointer> probing = {Pointer::Hourglass, Pointer::Normal};
const QList<Pointer> hourglassThenNormal = probing + probing;

const QString clickSource = QStringLiteral("in Orvelle2021/08/31.Form1.PushButton13_Click ");

// Cell by cell as before blocks; blocks of one and two sheet rows; blocks sized by time.
const QList<SheetTransfer> transfers = {SheetTransfer{.cellByCell = true}, SheetTransfer{.rowsPerBlock = 1},
                                        SheetTransfer{.rowsPerBlock = 2}, SheetTransfer{}};

} // namespace

class TestSpreadsheet : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void missingApplicationShowsBothMessages();
    void emptyListOnlyProbes();
    void applicationClosedWhileFilling();
    void applicationNotCreatedAfterTheProbe();
    void vanishedRowsAreReportedAndPassedOver();
    void refusedBlockIsWrittenCellByCellInStepOrder();
    void refusedRectangleAfterOthersTaken();
    void windowClosedWhileFillingKeepsTheCellsWritten();
    void busyClickDoesNothing();
    void windowClosedWhileTheApplicationWorks();
};

void TestSpreadsheet::layout_data()
{
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("cells"); // "row,column value", in the order written

    QTest::newRow("ticked rows 1 and 3 of three")
        << oneColumn << QStringList({"x|Holtsville, NY 00501", "-|Agawam, MA 01001", "x|Adjuntas, PR 00601"})
        << QStringList({"1,1 Result(s)", "2,1 Holtsville, NY 00501", "4,1 Adjuntas, PR 00601"});
    QTest::newRow("rows above the first ticked one stay blank")
        << oneColumn << QStringList({"-|Holtsville, NY 00501", "-|Agawam, MA 01001", "x|Adjuntas, PR 00601"})
        << QStringList({"1,1 Result(s)", "4,1 Adjuntas, PR 00601"});
    QTest::newRow("empty first text: no header, data still from row 2")
        << oneColumn << QStringList({"x|", "x|Agawam, MA 01001"}) << QStringList({"3,1 Agawam, MA 01001"});
    QTest::newRow("captions of the columns the unticked first row fills")
        << QStringList({"Result(s)", "State", "Zip"}) << QStringList({"-|Holtsville||00501", "-|Agawam|MA|01001"})
        << QStringList({"1,1 Result(s)", "1,2 Zip"});
    QTest::newRow("empty cells close up to the left")
        << QStringList({"Result(s)", "State", "Zip"})
        << QStringList({"x|Holtsville|NY|00501", "x|Agawam||01001", "x||PR|"})
        << QStringList({"1,1 Result(s)", "1,2 State", "1,3 Zip", "2,1 Holtsville", "2,2 NY", "2,3 00501", "3,1 Agawam",
                        "3,2 01001", "4,1 PR"});
    // A value of only "=" still takes its cell: it is tested before the signs go.
    QTest::newRow("equals signs go from columns 2 on only")
        << QStringList({"Result(s)", "Formula", "Signs", "Zip"}) << QStringList({"x|=x|a=b=c|==|00501"})
        << QStringList(
               {"1,1 Result(s)", "1,2 Formula", "1,3 Signs", "1,4 Zip", "2,1 =x", "2,2 abc", "2,3 ", "2,4 00501"});
}

void TestSpreadsheet::layout()
{
    QFETCH(QStringList, headers);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, cells);
    for (const SheetTransfer &transfer : transfers) {
        FakeHost host;
        FakeFactory factory;

        exportToSpreadsheet(host, TableList(headers, rows), factory, transfer);

        // Blocks write exactly the cells written one by one, and no other.
        QCOMPARE(factory.calls,
                 probe + QStringList({"create", "add workbook"}) + cells
                     + QStringList({"autofit", "visible", "release"}));
        QVERIFY(host.m_dialogs.messages.isEmpty());
        QCOMPARE(host.pointers, hourglassThenNormal);
    }
}

void TestSpreadsheet::missingApplicationShowsBothMessages()
{
    for (const QStringList &rows : {threeRows, QStringList()}) {
        FakeHost host;
        FakeFactory factory;
        factory.creatable = 0;

        exportToSpreadsheet(host, TableList(oneColumn, rows), factory);

        QCOMPARE(host.m_dialogs.texts(),
                 QStringList({"Excel is not installed on this computer. You need to have it installed to use this "
                              "software without error.",
                              "Excel is not installed on this computer. You need to have it installed to use this "
                              "feature."}));
        for (const ShownMessage &message : host.m_dialogs.messages)
            QVERIFY(message.title == applicationTitle() && message.icon == Dialogs::Icon::None);
        QCOMPARE(factory.calls, QStringList({"create FAILED"}));
        QCOMPARE(host.pointers, probing);
    }
}

void TestSpreadsheet::emptyListOnlyProbes()
{
    FakeHost host;
    FakeFactory factory;
    exportToSpreadsheet(host, TableList(oneColumn, {}), factory);
    QCOMPARE(factory.calls, probe);
    QVERIFY(host.m_dialogs.messages.isEmpty());
    QCOMPARE(host.pointers, probing);
}

void TestSpreadsheet::applicationClosedWhileFilling()
{
    // Seven calls reach the application: the workbook, the header, three
    // rows, the fit and the window. Whichever call first finds it closed,
    // that one and every later one is reported once, with its own step.
    // In blocks of one row the calls are the same seven.
    const QList<int> steps = {114, 126, 156, 156, 156, 172, 174};
    for (int callsLeft = 0; callsLeft <= int(steps.size()); ++callsLeft) {
        for (const SheetTransfer &transfer : transfers.mid(0, 2)) {
            FakeHost host;
            FakeFactory factory;
            factory.callsLeft = callsLeft;

            exportToSpreadsheet(host, TableList(oneColumn, threeRows), factory, transfer);

            QCOMPARE(reportedSteps(host.m_dialogs, clickSource), steps.mid(callsLeft));
            QCOMPARE(host.pointers, hourglassThenNormal);
            QCOMPARE(factory.calls.count(QStringLiteral("release")), 2);
            QCOMPARE(factory.calls.constLast(), QStringLiteral("release"));
        }
    }
}

void TestSpreadsheet::applicationNotCreatedAfterTheProbe()
{
    FakeHost host;
    FakeFactory factory;
    factory.creatable = 1; // the probe's object only

    exportToSpreadsheet(host, TableList({"Result(s)", "Zip"}, {"x|Holtsville|00501", "-|Agawam|01001", "x|Adjuntas|"}),
                        factory);

    QCOMPARE(reportedSteps(host.m_dialogs, clickSource), QList<int>({112, 114, 126, 132, 156, 162, 156, 172, 174}));
    QVERIFY(host.m_dialogs.texts().constFirst().startsWith(QLatin1String("The application has been closed.\r\n")));
    QCOMPARE(factory.calls, probe + QStringList({"create FAILED"}));
    QCOMPARE(host.pointers, hourglassThenNormal);
}

void TestSpreadsheet::vanishedRowsAreReportedAndPassedOver()
{
    FakeHost host;
    FakeFactory factory;
    TableList list(oneColumn, threeRows);
    // Another command leaves only the first row while that row is written.
    host.onYield = [&] {
        if (host.yields == 3)
            list.truncate(1);
    };

    exportToSpreadsheet(host, list, factory);

    // Rows 2 and 3: neither tick nor text can be read; a failed test enters
    // its branch, so the write is tried, and fails in turn.
    QCOMPARE(reportedSteps(host.m_dialogs, clickSource), QList<int>({144, 154, 156, 144, 154, 156}));
    QCOMPARE(factory.calls.mid(4, 2), QStringList({"1,1 Result(s)", "2,1 Holtsville, NY 00501"}));
    QCOMPARE(factory.calls.at(6), QStringLiteral("autofit"));
    QCOMPARE(host.pointers, hourglassThenNormal);
}

void TestSpreadsheet::refusedBlockIsWrittenCellByCellInStepOrder()
{
    // Sheet row 2 is refused; the rows after it vanish as it is reached.
    // Every transfer reports the same steps in the same order, and writes
    // the same cells.
    QList<QStringList> sheets;
    for (const SheetTransfer &transfer : transfers) {
        FakeHost host;
        FakeFactory factory;
        factory.refusedRow = 2;
        TableList list({"Result(s)", "State", "Zip"}, {"x|Holtsville|NY|00501", "x|Agawam||01001", "x|Adjuntas|PR|"});
        host.onYield = [&] {
            if (host.yields == 4)
                list.truncate(1);
        };

        exportToSpreadsheet(host, list, factory, transfer);

        const QList<int> vanished = {144, 154, 156, 160, 162, 160, 162};
        QCOMPARE(reportedSteps(host.m_dialogs, clickSource), QList<int>({156, 162, 162}) + vanished + vanished);
        QStringList stored = factory.calls.filter(QRegularExpression(QStringLiteral("^\\d+,\\d+ ")));
        stored.removeIf([](const QString &call) { return call.endsWith(QLatin1String(" FAILED")); });
        QCOMPARE(stored, QStringList({"1,1 Result(s)", "1,2 State", "1,3 Zip"}));
        QCOMPARE(factory.calls.mid(factory.calls.size() - 3), QStringList({"autofit", "visible", "release"}));
    }
}

void TestSpreadsheet::refusedRectangleAfterOthersTaken()
{
    // Rows of different widths go out as rectangles of their own (sheet rows
    // 1-2, 3 and 4): when the application refuses the second, the first stays
    // as it went, and the cells from the second on are written one by one,
    // exactly as cell by cell.
    for (const SheetTransfer &transfer : transfers) {
        FakeHost host;
        FakeFactory factory;
        factory.refusedRow = 3;

        exportToSpreadsheet(host,
                            TableList({"Result(s)", "State", "Zip"},
                                      {"x|Holtsville|NY|00501", "x|Agawam||01001", "x|Adjuntas|PR|00601"}),
                            factory, transfer);

        QCOMPARE(reportedSteps(host.m_dialogs, clickSource), QList<int>({156, 162}));
        QStringList stored = factory.calls.filter(QRegularExpression(QStringLiteral("^\\d+,\\d+ ")));
        stored.removeIf([](const QString &call) { return call.endsWith(QLatin1String(" FAILED")); });
        QCOMPARE(stored,
                 QStringList({"1,1 Result(s)", "1,2 State", "1,3 Zip", "2,1 Holtsville", "2,2 NY", "2,3 00501",
                              "4,1 Adjuntas", "4,2 PR", "4,3 00601"}));
    }
}

void TestSpreadsheet::windowClosedWhileFillingKeepsTheCellsWritten()
{
    // The window closes in the yield before list row 3: the command ends at
    // once, and the cells written so far are in the sheet.
    for (const SheetTransfer &transfer : transfers) {
        FakeHost host;
        FakeFactory factory;
        host.onYield = [&] {
            if (host.yields == 1 + 2 * 2 + 1)
                throw ProgramEnding();
        };

        QVERIFY_THROWS_EXCEPTION(ProgramEnding,
                                 exportToSpreadsheet(host, TableList(oneColumn, threeRows), factory, transfer));

        QCOMPARE(factory.calls,
                 probe
                     + QStringList({"create", "add workbook", "1,1 Result(s)", "2,1 Holtsville, NY 00501",
                                    "3,1 Agawam, MA 01001", "release"}));
    }
}

void TestSpreadsheet::busyClickDoesNothing()
{
    const TableList list(oneColumn, threeRows);

    // Clicks that come in through the export's own yields, once per header
    // column, once per row and once per column of a ticked row (another
    // command's hourglass: tst_form1's exportsStandAsideDuringARun).
    FakeHost host;
    FakeFactory factory;
    host.onYield = [&] { exportToSpreadsheet(host, list, factory); };
    exportToSpreadsheet(host, list, factory);
    QCOMPARE(host.yields, 1 + 3 + 3);
    QCOMPARE(factory.calls,
             probe
                 + QStringList({"create", "add workbook", "1,1 Result(s)", "2,1 Holtsville, NY 00501",
                                "3,1 Agawam, MA 01001", "4,1 Adjuntas, PR 00601", "autofit", "visible", "release"}));
    QCOMPARE(host.pointers, hourglassThenNormal);
}

void TestSpreadsheet::windowClosedWhileTheApplicationWorks()
{
    // The window closes while the application works on a call (its
    // `occurrence`th of that name): the command ends with that call, and no
    // document is opened after the window has gone; the cells written by
    // then stay written.
    struct Case
    {
        SheetTransfer transfer;
        QString call;
        int occurrence;
        QStringList calls;
    };
    const SheetTransfer cellByCell{.cellByCell = true};
    const QStringList workbook = probe + QStringList({"create", "add workbook"});
    const QStringList cells = {"1,1 Result(s)", "2,1 Holtsville, NY 00501", "3,1 Agawam, MA 01001",
                               "4,1 Adjuntas, PR 00601"};
    const QList<Case> cases = {
        {cellByCell, "create", 1, probe},
        {cellByCell, "create", 2, probe + QStringList({"create", "release"})},
        {cellByCell, "add workbook", 1, workbook + QStringList({"release"})},
        {cellByCell, "3,1 Agawam, MA 01001", 1, workbook + cells.mid(0, 3) + QStringList({"release"})},
        {cellByCell, "autofit", 1, workbook + cells + QStringList({"autofit", "release"})},
        {SheetTransfer{}, "block 1-4", 1, workbook + cells + QStringList({"release"})},
    };
    for (const Case &closing : cases) {
        FakeHost host;
        FakeFactory factory;
        int seen = 0;
        factory.during = [&](const QString &call) {
            if (call == closing.call && ++seen == closing.occurrence)
                host.closed = true;
        };

        QVERIFY_THROWS_EXCEPTION(ProgramEnding,
                                 exportToSpreadsheet(host, TableList(oneColumn, threeRows), factory, closing.transfer));

        QCOMPARE(factory.calls, closing.calls);
        QVERIFY(host.m_dialogs.messages.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestSpreadsheet)
#include "tst_spreadsheet.moc"
