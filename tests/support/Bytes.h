#pragma once
// Small helpers for tests that compare bytes on the wire.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string_view>

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    out.reserve(qsizetype(values.size()));
    for (int v : values)
        out.append(char(std::uint8_t(v)));
    return out;
}

// "fw" → 0xA2 'f' 'w': a fixstr as the writer produces it for short keys.
inline QByteArray fixstr(std::string_view s)
{
    QByteArray out;
    out.append(char(0xA0 | s.size()));
    out.append(s.data(), qsizetype(s.size()));
    return out;
}

inline QByteArray hexBytes(const char* hex) { return QByteArray::fromHex(hex); }

QT_BEGIN_NAMESPACE
inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << (b.size() > 64 ? b.left(64).toHex(' ').toStdString() + " …" : b.toHex(' ').toStdString())
        << " (" << b.size() << " bytes)";
}
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE
