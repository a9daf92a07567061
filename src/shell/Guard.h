#pragma once

#include "shell/Failure.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <utility>

class Dialogs;

// A guarded procedure: its steps are numbered, and a failure in a step shows
// the error report with that step's number, after which the procedure goes on
// with its next step. A step's result is assigned inside the step, so a failed
// step leaves it as it was.
//
//     Guard guard(dialogs, "in Orvelle2021/08/31.Form1.Form_Load ");
//     guard.step(100, [&] { ApplySkin(); });
//     if (guard.test(104, [&] { return FileExists(path); }))
//         guard.step(106, [&] { loadCursor(path); });
//
// Rules for every guarded procedure:
// - Its source text ("in Orvelle2021/08/31.Form1.Form_Load ") and its step
//   numbers are frozen. The report shows both ("... at line 106"): users
//   quote them to support, who read them as the program has always written
//   them, so a number once given keeps its step, a new step takes a number
//   no step of that procedure has used, and a step folded into another keeps
//   its gaps. The tests pin them (reportedSteps in tests/TestSupport.h).
// - PascalCase names (Form_Load, PushButton2_Click, ApplySkin, FileExists)
//   are the original window's procedure names, kept so that a report and the
//   code read alike; camelCase names are ours.
// - A comment says what its steps do, not which numbers they span.
//
// The guarded procedures, their steps and where they live:
//   Form1.Form_Load                 100-138  app/Form1.cpp (the window's start)
//   Form1.Form_QueryUnload          100-112  app/Form1.cpp (the close; 100-110 also
//                                            at the session's end)
//   Form1.PushButton2_Click         100-178  generate/GenerationRun.cpp (Start Generating)
//   Form1.PushButton7_Click         100      generate/ListCommands.cpp (Clear List)
//   Form1.PushButton3_Click         106-122  export/TextExport.cpp (Save Results As Text File)
//   Main.SaveListviewProperlySpaced 100-242  export/TextExport.cpp (the text file itself)
//   Form1.PushButton8_Click         106      export/ClipboardCopy.cpp (Copy Results To Clipboard)
//   Form1.PushButton13_Click        100-178  export/SpreadsheetExport.cpp (Save Results As Excel File)
class Guard
{
public:
    Guard(Dialogs &dialogs, QString source);

    // The number of the running step; 0 before the first step begins.
    int line() const { return m_line; }

    // Runs one step. Returns true when it completed, false when it failed and was reported.
    template <typename Action> bool step(int number, Action &&action)
    {
        m_line = number;
        return catchFailures(std::forward<Action>(action), [this] { report(std::current_exception()); });
    }

    // A test that opens a branch: its value, or true when the test itself
    // failed, so that the branch runs as if the test had passed.
    template <typename Condition> bool test(int number, Condition &&condition)
    {
        bool result = true;
        step(number, [&] { result = std::forward<Condition>(condition)(); });
        return result;
    }

    enum class OnFailedHeader
    {
        EnterBody,
        SkipLoop
    };

    // A counted loop "for i = first to last() ... next i": the header (which
    // computes the bound) is step `header`, the loop's end step `next`. A failed
    // header enters the body once (or, where a bound is required, skips the
    // loop); a failed end leaves the loop, as does a counter that would pass
    // the 32-bit range.
    template <typename Last, typename Body>
    void forLoop(int header, int next, std::int32_t first, Last &&last, Body &&body,
                 OnFailedHeader onFailedHeader = OnFailedHeader::EnterBody)
    {
        std::int32_t end = 0;
        if (!step(header, [&] { end = last(); })) {
            if (onFailedHeader == OnFailedHeader::EnterBody)
                body(first);
            return;
        }
        for (std::int32_t i = first; i <= end;) {
            body(i);
            if (!step(next, [&] { i = nextCounter(i); }))
                return;
        }
    }

private:
    // The description the report shows for a caught exception.
    static QString describe(std::exception_ptr failure);
    static std::int32_t nextCounter(std::int32_t i);
    void report(std::exception_ptr failure);

    Dialogs &m_dialogs;
    QString m_source;
    int m_line = 0;
};
