#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The number a text holds: optional blanks, an optional sign, digits with an
// optional decimal point and fraction, an optional exponent, optional blanks.
// Empty or blank texts and other characters hold none. Any size of number
// holds one: beyond a double's range it is an infinity of the number's sign.
std::optional<double> parseNumber(const QString &text);

// The number a text holds, rounded to the nearest whole number (a half to
// the even neighbour).
std::optional<double> parseWholeNumber(const QString &text);

// The count a text holds, rounded to the nearest whole number (a half to the
// even neighbour). Throws a Failure when the text holds no number or the
// rounded value lies outside the 32-bit range.
std::int32_t toCount(const QString &text);
