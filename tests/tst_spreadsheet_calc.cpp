// The spreadsheet export into a real, headless LibreOffice Calc: the cells are
// read back through UNO. The office is started by the factory under test in
// a temporary profile and ended with it; every office started is also noted
// in a file, so that the cleanup step (`--end-offices`) can end what a
// crashed run left behind.

#include "LibreOffice.h"
#include "LibreOfficeUno.h"
#include "ListSource.h"
#include "SpreadsheetExport.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <csignal>
#include <memory>
#include <vector>

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// The living (not zombie) processes of process group `group`.
int livingProcessesIn(qint64 group)
{
    int count = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid pgrp ...; comm may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toLongLong() == group && fields[0] != "Z")
            ++count;
    }
    return count;
}

bool waitUntilGone(qint64 group, int ms)
{
    for (int waited = 0; livingProcessesIn(group) > 0; waited += 20) {
        if (waited >= ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

void noteOffice(qint64 pid)
{
    QFile file(QStringLiteral(OFFICE_PID_FILE));
    if (pid > 0 && file.open(QIODevice::Append))
        file.write(QByteArray::number(pid) + '\n');
}

// The cleanup step: ends the offices a run noted and did not end. A number is
// only acted on while it still leads a group of the office's own processes.
int endLeftOffices()
{
    QFile file(QStringLiteral(OFFICE_PID_FILE));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> pids = file.readAll().split('\n');
    for (const QByteArray &text : pids) {
        const qint64 pid = text.toLongLong();
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (pid <= 0 || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray command = cmdline.readAll();
        if ((command.contains("oosplash") || command.contains("soffice")) && getpgid(pid_t(pid)) == pid) {
            std::printf("ending office %lld left by an earlier run\n", pid);
            kill(-pid_t(pid), SIGKILL);
        }
    }
    file.close();
    file.remove();
    return 0;
}

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
    QString header(int column) const override { return m_headers.value(column - 1); }
    int rows() const override { return int(m_rows.size()); }
    QString text(int row, int column) const override { return m_rows.at(std::size_t(row - 1)).cells.value(column - 1); }
    bool checked(int row) const override { return m_rows.at(std::size_t(row - 1)).checked; }

private:
    QStringList m_headers;
    std::vector<Row> m_rows;
};

// What a cell of the sheet holds: "" when empty, "text:..." for a text,
// "value:..." for a number and "formula:..." for a formula.
QString describeCell(const Reference<css::sheet::XSpreadsheet> &sheet, int column, int row)
{
    const Reference<css::table::XCell> cell = sheet->getCellByPosition(column, row);
    switch (cell->getType()) {
    case css::table::CellContentType_EMPTY:
        return QString();
    case css::table::CellContentType_TEXT:
        return QStringLiteral("text:")
            + LibreOfficeUno::toQString(Reference<css::text::XText>(cell, UNO_QUERY_THROW)->getString());
    case css::table::CellContentType_VALUE:
        return QStringLiteral("value:%1").arg(cell->getValue());
    default:
        return QStringLiteral("formula:") + LibreOfficeUno::toQString(cell->getFormula());
    }
}

// Runs a test's body: a UNO exception that escaped it would end the program.
template <typename Body>
void failingOnUnoExceptions(Body &&body)
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
    void cleanupTestCase();
    void cleanup();

    void cellsHoldTheirTextsLiterally();
    void officeKilledWhileFilling();
    void missingOfficeShowsBothMessages();

private:
    // The Calc documents open in the office, through a connection of our own.
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> documents() const;
    Reference<css::sheet::XSpreadsheet> onlyDocumentsActiveSheet() const;
    void startedOffice();

    QTemporaryDir m_profiles;
    std::unique_ptr<LibreOfficeFactory> m_factory;
    QList<qint64> m_offices;
};

void TestSpreadsheetCalc::initTestCase()
{
    QVERIFY(m_profiles.isValid());
    LibreOfficeOptions options;
    options.headless = true;
    options.profileParent = m_profiles.path();
    options.whileStarting = [this] { startedOffice(); };
    m_factory = std::make_unique<LibreOfficeFactory>(options);
}

void TestSpreadsheetCalc::startedOffice()
{
    const qint64 pid = m_factory->officeProcessId();
    if (pid > 0 && !m_offices.contains(pid)) {
        m_offices.append(pid);
        noteOffice(pid);
    }
}

void TestSpreadsheetCalc::cleanup()
{
    // Each test starts from an office without documents.
    if (m_factory->officeAddress().isEmpty())
        return;
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
    for (const qint64 pid : m_offices)
        QVERIFY2(waitUntilGone(pid, 5000), "an office outlived its factory");
    QFile::remove(QStringLiteral(OFFICE_PID_FILE));
    // The temporary profiles went with their offices.
    QVERIFY(QDir(m_profiles.path()).isEmpty());
}

std::vector<Reference<css::sheet::XSpreadsheetDocument>> TestSpreadsheetCalc::documents() const
{
    const auto context = LibreOfficeUno::connect(m_factory->officeAddress());
    const Reference<css::container::XEnumeration> components =
        css::frame::Desktop::create(context)->getComponents()->createEnumeration();
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> result;
    while (components->hasMoreElements()) {
        const Reference<css::sheet::XSpreadsheetDocument> document(components->nextElement(), UNO_QUERY);
        if (document.is())
            result.push_back(document);
    }
    return result;
}

Reference<css::sheet::XSpreadsheet> TestSpreadsheetCalc::onlyDocumentsActiveSheet() const
{
    const auto all = documents();
    if (all.size() != 1)
        return {};
    const Reference<css::frame::XModel> model(all.front(), UNO_QUERY_THROW);
    return Reference<css::sheet::XSpreadsheetView>(model->getCurrentController(), UNO_QUERY_THROW)->getActiveSheet();
}

void TestSpreadsheetCalc::cellsHoldTheirTextsLiterally()
{
    failingOnUnoExceptions([&] {
        FakeHost host;
        const TableList list({"Result(s)", "Zip", "Note"},
                             {
                                 {{"Holtsville, NY 00501", "00501", "=1+1"}, true},
                                 {{"Agawam, MA 01001", "01001", "unticked"}, false},
                                 {{"=SUM(1;2)", "", "a=b=c"}, true},
                                 {{"00501", "==", "after the signs"}, true},
                                 {{"'quoted", "TRUE", "12/31/2020"}, true},
                             });

        PushButton13_Click(host, list, *m_factory);
        startedOffice();

        QCOMPARE(host.m_dialogs.texts(), QStringList());
        QCOMPARE(host.pointers, QList<Pointer>({Pointer::Hourglass, Pointer::Normal}));

        const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
        QVERIFY2(sheet.is(), "the export should leave exactly one new Calc document");
        const QStringList expected[] = {
            {"text:Result(s)", "text:Zip", "text:Note"},
            {"text:Holtsville, NY 00501", "text:00501", "text:1+1"},
            {"", "", ""},
            {"text:=SUM(1;2)", "text:abc", ""},
            {"text:00501", "", "text:after the signs"},
            {"text:'quoted", "text:TRUE", "text:12/31/2020"},
            {"", "", ""},
        };
        for (int row = 0; row < int(std::size(expected)); ++row) {
            QStringList actual;
            for (int column = 0; column < 4; ++column)
                actual.append(describeCell(sheet, column, row));
            QCOMPARE(actual, expected[row] + QStringList({QString()}));
        }

        // The columns were fitted: column A is wider than a fresh column.
        const Reference<css::table::XTableColumns> columns =
            Reference<css::table::XColumnRowRange>(sheet, UNO_QUERY_THROW)->getColumns();
        const auto widthOf = [&](int column) {
            return Reference<css::beans::XPropertySet>(columns->getByIndex(column), UNO_QUERY_THROW)
                ->getPropertyValue("Width")
                .get<sal_Int32>();
        };
        QVERIFY2(widthOf(0) > widthOf(5), qPrintable(QStringLiteral("A: %1, F: %2").arg(widthOf(0)).arg(widthOf(5))));

        // A second export reuses the running office and opens a second document.
        const qint64 office = m_factory->officeProcessId();
        PushButton13_Click(host, list, *m_factory);
        QCOMPARE(m_factory->officeProcessId(), office);
        QCOMPARE(documents().size(), std::size_t(2));
    });
}

void TestSpreadsheetCalc::officeKilledWhileFilling()
{
    failingOnUnoExceptions([&] {
        std::vector<TableList::Row> rows;
        for (int i = 0; i < 30; ++i)
            rows.push_back({{QStringLiteral("Holtsville, NY %1").arg(501 + i, 5, 10, QLatin1Char('0'))}, true});
        const TableList list({"Result(s)"}, std::move(rows));

        // The office dies at the yield before row 5: rows 5 to 30 cannot be
        // written, nor can the columns be fitted or the window shown.
        FakeHost host;
        qint64 killed = 0;
        host.onYield = [&] {
            if (host.yields != 1 + 2 * 4 + 1)
                return;
            startedOffice();
            killed = m_factory->officeProcessId();
            QVERIFY(killed > 0);
            kill(-pid_t(killed), SIGKILL);
            QVERIFY(waitUntilGone(killed, 5000));
        };
        PushButton13_Click(host, list, *m_factory);

        QVERIFY(killed > 0);
        QList<int> steps;
        static const QRegularExpression line(QStringLiteral("PushButton13_Click at line (\\d+)\r\r"));
        for (const ShownMessage &message : host.m_dialogs.messages) {
            QCOMPARE(message.title, QStringLiteral("Application Error"));
            QVERIFY2(message.text.startsWith(QLatin1String("LibreOffice")), qPrintable(message.text));
            steps.append(line.match(message.text).captured(1).toInt());
        }
        QCOMPARE(steps, QList<int>(26, 156) + QList<int>({172, 174}));
        QCOMPARE(host.pointers, QList<Pointer>({Pointer::Hourglass, Pointer::Normal}));

        // The program goes on: the next export starts another office.
        FakeHost again;
        const TableList small({"Result(s)"}, {{{"Agawam, MA 01001"}, true}});
        PushButton13_Click(again, small, *m_factory);
        startedOffice();
        QCOMPARE(again.m_dialogs.texts(), QStringList());
        QVERIFY(m_factory->officeProcessId() != killed);
        const Reference<css::sheet::XSpreadsheet> sheet = onlyDocumentsActiveSheet();
        QVERIFY(sheet.is());
        QCOMPARE(describeCell(sheet, 0, 1), QStringLiteral("text:Agawam, MA 01001"));
    });
}

void TestSpreadsheetCalc::missingOfficeShowsBothMessages()
{
    const TableList list({"Result(s)"}, {{{"Agawam, MA 01001"}, true}});
    // No such program; a program that ends at once instead of listening.
    for (const char *program : {"/nonexistent/soffice", "/bin/true"}) {
        LibreOfficeOptions options;
        options.program = QString::fromLatin1(program);
        options.profileParent = m_profiles.path();
        LibreOfficeFactory factory(options);
        FakeHost host;
        QElapsedTimer timer;
        timer.start();

        PushButton13_Click(host, list, factory);

        QVERIFY2(timer.elapsed() < 5000, "a launcher that ends must not be waited for");
        QCOMPARE(host.m_dialogs.messages.size(), 2);
        QVERIFY(host.m_dialogs.texts().constFirst().contains(QLatin1String("use this software without error.")));
        QVERIFY(host.m_dialogs.texts().constLast().contains(QLatin1String("use this feature.")));
        QVERIFY(host.pointers.isEmpty());
    }
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--end-offices") == 0)
        return endLeftOffices();
    QCoreApplication application(argc, argv);
    TestSpreadsheetCalc test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_spreadsheet_calc.moc"
