// vorda-settings --apply, the program itself, run as an administrator's tool runs it.
//  1. Time: on the largest file the service reads (256 groups of 64 channels, 1.0 MB), a document
//     that names every group and channel by station and code (a 255-group list of 16,000
//     channels: one group removed, one channel replaced, the server set) with --check --diff,
//     the apply itself, and the same apply again, which has nothing to change; and a document
//     that sets the server alone.
//  2. Beside a writer process that plays the reading service (concurrent_writer.h: a last time
//     set every 1 to 4 ms, by rename and in place), `applies` applies in a row, each with a new
//     server name and one channel added or removed again. Printed: the writer's updates lost
//     (the file no longer holds them at the end; must be 0) and reverted for a while, the applies
//     that failed, the last apply's values found in the file, and the time of an apply.
//  3. Memory: the peak resident size of --rewrite, less that of a --rewrite of a file of one
//     group, as a multiple of the file's size: on the largest file the service reads and on one
//     near the size limit (48 MB of comment lines in a section of others), replaced by rename and
//     written in place. All need a write (MODE=DETAIL is written as "detail").
// Run: bench_apply [applies] [groups] [channels]   (defaults 20, 64, 16)
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "concurrent_writer.h"
#include "platform/atomic_file.h"
#include "platform/profile_document.h"
#include "sample_files.h"
#include "support/temp_dir.h"

namespace {

using vorda::bench::WriterMode;

struct ProgramRun {
    int status = -1;
    double ms = 0;
    std::string out;
    long maxRssKb = 0;  // the peak resident size
};

// Runs the program with the arguments, its output into dir/out.json; gives its exit status,
// output and wall time.
ProgramRun runProgram(const vorda::test::TempDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> words = {VORDA_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const std::string outPath = dir.file("out.json");
    ProgramRun run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    run.maxRssKb = usage.ru_maxrss;
    run.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = dir.read("out.json");
    return run;
}

// A document of the file's groups (largeSettingsFile) by station and channel codes, from group
// `first` on; group `extraIn` (from 1; 0: none) also gets channel X, and group 1's last channel
// is replaced by channel N when `replace` is set.
std::string document(const std::string& server, int first, int groups, int channels, int extraIn,
                     bool replace) {
    std::string doc = "{\"server\": \"" + server + "\", \"groups\": [";
    for (int g = first; g <= groups; ++g) {
        doc += (g > first ? ",\n{" : "\n{");
        doc += "\"station\": \"ST" + std::to_string(g) + "\", \"channels\": [";
        for (int c = 0; c < channels; ++c) {
            const bool replaced = replace && g == 1 && c == channels - 1;
            doc += (c > 0 ? ", " : "");
            doc +=
                "{\"code\": \"" + (replaced ? std::string("N") : "C" + std::to_string(c)) + "\"}";
        }
        doc += g == extraIn ? ", {\"code\": \"X\"}]}" : "]}";
    }
    return doc + "]}";
}

bool changedIn(const ProgramRun& run) {
    return run.out.find("\"changed\": true") != std::string::npos;
}

void timeLargest() {
    constexpr int kGroups = 256;
    constexpr int kChannels = 64;
    vorda::test::TempDir dir;
    const std::string original = vorda::bench::largeSettingsFile(kGroups, kChannels);
    dir.write("ZEL_VurEV.ini", original);
    // Group 256 left out, group 1's last channel replaced.
    dir.write("doc.json", document("bench", 1, kGroups - 1, kChannels, 0, true));
    dir.write("server.json", "{\"server\": \"bench-2\"}");
    const std::string path = dir.file("ZEL_VurEV.ini");
    std::printf("largest file: %zu bytes, document of %zu bytes\n", original.size(),
                dir.read("doc.json").size());

    const auto report = [](const char* what, const ProgramRun& run) {
        std::printf("  %-34s %6.0f ms  exit %d, %s\n", what, run.ms, run.status,
                    changedIn(run) ? "changed" : "unchanged");
    };
    ProgramRun run = runProgram(dir, {"--apply", dir.file("doc.json"), "--check", "--diff", path});
    report("--check --diff", run);
    std::printf("  %-34s %zu bytes of diff, file %s\n", "", run.out.size(),
                dir.read("ZEL_VurEV.ini") == original ? "untouched" : "CHANGED");
    report("apply", runProgram(dir, {"--apply", dir.file("doc.json"), path}));
    report("the same apply again", runProgram(dir, {"--apply", dir.file("doc.json"), path}));
    report("the server alone", runProgram(dir, {"--apply", dir.file("server.json"), path}));
}

void stress(WriterMode mode, int applies, int groups, int channels) {
    vorda::test::TempDir dir;
    const std::string path = dir.file("ZEL_VurEV.ini");
    dir.write("ZEL_VurEV.ini", vorda::bench::largeSettingsFile(groups, channels));
    vorda::bench::WriterProcess writer(path, mode, groups, channels);

    int failed = 0;
    int changed = 0;
    double total = 0;
    double slowest = 0;
    for (int i = 0; i < applies; ++i) {
        const std::string doc =
            document("apply-" + std::to_string(i), 1, groups, channels, i % 2 == 0 ? 1 : 0, false);
        dir.write("doc.json", doc);
        const ProgramRun run = runProgram(dir, {"--apply", dir.file("doc.json"), path});
        if (run.status != 0) {
            ++failed;
        }
        changed += changedIn(run) ? 1 : 0;
        total += run.ms;
        slowest = std::max(slowest, run.ms);
    }
    const vorda::bench::WriterReport report = writer.stop();

    std::string bytes;
    bool exists = false;
    static_cast<void>(vorda::readFileBytes(path, bytes, exists));
    const vorda::ProfileDocument file = vorda::ProfileDocument::fromBytes(std::move(bytes));
    const std::string last = "apply-" + std::to_string(applies - 1);
    const bool lastHasX = (applies - 1) % 2 == 0;
    const bool serverKept = file.getString("SYSTEM", "SERVER", "") == last;
    const bool channelKept =
        (file.getString("GROUP1", "CHAN", "").find(",X") != std::string::npos) == lastHasX;
    std::printf(
        "%-8s writer: %4ld updates, %ld lost, %2ld reverted for a while | %d applies: %d failed, "
        "%d changed the file; the last one's server %s, its channel list %s | apply %.0f ms on "
        "average, %.0f ms at most\n",
        mode == WriterMode::Rename ? "rename" : "in place", report.updates, report.lost,
        report.reverted, applies, failed, changed, serverKept ? "kept" : "LOST",
        channelKept ? "kept" : "LOST", total / applies, slowest);
}

// The files are written first and dropped from memory before the program starts: a child's peak
// counts what it held as a copy of this process before it became the program.
void memoryOfRewrite() {
    struct Case {
        const char* what;
        const char* name;
        std::size_t size;
    };
    vorda::test::TempDir dir;
    std::vector<Case> cases;
    const auto add = [&](const char* what, const char* name, std::string bytes) {
        bytes.replace(bytes.find("MODE=detail"), 11, "MODE=DETAIL");
        dir.write(name, bytes);
        cases.push_back({what, name, bytes.size()});
    };
    add("one group", "one.ini", vorda::bench::largeSettingsFile(1, 1));
    add("256 groups x 64 channels", "largest.ini", vorda::bench::largeSettingsFile(256, 64));
    {
        std::string notes = vorda::bench::largeSettingsFile(4, 4) + "[NOTES]\r\n";
        const std::string comment = ";" + std::string(1021, 'x') + "\r\n";
        for (int i = 0; i < 48 * 1024; ++i) {
            notes += comment;
        }
        add("48 MiB of comment lines", "notes.ini", notes);
        // A second name makes the save write the file in place.
        add("the same, written in place", "linked.ini", std::move(notes));
        ::link(dir.file("linked.ini").c_str(), dir.file("second-name.ini").c_str());
    }
    ::malloc_trim(0);
    long idle = -1;
    for (const Case& c : cases) {
        const ProgramRun run = runProgram(dir, {"--rewrite", dir.file(c.name)});
        const bool written =
            run.status == 0 && dir.read(c.name).find("MODE=detail") != std::string::npos;
        if (idle < 0) {
            idle = run.maxRssKb;
            std::printf("--rewrite memory, beyond the %ld KB of one of a file of %s:\n", idle,
                        c.what);
            continue;
        }
        const double extra = static_cast<double>(run.maxRssKb - idle) * 1024;
        std::printf("  %-26s %5.1f MB file: %6.1f MB more at the peak, %4.1f times the file%s\n",
                    c.what, static_cast<double>(c.size) / 1e6, extra / 1e6,
                    extra / static_cast<double>(c.size), written ? "" : " (FAILED: not written)");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int applies = argc > 1 ? std::atoi(argv[1]) : 20;
    const int groups = argc > 2 ? std::atoi(argv[2]) : 64;
    const int channels = argc > 3 ? std::atoi(argv[3]) : 16;
    // The program's backups go into a folder of the benchmark's own.
    vorda::test::TempDir cache;
    ::setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);

    timeLargest();
    memoryOfRewrite();
    std::printf(
        "%d applies of %d groups x %d channels while a writer updates a time every 1-4 ms\n",
        applies, groups, channels);
    stress(WriterMode::Rename, applies, groups, channels);
    stress(WriterMode::InPlace, applies, groups, channels);
    return 0;
}
