#pragma once
// Keeping a stored file that cannot be used beside it, as "<file>.unreadable-<yyyyMMdd-HHmmss>"
// ("-2", "-3" … when that name is taken), so that nothing written afterwards replaces it.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// A copy of the bytes read from the file; the file itself stays until something replaces it.
// The copy's name, or none when no copy could be made.
std::optional<QString> copyAside(const QString& path, const QByteArray& bytes, const QDateTime& at);

// Renames whatever is at the path (a pipe, a device, a link, a file too large to read) without
// opening it. The new name; none, with the system's reason in `failure`, when it stays.
std::optional<QString> moveAside(const QString& path, const QDateTime& at, QString* failure = nullptr);
