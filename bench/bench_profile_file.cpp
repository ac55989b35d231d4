// The profile document at the largest settings file, 256 groups of 64 channels (1.0 MB), and at
// files of many keys whose names a careless name hash takes for one.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/profile_document.h"
#include "sample_files.h"
#include "steady_heap.h"

using vorda::ProfileDocument;

namespace {

std::string channelCode(int c) {
    return "C" + std::to_string(c);
}

// The keys of every channel: what one save writes, about 33,000 keys at 64 channels.
struct Write {
    std::string section, key, value;
};
std::vector<Write> channelWrites(int channels, int limit) {
    std::vector<Write> writes;
    for (int g = 1; g <= 256 && static_cast<int>(writes.size()) < limit; ++g) {
        const std::string section = "GROUP" + std::to_string(g);
        for (int c = 0; c < channels && static_cast<int>(writes.size()) < limit; ++c) {
            writes.push_back({section, channelCode(c), "1700000001"});
        }
    }
    return writes;
}

// With the file's own CR LF line ends (0), LF alone (1) or CR alone (2).
void BM_Parse1MB(benchmark::State& state) {
    std::string text;
    for (const char c : vorda::bench::largeSettingsFile(256, 64)) {
        if (c == '\r' && state.range(0) == 1) {
            continue;
        }
        if (c == '\n' && state.range(0) == 2) {
            continue;
        }
        text += c;
    }
    for (auto _ : state) {
        auto doc = ProfileDocument::fromBytes(text);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_Parse1MB)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// 20,000 writes of keys that exist in a 1 MB document.
void BM_SetString20000Existing(benchmark::State& state) {
    const std::string text = vorda::bench::largeSettingsFile(256, 64);
    const auto writes = channelWrites(64, 20000);
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = ProfileDocument::fromBytes(text);
        state.ResumeTiming();
        for (const auto& w : writes) {
            benchmark::DoNotOptimize(doc.setString(w.section, w.key, w.value));
        }
    }
}
BENCHMARK(BM_SetString20000Existing)->Unit(benchmark::kMillisecond);

// 20,000 writes of new keys into a 1 MB document: each goes in the middle of its section's
// lines (before the blank line that ends each group here), in the first 160 groups.
void BM_SetString20000New(benchmark::State& state) {
    std::string text = vorda::bench::largeSettingsFile(256, 64);
    const auto writes = channelWrites(125, 20000);
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = ProfileDocument::fromBytes(text);
        state.ResumeTiming();
        for (const auto& w : writes) {
            benchmark::DoNotOptimize(doc.setString(w.section, "N" + w.key, w.value));
        }
    }
}
BENCHMARK(BM_SetString20000New)->Unit(benchmark::kMillisecond);

// 20,000 new keys into a section whose keys are followed by 20,000 comment lines: every key
// goes in front of that block, which must not cost a move of the block per key.
void BM_SetString20000BeforeLongComment(benchmark::State& state) {
    std::string text = "[A]\r\nK=1\r\n";
    for (int i = 0; i < 20000; ++i) {
        text += "; a comment line that the operator left here " + std::to_string(i) + "\r\n";
    }
    text += "[B]\r\nK=2\r\n";
    std::vector<std::string> keys;
    for (int i = 0; i < 20000; ++i) {
        keys.push_back("N" + std::to_string(i));
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = ProfileDocument::fromBytes(text);
        state.ResumeTiming();
        for (const auto& key : keys) {
            benchmark::DoNotOptimize(doc.setString("A", key, "1700000000"));
        }
    }
}
BENCHMARK(BM_SetString20000BeforeLongComment)->Unit(benchmark::kMillisecond);

void BM_Bytes1MB(benchmark::State& state) {
    auto doc = ProfileDocument::fromBytes(vorda::bench::largeSettingsFile(256, 64));
    for (const auto& w : channelWrites(64, 20000)) {
        (void)doc.setString(w.section, w.key, w.value);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(doc.bytes());
    }
}
BENCHMARK(BM_Bytes1MB)->Unit(benchmark::kMillisecond);

// Parse, read every channel value, write every one and produce the bytes, at 64 and 256
// channels per group: the work of one load and one save of the settings, without the disk.
void BM_LoadAndSave(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    const std::string text = vorda::bench::largeSettingsFile(256, channels);
    const auto writes = channelWrites(channels, 1 << 30);
    for (auto _ : state) {
        auto doc = ProfileDocument::fromBytes(text);
        long long sum = 0;
        for (const auto& w : writes) {
            sum += doc.getInt(w.section, w.key, 0);
            benchmark::DoNotOptimize(doc.getString(w.section, "FILE_" + w.key, ""));
        }
        benchmark::DoNotOptimize(sum);
        for (const auto& w : writes) {
            benchmark::DoNotOptimize(doc.setString(w.section, w.key, w.value));
            benchmark::DoNotOptimize(doc.setString(w.section, "FILE_" + w.key, "X.DAT"));
        }
        benchmark::DoNotOptimize(doc.bytes());
    }
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_LoadAndSave)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

// Parse a section of 2^bits keys and read every one of them (crafted names or ordinary ones).
void BM_LookUpManyKeys(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const bool crafted = state.range(1) != 0;
    const std::string text = vorda::bench::manyKeysFile(bits, crafted);
    std::vector<std::string> keys;
    for (int i = 0; i < (1 << bits); ++i) {
        keys.push_back(vorda::bench::manyKeysKey(bits, crafted, i));
    }
    for (auto _ : state) {
        auto doc = ProfileDocument::fromBytes(text);
        long long sum = 0;
        for (const auto& key : keys) {
            sum += doc.getInt("GROUP1", key, 0);
        }
        if (sum != static_cast<long long>(keys.size())) {
            state.SkipWithError("a key was not found");
        }
    }
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_LookUpManyKeys)
    ->ArgsProduct({{14, 16}, {0, 1}})
    ->ArgNames({"bits", "crafted"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
