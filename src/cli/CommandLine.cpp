#include "cli/CommandLine.h"

#include "cli/BatchOutput.h"
#include "cli/Completions.h"
#include "cli/PlaceDraws.h"
#include "cli/PlaceTable.h"
#include "cli/PlaceWriter.h"
#include "cli/WindowStart.h"
#include "generate/PlaceDatabase.h"
#include "shell/Failure.h"
#include "shell/FileNames.h"
#include "shell/Messages.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <numeric>
#include <optional>
#include <unistd.h>

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

// A mistake in the arguments, said in one line that names the option.
struct UsageError
{
    QString message;
};

enum class Listing
{
    None,
    Fields,
    Formats,
    States,
};

struct BatchOptions
{
    std::uint64_t count = 0;
    PlaceLayout layout;
    PlaceFilter filter;
    QStringList filterOptions; // the filter options given, for a message
    bool unique = false;
    bool weighted = false;
    std::uint64_t seed = 0;
    QString output; // empty: standard output
    QString lookup; // --lookup: the file of ZIP codes (- standard input); null: none
    bool lookupHeader = false;
    bool perState = false; // --count places of each state
    Listing listing = Listing::None;
    QString text; // the help or the version, written instead of places
    // --completion: the shell, and the options its script completes (with
    // the state codes still to come from the database).
    QString completionShell;
    QList<CompletedOption> completed;
    // --near: a ZIP code, or else a point; and the unit of --within.
    QString nearZip;
    double nearLatitude = 0;
    double nearLongitude = 0;
    double kilometres = 0; // per unit of distance; 0: no --near
    QString near;          // as given, for a message
    QString within;
};

// Writes `text` where the run writes, checked as the places are.
void writeText(const QString &output, const QString &text, const QStringList &ownFiles)
{
    const QByteArray bytes = encodeFileName(text);
    BatchOutput destination(output);
    destination.open(ownFiles);
    destination.write(bytes.constData(), bytes.size());
    destination.commit();
}

// The options' values are read by hand, not by pattern: a pattern that runs
// out of memory matches nothing, and the run would blame the value.

// Whether `text` is `least` to `most` ASCII digits.
bool isDigits(QStringView text, qsizetype least, qsizetype most)
{
    return text.size() >= least && text.size() <= most
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// `text` with its ASCII letters in upper (or lower) case, and no other letter
// changed: options take ASCII names, which no other letter may stand for
// ("ſc" is no "SC", nor "ıa" "IA", though Unicode cases them so).
QString asciiCase(QStringView text, bool upper)
{
    QString cased = text.toString();
    const char16_t first = upper ? u'a' : u'A';
    for (QChar &c : cased) {
        if (c.unicode() >= first && c.unicode() <= first + 25)
            c = QChar(c.unicode() ^ 0x20);
    }
    return cased;
}

// Of `names`, the one nearest to `wrong` by edits of a letter, as " (did you
// mean X?)", when one is near enough to be what was meant; else nothing.
QString didYouMean(const QString &wrong, const QStringList &names, const QString &prefix = QString())
{
    const QString typed = asciiCase(wrong, false);
    qsizetype best = (typed.size() >= 3 ? 2 : 1) + 1;
    QString nearest;
    for (const QString &name : names) {
        // The Levenshtein distance, a row at a time.
        std::vector<qsizetype> row(std::size_t(name.size()) + 1);
        for (std::size_t j = 0; j < row.size(); ++j)
            row[j] = qsizetype(j);
        for (qsizetype i = 1; i <= typed.size(); ++i) {
            qsizetype diagonal = row[0];
            row[0] = i;
            for (qsizetype j = 1; j <= name.size(); ++j) {
                const qsizetype above = row[std::size_t(j)];
                row[std::size_t(j)] = std::min({above + 1, row[std::size_t(j - 1)] + 1,
                                                diagonal + (typed[i - 1] == asciiCase(name, false)[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        if (row.back() < best) {
            best = row.back();
            nearest = name;
        }
    }
    return nearest.isEmpty() ? QString() : QStringLiteral(" (did you mean %1%2?)").arg(prefix, nearest);
}

// `text` without the blanks (ASCII white space) at its ends.
QStringView unblanked(QStringView text)
{
    const auto blank = [](QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    while (!text.isEmpty() && blank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && blank(text.back()))
        text.chop(1);
    return text;
}

// The length of the decimal at the start of `text`: digits, then a point and
// digits ("12", "12.", "12.5"), or a point and digits (".5") where `bare`; 0
// when there is none. A sign before it when `sign`.
qsizetype decimalLength(QStringView text, bool sign, bool bare)
{
    qsizetype at = sign && !text.isEmpty() && (text[0] == u'-' || text[0] == u'+') ? 1 : 0;
    const auto digits = [&] {
        const qsizetype start = at;
        while (at < text.size() && text[at] >= u'0' && text[at] <= u'9')
            ++at;
        return at - start;
    };
    const qsizetype whole = digits();
    if (at < text.size() && text[at] == u'.') {
        ++at;
        if (digits() == 0 && whole == 0)
            return 0;
    }
    return whole > 0 || (bare && at > 1) ? at : 0;
}

// The decimal that is all of `text` (blanks around it aside), or nothing.
std::optional<double> decimal(QStringView text, bool sign)
{
    text = unblanked(text);
    if (text.isEmpty() || decimalLength(text, sign, false) != text.size())
        return std::nullopt;
    return text.toDouble();
}

std::uint64_t wholeNumber(const QString &option, const QString &value)
{
    bool ok = isDigits(value, 1, value.size());
    const std::uint64_t number = ok ? value.toULongLong(&ok) : 0;
    if (!ok) {
        throw UsageError{QStringLiteral("invalid %1 %2: a whole number from 0 to %3 is expected")
                             .arg(option, quotedName(value), QString::number(UINT64_MAX))};
    }
    return number;
}

// The values of a repeatable option of comma-separated lists, all together,
// trimmed, each once, where it first comes.
QStringList listValues(const QStringList &values)
{
    QStringList items;
    QSet<QString> seen;
    for (const QString &value : values) {
        for (const QString &item : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString trimmed = item.trimmed();
            if (!trimmed.isEmpty() && !seen.contains(trimmed)) {
                seen.insert(trimmed);
                items.append(trimmed);
            }
        }
    }
    return items;
}

// A list as a message echoes it: the first few of its items, and how many more.
QString echoed(const QStringList &items)
{
    constexpr qsizetype shown = 8;
    QString text = items.first(std::min(shown, items.size())).join(QLatin1Char(','));
    if (items.size() > shown)
        text += QStringLiteral(",... (%1 more)").arg(items.size() - shown);
    return text;
}

QStringList fieldNameList()
{
    QStringList names;
    for (const FieldInfo &field : fieldInfo)
        names.append(QLatin1String(field.name));
    return names;
}

QString fieldNames()
{
    return fieldNameList().join(QLatin1String(", "));
}

// With `near`, "all" holds the distance too; without, it may not be asked for.
std::vector<Field> fieldList(const QStringList &values, bool near)
{
    const QStringList names = listValues(values);
    if (names.isEmpty())
        throw UsageError{QStringLiteral("--fields needs at least one of %1").arg(fieldNames())};
    // Each field once, where it is first named; "all" names those not named before it.
    std::vector<Field> fields;
    const auto add = [&](Field field) {
        if (std::find(fields.begin(), fields.end(), field) == fields.end())
            fields.push_back(field);
    };
    for (const QString &name : names) {
        const QString lower = asciiCase(name, false);
        if (lower == QLatin1String("all")) {
            for (const FieldInfo &field : fieldInfo) {
                if (near || field.field != Field::Distance)
                    add(field.field);
            }
            continue;
        }
        const auto known = std::find_if(fieldInfo.begin(), fieldInfo.end(),
                                        [&](const FieldInfo &field) { return lower == QLatin1String(field.name); });
        if (known == fieldInfo.end()) {
            throw UsageError{QStringLiteral("unknown field %1 in --fields%2: choose from %3")
                                 .arg(quotedName(name), didYouMean(name, fieldNameList()), fieldNames())};
        }
        if (known->field == Field::Distance && !near)
            throw UsageError{QStringLiteral("the field distance needs --near: the distance from where")};
        add(known->field);
    }
    return fields;
}

// The names that stand for several state codes in --state and --exclude-state.
struct StateGroup
{
    const char *name;
    const char *codes;
};
constexpr StateGroup stateGroups[] = {
    {"states",
     "AL,AK,AZ,AR,CA,CO,CT,DE,DC,FL,GA,HI,ID,IL,IN,IA,KS,KY,LA,ME,MD,MA,MI,MN,MS,MO,MT,NE,NV,NH,NJ,NM,NY,"
     "NC,ND,OH,OK,OR,PA,RI,SC,SD,TN,TX,UT,VT,VA,WA,WV,WI,WY"},
    {"territories", "PR,VI,GU,AS,MP"},
    {"military", "AA,AE,AP"},
};

QStringList stateCodes(const QString &option, const QStringList &values)
{
    QStringList codes;
    for (const QString &value : listValues(values)) {
        const auto group = std::find_if(std::begin(stateGroups), std::end(stateGroups), [&](const StateGroup &group) {
            return asciiCase(value, false) == QLatin1String(group.name);
        });
        if (group != std::end(stateGroups))
            codes += QString::fromLatin1(group->codes).split(QLatin1Char(','));
        else
            codes += asciiCase(value, true);
    }
    codes.removeDuplicates();
    if (codes.isEmpty())
        throw UsageError{QStringLiteral("%1 needs at least one state code, such as CA").arg(option)};
    return codes;
}

QStringList zipPrefixes(const QStringList &values)
{
    const QStringList prefixes = listValues(values);
    if (prefixes.isEmpty())
        throw UsageError{QStringLiteral("--zip-prefix needs at least one ZIP code prefix, such as 100")};
    for (const QString &value : prefixes) {
        if (!isDigits(value, 1, 5))
            throw UsageError{
                QStringLiteral("invalid --zip-prefix %1: one to five digits are expected").arg(quotedName(value))};
    }
    return prefixes;
}

// --near ZIP or LAT,LON and --within DISTANCE[km|mi] into the options.
void readNear(BatchOptions &options, const QString &near, const QString &within)
{
    if (within.isNull())
        throw UsageError{QStringLiteral("--near needs --within: how far, such as --within 25 or --within 40km")};
    if (near.isNull())
        throw UsageError{QStringLiteral("--within needs --near: the ZIP code or point to measure from")};
    options.near = near;
    options.within = within;
    if (isDigits(near, 5, 5)) {
        options.nearZip = near;
    } else {
        // LAT,LON: two decimals, each with a sign if need be.
        const qsizetype comma = near.indexOf(QLatin1Char(','));
        const std::optional<double> latitude = decimal(QStringView(near).first(std::max<qsizetype>(comma, 0)), true);
        const std::optional<double> longitude = decimal(QStringView(near).sliced(comma + 1), true);
        options.nearLatitude = latitude.value_or(0);
        options.nearLongitude = longitude.value_or(0);
        if (comma < 0 || !latitude || !longitude || std::abs(*latitude) > 90 || std::abs(*longitude) > 180) {
            throw UsageError{QStringLiteral("invalid --near %1: a five-digit ZIP code or LAT,LON in degrees "
                                            "(latitude -90 to 90, longitude -180 to 180), such as 40.75,-73.99 is "
                                            "expected")
                                 .arg(quotedName(near))};
        }
    }
    // A decimal (".5" too), then "mi" or "km" in any case, if at all.
    const QStringView distance = unblanked(within);
    const qsizetype length = decimalLength(distance, false, true);
    const QStringView unit = unblanked(distance.sliced(length));
    const QString unitName = asciiCase(unit, false);
    const bool known = unit.isEmpty() || unitName == u"mi" || unitName == u"km";
    options.filter.within = length > 0 && known ? distance.first(length).toDouble() : 0;
    if (!(options.filter.within > 0) || !std::isfinite(options.filter.within)) {
        throw UsageError{QStringLiteral("invalid --within %1: a distance above 0 in miles, or with km in "
                                        "kilometres, such as 25 or 40km, is expected")
                             .arg(quotedName(within))};
    }
    options.kilometres = unitName == u"km" ? 1.0 : 1.609344;
}

// The names of the formats: "plain, aligned, ... or json".
QStringList formatNameList()
{
    QStringList names;
    for (const FormatInfo &format : formatInfo)
        names.append(QLatin1String(format.name));
    return names;
}

// Names as choices: "a, b or c".
QString choices(QStringList names)
{
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QLatin1String(", ")) + QLatin1String(" or ") + last;
}

QString formatNames()
{
    return choices(formatNameList());
}

OutputFormat outputFormat(const QString &value)
{
    const QString name = asciiCase(value, false);
    for (const FormatInfo &format : formatInfo) {
        if (name == QLatin1String(format.name) || (format.alias && name == QLatin1String(format.alias)))
            return format.format;
    }
    throw UsageError{QStringLiteral("invalid --format %1%2: choose %3")
                         .arg(quotedName(value), didYouMean(value, formatNameList()), formatNames())};
}

// The values of --weight: with population or without.
const QStringList weightKinds{QStringLiteral("population"), QStringLiteral("none")};

// Each option as the shells complete it: the values of --fields, --format,
// --state and --weight from the tables the parser reads them with, a file
// name for a FILE, nothing after the `endingOptions` (--help); the state
// codes are added from the database.
QList<CompletedOption> completedOptions(const QList<QCommandLineOption> &options, const QCommandLineOption &fields,
                                        const QCommandLineOption &format, const QCommandLineOption &weight,
                                        const QStringList &stateOptions, const QStringList &endingOptions)
{
    QList<CompletedOption> completed;
    for (const QCommandLineOption &option : options) {
        if (option.flags() & QCommandLineOption::HiddenFromHelp)
            continue;
        CompletedOption entry;
        entry.names = option.names();
        // The first sentence, without "; repeatable", cut to fit beside the option in a list.
        const QString description = option.description();
        qsizetype end = description.indexOf(QStringLiteral(". "));
        if (end < 0)
            end = description.endsWith(QLatin1Char('.')) ? description.size() - 1 : description.size();
        QString summary = description.left(end).remove(QStringLiteral("; repeatable"));
        if (summary.size() > 72)
            summary = summary.left(summary.lastIndexOf(QLatin1Char(' '), 68)) + QStringLiteral("...");
        entry.summary = summary.simplified();
        entry.valueName = option.valueName();
        entry.repeatable = option.description().endsWith(QLatin1String("repeatable."));
        entry.endsTheLine = endingOptions.contains(option.names().constLast());
        entry.value = option.valueName().isEmpty() ? CompletedOption::Value::None : CompletedOption::Value::Free;
        if (option.names() == fields.names()) {
            entry.value = CompletedOption::Value::List;
            for (const FieldInfo &field : fieldInfo)
                entry.words.append(QLatin1String(field.name) + QLatin1Char('\t') + QLatin1String(field.description));
            entry.words.append(QStringLiteral("all\tevery field"));
        } else if (option.names() == format.names()) {
            entry.value = CompletedOption::Value::Word;
            for (const FormatInfo &info : formatInfo) {
                entry.words.append(QLatin1String(info.name));
                if (info.alias)
                    entry.words.append(QLatin1String(info.alias));
            }
        } else if (option.names() == weight.names()) {
            entry.value = CompletedOption::Value::Word;
            entry.words = weightKinds;
        } else if (stateOptions.contains(option.names().constLast())) {
            entry.value = CompletedOption::Value::List;
        } else if (option.valueName() == QLatin1String("FILE")) {
            entry.value = CompletedOption::Value::File;
        }
        completed.append(entry);
    }
    return completed;
}

// Words filled into lines of at most 79 columns.
QString wrapped(const QString &text)
{
    QString lines;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > 79) {
            lines += line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return lines + line + QLatin1Char('\n');
}

QString helpEpilogue()
{
    QString formats = QStringLiteral("Formats:");
    for (const FormatInfo &format : formatInfo)
        formats += QLatin1Char(' ') + QLatin1String(format.description);
    return QLatin1Char('\n') + wrapped(formats + QStringLiteral(" A value the data lacks is empty, or null in JSON."))
        + QStringLiteral("\n"
                         "--weight population draws each ZIP code with a chance in proportion to the\n"
                         "residents of its Census ZIP Code Tabulation Area (the Census Bureau's\n"
                         "American Community Survey 2018-2022 estimates; the island areas from their\n"
                         "2020 census), so state shares follow the census. A ZIP code where\n"
                         "nobody lives (post office boxes, one firm, a military post office) counts\n"
                         "as 1 person.\n"
                         "The places: the 50 states and DC, Puerto Rico, the U.S. Virgin Islands,\n"
                         "Guam, American Samoa, the Northern Mariana Islands, the Marshall Islands'\n"
                         "two ZIP codes and the military post offices (AA, AE, AP).\n"
                         "See the manual page for the limits.\n"
                         "\n"
                         "The options marked repeatable add up when given again; of any other option\n"
                         "given twice, the last counts. Names of formats, fields, states, groups and\n"
                         "weights are taken in any case of their ASCII letters (--format CSV,\n"
                         "--state ca).\n"
                         "\n"
                         "Examples:\n"
                         "  orvelle -n 5\n"
                         "  orvelle -n 1000 --format csv --seed 42 -o places.csv\n"
                         "  orvelle -n 100 --fields zip,city,county,timezone --format jsonl\n"
                         "  orvelle -n 20 --weight population --state states\n"
                         "  orvelle -n 10 --state CA --state NY --zip-prefix 100,941\n"
                         "  orvelle -n 10 --near 60601 --within 25 --fields zip,city,distance\n"
                         "  orvelle -n 5 --fields city,state,zip,phone --format csv\n"
                         "\n"
                         "Without any argument, Orvelle opens its window.\n"
                         "\n"
                         "Exit status: 0 on success, 1 when the place database or the output fails,\n"
                         "2 when the arguments are wrong or the filters leave no place.\n");
}

const QString versionText = QStringLiteral(
    "orvelle (Orvelle) " ORVELLE_VERSION "\n"
    "Place data release " ORVELLE_DATA_RELEASE "\n"
    "Contains postal code data from GeoNames (geonames.org), CC BY 4.0, the\n"
    "Census ZIP areas, their residents, points and counties and the territories'\n"
    "ZIP codes from the US Census Bureau, towns' points and names from the USGS's\n"
    "Geographic Names Information System, and area codes from libphonenumber's\n"
    "geocoding data, Apache License 2.0, and the North American Numbering Plan\n"
    "Administrator's NPA database.\n");

// The most places of one INSERT statement: a statement of that many rows
// stays far below SQLite's and PostgreSQL's limits on a statement's length.
constexpr std::uint32_t maximumRowsPerInsert = 100000;

// The most places of a --per-state run, which keeps their order in memory.
constexpr std::uint64_t maximumPerStateRows = 50000000;

// Reads the arguments; returns the options of a run.
BatchOptions parseArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes random real places of the United States, drawn from the ZIP-code\n"
                       "database that ships with Orvelle, for scripts and test data."));
    const QCommandLineOption count({QStringLiteral("n"), QStringLiteral("count")},
                                   QStringLiteral("How many places to write (required)."), QStringLiteral("N"));
    const QCommandLineOption fields({QStringLiteral("f"), QStringLiteral("fields")},
                                    QStringLiteral("The columns, in this order: any of %1, or all "
                                                   "(default: city,state,zip); repeatable.")
                                        .arg(fieldNames()),
                                    QStringLiteral("LIST"));
    const QCommandLineOption state({QStringLiteral("s"), QStringLiteral("state")},
                                   QStringLiteral("Only places in these state codes, such as CA,NY, or "
                                                  "groups: states (the 50 and DC), territories (PR, VI, "
                                                  "GU, AS, MP), military (AA, AE, AP); repeatable."),
                                   QStringLiteral("LIST"));
    const QCommandLineOption excludeState(QStringLiteral("exclude-state"),
                                          QStringLiteral("No places in these state codes or groups, such as "
                                                         "military; repeatable."),
                                          QStringLiteral("LIST"));
    const QCommandLineOption zipPrefix(QStringLiteral("zip-prefix"),
                                       QStringLiteral("Only ZIP codes that begin with one of these prefixes "
                                                      "of 1 to 5 digits, such as 100,941; repeatable."),
                                       QStringLiteral("LIST"));
    const QCommandLineOption near(QStringLiteral("near"),
                                  QStringLiteral("Only places within --within of this ZIP code or point "
                                                 "(LAT,LON in degrees, such as 40.75,-73.99); adds the field "
                                                 "distance."),
                                  QStringLiteral("ZIP|LAT,LON"));
    const QCommandLineOption within(QStringLiteral("within"),
                                    QStringLiteral("With --near: the greatest great-circle distance, in miles, "
                                                   "or in kilometres with km (such as 25 or 40km)."),
                                    QStringLiteral("DISTANCE"));
    const QCommandLineOption unique({QStringLiteral("u"), QStringLiteral("unique")}, QStringLiteral("No place twice."));
    const QCommandLineOption weight(QStringLiteral("weight"),
                                    QStringLiteral("population: places in proportion to the people they serve; "
                                                   "none: every ZIP code alike (default)."),
                                    QStringLiteral("KIND"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Draw the same places on every run and machine "
                                                 "(S: a whole number; default: a random seed)."),
                                  QStringLiteral("S"));
    const QCommandLineOption format(QStringLiteral("format"), formatNames() + QStringLiteral(" (default: plain)."),
                                    QStringLiteral("FORMAT"));
    const QCommandLineOption noHeader(QStringLiteral("no-header"),
                                      QStringLiteral("csv and tsv: no row of field names; sql: no CREATE TABLE."));
    const QCommandLineOption table(QStringLiteral("table"),
                                   QStringLiteral("sql: the table the rows go into (default: places); schema.name "
                                                  "names one in a schema."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption rowsPerInsert(QStringLiteral("rows-per-insert"),
                                           QStringLiteral("sql: N places to an INSERT statement, 1 to %1 "
                                                          "(default: 1); 1000 loads into SQLite twice as fast.")
                                               .arg(maximumRowsPerInsert),
                                           QStringLiteral("N"));
    const QCommandLineOption copy(QStringLiteral("copy"),
                                  QStringLiteral("sql: the rows as one COPY ... FROM stdin block, which psql "
                                                 "loads fastest (PostgreSQL only)."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Write to FILE, replaced only when complete "
                                                   "(default, or -: standard output)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption listFields(QStringLiteral("list-fields"), QStringLiteral("List the fields and exit."));
    const QCommandLineOption perState(QStringLiteral("per-state"),
                                      QStringLiteral("N places of each state of the filters, state by state in "
                                                     "the order of their codes, instead of --count."),
                                      QStringLiteral("N"));
    const QCommandLineOption lookup(QStringLiteral("lookup"),
                                    QStringLiteral("Instead of drawing, write the place of each ZIP code of FILE "
                                                   "(- standard input), one row a line, in its order: the code is "
                                                   "the line, or its first cell before a comma or TAB."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption lookupHeader(QStringLiteral("lookup-header"),
                                          QStringLiteral("With --lookup: the file's first line is a header."));
    const QCommandLineOption listFormats(QStringLiteral("list-formats"),
                                         QStringLiteral("List the formats and exit."));
    const QCommandLineOption listStates(QStringLiteral("list-states"),
                                        QStringLiteral("List the state codes with their names and numbers "
                                                       "of places (after the filters) and exit."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Display this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Output version information and exit."));
    const QList<QCommandLineOption> allOptions{count,     fields,        state,   excludeState, zipPrefix,  near,
                                            within,    unique,        weight,  seed,         format,     noHeader,
                                            table,     rowsPerInsert, copy,    output,       listFields, listFormats,
                                            listStates, lookup,       lookupHeader, perState, help, version};
    parser.addOptions(allOptions);
    // The shells' completion scripts, which the build makes and installs.
    QCommandLineOption completion(QStringLiteral("completion"), QStringLiteral("The completion script of SHELL."),
                                  QStringLiteral("SHELL"));
    completion.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(completion);

    // Qt's own options are the window's; among the command line's, Qt's parser would take "-platform" for -p -l -a ...
    if (const QStringList qt = windowOptions(arguments.mid(1)); !qt.isEmpty()) {
        throw UsageError{QStringLiteral("%1 %2 the window's, not the command line's: give %3 alone to open the window")
                             .arg(qt.join(QLatin1Char(' ')),
                                  qt.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                                  qt.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"))};
    }
    if (!parser.parse(arguments)) {
        QStringList names;
        for (const QCommandLineOption &option : allOptions)
            names.append(option.names().constLast());
        QString message = parser.errorText();
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty() && message.endsWith(u'.'))
            message.chop(1);
        throw UsageError{message
                         + (unknown.isEmpty() ? QString() : didYouMean(unknown.constFirst(), names, QStringLiteral("--")))};
    }
    BatchOptions options;
    options.output = parser.value(output);
    if (parser.isSet(output) && options.output.isEmpty())
        throw UsageError{QStringLiteral("--output needs a file name")};
    if (options.output == QLatin1String("-"))
        options.output.clear(); // standard output, as usual
    if (parser.isSet(help)) {
        // Qt names the program by the path it was started with; the usage line names it as users type it.
        const QString text = parser.helpText().section(QLatin1Char('\n'), 1);
        options.text = QStringLiteral("Usage: orvelle [OPTION]...\n") + text + helpEpilogue();
        options.output.clear();
        return options;
    }
    if (parser.isSet(version)) {
        options.text = versionText;
        options.output.clear();
        return options;
    }
    if (parser.isSet(completion)) {
        options.completionShell = parser.value(completion);
        if (completionScript(options.completionShell, {}).isEmpty())
            throw UsageError{QStringLiteral("invalid --completion %1: choose bash, zsh or fish")
                                 .arg(quotedName(options.completionShell))};
        options.completed = completedOptions(allOptions, fields, format, weight,
                                             {excludeState.names().constLast(), state.names().constLast()},
                                             {help.names().constLast(), version.names().constLast()});
        return options;
    }
    if (!parser.positionalArguments().isEmpty())
        throw UsageError{
            QStringLiteral("unexpected argument %1").arg(quotedName(parser.positionalArguments().constFirst()))};

    options.listing = parser.isSet(listFields) ? Listing::Fields
        : parser.isSet(listFormats)            ? Listing::Formats
        : parser.isSet(listStates)             ? Listing::States
                                               : Listing::None;
    options.lookup = parser.isSet(lookup) ? parser.value(lookup) : QString();
    if (parser.isSet(lookup) && options.lookup.isEmpty())
        throw UsageError{QStringLiteral("--lookup needs a file name, or - for standard input")};
    options.lookupHeader = parser.isSet(lookupHeader);
    if (parser.isSet(perState) && parser.isSet(count))
        throw UsageError{QStringLiteral("--per-state takes no --count: it is the count of each state")};
    if (options.listing == Listing::None && !parser.isSet(count) && !parser.isSet(lookup) && !parser.isSet(perState))
        throw UsageError{QStringLiteral("--count is required: how many places to write")};
    if (options.listing != Listing::None && parser.isSet(format)) {
        throw UsageError{QStringLiteral("--%1 writes TAB-separated lines and takes no --format")
                             .arg(options.listing == Listing::Fields    ? QStringLiteral("list-fields")
                                      : options.listing == Listing::Formats ? QStringLiteral("list-formats")
                                                                            : QStringLiteral("list-states"))};
    }
    // A listing or a lookup reads only its own options: any other would be ignored.
    const QCommandLineOption *command = options.listing == Listing::Fields ? &listFields
        : options.listing == Listing::Formats                             ? &listFormats
        : options.listing == Listing::States                              ? &listStates
        : parser.isSet(lookup)                                            ? &lookup
                                                                          : nullptr;
    if (!command && parser.isSet(lookupHeader))
        throw UsageError{QStringLiteral("--lookup-header needs --lookup: the file whose first line it is")};
    if (command) {
        std::vector<const QCommandLineOption *> read{command, &output};
        if (command == &listStates)
            read.insert(read.end(), {&state, &excludeState, &zipPrefix, &near, &within});
        if (command == &lookup)
            read.insert(read.end(), {&lookupHeader, &fields, &format, &noHeader, &table, &rowsPerInsert, &copy});
        for (const QCommandLineOption *option :
             {&count, &fields, &state, &excludeState, &zipPrefix, &near, &within, &unique, &weight, &seed, &noHeader,
              &table, &rowsPerInsert, &copy, &listFields, &listFormats, &listStates, &lookup, &perState}) {
            if (parser.isSet(*option) && std::find(read.begin(), read.end(), option) == read.end())
                throw UsageError{QStringLiteral("--%1 takes no --%2")
                                     .arg(command->names().constLast(), option->names().constLast())};
        }
    }
    if (parser.isSet(count))
        options.count = wholeNumber(QStringLiteral("--count"), parser.value(count));
    options.perState = parser.isSet(perState);
    if (options.perState)
        options.count = wholeNumber(QStringLiteral("--per-state"), parser.value(perState));
    if (parser.isSet(format))
        options.layout.format = outputFormat(parser.value(format));
    if (parser.isSet(near) || parser.isSet(within)) {
        readNear(options, parser.isSet(near) ? parser.value(near) : QString(),
                 parser.isSet(within) ? parser.value(within) : QString());
    }
    options.layout.fields = parser.isSet(fields) ? fieldList(parser.values(fields), options.kilometres > 0)
                                                 : std::vector<Field>{Field::City, Field::State, Field::Zip};
    if (options.layout.format == OutputFormat::Aligned) {
        // The window's file: its three fields, in its order.
        for (Field field : options.layout.fields) {
            if (field != Field::City && field != Field::State && field != Field::Zip)
                throw UsageError{QStringLiteral("--format aligned holds only city, state and zip, as the "
                                                "window does; '%1' needs another format")
                                     .arg(QLatin1String(info(field).name))};
        }
        std::sort(options.layout.fields.begin(), options.layout.fields.end());
    }
    // The options only some formats read: any other format refuses them.
    const std::pair<const QCommandLineOption &, std::vector<OutputFormat>> formatOptions[] = {
        {noHeader, {OutputFormat::Csv, OutputFormat::Tsv, OutputFormat::Sql}},
        {table, {OutputFormat::Sql}},
        {rowsPerInsert, {OutputFormat::Sql}},
        {copy, {OutputFormat::Sql}},
    };
    for (const auto &[option, formats] : formatOptions) {
        if (parser.isSet(option) && std::ranges::find(formats, options.layout.format) == formats.end()) {
            QStringList names;
            for (OutputFormat reader : formats)
                names.append(QLatin1String(info(reader).name));
            throw UsageError{QStringLiteral("--%1 is for --format %2 only, not %3")
                                 .arg(option.names().constLast(), choices(names),
                                      QLatin1String(info(options.layout.format).name))};
        }
    }
    options.layout.header = !parser.isSet(noHeader);
    if (parser.isSet(table)) {
        const QString name = parser.value(table);
        if (name.isEmpty() || std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20; })
            || !encodeFileName(name).isValidUtf8() || name.startsWith(u'.') || name.endsWith(u'.')
            || name.contains(QLatin1String("..")))
            throw UsageError{QStringLiteral("invalid --table %1: a name of UTF-8 text without control characters, "
                                            "or names joined by dots (schema.name), is expected")
                                 .arg(quotedName(name))};
        options.layout.table = name.toUtf8();
    }
    if (parser.isSet(rowsPerInsert)) {
        const std::uint64_t rows = wholeNumber(QStringLiteral("--rows-per-insert"), parser.value(rowsPerInsert));
        if (rows < 1 || rows > maximumRowsPerInsert)
            throw UsageError{QStringLiteral("invalid --rows-per-insert %1: a whole number from 1 to %2 is expected")
                                 .arg(quotedName(parser.value(rowsPerInsert)))
                                 .arg(maximumRowsPerInsert)};
        options.layout.rowsPerInsert = std::uint32_t(rows);
    }
    options.layout.copy = parser.isSet(copy);
    if (options.layout.copy && parser.isSet(rowsPerInsert))
        throw UsageError{QStringLiteral("--copy writes no INSERT statements and takes no --rows-per-insert")};

    // Each filter's values once, echoed in messages as "--state CA,NY".
    const auto filterOption = [&](const QCommandLineOption &option, QStringList &target, const auto &read) {
        if (!parser.isSet(option))
            return;
        target = read(parser.values(option));
        options.filterOptions.append(QStringLiteral("--%1 %2").arg(option.names().constLast(), echoed(target)));
    };
    filterOption(state, options.filter.states,
                 [](const QStringList &values) { return stateCodes(QStringLiteral("--state"), values); });
    filterOption(excludeState, options.filter.excludedStates,
                 [](const QStringList &values) { return stateCodes(QStringLiteral("--exclude-state"), values); });
    filterOption(zipPrefix, options.filter.zipPrefixes, zipPrefixes);

    options.unique = parser.isSet(unique);
    if (parser.isSet(weight)) {
        const QString kind = asciiCase(parser.value(weight), false);
        if (!weightKinds.contains(kind))
            throw UsageError{
                QStringLiteral("invalid --weight %1%2: choose population or none")
                    .arg(quotedName(parser.value(weight)),
                         didYouMean(parser.value(weight), {QStringLiteral("population"), QStringLiteral("none")}))};
        options.weighted = kind == QLatin1String("population");
    }
    options.seed = parser.isSet(seed) ? wholeNumber(QStringLiteral("--seed"), parser.value(seed))
                                      : QRandomGenerator::system()->generate64();
    return options;
}

// A state's name as typed: ASCII lower case, without dots, one blank between words ("u s virgin islands").
QString spelling(QStringView name)
{
    QString key;
    for (QChar c : asciiCase(name, false)) {
        if (c == u'.')
            continue;
        if (c == u' ' || c == u'_' || c == u'-' || c == u'\t') {
            if (!key.isEmpty() && !key.endsWith(u' '))
                key += u' ';
        } else {
            key += c;
        }
    }
    if (key.endsWith(u' '))
        key.chop(1);
    return key;
}

// The spellings of states that are not their names in the data.
constexpr std::pair<const char *, const char *> stateSpellings[] = {
    {"virgin islands", "VI"},
    {"us virgin islands", "VI"},
    {"washington dc", "DC"},
    {"northern marianas", "MP"},
};

// The state codes of `given`, each a code or a state's name in any case
// ("Texas", "new york"), checked against the table's states.
QStringList stateCodesIn(const PlaceTable &table, const QString &option, const QStringList &given)
{
    QMap<QString, QString> named; // spelling: code
    QStringList names;
    for (std::uint32_t place = 0; place < table.size() && !given.isEmpty(); ++place) {
        const QString name = QString::fromUtf8(table.value(place, Field::StateName));
        if (!named.contains(spelling(name)))
            names.append(name);
        named.insert(spelling(name), table.state(place));
        named.insert(spelling(table.state(place)), table.state(place));
    }
    for (const auto &[spelt, code] : stateSpellings)
        named.insert(QLatin1String(spelt), QLatin1String(code));
    QStringList codes;
    for (const QString &value : given) {
        const auto code = named.constFind(spelling(value));
        if (code != named.cend()) {
            codes.append(*code);
            continue;
        }
        QStringList known;
        for (std::uint32_t place = 0; place < table.size(); ++place)
            known.append(table.state(place));
        known.removeDuplicates();
        known.sort();
        throw UsageError{QStringLiteral("unknown state code %1 in %2%3; the codes are %4")
                             .arg(quotedName(value), option, value.size() > 2 ? didYouMean(value, names) : QString(),
                                  known.join(QLatin1String(", ")))};
    }
    codes.removeDuplicates();
    return codes;
}

// The state codes of the places, each with its name and number of places.
QMap<QString, std::pair<QString, qsizetype>> statesOf(const PlaceTable &table, const std::vector<std::uint32_t> &places)
{
    QMap<QString, std::pair<QString, qsizetype>> states; // code: name, places
    for (std::uint32_t place : places) {
        auto &entry = states[table.state(place)];
        if (entry.first.isEmpty())
            entry.first = QString::fromUtf8(table.value(place, Field::StateName));
        ++entry.second;
    }
    return states;
}

QString stateListing(const PlaceTable &table, const std::vector<std::uint32_t> &places)
{
    const auto states = statesOf(table, places);
    QString text;
    for (auto state = states.cbegin(); state != states.cend(); ++state)
        text += QStringLiteral("%1\t%2\t%3\n").arg(state.key(), state->first).arg(state->second);
    return text;
}

// The weights of the places, from their population: above 0 and below 2^50,
// so that the whole weights of a table's places cannot overflow.
constexpr double maximumPopulation = 0x1p50;
std::vector<std::uint64_t> populationWeights(const PlaceTable &table, const std::vector<std::uint32_t> &places,
                                             const QString &databaseFile)
{
    if (table.population().empty()) {
        throw Failure(QStringLiteral("The place database %1 holds no population figures, which --weight "
                                     "population needs.")
                          .arg(databaseFile));
    }
    std::vector<double> weights;
    weights.reserve(places.size());
    for (std::uint32_t place : places) {
        const double population = table.population()[place];
        if (!std::isfinite(population) || population <= 0 || population >= maximumPopulation) {
            throw Failure(QStringLiteral("the place database %1 gives ZIP code %2 the population %3, where a number "
                                         "above 0 and below 2^50 is expected")
                              .arg(databaseFile, quotedName(QString::fromUtf8(table.value(place, Field::Zip))),
                                   QString::number(population, 'g', 17)));
        }
        weights.push_back(population);
    }
    return wholeWeights(weights);
}

// Each place's distance from --near: the point given, or that of the ZIP code.
void measureFromNear(PlaceTable &table, const BatchOptions &options)
{
    double latitude = options.nearLatitude;
    double longitude = options.nearLongitude;
    if (!options.nearZip.isEmpty()) {
        const QByteArray zip = options.nearZip.toLatin1();
        std::uint32_t place = 0;
        while (place < table.size() && table.value(place, Field::Zip) != zip)
            ++place;
        if (place == table.size())
            throw UsageError{QStringLiteral("unknown ZIP code %1 in --near").arg(quotedName(options.nearZip))};
        bool located = false;
        bool ok = false;
        latitude = table.value(place, Field::Latitude).toDouble(&located);
        longitude = table.value(place, Field::Longitude).toDouble(&ok);
        // An edited database may give a point that is none (nan, inf, 91).
        if (!located || !ok || !(std::abs(latitude) <= 90) || !(std::abs(longitude) <= 180))
            throw UsageError{QStringLiteral("ZIP code %1 of --near has no coordinates in the place database; give "
                                            "LAT,LON instead")
                                 .arg(options.nearZip)};
    }
    table.measureFrom(latitude, longitude, options.kilometres);
}

// When standard error is a terminal and a run lasts beyond a second, one line
// there, rewritten four times a second: rows, bytes, rate and time left;
// cleared when the run ends, however it ends. Never on standard output.
class Progress
{
public:
    explicit Progress(std::uint64_t rows)
        : m_rows(rows)
        , m_shown(isatty(STDERR_FILENO) == 1)
    {
        m_timer.start();
    }
    ~Progress()
    {
        if (m_drawn)
            std::fputs("\r\033[K", stderr);
    }
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // Bytes written: their line ends count the rows.
    void wrote(const char *data, qsizetype size)
    {
        if (!m_shown)
            return;
        m_bytes += std::uint64_t(size);
        m_lines += std::uint64_t(std::count(data, data + size, '\n'));
        const qint64 elapsed = m_timer.elapsed();
        if (elapsed < 1000 || elapsed - m_last < 250)
            return;
        m_last = elapsed;
        const double rate = double(m_lines) / (double(elapsed) / 1000);
        const std::uint64_t rows = std::min(m_lines, m_rows);
        std::fprintf(stderr, "\r\033[K%llu of %llu rows, %.1f MB, %.0f rows/s, %.0f s left",
                     static_cast<unsigned long long>(rows), static_cast<unsigned long long>(m_rows),
                     double(m_bytes) / 1e6, rate, rate > 0 ? double(m_rows - rows) / rate : 0.0);
        std::fflush(stderr);
        m_drawn = true;
    }

private:
    std::uint64_t m_rows;
    bool m_shown;
    bool m_drawn = false;
    std::uint64_t m_bytes = 0;
    std::uint64_t m_lines = 0;
    qint64 m_last = 0;
    QElapsedTimer m_timer;
};

// Writes the places the draws pick where the run writes, with progress.
void writeRun(const BatchOptions &options, const QStringList &ownFiles, const PlaceTable &table,
              const std::vector<std::uint32_t> &places, PlaceDraws &draws)
{
    BatchOutput output(options.output);
    output.open(ownFiles);
    Progress progress(draws.count());
    writePlaces(
        [&](const char *data, qsizetype size) {
        output.write(data, size);
        progress.wrote(data, size);
        },
        table, places, draws, options.layout);
    output.commit();
}

// The ZIP codes of a --lookup file, one a line (its first cell before a comma
// or TAB, blanks and quotes around it aside; ZIP+4 taken by its first five
// digits), in their order; a line that holds none is a failure that names it.
std::vector<QByteArray> lookupCodes(const QString &file, bool header)
{
    QFile input;
    const bool opened = file == QLatin1String("-") ? input.open(stdin, QIODevice::ReadOnly)
                                                   : (input.setFileName(file), input.open(QIODevice::ReadOnly));
    QByteArray bytes = opened ? input.readAll() : QByteArray();
    if (!opened || input.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("cannot read the --lookup file %1: %2").arg(quotedName(file), input.errorString()));
    std::vector<QByteArray> codes;
    qsizetype start = 0;
    for (std::uint64_t line = 1; start < bytes.size(); ++line) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        QByteArrayView cell = QByteArrayView(bytes).sliced(start, end - start);
        start = end + 1;
        if (line == 1 && header)
            continue;
        cell = cell.first(std::find_if(cell.begin(), cell.end(), [](char c) { return c == ',' || c == '\t'; })
                          - cell.begin())
                   .trimmed();
        if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"')
            cell = cell.sliced(1, cell.size() - 2).trimmed();
        const auto digits = [](QByteArrayView text) {
            return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        };
        if (cell.size() == 10 && cell[5] == '-' && digits(cell.sliced(6)))
            cell = cell.first(5);
        if (cell.size() != 5 || !digits(cell)) {
            throw Failure(QStringLiteral("line %1 of the --lookup file %2 holds no ZIP code: %3")
                              .arg(line)
                              .arg(quotedName(file), quotedName(QString::fromUtf8(cell))));
        }
        codes.emplace_back(cell.toByteArray());
    }
    return codes;
}

// --lookup: each code's place, in the file's order; a code the data lacks
// keeps its row, with every value empty, and is counted on standard error.
void writeLookup(const BatchOptions &options, const QString &databaseFile, const QStringList &ownFiles)
{
    const std::vector<QByteArray> codes = lookupCodes(options.lookup, options.lookupHeader);
    std::vector<Field> fields = options.layout.fields;
    fields.push_back(Field::Zip);
    PlaceTable table = PlaceTable::load(
        databaseFile, fields, false,
        options.layout.format == OutputFormat::Aligned ? options.layout.fields : std::vector<Field>{});
    QHash<QByteArray, std::uint32_t> places;
    places.reserve(table.size());
    for (std::uint32_t place = table.size(); place-- > 0;)
        places.insert(table.value(place, Field::Zip).toByteArray(), place);
    std::vector<std::uint32_t> sequence;
    sequence.reserve(codes.size());
    std::uint64_t missing = 0;
    std::optional<std::uint32_t> empty;
    for (const QByteArray &code : codes) {
        const auto place = places.constFind(code);
        if (place == places.cend() && !empty)
            empty = table.appendEmpty();
        missing += place == places.cend();
        sequence.push_back(place == places.cend() ? *empty : *place);
    }
    std::vector<std::uint32_t> all(table.size());
    std::iota(all.begin(), all.end(), 0u);
    PlaceDraws draws(options.seed, std::move(sequence));
    writeRun(options, ownFiles, table, all, draws);
    if (missing > 0) {
        complain(QStringLiteral("%1 of the %2 ZIP codes looked up %3")
                     .arg(missing)
                     .arg(codes.size())
                     .arg(missing == 1 ? QStringLiteral("is not in the place data: its row is empty")
                                       : QStringLiteral("are not in the place data: their rows are empty")));
    }
}

// --per-state: --count places of each state of `places`, state by state in
// the order of their codes, each state's drawn as a run of its own would draw
// them (weights and --unique as given), from a seed of its own.
std::vector<std::uint32_t> perStateDraws(const PlaceTable &table, const std::vector<std::uint32_t> &places,
                                         const std::vector<std::uint64_t> &weights, const BatchOptions &options)
{
    QMap<QString, std::vector<std::uint32_t>> states; // code: offsets into places
    for (std::uint32_t i = 0; i < places.size(); ++i)
        states[table.state(places[i])].push_back(i);
    if (options.count * std::uint64_t(states.size()) > maximumPerStateRows)
        throw UsageError{QStringLiteral("--per-state %1 asks for %2 places in all, more than %3: draw the states "
                                        "in several runs")
                             .arg(options.count)
                             .arg(options.count * std::uint64_t(states.size()))
                             .arg(maximumPerStateRows)};
    std::vector<std::uint32_t> sequence;
    sequence.reserve(std::size_t(options.count * std::uint64_t(states.size())));
    std::uint64_t salt = options.seed;
    for (auto state = states.cbegin(); state != states.cend(); ++state) {
        const std::vector<std::uint32_t> &members = *state;
        if (options.unique && options.count > members.size())
            throw UsageError{QStringLiteral("--unique asks for %1 places per state, but %2 has only %3")
                                 .arg(options.count)
                                 .arg(state.key())
                                 .arg(members.size())};
        std::vector<std::uint64_t> memberWeights;
        for (std::uint32_t member : weights.empty() ? std::vector<std::uint32_t>{} : members)
            memberWeights.push_back(weights[member]);
        PlaceDraws draws(splitMix(salt), std::uint32_t(members.size()), options.count, options.unique,
                         memberWeights);
        for (std::uint64_t i = 0; i < options.count; ++i)
            sequence.push_back(members[draws.next()]);
    }
    return sequence;
}

void writeBatch(const BatchOptions &options, const QString &programFolder, const QStringList &otherFiles)
{
    const QString databaseFile = databasePath(programFolder);
    const QStringList ownFiles = QStringList{databaseFile, executableFile()} + otherFiles;
    if (!options.text.isEmpty())
        return writeText(options.output, options.text, ownFiles);
    if (!options.completionShell.isEmpty()) {
        // The state codes of --state and --exclude-state: those of the database, and the groups.
        const PlaceTable table = PlaceTable::load(databaseFile, {Field::Zip, Field::StateName}, false, {});
        QStringList states;
        const auto codes = statesOf(table, filteredPlaces(table, {}));
        for (auto code = codes.cbegin(); code != codes.cend(); ++code)
            states.append(code.key() + QLatin1Char('\t') + code->first);
        for (const StateGroup &group : stateGroups) {
            states.append(QLatin1String(group.name) + QLatin1Char('\t')
                          + echoed(QString::fromLatin1(group.codes).split(QLatin1Char(','))));
        }
        QList<CompletedOption> completed = options.completed;
        for (CompletedOption &option : completed) {
            if (option.value == CompletedOption::Value::List && option.words.isEmpty())
                option.words = states;
        }
        return writeText(options.output, completionScript(options.completionShell, completed), ownFiles);
    }
    if (options.listing == Listing::Formats) {
        QString text;
        for (const FormatInfo &format : formatInfo) {
            text += QStringLiteral("%1\t%2\n")
                        .arg(QLatin1String(format.name) + (format.alias ? QLatin1Char(',') + QLatin1String(format.alias)
                                                                        : QString()),
                             QLatin1String(format.description));
        }
        return writeText(options.output, text, ownFiles);
    }
    if (options.listing == Listing::Fields) {
        QString text;
        for (const FieldInfo &field : fieldInfo)
            text += QStringLiteral("%1\t%2\n").arg(QLatin1String(field.name), QLatin1String(field.description));
        return writeText(options.output, text, ownFiles);
    }
    if (!options.lookup.isNull())
        return writeLookup(options, databaseFile, ownFiles);
    const bool aligned = options.layout.format == OutputFormat::Aligned && options.listing == Listing::None;
    std::vector<Field> fields = options.layout.fields;
    fields.push_back(Field::Zip); // for the prefixes and the failures
    if (options.listing == Listing::States || !options.filter.states.isEmpty()
        || !options.filter.excludedStates.isEmpty())
        fields.push_back(Field::StateName);
    if (options.kilometres > 0 || info(options.layout.format).geometry) {
        fields.push_back(Field::Latitude);
        fields.push_back(Field::Longitude);
    }
    PlaceTable table = PlaceTable::load(databaseFile, fields, options.weighted,
                                        aligned ? options.layout.fields : std::vector<Field>{});
    PlaceFilter filter = options.filter;
    filter.states = stateCodesIn(table, QStringLiteral("--state"), filter.states);
    filter.excludedStates = stateCodesIn(table, QStringLiteral("--exclude-state"), filter.excludedStates);
    if (options.kilometres > 0)
        measureFromNear(table, options);
    const std::vector<std::uint32_t> places = filteredPlaces(table, filter);
    if (places.empty() && options.kilometres > 0) {
        const QString others = options.filterOptions.isEmpty()
            ? QString()
            : QStringLiteral(" that matches ") + options.filterOptions.join(QLatin1Char(' '));
        throw UsageError{QStringLiteral("no place within %1 %2 of %3%4")
                             .arg(QString::number(options.filter.within, 'f', QLocale::FloatingPointShortest),
                                  options.kilometres == 1.0        ? QStringLiteral("km")
                                      : options.filter.within == 1 ? QStringLiteral("mile")
                                                                   : QStringLiteral("miles"),
                                  quotedName(options.near), others)};
    }
    if (places.empty())
        throw UsageError{QStringLiteral("no place matches %1").arg(options.filterOptions.join(QLatin1Char(' ')))};
    if (options.listing == Listing::States)
        return writeText(options.output, stateListing(table, places), ownFiles);
    if (options.unique && !options.perState && options.count > places.size()) {
        const QString where = options.filterOptions.isEmpty()
            ? QString()
            : QStringLiteral(" that match ") + options.filterOptions.join(QLatin1Char(' '));
        throw UsageError{QStringLiteral("--unique asks for %1 places, but there are only %2%3")
                             .arg(options.count)
                             .arg(places.size())
                             .arg(where)};
    }

    const std::vector<std::uint64_t> weights = options.weighted ? populationWeights(table, places, databaseFile)
                                                                : std::vector<std::uint64_t>{};
    PlaceDraws draws = options.perState
        ? PlaceDraws(options.seed, perStateDraws(table, places, weights, options))
        : PlaceDraws(options.seed, std::uint32_t(places.size()), options.count, options.unique, weights);
    writeRun(options, ownFiles, table, places, draws);
}

} // namespace

int runCommandLine(const QStringList &arguments, const QString &programFolder, const QStringList &ownFiles)
{
    try {
        writeBatch(parseArguments(arguments), programFolder, ownFiles);
        return 0;
    } catch (const UsageError &error) {
        complain(error.message, QStringLiteral("see 'orvelle --help'"));
        return exitUsage;
    } catch (const Failure &failure) {
        complain(failure.description());
        return exitFailure;
    } catch (const std::bad_alloc &) {
        complain(QStringLiteral("there is not enough memory"));
        return exitFailure;
    }
}
