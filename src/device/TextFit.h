#pragma once
// Fitting a text into a label's width: folded for the device, and cut with an ellipsis
// when it is too wide.

#include <QString>

namespace DynamicUIDemo {

// The folded text when it fits `maxWidth` at `size`; otherwise its longest start (trimmed of
// spaces and tabs) that fits with the ellipsis appended, "…" where the font draws it and
// "..." where it does not. Empty when not even the ellipsis fits, or maxWidth < 1.
QString fitText(const QString& text, int size, int maxWidth);

}  // namespace DynamicUIDemo
