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

// A csv cell: quoted, with its quotes doubled, when it holds a comma, a quote or a line break.
QString csvCell(const QString &text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A tsv cell: a TAB or line break inside a value, which the format cannot hold, becomes a blank.
QString tsvCell(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

PlaceTable PlaceTable::load(const QString &databaseFile, const DisplayFieldSet &fields, OutputFormat format)
{
    if (!databasePresent(databaseFile))
        throw Failure(databaseFile + QStringLiteral(" not found."));
    PlaceConnection connection;
    connection.open(databaseFile);

    PlaceTable table;
    table.m_states = displayValues(connection, DisplayFieldSet{.state = true});
    for (QString &state : table.m_states)
        state = state.toUpper();

    if (format == OutputFormat::Text) {
        table.m_header = QStringLiteral("Result(s)");
        table.m_lines = normalized(displayValues(connection, fields));
    } else {
        // One column per chosen field, in a fixed order.
        const QChar separator = format == OutputFormat::Csv ? QLatin1Char(',') : QLatin1Char('\t');
        const auto cell = [&](const QString &text) { return format == OutputFormat::Csv ? csvCell(text) : tsvCell(text); };
        QList<QStringList> columns;
        QStringList names;
        if (fields.city) {
            columns.append(normalized(displayValues(connection, DisplayFieldSet{.city = true})));
            names.append(QStringLiteral("city"));
        }
        if (fields.state) {
            columns.append(table.m_states);
            names.append(QStringLiteral("state"));
        }
        if (fields.zip) {
            columns.append(normalized(displayValues(connection, DisplayFieldSet{.zip = true})));
            names.append(QStringLiteral("zip"));
        }
        table.m_header = names.join(separator);
        table.m_lines.reserve(table.m_states.size());
        for (qsizetype row = 0; row < table.m_states.size(); ++row) {
            QStringList cells;
            for (const QStringList &column : columns)
                cells.append(cell(column.at(row)));
            table.m_lines.append(cells.join(separator));
        }
    }
    if (table.m_lines.size() != table.m_states.size())
        throw Failure(QStringLiteral("The place database %1 changed while it was read.").arg(databaseFile));
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
