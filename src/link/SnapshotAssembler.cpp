#include "link/SnapshotAssembler.h"

#include <zlib.h>

namespace TarvUSB {

std::variant<std::vector<std::uint16_t>, SnapshotFailure> unpackPackBitsRGB565(const QByteArray& packed,
                                                                                std::size_t pixelCount)
{
    std::vector<std::uint16_t> pixels;
    pixels.reserve(pixelCount);
    const auto* data = reinterpret_cast<const std::uint8_t*>(packed.constData());
    const std::size_t size = std::size_t(packed.size());
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t h = data[i];
        const std::size_t bodyBytes = h < 0x80 ? 2 * (std::size_t(h) + 1) : 2;
        if (bodyBytes > size - i - 1)
            return SnapshotFailure::corrupt(QStringLiteral("a packet runs past the end"));
        const std::uint8_t* body = data + i + 1;
        const std::size_t count = h < 0x80 ? std::size_t(h) + 1 : std::size_t(h) - 126;
        if (pixels.size() + count > pixelCount)
            return SnapshotFailure::corrupt(QStringLiteral("more pixels than the image holds"));
        if (h < 0x80) {
            for (std::size_t k = 0; k < count; ++k)
                pixels.push_back(std::uint16_t(body[2 * k] | (body[2 * k + 1] << 8)));
        } else {
            pixels.insert(pixels.end(), count, std::uint16_t(body[0] | (body[1] << 8)));
        }
        i += 1 + bodyBytes;
    }
    if (pixels.size() != pixelCount)
        return SnapshotFailure::corrupt(QStringLiteral("%1 pixels for an image of %2")
                                            .arg(qulonglong(pixels.size()))
                                            .arg(qulonglong(pixelCount)));
    return pixels;
}

std::optional<SnapshotFailure> SnapshotAssembler::begin(const SnapshotBeginPayload& payload)
{
    if (payload.id != id)
        return std::nullopt;
    const std::uint64_t p = std::uint64_t(payload.w) * payload.h;
    if (p == 0 || p > maxSnapshotPixels)
        return SnapshotFailure::corrupt(QStringLiteral("an image of %1 \u00D7 %2").arg(payload.w).arg(payload.h));
    if (payload.size > 2 * p + p / 128 + 1)
        return SnapshotFailure::corrupt(QStringLiteral("%1 bytes for %2 pixels").arg(payload.size).arg(p));
    header = payload;
    packed = QByteArray();
    packed.reserve(qsizetype(payload.size));
    return std::nullopt;
}

std::optional<SnapshotFailure> SnapshotAssembler::addChunk(const SnapshotChunkPayload& payload)
{
    if (payload.id != id)
        return std::nullopt;
    if (!header)
        return SnapshotFailure::corrupt(QStringLiteral("a chunk before the header"));
    const auto received = std::uint64_t(packed.size());
    if (payload.offset != received)
        return SnapshotFailure::corrupt(QStringLiteral("a gap at byte %1").arg(received));
    if (received + std::uint64_t(payload.data.size()) > header->size)
        return SnapshotFailure::corrupt(QStringLiteral("more bytes than announced"));
    packed.append(payload.data);
    return std::nullopt;
}

std::variant<std::monostate, DeviceSnapshot, SnapshotFailure> SnapshotAssembler::finish(
    const SnapshotEndPayload& payload, const QDateTime& now)
{
    if (payload.id != id)
        return std::monostate{};
    if (!payload.ok)
        return SnapshotFailure::of(SnapshotFailure::Kind::deviceRefused);
    if (!header)
        return SnapshotFailure::corrupt(QStringLiteral("an end before the header"));
    const auto received = std::uint64_t(packed.size());
    if (received != header->size)
        return SnapshotFailure::corrupt(QStringLiteral("%1 of %2 bytes").arg(received).arg(header->size));
    const auto crc = std::uint32_t(
        crc32(0, reinterpret_cast<const Bytef*>(packed.constData()), uInt(packed.size())));
    if (crc != payload.crc32)
        return SnapshotFailure::corrupt(QStringLiteral("checksum mismatch"));
    auto unpacked = unpackPackBitsRGB565(packed, std::size_t(header->w) * header->h);
    if (auto* failure = std::get_if<SnapshotFailure>(&unpacked))
        return *failure;
    return DeviceSnapshot{header->w, header->h, std::move(std::get<std::vector<std::uint16_t>>(unpacked)), now,
                          packed.size()};
}

double SnapshotAssembler::progress() const
{
    if (!header || header->size == 0)
        return 0.0;
    return double(packed.size()) / double(header->size);
}

}  // namespace TarvUSB
