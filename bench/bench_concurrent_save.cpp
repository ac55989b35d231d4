// Saves while another process keeps writing the settings file, as the reading service does when
// it advances its channels' last times. A writer process reads the file, sets one channel's time
// and writes the file back every few milliseconds, either by rename (a new file put in place) or
// in place (the same file rewritten); meanwhile this process runs 100 saves, each with a new
// server name, as an operator pressing Apply would. Printed:
//  - the writer's updates lost: times the writer wrote that the file no longer holds at the end;
//  - reverted for a while: times the writer found changed back when it next read the file (a
//    save had put in bytes without them), though a later write of the save brought them back;
//  - the operator's saves lost: a server name a save had written that the next save found gone
//    (the writer read the file before the save and wrote its copy after it);
//  - how many saves wrote more than once because the writer got in between, and how many asked
//    the operator (the server name changed back by the writer counts as a conflict; the operator
//    keeps theirs).
// Run: bench_concurrent_save [saves] [groups] [channels]   (defaults 100, 64, 16)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "concurrent_writer.h"
#include "platform/atomic_file.h"
#include "platform/profile_document.h"
#include "sample_files.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace {

using vorda::ProfileDocument;
using vorda::bench::WriterMode;

// The server name the file holds now (empty when it cannot be read).
std::string serverIn(const std::string& path) {
    std::string bytes;
    bool exists = false;
    if (!vorda::readFileBytes(path, bytes, exists).ok) {
        return {};
    }
    return ProfileDocument::fromBytes(std::move(bytes)).getString("SYSTEM", "SERVER", "");
}

void run(WriterMode mode, int saves, int groups, int channels) {
    vorda::test::TempDir dir;
    const std::string path = dir.file("ZEL_VurEV.ini");
    dir.write("ZEL_VurEV.ini", vorda::bench::largeSettingsFile(groups, channels));

    vorda::bench::WriterProcess writer(path, mode, groups, channels);

    vorda::Environment env;
    env.args = {"vorda-settings", path};
    env.currentDir = dir.path();
    vorda::SettingsRecord record;
    vorda::SettingsFile file;
    static_cast<void>(vorda::loadSettings(record, file, env));
    const vorda::ConnectionValues values{"ZEL", "ZEL", "QMX", "/data"};

    std::mt19937 random(7);
    int failed = 0;
    int rewritten = 0;
    int asked = 0;
    int operatorLost = 0;
    double slowest = 0;
    double total = 0;
    std::string lastServer;
    for (int i = 0; i < saves; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
        if (!lastServer.empty() && serverIn(path) != lastServer) {
            ++operatorLost;
        }
        record.server = "op-" + std::to_string(i);
        const auto start = std::chrono::steady_clock::now();
        vorda::SaveResult saved = vorda::saveSettings(record, file, values);
        if (saved.needsChoice()) {
            // The operator keeps the server name typed.
            ++asked;
            std::vector<vorda::ConflictResolution> choices;
            for (const auto& c : saved.conflicts) {
                choices.push_back({c.value, vorda::ConflictChoice::KeepMine});
            }
            saved = vorda::saveSettings(record, file, values, choices);
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        total += ms;
        slowest = std::max(slowest, ms);
        if (!saved.ok) {
            ++failed;
            std::fprintf(stderr, "save %d: %s\n", i, saved.error.c_str());
        }
        if (saved.writes > 1) {
            ++rewritten;
        }
        lastServer = record.server;
    }
    const vorda::bench::WriterReport report = writer.stop();
    if (serverIn(path) != lastServer) {
        ++operatorLost;
    }

    std::printf(
        "%-8s writer: %4ld updates, %2ld lost, %2ld reverted for a while | %d saves: %d failed, "
        "%2d asked, %2d wrote more than once, operator's lost %2d | save %.0f ms on average, %.0f "
        "ms at most\n",
        mode == WriterMode::Rename ? "rename" : "in place", report.updates, report.lost,
        report.reverted, saves, failed, asked, rewritten, operatorLost, total / saves, slowest);
}

}  // namespace

int main(int argc, char** argv) {
    const int saves = argc > 1 ? std::atoi(argv[1]) : 100;
    const int groups = argc > 2 ? std::atoi(argv[2]) : 64;
    const int channels = argc > 3 ? std::atoi(argv[3]) : 16;
    std::printf("%d saves of %d groups x %d channels while a writer updates a time every 1-4 ms\n",
                saves, groups, channels);
    run(WriterMode::Rename, saves, groups, channels);
    run(WriterMode::InPlace, saves, groups, channels);
    return 0;
}
