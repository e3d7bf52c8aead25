// Speed of the hub on its two busiest paths: a touch from the device, from its bytes to
// dispatch, and a full page of operations queued, from the operations to the bytes written.

#include "BenchHub.h"
#include "pages/PatchBatching.h"

#include <benchmark/benchmark.h>

using namespace TarvUSB;

namespace {

// A page-sized tree: containers with styling and labels with text.
QList<PatchOp> pageOps(int count)
{
    QList<PatchOp> ops;
    for (std::uint32_t i = 0; ops.size() < count; ++i) {
        ops.append(PatchOp::create(1000 + i, QStringLiteral("label"), 100, std::uint16_t(i)));
        ops.append(PatchOp::setProps(1000 + i, {{QStringLiteral("x"), PropValue::int32(int(i % 480))},
                                                {QStringLiteral("textColor"), PropValue::color(0xFFFFFF)}}));
        ops.append(PatchOp::setText(1000 + i, QStringLiteral("Label number %1").arg(i)));
    }
    ops.resize(count);
    return ops;
}

void BM_ReceivedTouchToDispatch(benchmark::State& state)
{
    BenchHub bench;
    int dispatched = 0;
    QObject::connect(bench.hub.get(), &DeviceManager::deviceEvent, [&](const TouchPayload&) { ++dispatched; });
    const QByteArray bytes = onTheLine(Frame{42, TouchPayload{240, 160, TouchPhase::down}});
    for (auto _ : state)
        bench.hub->handleFrame(bytes);
    benchmark::DoNotOptimize(dispatched);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ReceivedTouchToDispatch);

// The device's acknowledgements are fed back as bytes, so the whole window turns over.
void BM_QueuedPageToBytesWritten(benchmark::State& state)
{
    BenchHub bench;
    if (!bench.openPort()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const QList<PatchOp> ops = pageOps(300);
    for (auto _ : state) {
        QList<Frame> frames;
        for (const QList<PatchOp>& batch : DynamicUIDemo::batchPatchOps(ops))
            frames.append(Frame{bench.hub->takeNextSequence(), PatchPayload{batch}});
        bench.hub->sendDynamicUI(frames);
        for (const Frame& frame : frames)
            bench.hub->handleFrame(onTheLine(Frame{1, AckPayload{frame.q}}));
    }
    if (!bench.hub->queuedFrames().isEmpty() || !bench.hub->outstandingAcks().isEmpty())
        state.SkipWithError("the window did not turn over");
}
BENCHMARK(BM_QueuedPageToBytesWritten)->Unit(benchmark::kMicrosecond);

// A full redraw of the home page: the tree built, cut into frames, the previous page removed,
// and everything queued; the acknowledgements are fed back so the queue starts empty again.
void BM_HomePageRedrawToFramesQueued(benchmark::State& state)
{
    BenchHub bench;
    if (!bench.openPort()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    bench.hub->handleFrame(onTheLine(Frame{1, HelloPayload{QStringLiteral("bench"), 1, 480, 320, 8u << 20}}));
    for (std::uint16_t q = 1; q != bench.hub->nextSequence(); ++q)
        bench.hub->handleFrame(onTheLine(Frame{1, AckPayload{q}}));
    for (auto _ : state) {
        const std::uint16_t first = bench.hub->nextSequence();
        bench.hub->renderActivePage();
        state.PauseTiming();
        for (std::uint16_t q = first; q != bench.hub->nextSequence(); ++q)
            bench.hub->handleFrame(onTheLine(Frame{1, AckPayload{q}}));
        state.ResumeTiming();
    }
    if (!bench.hub->queuedFrames().isEmpty())
        state.SkipWithError("the queue did not empty");
}
BENCHMARK(BM_HomePageRedrawToFramesQueued)->Unit(benchmark::kMicrosecond);

}  // namespace
