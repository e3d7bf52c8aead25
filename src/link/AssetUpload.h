#pragma once
// Builds the run of frames that uploads one image asset to the device: ASSET_BEGIN, one
// ASSET_CHUNK per slice of the pixel bytes, ASSET_END with the CRC-32. Sends nothing.

#include "link/Frame.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace TarvUSB {

struct AssetProperties {
    std::uint32_t assetId = 0;
    int width = 0;
    int height = 0;
    int chunkSize = 4096;  // bytes per ASSET_CHUNK, above 0
    bool hasAlpha = false; // "rgb565a8le" when set, else "rgb565le"
};

// "rgb565le:480x320", "rgb565a8le:28x28".
QString assetName(const AssetProperties& asset);
// CRC-32 (ISO-HDLC, as zlib computes it) of a byte buffer; 0 for an empty one.
std::uint32_t assetCRC32(const QByteArray& bytes);
// One ASSET_CHUNK frame per slice, slice i at offset i × chunk size with seqs[i].
QList<Frame> assetChunkFrames(std::uint32_t assetId, const QList<QByteArray>& slices,
                              int chunkSize, const QList<std::uint16_t>& seqs);
// The slices a pixel buffer is cut into.
qsizetype assetChunkCount(qsizetype byteCount, int chunkSize);
// The frames in sending order. Callers pass exactly assetChunkCount + 2 sequence numbers and
// a buffer of width × height × (3 with alpha, else 2) bytes; anything else stops the program.
QList<Frame> makeAssetUpload(const QByteArray& pixels, const AssetProperties& asset,
                             const QList<std::uint16_t>& seqs);

}  // namespace TarvUSB
