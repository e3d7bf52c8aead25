#include "link/AssetUpload.h"

#include <QtGlobal>

namespace TarvUSB {

QString assetName(const AssetProperties& asset)
{
    return QString::fromLatin1(asset.hasAlpha ? "rgb565a8le" : "rgb565le") + u':' +
           QString::number(asset.width) + u'x' + QString::number(asset.height);
}

std::uint32_t assetCRC32(const QByteArray& bytes)
{
    // Bit by bit, least significant bit first, reflected polynomial 0xEDB88320.
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        crc ^= std::uint8_t(ch);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

qsizetype assetChunkCount(qsizetype byteCount, int chunkSize)
{
    return (byteCount + chunkSize - 1) / chunkSize;
}

QList<Frame> assetChunkFrames(std::uint32_t assetId, const QList<QByteArray>& slices, int chunkSize,
                              const QList<std::uint16_t>& seqs)
{
    QList<Frame> frames;
    frames.reserve(slices.size());
    for (qsizetype i = 0; i < slices.size(); ++i) {
        frames.append(Frame{seqs[i], AssetChunkPayload{assetId, std::uint32_t(i * chunkSize), slices[i]}});
    }
    return frames;
}

QList<Frame> makeAssetUpload(const QByteArray& pixels, const AssetProperties& asset,
                             const QList<std::uint16_t>& seqs)
{
    const qsizetype bytesPerPixel = asset.hasAlpha ? 3 : 2;
    const qsizetype byteCount = pixels.size();
    if (asset.width < 0 || asset.height < 0 ||
        byteCount != qsizetype(asset.width) * asset.height * bytesPerPixel)
        qFatal("makeAssetUpload: %lld bytes do not make a %dx%d image", qlonglong(byteCount),
               asset.width, asset.height);
    if (asset.chunkSize <= 0)
        qFatal("makeAssetUpload: chunk size %d", asset.chunkSize);
    if (byteCount > qsizetype(0xFFFFFFFFu))
        qFatal("makeAssetUpload: %lld bytes do not fit the wire", qlonglong(byteCount));

    const qsizetype sliceCount = assetChunkCount(byteCount, asset.chunkSize);
    QList<QByteArray> slices;
    slices.reserve(sliceCount);
    for (qsizetype offset = 0; offset < byteCount; offset += asset.chunkSize)
        slices.append(pixels.mid(offset, asset.chunkSize));
    if (seqs.size() != sliceCount + 2)
        qFatal("makeAssetUpload: %lld sequence numbers for %lld frames", qlonglong(seqs.size()),
               qlonglong(sliceCount + 2));

    QList<Frame> frames;
    frames.reserve(sliceCount + 2);
    frames.append(Frame{seqs.first(), AssetBeginPayload{asset.assetId, std::uint32_t(byteCount), assetName(asset)}});
    frames.append(assetChunkFrames(asset.assetId, slices, asset.chunkSize, seqs.mid(1, sliceCount)));
    frames.append(Frame{seqs.last(), AssetEndPayload{asset.assetId, assetCRC32(pixels)}});
    return frames;
}

}  // namespace TarvUSB
