#pragma once
// The process's resident memory, for benchmarks that report what an amount of data costs.

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

inline qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}
