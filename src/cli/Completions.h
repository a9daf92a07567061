#pragma once

#include <QString>
#include <QStringList>

// An option as the shells complete it: its names, a few words on it, and
// what may follow it.
struct CompletedOption
{
    enum class Value
    {
        None, // a switch
        Free, // a value the shell cannot guess, such as a count: nothing is offered
        Word, // one of `words`
        List, // comma-separated `words`, any number of them
        File, // a file name
    };
    QStringList names; // as QCommandLineOption has them: "n", "count"
    QString summary;   // one short phrase
    QString valueName; // "FILE", "LIST"...
    Value value = Value::None;
    QStringList words;        // each "word" or "word\tdescription"
    bool repeatable = false;  // adds up when given again
    bool endsTheLine = false; // --help, --version: nothing is offered after it
};

// The completion script of `shell` (bash, zsh or fish) for the command
// `orvelle` with these options; empty for another shell.
QString completionScript(const QString &shell, const QList<CompletedOption> &options);
