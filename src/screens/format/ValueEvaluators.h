#pragma once
// The pure functions a custom page's values go through: filling placeholders, cutting a text
// to one device line, reading numbers out of texts and judging conditions.

#include "screens/format/DisplayValues.h"

#include <QList>
#include <QString>

#include <optional>

// The template with each {{key}} replaced by its value ("--" when it has none), as one
// device line of at most 64 characters.
QString fillPlaceholders(const QString& templateText, const DisplayValues& values);

// One line the device font can draw: line breaks become blanks, folded, trimmed of spaces and
// tabs, cut to `limit` characters.
QString deviceLineText(const QString& text, qsizetype limit);

// The first number written in the text ('CPU 42.5%' → 42.5, '-3 °C' → -3), or none. A number
// too large for a double is none: nothing downstream can draw or compare it sensibly.
std::optional<double> firstNumber(const QString& text);

// Every finite number of the text written as -?d+(.d+)?(e±d+)?, in order.
QList<double> numbersIn(const QString& text);

// Whether a condition's filled template says yes: everything but "", "0", "false", "no",
// "off", "none", "null" and "--" (compared trimmed and lower-cased).
bool isTruthy(const QString& templateText, const DisplayValues& values);
