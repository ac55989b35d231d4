// Loading and saving the largest settings file, 256 groups of 64 channels (about 1 MB), and one
// with a quarter of the channels, to see how the cost grows with them. (64 codes of up to 7
// characters fill a group's channel list, which the file keeps to 511 characters, so 64 channels
// is as many as a group holds.)
#include <benchmark/benchmark.h>

#include "database/connection_settings.h"
#include "settings/settings_file.h"
#include "steady_heap.h"
#include "support/temp_dir.h"

namespace {

std::string largeFile(int groups, int channels) {
    std::string text =
        "[DATABASE]\r\nODBC=ZEL\r\nUSER=ZEL\r\nPASSWORD=QMX\r\n[DATA]\r\nDIR=/data\r\n"
        "[LOG]\r\nDIR=/log\r\n[SYSTEM]\r\nSERVER=srv\r\nMODE=detail\r\n"
        "SCREEN=hide\r\nSIZEMB=100\r\nGROUPS=" +
        std::to_string(groups) + "\r\n";
    for (int g = 1; g <= groups; ++g) {
        const std::string station = "ST" + std::to_string(g);
        text += "[GROUP" + std::to_string(g) + "]\r\nSTATION=" + station +
                "\r\nSIZEMB=100\r\nSPS=40\r\n";
        std::string chan;
        for (int c = 0; c < channels; ++c) {
            const std::string code = "C" + std::to_string(c);
            text += code + "=1160000000\r\nFILE_" + code + "=/var/lib/zel/data/" + station + "_" +
                    code + ".DAT\r\n";
            chan += (c ? "," : "") + code;
        }
        text += "CHAN=" + chan + "\r\n";
    }
    return text;
}

vorda::Environment envFor(const std::string& path) {
    vorda::Environment env;
    env.args = {"vorda-settings", path};
    env.currentDir = "/tmp";
    return env;
}

void BM_Load(benchmark::State& state) {
    vorda::test::TempDir dir;
    dir.write("s.ini", largeFile(256, static_cast<int>(state.range(0))));
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
                            static_cast<std::int64_t>(dir.read("s.ini").size()));
}

void BM_Save(benchmark::State& state) {
    vorda::test::TempDir dir;
    dir.write("s.ini", largeFile(256, static_cast<int>(state.range(0))));
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

}  // namespace

BENCHMARK(BM_Load)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
