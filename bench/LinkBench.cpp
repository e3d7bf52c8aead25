// Speed of the wire codec on the paths that run for every frame and every page.

#include "link/AssetUpload.h"
#include "link/Cobs.h"
#include "link/Frame.h"
#include "link/FrameParser.h"
#include "pages/PatchBatching.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace TarvUSB;

namespace {

QByteArray randomBytes(qsizetype n, int zeroEvery)
{
    std::mt19937 rng(1);
    QByteArray out(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        out[i] = rng() % zeroEvery == 0 ? '\0' : char(1 + rng() % 255);
    return out;
}

// A page-like list: containers with styling, labels with text.
QList<PatchOp> pageOps(int count)
{
    QList<PatchOp> ops;
    for (int i = 0; ops.size() < count; ++i) {
        const auto id = std::uint32_t(1000 + i);
        ops.append(PatchOp::create(id, QStringLiteral("label"), 100, std::uint16_t(i)));
        ops.append(PatchOp::setProps(id, {{QStringLiteral("x"), PropValue::int32(i * 4)},
                                          {QStringLiteral("y"), PropValue::int32(40)},
                                          {QStringLiteral("w"), PropValue::int32(110)},
                                          {QStringLiteral("h"), PropValue::int32(72)},
                                          {QStringLiteral("bg"), PropValue::color(0x1E1E2E)},
                                          {QStringLiteral("textColor"), PropValue::color(0xFFFFFF)},
                                          {QStringLiteral("fontSize"), PropValue::int32(14)}}));
        ops.append(PatchOp::setText(id, QStringLiteral("Key %1").arg(i)));
    }
    ops.resize(count);
    return ops;
}

void BM_DecodeTouchFrame(benchmark::State& state)
{
    const QByteArray bytes = Frame::encode(Frame{42, TouchPayload{120, 200, TouchPhase::down}});
    for (auto _ : state)
        benchmark::DoNotOptimize(Frame::decode(bytes));
}
BENCHMARK(BM_DecodeTouchFrame);

void BM_ParseTouchFromWire(benchmark::State& state)
{
    const QByteArray wire = cobsEncode(Frame::encode(Frame{42, TouchPayload{120, 200, TouchPhase::down}})) + '\0';
    FrameParser parser;
    for (auto _ : state)
        benchmark::DoNotOptimize(parser.feed(wire));
}
BENCHMARK(BM_ParseTouchFromWire);

void BM_EncodePatch64(benchmark::State& state)
{
    const Frame frame{7, PatchPayload{pageOps(64)}};
    for (auto _ : state)
        benchmark::DoNotOptimize(Frame::encode(frame));
}
BENCHMARK(BM_EncodePatch64);

void BM_EncodeAssetChunk4096(benchmark::State& state)
{
    const Frame frame{7, AssetChunkPayload{2, 8192, randomBytes(4096, 50)}};
    for (auto _ : state)
        benchmark::DoNotOptimize(Frame::encode(frame));
    state.SetBytesProcessed(state.iterations() * 4096);
}
BENCHMARK(BM_EncodeAssetChunk4096);

void BM_CobsEncodeFullScreen(benchmark::State& state)
{
    const QByteArray data = randomBytes(307200, 50);
    for (auto _ : state)
        benchmark::DoNotOptimize(cobsEncode(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_CobsEncodeFullScreen);

void BM_CobsDecodeFullScreen(benchmark::State& state)
{
    const QByteArray encoded = cobsEncode(randomBytes(307200, 50));
    for (auto _ : state)
        benchmark::DoNotOptimize(cobsDecode(encoded));
    state.SetBytesProcessed(state.iterations() * 307200);
}
BENCHMARK(BM_CobsDecodeFullScreen);

void BM_MakeFullScreenUpload(benchmark::State& state)
{
    const QByteArray pixels = randomBytes(307200, 50);
    QList<std::uint16_t> seqs;
    for (int i = 0; i < 77; ++i)
        seqs.append(std::uint16_t(i));
    for (auto _ : state)
        benchmark::DoNotOptimize(makeAssetUpload(pixels, AssetProperties{2, 480, 320, 4096, false}, seqs));
}
BENCHMARK(BM_MakeFullScreenUpload)->Unit(benchmark::kMillisecond);

void BM_BatchPage300(benchmark::State& state)
{
    const QList<PatchOp> ops = pageOps(300);
    for (auto _ : state)
        benchmark::DoNotOptimize(DynamicUIDemo::batchPatchOps(ops));
}
BENCHMARK(BM_BatchPage300)->Unit(benchmark::kMicrosecond);

}  // namespace
