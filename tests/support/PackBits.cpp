#include "support/PackBits.h"

namespace TarvFake {

namespace {

void appendPixel(QByteArray& out, std::uint16_t pixel)
{
    out.append(char(pixel & 0xFF));
    out.append(char(pixel >> 8));
}

}  // namespace

QByteArray packBitsRGB565(const QList<std::uint16_t>& pixels)
{
    constexpr qsizetype maxRepeat = 129;
    constexpr qsizetype maxLiteral = 128;

    QByteArray out;
    out.reserve(pixels.size() * 2 + pixels.size() / 128 + 1);
    const qsizetype n = pixels.size();
    qsizetype literalStart = -1;  // first pixel of the pending literal packet, if any

    const auto flushLiteral = [&](qsizetype end) {
        if (literalStart < 0)
            return;
        out.append(char(end - literalStart - 1));
        for (qsizetype k = literalStart; k < end; ++k)
            appendPixel(out, pixels[k]);
        literalStart = -1;
    };

    qsizetype i = 0;
    while (i < n) {
        qsizetype run = 1;
        while (i + run < n && run < maxRepeat && pixels[i + run] == pixels[i])
            ++run;
        if (run >= 2) {
            flushLiteral(i);
            out.append(char(0x80 + (run - 2)));
            appendPixel(out, pixels[i]);
            i += run;
            continue;
        }
        if (literalStart < 0)
            literalStart = i;
        ++i;
        if (i - literalStart == maxLiteral)
            flushLiteral(i);
    }
    flushLiteral(n);
    return out;
}

}  // namespace TarvFake
