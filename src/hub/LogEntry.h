#pragma once
// One line of the connection log: a frame received or sent, or a system event.

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUuid>

struct LogEntry {
    enum class Direction { received, sent, system };

    QUuid id;  // new for every entry
    QDateTime date;
    Direction direction = Direction::system;
    QString text;

    friend bool operator==(const LogEntry&, const LogEntry&) = default;
};

Q_DECLARE_METATYPE(LogEntry)
