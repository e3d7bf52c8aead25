#pragma once
// The process's resident memory, for benchmarks that report what an amount of data costs.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <unistd.h>

#include <algorithm>

inline qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

// The largest resident set since the process started or since resetPeakResident.
inline qint64 peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

// Sets the peak of the resident set back to what is resident now (Linux's clear_refs).
inline void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The largest resident set of any child of this process running `program` (its first 15
// characters, as the kernel keeps its name) that runs now; 0 without one.
inline qint64 childrenPeakResidentBytes(const QByteArray& program)
{
    const auto read = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // Each thread lists the children it started.
    QByteArray children;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        children += ' ' + read(QStringLiteral("/proc/self/task/%1/children").arg(task));
    qint64 peak = 0;
    for (const QByteArray& pid : children.simplified().split(' ')) {
        const QString process = QStringLiteral("/proc/") + QString::fromLatin1(pid);
        if (pid.isEmpty() || read(process + QStringLiteral("/comm")).trimmed() != program.left(15))
            continue;
        for (const QByteArray& line : read(process + QStringLiteral("/status")).split('\n'))
            if (line.startsWith("VmHWM:"))
                peak = std::max(peak, line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024);
    }
    return peak;
}
