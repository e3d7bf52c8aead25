#include "link/Cobs.h"

#include <algorithm>
#include <cstring>

namespace TarvUSB {

QString cobsErrorText(CobsError error)
{
    switch (error) {
    case CobsError::zeroInFrame:
        return QStringLiteral("0x00 inside a COBS frame");
    case CobsError::truncated:
        return QStringLiteral("truncated frame");
    case CobsError::overheadOutOfRange:
        break;
    }
    return QStringLiteral("overhead byte points past end of frame");
}

QByteArray cobsEncode(const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    if (n == 0)
        return QByteArray(1, '\x01');
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    QByteArray result(n + n / 254 + 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<std::uint8_t*>(result.data());
    qsizetype i = 0;
    qsizetype o = 0;
    for (;;) {
        const qsizetype codeAt = o++;
        const qsizetype chunk = std::min<qsizetype>(n - i, 254);
        const void* zero = chunk > 0 ? std::memchr(in + i, 0, std::size_t(chunk)) : nullptr;
        if (zero) {
            const qsizetype k = static_cast<const std::uint8_t*>(zero) - (in + i);
            std::memcpy(out + o, in + i, std::size_t(k));
            o += k;
            out[codeAt] = std::uint8_t(k + 1);
            i += k + 1;  // the zero itself is not copied
            continue;
        }
        std::memcpy(out + o, in + i, std::size_t(chunk));
        o += chunk;
        i += chunk;
        if (chunk == 254) {
            // A full group closes even at the end of the input, which leaves a final 0x01.
            out[codeAt] = 0xFF;
            continue;
        }
        out[codeAt] = std::uint8_t(chunk + 1);
        break;
    }
    result.resize(o);
    return result;
}

qsizetype cobsEncodedSize(const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    qsizetype size = 0;
    qsizetype i = 0;
    for (;;) {
        const qsizetype chunk = std::min<qsizetype>(n - i, 254);
        const void* zero = chunk > 0 ? std::memchr(in + i, 0, std::size_t(chunk)) : nullptr;
        if (zero) {
            const qsizetype k = static_cast<const std::uint8_t*>(zero) - (in + i);
            size += 1 + k;
            i += k + 1;
            continue;
        }
        size += 1 + chunk;
        i += chunk;
        if (chunk < 254)
            return size;
    }
}

QByteArray cobsDecode(const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    if (n == 0)
        return {};
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    QByteArray result(n, Qt::Uninitialized);
    auto* out = reinterpret_cast<std::uint8_t*>(result.data());
    qsizetype i = 0;
    qsizetype o = 0;
    while (i < n) {
        const std::uint8_t c = in[i];
        if (c == 0)
            throw CobsError::zeroInFrame;
        if (c != 1 && c > n - i)
            throw CobsError::overheadOutOfRange;
        const qsizetype copy = c - 1;
        if (copy > n - i - 1)
            throw CobsError::truncated;
        std::memcpy(out + o, in + i + 1, std::size_t(copy));
        o += copy;
        i += c;
        if (c != 0xFF && i != n)
            out[o++] = 0;
    }
    result.resize(o);
    return result;
}

}  // namespace TarvUSB
