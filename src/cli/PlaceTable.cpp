#include "cli/PlaceTable.h"

#include "shell/Failure.h"

#include <QSet>

#include <algorithm>

namespace {

// Every value of the display query for `fields`, in the table's order.
QStringList displayValues(const PlaceConnection &connection, const DisplayFieldSet &fields)
{
    PlaceRecordSet records;
    records.open(BuildDisplayQuery(fields) + QStringLiteral(" ORDER BY rowid"), connection);
    const std::int32_t count = records.recordCount();
    QStringList values;
    values.reserve(count);
    for (std::int32_t k = 0; k < count; ++k) {
        if (k == 0)
            records.moveFirst();
        else
            records.move(1);
        values.append(records.value(QStringLiteral("display_fields")));
    }
    return values;
}

QStringList normalized(QStringList values)
{
    for (QString &value : values)
        value = NormalizeDisplayText(value);
    return values;
}

// Appends a csv cell: quoted, with its quotes doubled, when it holds a comma, a quote or a line break.
void appendCsvCell(QString &line, const QString &text)
{
    const auto special = [](QChar c) {
        return c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    };
    if (std::none_of(text.begin(), text.end(), special)) {
        line += text;
        return;
    }
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    line += QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Appends a tsv cell: a TAB or line break inside a value, which the format cannot hold, becomes a blank.
void appendTsvCell(QString &line, const QString &text)
{
    const qsizetype start = line.size();
    line += text;
    for (auto c = line.begin() + start; c != line.end(); ++c) {
        if (*c == QLatin1Char('\t') || *c == QLatin1Char('\r') || *c == QLatin1Char('\n'))
            *c = QLatin1Char(' ');
    }
}

} // namespace

PlaceTable PlaceTable::load(const QString &databaseFile, const DisplayFieldSet &fields, OutputFormat format,
                            bool byState)
{
    if (!databasePresent(databaseFile))
        throw Failure(databaseFile + QStringLiteral(" not found."));
    PlaceConnection connection;
    connection.open(databaseFile);

    // Every column read holds one value per place, in the same order.
    qsizetype places = -1;
    const auto read = [&](const DisplayFieldSet &which) {
        QStringList values = displayValues(connection, which);
        if (places >= 0 && values.size() != places)
            throw Failure(QStringLiteral("The place database %1 changed while it was read.").arg(databaseFile));
        places = values.size();
        return values;
    };

    PlaceTable table;
    if (byState || (format != OutputFormat::Text && fields.state)) {
        table.m_states = read(DisplayFieldSet{.state = true});
        for (QString &state : table.m_states)
            state = state.toUpper();
    }
    if (format == OutputFormat::Text) {
        table.m_header = QStringLiteral("Result(s)");
        table.m_lines = normalized(read(fields));
        return table;
    }

    // One column per chosen field, in a fixed order.
    const QChar separator = format == OutputFormat::Csv ? QLatin1Char(',') : QLatin1Char('\t');
    const auto appendCell = format == OutputFormat::Csv ? appendCsvCell : appendTsvCell;
    QList<QStringList> columns;
    QStringList names;
    if (fields.city) {
        columns.append(normalized(read(DisplayFieldSet{.city = true})));
        names.append(QStringLiteral("city"));
    }
    if (fields.state) {
        columns.append(table.m_states);
        names.append(QStringLiteral("state"));
    }
    if (fields.zip) {
        columns.append(read(DisplayFieldSet{.zip = true}));
        names.append(QStringLiteral("zip"));
    }
    table.m_header = names.join(separator);
    table.m_lines.reserve(places);
    for (qsizetype row = 0; row < places; ++row) {
        QString line;
        line.reserve(40);
        for (qsizetype column = 0; column < columns.size(); ++column) {
            if (column > 0)
                line += separator;
            appendCell(line, columns.at(column).at(row));
        }
        table.m_lines.append(line);
    }
    return table;
}

QStringList PlaceTable::states() const
{
    QStringList states = QSet<QString>(m_states.begin(), m_states.end()).values();
    states.sort();
    return states;
}

void PlaceTable::keepStates(const QStringList &states)
{
    const QSet<QString> wanted(states.begin(), states.end());
    QStringList lines;
    QStringList kept;
    for (qsizetype row = 0; row < m_lines.size(); ++row) {
        if (wanted.contains(m_states.at(row))) {
            lines.append(m_lines.at(row));
            kept.append(m_states.at(row));
        }
    }
    m_lines = lines;
    m_states = kept;
}
