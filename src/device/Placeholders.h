#pragma once
// {{key}} placeholders in the texts of screen files and of open-URL actions: finding their
// keys and filling them with current values.

#include <QHash>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The placeholder pattern, compiled once and shared by every reader of placeholders.
const QRegularExpression& placeholderPattern();

// The keys of the text's placeholders, left to right, duplicates kept.
QStringList extractPlaceholderKeys(const QString& text);

// The text with every placeholder replaced by its value trimmed of white space and line
// ends; none as soon as one key has no value.
std::optional<QString> fillActionPlaceholders(const QString& text, const QHash<QString, QString>& values);
