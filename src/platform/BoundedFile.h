#pragma once
// Reading a file that anyone may have put in a watched folder: only a regular file (a link to
// one counts) of at most `maxBytes` is read. A FIFO or a device would block the reader, and a
// huge file would exhaust memory; both are refused without waiting.

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);

// Why readBoundedFile read nothing. Only `absent` says that there is no file: a file that
// could not be read may still be there, and must not be taken for one that never existed.
struct BoundedReadFailure {
    enum class Kind {
        absent,     // nothing at the path, and its folder could be searched
        notRegular, // a pipe, a device, a folder, a socket or a link to nothing
        tooLarge,   // a regular file over the limit
        unreadable, // anything else: no permission, an input/output error
    };
    Kind kind;
    // What was found ("it is a named pipe, not a regular file") or the system's reason
    // ("Permission denied"); empty for `absent`.
    QString reason;
};

// readRegularFile, telling why a file was not read.
std::variant<QByteArray, BoundedReadFailure> readBoundedFile(const QString& path, qint64 maxBytes);

// Why what has this mode (st_mode) is no regular file, in words for the user; none for a
// regular file. The one check of the reader above and of writers that must not replace
// what stands at a path.
std::optional<QString> notARegularFile(unsigned mode);
