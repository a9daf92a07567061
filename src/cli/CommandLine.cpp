#include "cli/CommandLine.h"

#include "cli/BatchOutput.h"
#include "cli/PlaceDraws.h"
#include "cli/PlaceTable.h"
#include "cli/PlaceWriter.h"
#include "shell/Failure.h"

#include <QCommandLineParser>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cstdio>
#include <new>
#include <optional>

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

// A mistake in the arguments, said in one line that names the option.
struct UsageError
{
    QString message;
};

struct BatchOptions
{
    std::uint64_t count = 0;
    DisplayFieldSet fields{.city = true, .state = true, .zip = true};
    QStringList states; // empty: all
    bool unique = false;
    std::uint64_t seed = 0;
    OutputFormat format = OutputFormat::Text;
    QString output; // empty: standard output
};

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

std::uint64_t wholeNumber(const QString &option, const QString &value)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    bool ok = digits.match(value).hasMatch();
    const std::uint64_t number = ok ? value.toULongLong(&ok) : 0;
    if (!ok) {
        throw UsageError{QStringLiteral("invalid %1 '%2': a whole number from 0 to %3 is expected")
                             .arg(option, value, QString::number(UINT64_MAX))};
    }
    return number;
}

DisplayFieldSet fieldSet(const QString &value)
{
    DisplayFieldSet fields;
    const QStringList names = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (names.isEmpty())
        throw UsageError{QStringLiteral("--fields needs at least one of city, state, zip")};
    for (const QString &name : names) {
        const QString field = name.trimmed().toLower();
        if (field == QLatin1String("city"))
            fields.city = true;
        else if (field == QLatin1String("state"))
            fields.state = true;
        else if (field == QLatin1String("zip"))
            fields.zip = true;
        else
            throw UsageError{QStringLiteral("unknown field '%1' in --fields: choose from city, state, zip").arg(name)};
    }
    return fields;
}

QStringList stateCodes(const QString &value)
{
    QStringList codes;
    for (const QString &code : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
        codes.append(code.trimmed().toUpper());
    codes.removeDuplicates();
    if (codes.isEmpty())
        throw UsageError{QStringLiteral("--state needs at least one state code, such as CA")};
    return codes;
}

OutputFormat outputFormat(const QString &value)
{
    if (value == QLatin1String("text"))
        return OutputFormat::Text;
    if (value == QLatin1String("csv"))
        return OutputFormat::Csv;
    if (value == QLatin1String("tsv"))
        return OutputFormat::Tsv;
    throw UsageError{QStringLiteral("invalid --format '%1': choose text, csv or tsv").arg(value)};
}

const QString helpEpilogue = QStringLiteral(
    "\nWithout any argument, Orvelle opens its window.\n"
    "\n"
    "Exit status: 0 on success, 1 when the place database or the output fails,\n"
    "2 when the arguments are wrong.\n");

const QString versionText = QStringLiteral(
    "orvelle (Orvelle) " ORVELLE_VERSION "\n"
    "Contains postal code data from GeoNames (geonames.org), CC BY 4.0.\n");

// Reads the arguments; returns the options of a run, or nothing when the help
// or the version was asked for and printed.
std::optional<BatchOptions> parseArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes random real places of the United States, drawn from the ZIP-code\n"
        "database that ships with Orvelle, for scripts and test data."));
    const QCommandLineOption count({QStringLiteral("n"), QStringLiteral("count")},
                                   QStringLiteral("How many places to write (required)."), QStringLiteral("N"));
    const QCommandLineOption fields({QStringLiteral("f"), QStringLiteral("fields")},
                                    QStringLiteral("The fields of each place: any of city,state,zip "
                                                   "(default: all three)."),
                                    QStringLiteral("LIST"));
    const QCommandLineOption state({QStringLiteral("s"), QStringLiteral("state")},
                                   QStringLiteral("Only places in these state codes, such as CA,NY "
                                                  "(AA, AE and AP count as states)."),
                                   QStringLiteral("LIST"));
    const QCommandLineOption unique({QStringLiteral("u"), QStringLiteral("unique")},
                                    QStringLiteral("No place twice."));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Draw the same places on every run and machine "
                                                 "(S: a whole number; default: a random seed)."),
                                  QStringLiteral("S"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("text (the window's aligned text file; default), "
                                                   "csv or tsv."),
                                    QStringLiteral("FORMAT"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Write to FILE, replaced only when complete "
                                                   "(default, or -: standard output)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Display this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Output version information and exit."));
    parser.addOptions({count, fields, state, unique, seed, format, output, help, version});

    if (!parser.parse(arguments))
        throw UsageError{parser.errorText()};
    if (parser.isSet(help)) {
        // Qt names the program by the path it was started with; the usage line names it as users type it.
        const QString options = parser.helpText().section(QLatin1Char('\n'), 1);
        print(stdout, QStringLiteral("Usage: orvelle [OPTION]...\n") + options + helpEpilogue);
        return std::nullopt;
    }
    if (parser.isSet(version)) {
        print(stdout, versionText);
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst())};
    if (!parser.isSet(count))
        throw UsageError{QStringLiteral("--count is required: how many places to write")};

    BatchOptions options;
    options.count = wholeNumber(QStringLiteral("--count"), parser.value(count));
    if (parser.isSet(fields))
        options.fields = fieldSet(parser.value(fields));
    if (parser.isSet(state))
        options.states = stateCodes(parser.value(state));
    options.unique = parser.isSet(unique);
    options.seed = parser.isSet(seed) ? wholeNumber(QStringLiteral("--seed"), parser.value(seed))
                                      : QRandomGenerator::system()->generate64();
    if (parser.isSet(format))
        options.format = outputFormat(parser.value(format));
    options.output = parser.value(output);
    if (parser.isSet(output) && options.output.isEmpty())
        throw UsageError{QStringLiteral("--output needs a file name")};
    if (options.output == QLatin1String("-"))
        options.output.clear(); // standard output, as usual
    return options;
}

void writeBatch(const BatchOptions &options, const QString &programFolder)
{
    PlaceTable table = PlaceTable::load(databasePath(programFolder), options.fields, options.format,
                                        !options.states.isEmpty());
    if (!options.states.isEmpty()) {
        const QStringList known = table.states();
        for (const QString &code : options.states) {
            if (!known.contains(code)) {
                throw UsageError{QStringLiteral("unknown state code '%1' in --state; the codes are %2")
                                     .arg(code, known.join(QLatin1String(", ")))};
            }
        }
        table.keepStates(options.states);
    }
    if (options.unique && options.count > table.size()) {
        const QString where =
            options.states.isEmpty() ? QString() : QLatin1String(" in ") + options.states.join(QLatin1Char(','));
        throw UsageError{QStringLiteral("--unique asks for %1 places, but there are only %2%3")
                             .arg(options.count)
                             .arg(table.size())
                             .arg(where)};
    }
    if (options.count > 0 && table.size() == 0)
        throw Failure(QStringLiteral("The place database holds no places to draw from."));

    PlaceDraws draws(options.seed, table.size(), options.count, options.unique);
    BatchOutput output(options.output);
    QIODevice &device = output.open();
    try {
        writePlaces(device, table, draws, options.format);
    } catch (const Failure &failure) {
        throw Failure(output.writeFailure(failure.description()));
    }
    output.commit();
}

} // namespace

int runCommandLine(const QStringList &arguments, const QString &programFolder)
{
    const QString program = QStringLiteral("orvelle: ");
    try {
        if (const std::optional<BatchOptions> options = parseArguments(arguments))
            writeBatch(*options, programFolder);
        return 0;
    } catch (const UsageError &error) {
        print(stderr, program + error.message + QStringLiteral("\nTry 'orvelle --help' for more information.\n"));
        return exitUsage;
    } catch (const Failure &failure) {
        print(stderr, program + failure.description() + QLatin1Char('\n'));
        return exitFailure;
    } catch (const std::bad_alloc &) {
        print(stderr, program + QStringLiteral("There is not enough memory.\n"));
        return exitFailure;
    }
}
