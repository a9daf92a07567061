// The spreadsheet export against an application that records every call:
// the sheet layout, the two messages of a missing application, and the steps
// reported when the application fails part-way.

#include "ErrorReport.h"
#include "Failure.h"
#include "ListSource.h"
#include "Spreadsheet.h"
#include "SpreadsheetExport.h"
#include "TestSupport.h"

#include <QRegularExpression>
#include <QTest>

#include <memory>
#include <vector>

namespace {

const QString source = QStringLiteral("in Orvelle2021/08/31.Form1.PushButton13_Click ");
const QString probeMessage = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this software without error.");
const QString commandMessage =
    QStringLiteral("Excel is not installed on this computer. You need to have it installed to use this feature.");

// The calls made to the applications of one factory, in order, as text.
// After `callsLeft` more calls (when not negative) the application is gone
// and every call fails.
struct CallLog
{
    QStringList calls;
    int callsLeft = -1;

    void record(const QString &call)
    {
        if (callsLeft == 0) {
            calls.append(call + QLatin1String(" FAILED"));
            throw Failure(QStringLiteral("The application has been closed."));
        }
        if (callsLeft > 0)
            --callsLeft;
        calls.append(call);
    }
};

class FakeApplication : public SpreadsheetApplication
{
public:
    explicit FakeApplication(CallLog &log)
        : m_log(log)
    {
    }
    ~FakeApplication() override { m_log.calls.append(QStringLiteral("release")); }

    void addWorkbook() override { m_log.record(QStringLiteral("add workbook")); }
    void setCell(int row, int column, const QString &value) override
    {
        m_log.record(QStringLiteral("cell %1,%2 %3").arg(row).arg(column).arg(value));
    }
    void autofitColumns() override { m_log.record(QStringLiteral("autofit")); }
    void setVisible(bool visible) override { m_log.record(visible ? QStringLiteral("visible") : QStringLiteral("hidden")); }

private:
    CallLog &m_log;
};

class FakeFactory : public SpreadsheetFactory
{
public:
    std::unique_ptr<SpreadsheetApplication> create() override
    {
        if (creatable == 0) {
            log.calls.append(QStringLiteral("create FAILED"));
            throw Failure(QStringLiteral("Cannot create the application object."));
        }
        if (creatable > 0)
            --creatable;
        log.calls.append(QStringLiteral("create"));
        return std::make_unique<FakeApplication>(log);
    }

    CallLog log;
    int creatable = -1; // how many more objects can be created; negative: any number
};

// A list with any number of columns; reading past its end fails as the list
// control does.
class TableList : public ListSource
{
public:
    struct Row
    {
        QStringList cells;
        bool checked;
    };

    TableList(QStringList headers, std::vector<Row> rows)
        : m_headers(std::move(headers))
        , m_rows(std::move(rows))
    {
    }

    int columns() const override { return int(m_headers.size()); }
    QString header(int column) const override
    {
        if (column < 1 || column > columns())
            throw Failure(QStringLiteral("Index out of bounds: no column %1.").arg(column));
        return m_headers[column - 1];
    }
    int rows() const override { return int(m_rows.size()); }
    QString text(int row, int column) const override
    {
        checkRow(row);
        if (column < 1 || column > columns())
            throw Failure(QStringLiteral("Index out of bounds: no column %1.").arg(column));
        return m_rows[std::size_t(row - 1)].cells.value(column - 1);
    }
    bool checked(int row) const override
    {
        checkRow(row);
        return m_rows[std::size_t(row - 1)].checked;
    }

    void truncate(int rows) { m_rows.resize(std::size_t(rows)); }

private:
    void checkRow(int row) const
    {
        if (row < 1 || row > rows())
            throw Failure(QStringLiteral("Index out of bounds: no row %1.").arg(row));
    }

    QStringList m_headers;
    std::vector<Row> m_rows;
};

TableList singleColumn(std::vector<TableList::Row> rows)
{
    return TableList({QStringLiteral("Result(s)")}, std::move(rows));
}

// The step numbers of the error reports shown, checking that each is one.
QList<int> reportedSteps(const RecordingDialogs &dialogs)
{
    static const QRegularExpression line(QStringLiteral("\r\n(.*)at line (\\d+)\r\r"));
    QList<int> steps;
    for (const ShownMessage &message : dialogs.messages) {
        const QRegularExpressionMatch match = line.match(message.text);
        if (message.title != QLatin1String("Application Error") || message.icon != Dialogs::Icon::Warning
            || !match.hasMatch() || match.captured(1) != source) {
            steps.append(-1);
            continue;
        }
        steps.append(match.captured(2).toInt());
    }
    return steps;
}

const QStringList probe = {QStringLiteral("create"), QStringLiteral("release")};

} // namespace

class TestSpreadsheet : public QObject
{
    Q_OBJECT

private slots:
    void tickedRowsLandOnTheirOwnSheetRows();
    void firstRowDecidesTheHeader();
    void emptyCellsCloseUpToTheLeft();
    void equalsSignsGoFromLaterColumnsOnly();
    void missingApplicationShowsBothMessages();
    void probeReleasesItsObjectAtOnce();
    void emptyListOnlyProbes();
    void applicationClosedWhileFilling();
    void applicationNotCreatedAfterTheProbe();
    void vanishedRowsAreReportedAndPassedOver();
    void busyClickDoesNothing();
};

void TestSpreadsheet::tickedRowsLandOnTheirOwnSheetRows()
{
    FakeHost host;
    FakeFactory factory;
    const TableList list = singleColumn({{{QStringLiteral("Holtsville, NY 00501")}, true},
                                         {{QStringLiteral("Agawam, MA 01001")}, false},
                                         {{QStringLiteral("Adjuntas, PR 00601")}, true}});

    PushButton13_Click(host, list, factory);

    QCOMPARE(factory.log.calls, probe + QStringList({
                                            "create",
                                            "add workbook",
                                            "cell 1,1 Result(s)",
                                            "cell 2,1 Holtsville, NY 00501",
                                            "cell 4,1 Adjuntas, PR 00601",
                                            "autofit",
                                            "visible",
                                            "release",
                                        }));
    QVERIFY(host.m_dialogs.messages.isEmpty());
    QCOMPARE(host.pointers, QList<Pointer>({Pointer::Hourglass, Pointer::Normal}));
    // Once for the header's column, once per row, once per column of a ticked row.
    QCOMPARE(host.yields, 1 + 3 + 2);

    // Ticked rows further down leave every row above them blank.
    FakeFactory lower;
    const TableList below = singleColumn({{{QStringLiteral("Holtsville, NY 00501")}, false},
                                          {{QStringLiteral("Agawam, MA 01001")}, false},
                                          {{QStringLiteral("Adjuntas, PR 00601")}, true}});
    PushButton13_Click(host, below, lower);
    QCOMPARE(lower.log.calls.mid(4, 2), QStringList({"cell 1,1 Result(s)", "cell 4,1 Adjuntas, PR 00601"}));
    QCOMPARE(lower.log.calls.at(6), QStringLiteral("autofit"));
}

void TestSpreadsheet::firstRowDecidesTheHeader()
{
    FakeHost host;

    // An empty first text: no header cell, and the data still starts on row 2.
    FakeFactory factory;
    const TableList list = singleColumn({{{QString()}, true}, {{QStringLiteral("Agawam, MA 01001")}, true}});
    PushButton13_Click(host, list, factory);
    QCOMPARE(factory.log.calls.mid(4), QStringList({"cell 3,1 Agawam, MA 01001", "autofit", "visible", "release"}));

    // Only the columns that list row 1 fills have a caption, even when that
    // row is not ticked.
    FakeFactory columns;
    const TableList table({"Result(s)", "State", "Zip"},
                          {{{"Holtsville", "", "00501"}, false}, {{"Agawam", "MA", "01001"}, false}});
    PushButton13_Click(host, table, columns);
    QCOMPARE(columns.log.calls.mid(4), QStringList({"cell 1,1 Result(s)", "cell 1,2 Zip", "autofit", "visible", "release"}));
    QVERIFY(host.m_dialogs.messages.isEmpty());
}

void TestSpreadsheet::emptyCellsCloseUpToTheLeft()
{
    FakeHost host;
    FakeFactory factory;
    const TableList list({"Result(s)", "State", "Zip"},
                         {{{"Holtsville", "NY", "00501"}, true},
                          {{"Agawam", "", "01001"}, true},
                          {{"", "PR", ""}, true}});

    PushButton13_Click(host, list, factory);

    QCOMPARE(factory.log.calls.mid(4), QStringList({
                                           "cell 1,1 Result(s)",
                                           "cell 1,2 State",
                                           "cell 1,3 Zip",
                                           "cell 2,1 Holtsville",
                                           "cell 2,2 NY",
                                           "cell 2,3 00501",
                                           "cell 3,1 Agawam",
                                           "cell 3,2 01001",
                                           "cell 4,1 PR",
                                           "autofit",
                                           "visible",
                                           "release",
                                       }));
}

void TestSpreadsheet::equalsSignsGoFromLaterColumnsOnly()
{
    FakeHost host;
    FakeFactory factory;
    // A value made only of "=" still takes its cell: it is tested before the
    // signs go, so the next value stays in its own column.
    const TableList list({"Result(s)", "Formula", "Signs", "Zip"}, {{{"=x", "a=b=c", "==", "00501"}, true}});

    PushButton13_Click(host, list, factory);

    QCOMPARE(factory.log.calls.mid(8, 4), QStringList({"cell 2,1 =x", "cell 2,2 abc", "cell 2,3 ", "cell 2,4 00501"}));
    QVERIFY(host.m_dialogs.messages.isEmpty());
}

void TestSpreadsheet::missingApplicationShowsBothMessages()
{
    for (const bool empty : {false, true}) {
        FakeHost host;
        FakeFactory factory;
        factory.creatable = 0;
        const TableList list = empty ? singleColumn({}) : singleColumn({{{QStringLiteral("Holtsville, NY 00501")}, true}});

        PushButton13_Click(host, list, factory);

        QCOMPARE(host.m_dialogs.texts(), QStringList({probeMessage, commandMessage}));
        for (const ShownMessage &message : host.m_dialogs.messages) {
            QCOMPARE(message.title, applicationTitle());
            QCOMPARE(message.icon, Dialogs::Icon::None);
        }
        QCOMPARE(factory.log.calls, QStringList({"create FAILED"}));
        QVERIFY(host.pointers.isEmpty());
    }
}

void TestSpreadsheet::probeReleasesItsObjectAtOnce()
{
    RecordingDialogs dialogs;
    FakeFactory factory;
    QVERIFY(SaveResultsAsExcelFileIsExcelInstalled(dialogs, factory));
    QCOMPARE(factory.log.calls, probe);
    QVERIFY(dialogs.messages.isEmpty());

    factory.creatable = 0;
    QVERIFY(!SaveResultsAsExcelFileIsExcelInstalled(dialogs, factory));
    QCOMPARE(dialogs.texts(), QStringList({probeMessage}));
}

void TestSpreadsheet::emptyListOnlyProbes()
{
    FakeHost host;
    FakeFactory factory;
    PushButton13_Click(host, singleColumn({}), factory);
    QCOMPARE(factory.log.calls, probe);
    QVERIFY(host.m_dialogs.messages.isEmpty());
    QVERIFY(host.pointers.isEmpty());
    QCOMPARE(host.yields, 0);
}

void TestSpreadsheet::applicationClosedWhileFilling()
{
    // Seven calls reach the application: the workbook, the header, three rows,
    // the fit and the window. Whichever call finds it closed, that one and
    // every later one is reported once with its own step.
    const QList<int> steps = {114, 126, 156, 156, 156, 172, 174};
    const TableList list = singleColumn({{{QStringLiteral("Holtsville, NY 00501")}, true},
                                         {{QStringLiteral("Agawam, MA 01001")}, true},
                                         {{QStringLiteral("Adjuntas, PR 00601")}, true}});
    for (int callsLeft = 0; callsLeft <= int(steps.size()); ++callsLeft) {
        FakeHost host;
        FakeFactory factory;
        factory.creatable = 2;
        factory.log.callsLeft = callsLeft;

        PushButton13_Click(host, list, factory);

        QCOMPARE(reportedSteps(host.m_dialogs), steps.mid(callsLeft));
        if (callsLeft < steps.size())
            QVERIFY(host.m_dialogs.texts().constFirst().startsWith(QLatin1String("The application has been closed.\r\n")));
        QCOMPARE(host.pointers, QList<Pointer>({Pointer::Hourglass, Pointer::Normal}));
        QCOMPARE(factory.log.calls.constLast(), QStringLiteral("release"));
        QCOMPARE(factory.log.calls.count(QStringLiteral("release")), 2);
    }
}

void TestSpreadsheet::applicationNotCreatedAfterTheProbe()
{
    FakeHost host;
    FakeFactory factory;
    factory.creatable = 1; // the probe's object only
    const TableList list({"Result(s)", "Zip"},
                         {{{"Holtsville", "00501"}, true}, {{"Agawam", "01001"}, false}, {{"Adjuntas", ""}, true}});

    PushButton13_Click(host, list, factory);

    QCOMPARE(reportedSteps(host.m_dialogs), QList<int>({112, 114, 126, 132, 156, 162, 156, 172, 174}));
    QCOMPARE(factory.log.calls, probe + QStringList({"create FAILED"}));
    QCOMPARE(host.pointers, QList<Pointer>({Pointer::Hourglass, Pointer::Normal}));
}

void TestSpreadsheet::vanishedRowsAreReportedAndPassedOver()
{
    FakeHost host;
    FakeFactory factory;
    TableList list = singleColumn({{{QStringLiteral("Holtsville, NY 00501")}, true},
                                   {{QStringLiteral("Agawam, MA 01001")}, true},
                                   {{QStringLiteral("Adjuntas, PR 00601")}, true}});
    // Another command clears all but the first row while row 1 is written.
    host.onYield = [&] {
        if (host.yields == 3)
            list.truncate(1);
    };

    PushButton13_Click(host, list, factory);

    // Rows 2 and 3: their tick and their text can no longer be read; a
    // failed test enters its branch, so the write is tried and fails too.
    QCOMPARE(reportedSteps(host.m_dialogs), QList<int>({144, 154, 156, 144, 154, 156}));
    QCOMPARE(factory.log.calls.mid(4), QStringList({"cell 1,1 Result(s)", "cell 2,1 Holtsville, NY 00501", "autofit",
                                                    "visible", "release"}));
    QCOMPARE(host.pointers, QList<Pointer>({Pointer::Hourglass, Pointer::Normal}));
}

void TestSpreadsheet::busyClickDoesNothing()
{
    const TableList list = singleColumn({{{QStringLiteral("Holtsville, NY 00501")}, true},
                                         {{QStringLiteral("Agawam, MA 01001")}, true}});

    // Another command shows the hourglass: not even the probe runs.
    FakeHost busy;
    busy.m_pointer = Pointer::Hourglass;
    FakeFactory untouched;
    PushButton13_Click(busy, list, untouched);
    QVERIFY(untouched.log.calls.isEmpty());
    QVERIFY(busy.m_dialogs.messages.isEmpty());
    QVERIFY(busy.pointers.isEmpty());

    // A click that comes in through one of the export's own yields.
    FakeHost host;
    FakeFactory factory;
    int nested = 0;
    host.onYield = [&] {
        ++nested;
        PushButton13_Click(host, list, factory);
    };
    PushButton13_Click(host, list, factory);
    QVERIFY(nested > 0);
    QCOMPARE(factory.log.calls, probe + QStringList({"create", "add workbook", "cell 1,1 Result(s)",
                                                     "cell 2,1 Holtsville, NY 00501", "cell 3,1 Agawam, MA 01001",
                                                     "autofit", "visible", "release"}));
    QCOMPARE(host.pointers, QList<Pointer>({Pointer::Hourglass, Pointer::Normal}));
    QVERIFY(host.m_dialogs.messages.isEmpty());
}

QTEST_GUILESS_MAIN(TestSpreadsheet)
#include "tst_spreadsheet.moc"
