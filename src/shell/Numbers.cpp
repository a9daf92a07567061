#include "shell/Numbers.h"

#include "shell/Failure.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

std::optional<double> parseNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral(R"(\A[ \t]*([+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?)[ \t]*\z)"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    // The form alone makes a number: one beyond a double's range reads as an
    // infinity of its sign, one too close to zero as zero.
    return match.captured(1).toDouble();
}

std::optional<double> parseWholeNumber(const QString &text)
{
    const std::optional<double> value = parseNumber(text);
    if (!value)
        return std::nullopt;
    return std::nearbyint(*value); // the default rounding mode takes a half to the even neighbour
}

std::int32_t toCount(const QString &text)
{
    const std::optional<double> rounded = parseWholeNumber(text);
    if (!rounded)
        throw Failure(QStringLiteral("Type mismatch: \"%1\" is not a number of records.").arg(text.left(40)));
    if (*rounded < std::numeric_limits<std::int32_t>::min() || *rounded > std::numeric_limits<std::int32_t>::max())
        throw Failure(QStringLiteral("Overflow: %1 is beyond the largest number of records, 2147483647.")
                          .arg(text.trimmed().left(40)));
    return std::int32_t(*rounded);
}
