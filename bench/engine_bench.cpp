// Cost of the once-a-second engine tick in its steady state: switched on, nothing blocking,
// counting down to the next nudge.

#include <benchmark/benchmark.h>

#include "allocations.h"
#include "core/engine.h"

namespace torvane {
namespace {

struct SteadyProbes : ProbeSet {
    double idle_seconds_now() override { return 0.5; }
    std::optional<double> cpu_sample() override { return 0.12; }
    bool workstation_locked() override { return false; }
    BatteryReading battery() override { return {false, 100}; }
    std::optional<ForegroundApp> foreground_app() override { return std::nullopt; }
    bool writable_removable_disk() override { return false; }
    bool audio_playing() override { return false; }
    std::optional<std::string> any_app_running(std::string_view) override { return std::nullopt; }
};

void BM_SteadyTick(benchmark::State& state) {
    Preferences prefs;
    prefs.policy = MovePolicy::always;
    prefs.interval = 120;
    SteadyProbes probes;
    LocalTime start = make_local(2024, 3, 4, 10);
    EngineState engine = initial_engine_state(start, 0, 1);
    toggle(engine, prefs, start, false);
    engine.next_move_at = start + std::chrono::minutes(5);
    tick(engine, prefs, probes, start);  // sizes the status text once

    // The clock walks through the minute before the nudge, a millisecond per tick.
    int64_t step = 0;
    uint64_t before = allocations.load(std::memory_order_relaxed);
    for (auto _ : state) {
        LocalTime now = start + std::chrono::milliseconds(step);
        step = (step + 1) % 60'000;
        Effects effects = tick(engine, prefs, probes, now);
        benchmark::DoNotOptimize(effects);
    }
    uint64_t allocated = allocations.load(std::memory_order_relaxed) - before;
    state.counters["allocs_per_tick"] =
        benchmark::Counter(static_cast<double>(allocated), benchmark::Counter::kAvgIterations);
    if (engine.on == false || engine.move_count != 0) state.SkipWithError("left the steady state");
}
BENCHMARK(BM_SteadyTick);

}  // namespace
}  // namespace torvane

BENCHMARK_MAIN();
