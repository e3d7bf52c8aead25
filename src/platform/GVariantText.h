#pragma once
// Lists of strings in GVariant's text format, as `gsettings get` prints them and
// `gsettings set` reads them: ['one', "it's"], or @as [] when empty.

#include <QString>
#include <QStringList>

#include <optional>

namespace GVariantText {

// The strings of an array of strings; none when the text is anything else.
std::optional<QStringList> parseStringArray(const QString& text);
// The text GVariant reads back as exactly these strings.
QString formatStringArray(const QStringList& strings);

}  // namespace GVariantText
