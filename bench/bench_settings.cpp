// Loading and saving the largest settings file, 256 groups of 64 channels (1.0 MB), and one with
// a quarter of the channels, to see how the cost grows with them; loading files of many keys
// whose names a careless name hash takes for one.
#include <benchmark/benchmark.h>

#include "database/connection_settings.h"
#include "sample_files.h"
#include "settings/settings_file.h"
#include "steady_heap.h"
#include "support/temp_dir.h"

namespace {

vorda::Environment envFor(const std::string& path) {
    vorda::Environment env;
    env.args = {"vorda-settings", path};
    env.currentDir = "/tmp";
    return env;
}

// Loads the settings file of these bytes again and again.
void loadRepeatedly(benchmark::State& state, const std::string& text) {
    vorda::test::TempDir dir;
    dir.write("s.ini", text);
    const auto env = envFor(dir.file("s.ini"));
    for (auto _ : state) {
        vorda::SettingsRecord record;
        vorda::SettingsFile file;
        if (!vorda::loadSettings(record, file, env).ok) {
            state.SkipWithError("load failed");
        }
        benchmark::DoNotOptimize(record.groups.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    state.counters["bytes"] = static_cast<double>(text.size());
}

void BM_Load(benchmark::State& state) {
    loadRepeatedly(state, vorda::bench::largeSettingsFile(256, static_cast<int>(state.range(0))));
}

void BM_Save(benchmark::State& state) {
    vorda::test::TempDir dir;
    dir.write("s.ini", vorda::bench::largeSettingsFile(256, static_cast<int>(state.range(0))));
    vorda::SettingsRecord record;
    vorda::SettingsFile file;
    if (!vorda::loadSettings(record, file, envFor(dir.file("s.ini"))).ok) {
        state.SkipWithError("load failed");
        return;
    }
    const vorda::ConnectionValues values{"ZEL", "ZEL", "QMX", "/data"};
    for (auto _ : state) {
        // Change every channel's time so that every key is really rewritten.
        for (auto& g : record.groups) {
            for (auto& c : g.channels) {
                ++c.lastTime;
            }
        }
        if (!vorda::saveSettings(record, file, values).ok) {
            state.SkipWithError("save failed");
            break;
        }
    }
}

void BM_LoadManyKeys(benchmark::State& state) {
    loadRepeatedly(
        state, vorda::bench::manyKeysFile(static_cast<int>(state.range(0)), state.range(1) != 0));
}

}  // namespace

BENCHMARK(BM_Load)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadManyKeys)
    ->ArgsProduct({{14, 16}, {0, 1}})
    ->ArgNames({"bits", "crafted"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
