#include "app/SystemClipboard.h"
#include "export/ClipboardCopy.h"
#include "generate/ResultList.h"
#include "shell/Failure.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

namespace {

// A clipboard that another program holds for the first `busyFor` attempts.
class FakeClipboard : public Clipboard
{
public:
    bool clear() override
    {
        ++clears;
        if (refuse())
            return false;
        text.clear();
        return true;
    }
    bool setText(const QString &value, int) override
    {
        ++sets;
        if (refuse())
            return false;
        text = value;
        return true;
    }

    int busyFor = 0;
    bool throws = false;
    int clears = 0;
    int sets = 0;
    QString text = QStringLiteral("before");

private:
    bool refuse()
    {
        if (busyFor == 0)
            return false;
        --busyFor;
        if (throws)
            throw Failure(QStringLiteral("clipboard busy"));
        return true;
    }
};

const QString copySource = QStringLiteral("in Orvelle2021/08/31.Form1.PushButton8_Click ");

} // namespace

class TestClipboard : public QObject
{
    Q_OBJECT

private slots:
    void retries_data()
    {
        QTest::addColumn<int>("busyFor");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<bool>("placed");
        QTest::addColumn<int>("attempts");
        QTest::newRow("free") << 0 << false << true << 1;
        QTest::newRow("free at the last attempt") << 999 << false << true << 1000;
        QTest::newRow("never free") << 1000 << false << false << 1000;
        QTest::newRow("failures thrown") << 999 << true << true << 1000;
        QTest::newRow("thrown to the end") << 5000 << true << false << 1000;
    }
    void retries()
    {
        QFETCH(int, busyFor);
        QFETCH(bool, throws);
        QFETCH(bool, placed);
        QFETCH(int, attempts);

        FakeClipboard clipboard;
        clipboard.busyFor = busyFor;
        clipboard.throws = throws;
        QCOMPARE(SetClipboardText(clipboard, QStringLiteral("new"), 0), placed);
        QCOMPARE(clipboard.sets, attempts);
        QCOMPARE(clipboard.text, placed ? QStringLiteral("new") : QStringLiteral("before"));

        clipboard.busyFor = busyFor;
        ClearClipboard(clipboard);
        QCOMPARE(clipboard.clears, attempts);
        QCOMPARE(clipboard.text.isEmpty(), placed);
    }

    // A clipboard that stays busy: nothing is placed and nothing is reported.
    void busyClipboardIsNotReported()
    {
        TableList list({QStringLiteral("H1")});
        list.add({"a"}, true);
        FakeHost host;
        FakeClipboard clipboard;
        clipboard.busyFor = 2000;
        copyToClipboard(host, list, clipboard);
        QCOMPARE(clipboard.clears + clipboard.sets, 2000);
        QCOMPARE(clipboard.text, QStringLiteral("before"));
        QVERIFY(host.m_dialogs.messages.isEmpty());
    }

    void text_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QList<bool>>("checked");
        QTest::addColumn<QString>("expected");

        QTest::newRow("unticked rows left out")
            << 1 << QList<QStringList>{{"t1"}, {"t2"}, {"t3"}} << QList<bool>{true, false, true} << "t1\r\nt3\r\n";
        QTest::newRow("trailing spaces dropped, leading kept")
            << 1 << QList<QStringList>{{"  ab  "}, {"abcdefgh"}} << QList<bool>{true, true} << "  ab\r\nabcdefgh\r\n";
        QTest::newRow("two columns") << 2 << QList<QStringList>{{"ab", "x"}, {"abcd", "yy"}} << QList<bool>{true, true}
                                     << "ab  \tx\r\nabcd\tyy\r\n";
        QTest::newRow("empty last cell") << 2 << QList<QStringList>{{"ab", ""}} << QList<bool>{true} << "ab\t\r\n";
        QTest::newRow("unticked row widens")
            << 2 << QList<QStringList>{{"ab", "x"}, {"abcdef", "yyyy"}} << QList<bool>{true, false} << "ab    \tx\r\n";
        QTest::newRow("blank line stops at the line before")
            << 1 << QList<QStringList>{{"a"}, {"   "}} << QList<bool>{true, true} << "a\r\n\r\n";
        QTest::newRow("spaces before a TAB stay")
            << 2 << QList<QStringList>{{"a", "b"}, {" ", ""}} << QList<bool>{true, true} << "a\tb\r\n \t\r\n";
        QTest::newRow("none ticked") << 1 << QList<QStringList>{{"a"}} << QList<bool>{false} << "";
        QTest::newRow("no columns") << 0 << QList<QStringList>{{}, {}} << QList<bool>{true, true} << "\r\n\r\n";
    }
    void text()
    {
        QFETCH(int, columns);
        QFETCH(QList<QStringList>, rows);
        QFETCH(QList<bool>, checked);
        QFETCH(QString, expected);

        QStringList headers;
        for (int c = 1; c <= columns; ++c)
            headers.append(QStringLiteral("H%1").arg(c));
        TableList list(headers);
        for (qsizetype i = 0; i < rows.size(); ++i)
            list.add(rows[i], checked[i]);
        FakeHost host;
        FakeClipboard clipboard;
        CopyListviewToClipboard(host, list, clipboard);
        QCOMPARE(clipboard.text, expected);
        QCOMPARE(clipboard.clears, 1);
        // one yield per cell measured, per row, and per cell of a ticked row
        const auto ticked = checked.count(true);
        QCOMPARE(host.yields, columns * rows.size() + rows.size() + columns * ticked);
    }

    void emptyListLeavesTheClipboardAlone()
    {
        TableList list({QStringLiteral("H1")});
        FakeHost host;
        FakeClipboard clipboard;
        copyToClipboard(host, list, clipboard);
        QCOMPARE(clipboard.clears + clipboard.sets, 0);
        QVERIFY(host.yields == 0 && host.m_dialogs.messages.isEmpty());
    }

    void systemClipboard()
    {
        ResultsColumnList list;
        list.append(QStringLiteral("Holtsville, NY 00501"));
        list.append(QStringLiteral("Zürich, NY 00544"));
        list.append(QStringLiteral("Adjuntas, PR 00601"));
        list.setChecked(1, true);
        list.setChecked(2, true);
        FakeHost host;
        SystemClipboard clipboard;
        copyToClipboard(host, list, clipboard);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Holtsville, NY 00501\r\nZürich, NY 00544\r\n"));
        QVERIFY(host.m_dialogs.messages.isEmpty());
    }

    // A row deleted from the window while the copy yields: reported, clipboard kept.
    void rowRemovedDuringTheCopy()
    {
        ResultsColumnList list;
        for (int i = 0; i < 5; ++i)
            list.append(QStringLiteral("Row %1").arg(i));
        list.setAllChecked(true);
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        FakeHost host;
        host.onYield = [&] {
            if (host.yields == 7) // while the rows are copied
                list.remove(2);
        };
        SystemClipboard clipboard;
        copyToClipboard(host, list, clipboard);
        const QStringList texts = host.m_dialogs.texts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains("\r\n" + copySource + "at line 106\r\r"), qPrintable(texts.first()));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    }
};

QTEST_MAIN(TestClipboard)
#include "tst_clipboard.moc"
