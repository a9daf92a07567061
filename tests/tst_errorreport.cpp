// The error report's text and the guarded procedures' recovery rules.

#include "shell/ErrorReport.h"
#include "shell/Failure.h"
#include "shell/Guard.h"
#include "TestSupport.h"

#include <QTest>

#include <stdexcept>

namespace {

const QString source = QStringLiteral("in Orvelle2021/08/31.Main.SaveListviewProperlySpaced ");

void failWith(const QString &description)
{
    throw Failure(description);
}

// An unguarded routine that fails, called from a guarded step.
int unguardedHelper()
{
    failWith(QStringLiteral("Path not found"));
    return 1;
}

} // namespace

class TestErrorReport : public QObject
{
    Q_OBJECT

private slots:
    void messageText_data();
    void messageText();
    void boxIsAWarningTitledApplicationError();

    void failedStepIsReportedAndSkipped();
    void failedTestEntersTheBranch();
    void loopHeaderAndEndRecovery();
    void everyFailingPassIsReported();
    void unguardedRoutineReportsTheCallingStep();
    void otherExceptionsAreDescribed();
    void programEndingPassesEveryGuard();
    void lineIsZeroBeforeTheFirstStep();
};

void TestErrorReport::messageText_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("start");
    const QString line = QStringLiteral("in Orvelle2021/08/31.Main.SaveListviewProperlySpaced at line ");
    QTest::newRow("failure") << "Disk full" << 156 << "Disk full\r\n" + line + "156\r\r";
    QTest::newRow("no description") << "" << 100 << "\r\n" + line + "100\r\r";
    QTest::newRow("step 0") << "x" << 0 << "x\r\n" + line + "0\r\r";
    QTest::newRow("negative step") << "x" << -12 << "x\r\n" + line + "-12\r\r";
}

void TestErrorReport::messageText()
{
    QFETCH(QString, description);
    QFETCH(int, step);
    QFETCH(QString, start);
    QVERIFY(!supportAddress().isEmpty());
    QCOMPARE(errorReportText(description, source, step),
             start + QStringLiteral("Please email screenshot of this message to ") + supportAddress());
}

void TestErrorReport::boxIsAWarningTitledApplicationError()
{
    RecordingDialogs dialogs;
    ErrorReport(dialogs, QStringLiteral("d"), source, 104);
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].title, QStringLiteral("Application Error"));
    QCOMPARE(dialogs.messages[0].icon, Dialogs::Icon::Warning);
}

void TestErrorReport::failedStepIsReportedAndSkipped()
{
    RecordingDialogs dialogs;
    Guard guard(dialogs, source);
    QString text = QStringLiteral("before");
    QVERIFY(guard.step(100, [&] { text = QStringLiteral("first"); }));
    QVERIFY(!guard.step(102, [&] {
        failWith(QStringLiteral("Permission denied"));
        text = QStringLiteral("never");
    }));
    // The failed step's result keeps its old value and the next step runs.
    QCOMPARE(text, QStringLiteral("first"));
    QVERIFY(guard.step(104, [&] { text += QStringLiteral(" then"); }));
    QCOMPARE(text, QStringLiteral("first then"));
    QCOMPARE(dialogs.texts(), QStringList{errorReportText(QStringLiteral("Permission denied"), source, 102)});
}

void TestErrorReport::failedTestEntersTheBranch()
{
    RecordingDialogs dialogs;
    Guard guard(dialogs, source);
    QVERIFY(!guard.test(100, [] { return false; }));
    QVERIFY(guard.test(102, []() -> bool { throw Failure(QStringLiteral("Object required")); }));
    QCOMPARE(dialogs.messages.size(), 1);
    QVERIFY(dialogs.messages[0].text.contains(QStringLiteral("at line 102")));
}

void TestErrorReport::loopHeaderAndEndRecovery()
{
    RecordingDialogs dialogs;
    Guard guard(dialogs, source);

    // A normal loop runs first..last, none when last < first.
    QList<int> seen;
    guard.forLoop(
        110, 116, 1, [] { return 3; }, [&](int i) { seen.append(i); });
    QCOMPARE(seen, (QList<int>{1, 2, 3}));
    seen.clear();
    guard.forLoop(
        110, 116, 1, [] { return 0; }, [&](int i) { seen.append(i); });
    QVERIFY(seen.isEmpty());
    QVERIFY(dialogs.messages.isEmpty());

    // A failed header enters the body once.
    guard.forLoop(
        110, 116, 1, []() -> int { throw Failure(QStringLiteral("Type mismatch")); }, [&](int i) { seen.append(i); });
    QCOMPARE(seen, QList<int>{1});
    QCOMPARE(dialogs.messages.size(), 1);
    QVERIFY(dialogs.messages.last().text.contains(QStringLiteral("at line 110")));

    // ... unless the loop needs its bound.
    seen.clear();
    guard.forLoop(
        110, 116, 1, []() -> int { throw Failure(QStringLiteral("Type mismatch")); }, [&](int i) { seen.append(i); },
        Guard::OnFailedHeader::SkipLoop);
    QVERIFY(seen.isEmpty());
    QCOMPARE(dialogs.messages.size(), 2);

    // A failed loop end leaves the loop: the counter cannot pass the 32-bit range.
    seen.clear();
    guard.forLoop(
        110, 116, std::numeric_limits<std::int32_t>::max() - 1, [] { return std::numeric_limits<std::int32_t>::max(); },
        [&](int i) { seen.append(i); });
    QCOMPARE(seen.size(), 2);
    QCOMPARE(dialogs.messages.size(), 3);
    QVERIFY(dialogs.messages.last().text.startsWith(QStringLiteral("Overflow\r\n")));
    QVERIFY(dialogs.messages.last().text.contains(QStringLiteral("at line 116")));
}

void TestErrorReport::everyFailingPassIsReported()
{
    RecordingDialogs dialogs;
    Guard guard(dialogs, source);
    guard.forLoop(
        182, 224, 1, [] { return 4; },
        [&](int i) {
        guard.step(222, [&] {
            if (i % 2 == 0)
                failWith(QStringLiteral("Bad file name or number"));
        });
        });
    QCOMPARE(dialogs.messages.size(), 2);
    for (const ShownMessage &message : dialogs.messages)
        QVERIFY(message.text.contains(QStringLiteral("at line 222\r\r")));
    // After a report, the guard stays in force and the procedure goes on.
    QVERIFY(guard.step(232, [] {}));
}

void TestErrorReport::unguardedRoutineReportsTheCallingStep()
{
    RecordingDialogs dialogs;
    Guard guard(dialogs, QStringLiteral("in Orvelle2021/08/31.Form1.PushButton3_Click "));
    int value = 7;
    guard.step(120, [&] { value = unguardedHelper(); });
    QCOMPARE(value, 7);
    QCOMPARE(dialogs.texts(),
             QStringList{errorReportText(QStringLiteral("Path not found"),
                                         QStringLiteral("in Orvelle2021/08/31.Form1.PushButton3_Click "), 120)});
}

void TestErrorReport::otherExceptionsAreDescribed()
{
    RecordingDialogs dialogs;
    Guard guard(dialogs, source);
    guard.step(100, [] { throw std::runtime_error("runtime trouble"); });
    guard.step(102, [] { throw std::bad_alloc(); });
    guard.step(104, [] { throw 42; });
    QCOMPARE(dialogs.messages.size(), 3);
    QVERIFY(dialogs.messages[0].text.startsWith(QStringLiteral("runtime trouble\r\n")));
    QVERIFY(dialogs.messages[1].text.startsWith(QStringLiteral("Out of memory\r\n")));
    QVERIFY(dialogs.messages[2].text.contains(QStringLiteral("at line 104")));
}

void TestErrorReport::programEndingPassesEveryGuard()
{
    RecordingDialogs dialogs;
    Guard outer(dialogs, source);
    bool after = false;
    QVERIFY_THROWS_EXCEPTION(ProgramEnding, outer.step(100, [&] {
        Guard inner(dialogs, source);
        inner.step(100, [] { throw ProgramEnding(); });
        after = true;
    }));
    QVERIFY(!after);
    QVERIFY(dialogs.messages.isEmpty());
}

void TestErrorReport::lineIsZeroBeforeTheFirstStep()
{
    RecordingDialogs dialogs;
    Guard guard(dialogs, source);
    QCOMPARE(guard.line(), 0);
    guard.step(140, [] {});
    QCOMPARE(guard.line(), 140);
}

QTEST_GUILESS_MAIN(TestErrorReport)
#include "tst_errorreport.moc"
