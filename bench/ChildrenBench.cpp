#include "platform/ChildWaiter.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <future>

namespace {

double processCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

// A program that writes far more than is kept of its output (a key running a verbose command):
// the wall clock until it ended, and what the waiter spent on it meanwhile (this process's CPU;
// the program's own is not counted).
static void BM_ProgramWritingPastWhatIsKept(benchmark::State& state)
{
    const QByteArray bytes = QByteArray::number(state.range(0));
    ChildWaiter waiter;
    double cpu = 0;
    for (auto _ : state) {
        const double before = processCpuSeconds();
        std::promise<void> ended;
        waiter.start({"/bin/sh", "-c", "head -c " + bytes + " /dev/zero"}, [&](const ChildWaiter::End&) { ended.set_value(); });
        ended.get_future().wait();
        cpu += processCpuSeconds() - before;
    }
    state.counters["waiter_cpu_ms"] = benchmark::Counter(cpu * 1000 / double(state.iterations()));
}
BENCHMARK(BM_ProgramWritingPastWhatIsKept)->Arg(10'000'000)->Arg(100'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);
