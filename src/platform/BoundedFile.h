#pragma once
// Reading a file that anyone may have put in a watched folder: only a regular file (a link to
// one counts) of at most `maxBytes` is read. A FIFO or a device would block the reader, and a
// huge file would exhaust memory; both are refused without waiting.

#include <QByteArray>
#include <QString>

#include <optional>

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);

// Why what has this mode (st_mode) is no regular file, in words for the user; none for a
// regular file. The one check of the reader above and of writers that must not replace
// what stands at a path.
std::optional<QString> notARegularFile(unsigned mode);
