// Writes the frame fuzzer's seed corpus: one frame of every message type, encoded by the
// project's own codec exactly as it travels on the serial line (COBS, then the 0x00
// delimiter), one file per type named after it. Regenerate after a change to the wire form:
//   cmake --build build --target tarv_gen_frame_seeds && build/bin/tarv_gen_frame_seeds fuzz/seeds

#include "link/Cobs.h"
#include "link/Frame.h"

#include <QDir>
#include <QList>
#include <QSaveFile>

#include <zlib.h>

#include <cstdio>
#include <set>
#include <variant>

using namespace TarvUSB;

namespace {

std::uint32_t crcOf(const QByteArray& bytes)
{
    return std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

// Values a real session would carry, with every field set and every list non-empty, so the
// fuzzer starts from the whole grammar of each payload rather than its defaults.
QList<Frame> oneFrameOfEachType()
{
    const QList<PatchOp> ops = {
        PatchOp::remove(100),
        PatchOp::create(100, QStringLiteral("cont"), 0, 0),
        PatchOp::setProps(100, {{QStringLiteral("x"), PropValue::int32(-4)},
                                {QStringLiteral("bg"), PropValue::color(0x1C1C1E)},
                                {QStringLiteral("hidden"), PropValue::boolean(false)},
                                {QStringLiteral("font"), PropValue::str(QStringLiteral("montserrat_20"))}}),
        PatchOp::create(101, QStringLiteral("label"), 100, 1),
        PatchOp::setText(101, QStringLiteral("9:41 AM")),
        PatchOp::move(101, 100, 0),
    };
    const QByteArray asset("\x00\xf8\xe0\x07\x1f\x00\xff\xff", 8);  // 2 × 2 pixels, RGB565
    const QByteArray snapshot("\x81\x00\x00", 3);                     // PackBits: 3 black pixels
    return {
        {1, HelloPayload{QStringLiteral("1.4.2"), protocolVersion, 480, 320, 8u << 20}},
        {2, TouchPayload{240, 160, TouchPhase::down}},
        {3, ButtonPayload{1, ButtonPhase::up}},
        {4, AckPayload{7}},
        {5, LogPayload{LogLevel::warn, QStringLiteral("heap low: 12 KB")}},
        {1, HelloAckPayload{protocolVersion, true, QStringLiteral("OK")}},
        {3, PatchPayload{ops}},
        {4, AssetBeginPayload{2, std::uint32_t(asset.size()), QStringLiteral("rgb565le:2x2")}},
        {5, AssetChunkPayload{2, 0, asset}},
        {6, AssetEndPayload{2, crcOf(asset)}},
        {7, HidEmitPayload{HidReport::keyboard, 0x02, {0x04, 0x16}}},
        {8, BacklightPayload{80}},
        {9, PingPayload{0x1234}},
        {10, SnapshotRequestPayload{3}},
        {6, SnapshotBeginPayload{3, 3, 1, SnapshotFormat::rgb565Packbits, std::uint32_t(snapshot.size())}},
        {7, SnapshotChunkPayload{3, 0, snapshot}},
        {8, SnapshotEndPayload{3, true, crcOf(snapshot)}},
        {2, OrientationPayload{true}},
    };
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarv_gen_frame_seeds <directory>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "tarv_gen_frame_seeds: cannot create %s\n", argv[1]);
        return 1;
    }

    std::set<MessageType> written;
    for (const Frame& frame : oneFrameOfEachType()) {
        const QString name = QString::fromLatin1(messageTypeName(frame.messageType())).toLower();
        QSaveFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(cobsEncode(Frame::encode(frame)) + '\0') < 0
            || !file.commit()) {
            std::fprintf(stderr, "tarv_gen_frame_seeds: cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
        written.insert(frame.messageType());
    }
    // A type added to the protocol without a seed here fails loudly.
    if (written.size() != std::variant_size_v<Frame::Payload>) {
        std::fprintf(stderr, "tarv_gen_frame_seeds: %zu of %zu message types have a seed\n", written.size(),
                     std::variant_size_v<Frame::Payload>);
        return 1;
    }
    return 0;
}
