#include "cli/Completions.h"

#include <QRegularExpression>

namespace {

using Value = CompletedOption::Value;

// Text in single quotes for any of the three shells.
QString quoted(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
}

QString word(const QString &entry)
{
    return entry.section(QLatin1Char('\t'), 0, 0);
}

QString description(const QString &entry)
{
    return entry.section(QLatin1Char('\t'), 1);
}

// The options' names as typed: "-n", "--count".
QStringList typed(const CompletedOption &option)
{
    QStringList names;
    for (const QString &name : option.names)
        names.append((name.size() == 1 ? QLatin1String("-") : QLatin1String("--")) + name);
    return names;
}

QStringList words(const CompletedOption &option)
{
    QStringList plain;
    for (const QString &entry : option.words)
        plain.append(word(entry));
    return plain;
}

const QString header = QStringLiteral("# Completion of orvelle's options and their values, made by\n"
                                      "# \"orvelle --completion %1\" from the command line's own tables.\n");

// bash-completion's _init_completion splits "--fields=city" and finds the
// word before; a list completes its last item, after the last comma.
QString bashScript(const QList<CompletedOption> &options)
{
    QString script = header.arg(QLatin1String("bash")) + QStringLiteral(R"(
_orvelle_list()
{
    local prefix=
    [[ $cur == *,* ]] && prefix=${cur%,*},
    COMPREPLY=($(compgen -P "$prefix" -W "$1" -- "${cur##*,}"))
    compopt -o nospace
}

_orvelle()
{
    local cur prev words cword split
    _init_completion -s || return

    local word
    for word in "${words[@]:1:cword-1}"; do
        case $word in
)");
    QStringList ending;
    QStringList all;
    for (const CompletedOption &option : options) {
        all += typed(option);
        if (option.endsTheLine)
            ending += typed(option);
    }
    script += QStringLiteral("            %1) return ;;\n        esac\n    done\n\n    case $prev in\n")
                  .arg(ending.join(QLatin1String(" | ")));
    for (const CompletedOption &option : options) {
        if (option.value == Value::None)
            continue;
        script += QStringLiteral("        %1)\n            ").arg(typed(option).join(QLatin1String(" | ")));
        const QString list = words(option).join(QLatin1Char(' '));
        switch (option.value) {
        case Value::Word:
            script += QStringLiteral("COMPREPLY=($(compgen -W %1 -- \"$cur\"))\n            ").arg(quoted(list));
            break;
        case Value::List:
            script += QStringLiteral("_orvelle_list %1\n            ").arg(quoted(list));
            break;
        case Value::File:
            script += QStringLiteral("_filedir\n            ");
            break;
        default:
            break;
        }
        script += QStringLiteral("return\n            ;;\n");
    }
    script += QStringLiteral("    esac\n\n    $split && return\n\n"
                             "    COMPREPLY=($(compgen -W %1 -- \"$cur\"))\n}\n\n"
                             "complete -F _orvelle orvelle\n")
                  .arg(quoted(all.join(QLatin1Char(' '))));
    return script;
}

// A phrase in the brackets of zsh's _arguments.
QString zshExplanation(const QString &text)
{
    static const QRegularExpression special(QStringLiteral("([\\[\\]\\\\])"));
    return QString(text).replace(special, QStringLiteral("\\\\1"));
}

// _arguments: a switch or an option with its value, excluded once given
// unless repeatable; --help and --version exclude everything else; a list
// completes each item after a comma through _sequence.
QString zshScript(const QList<CompletedOption> &options)
{
    QString script = QStringLiteral("#compdef orvelle\n") + header.arg(QLatin1String("zsh"));
    QString argumentForms;
    for (qsizetype i = 0; i < options.size(); ++i) {
        const CompletedOption &option = options[i];
        QString action;
        if (!option.words.isEmpty()) {
            QStringList described;
            for (const QString &entry : option.words) {
                described.append(quoted(QString(word(entry)).replace(QLatin1Char(':'), QLatin1String("\\:"))
                                        + QLatin1Char(':')
                                        + (description(entry).isEmpty() ? word(entry) : description(entry))));
            }
            script += QStringLiteral("local -a values%1=(%2)\n").arg(i).arg(described.join(QLatin1Char(' ')));
            const QString describe = QStringLiteral("_describe -t values%1 %2 values%1").arg(i).arg(option.valueName);
            action = option.value == Value::List ? QStringLiteral("_sequence ") + describe : describe;
        } else if (option.value == Value::File) {
            action = QStringLiteral("_files");
        } else {
            action = QStringLiteral(" ");
        }
        const QStringList names = typed(option);
        const QString exclusion = option.endsTheLine ? QStringLiteral("(- *)")
            : option.repeatable                      ? QStringLiteral("*")
                                : QLatin1Char('(') + names.join(QLatin1Char(' ')) + QLatin1Char(')');
        QStringList forms;
        for (const QString &name : names) {
            const QString suffix = option.value == Value::None ? QString()
                : name.size() == 2                             ? QStringLiteral("+")
                                                               : QStringLiteral("=");
            QString form = exclusion + name + suffix + QLatin1Char('[') + zshExplanation(option.summary)
                + QLatin1Char(']');
            if (option.value != Value::None)
                form += QLatin1Char(':') + zshExplanation(option.valueName) + QLatin1Char(':') + action;
            forms.append(quoted(form));
        }
        argumentForms += QStringLiteral(" \\\n    ") + forms.join(QStringLiteral(" \\\n    "));
    }
    return script + QStringLiteral("\n_arguments -s -S") + argumentForms + QLatin1Char('\n');
}

// complete: files never but after --output; nothing once --help or
// --version is on the line; a list completes its last item after a comma,
// with the items before it kept.
QString fishScript(const QList<CompletedOption> &options)
{
    QString script = header.arg(QLatin1String("fish")) + QStringLiteral(R"(
function __orvelle_list --description 'The items of a comma-separated list, each after those before it'
    set -l token (commandline -ct | string replace -r -- '^--?[a-z-]+=' '')
    set -l before (string match -r -- '^.*,' $token)
    for item in $argv
        printf '%s%s\n' "$before" $item
    end
end

complete -c orvelle -f
)");
    QStringList ending;
    for (const CompletedOption &option : options) {
        if (option.endsTheLine)
            ending += option.names;
    }
    QStringList endingShort;
    QStringList endingLong;
    for (const QString &name : ending)
        (name.size() == 1 ? endingShort : endingLong).append(name);
    const QString condition = QStringLiteral("not __fish_contains_opt")
        + (endingShort.isEmpty() ? QString() : QStringLiteral(" -s ") + endingShort.join(QStringLiteral(" -s ")))
        + QLatin1Char(' ') + endingLong.join(QLatin1Char(' '));
    // The values with their descriptions, in global lists that the
    // completions read when they run.
    for (qsizetype i = 0; i < options.size(); ++i) {
        QStringList entries;
        for (const QString &entry : options[i].words)
            entries.append(quoted(entry));
        if (!entries.isEmpty())
            script += QStringLiteral("set -g __orvelle_values%1 %2\n").arg(i).arg(entries.join(QLatin1Char(' ')));
    }
    for (qsizetype i = 0; i < options.size(); ++i) {
        const CompletedOption &option = options[i];
        QString line = QStringLiteral("complete -c orvelle -n %1").arg(quoted(condition));
        for (const QString &name : option.names)
            line += (name.size() == 1 ? QStringLiteral(" -s ") : QStringLiteral(" -l ")) + name;
        switch (option.value) {
        case Value::None:
            break;
        case Value::Free:
            line += QStringLiteral(" -x");
            break;
        case Value::File:
            line += QStringLiteral(" -r -F");
            break;
        case Value::Word:
            line += QStringLiteral(" -x -a '(printf \"%s\\n\" $__orvelle_values%1)'").arg(i);
            break;
        case Value::List:
            line += QStringLiteral(" -x -a '(__orvelle_list $__orvelle_values%1)'").arg(i);
            break;
        }
        script += line + QStringLiteral(" -d %1\n").arg(quoted(option.summary));
    }
    return script;
}

} // namespace

QString completionScript(const QString &shell, const QList<CompletedOption> &options)
{
    if (shell == QLatin1String("bash"))
        return bashScript(options);
    if (shell == QLatin1String("zsh"))
        return zshScript(options);
    if (shell == QLatin1String("fish"))
        return fishScript(options);
    return {};
}
