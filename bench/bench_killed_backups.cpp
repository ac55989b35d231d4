// Saves killed at random moments (kill -9), and the copies of the settings file they keep. Each
// run forks a process that saves over and over (a new server name each time) and kills it after
// a random time of up to about two saves; then one more process saves once, to the end. Checked
// after every run:
//  - every copy in the backup folder is whole: exactly the bytes of one version of the file;
//  - at most kBackupsKept copies are kept once the next save has ended (a save killed after its
//    copy took its name and before the oldest went leaves one more, which the next one prunes);
//  - after the save that ran to the end, no temporary file is left, neither in the backup
//    folder nor beside the settings file (the killed process is gone, so its files go).
// Printed: runs, how many kills left a temporary file behind (caught in the middle of a copy or a
// replacement), copies checked, and the faults found (all must be 0).
// Run: bench_killed_backups [runs] [groups] [channels]   (defaults 2000, 16, 16)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/profile_document.h"
#include "sample_files.h"
#include "settings/settings_backup.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The file as a save with the server name `server` leaves it: the first save's result with its
// server name changed (saves change nothing else).
struct Versions {
    std::string original;  // the file before the first save
    std::string saved;     // after the first save, with the server name kFirst
    static constexpr const char* kFirst = "op-first";

    std::string withServer(const std::string& server) const {
        std::string bytes = saved;
        const std::string from = std::string("SERVER=") + kFirst + "\r\n";
        bytes.replace(bytes.find(from), from.size(), "SERVER=" + server + "\r\n");
        return bytes;
    }
    // Whether bytes are one whole version of the file.
    bool whole(const std::string& bytes) const {
        if (bytes == original) {
            return true;
        }
        const std::string server =
            vorda::ProfileDocument::fromBytes(bytes).getString("SYSTEM", "SERVER", "");
        return !server.empty() && bytes == withServer(server);
    }
};

vorda::Environment environmentFor(const vorda::test::TempDir& dir, const std::string& path) {
    vorda::Environment env;
    env.args = {"vorda-settings", path};
    env.currentDir = dir.path();
    env.cacheDir = dir.file("cache");
    return env;
}

// Loads the file and saves it with the server names first, first + 1, ...: `count` times, or
// until killed (count 0). Runs in a child process.
[[noreturn]] void saveInChild(const vorda::Environment& env, long first, int count) {
    vorda::SettingsRecord record;
    vorda::SettingsFile file;
    static_cast<void>(vorda::loadSettings(record, file, env));
    const vorda::ConnectionValues values{record.dataSource, record.user, record.password,
                                         record.dataDir};
    for (long n = first; count == 0 || n < first + count; ++n) {
        record.server = "op-" + std::to_string(n);
        const vorda::SaveResult saved = vorda::saveSettings(record, file, values);
        if (!saved.ok || !saved.warnings.empty()) {
            std::fprintf(stderr, "save: %s %s\n", saved.error.c_str(),
                         saved.warnings.empty() ? "" : saved.warnings[0].c_str());
            ::_exit(2);
        }
    }
    ::_exit(0);
}

// Forks saveInChild; kills it after `after` (never, when negative). The child's exit status, or
// -1 when it was killed.
int runChild(const vorda::Environment& env, long first, int count,
             std::chrono::microseconds after) {
    const pid_t child = ::fork();
    if (child == 0) {
        saveInChild(env, first, count);
    }
    if (after.count() >= 0) {
        std::this_thread::sleep_for(after);
        ::kill(child, SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The temporary files (names beginning with a dot) in a folder.
int temporariesIn(const std::string& folder) {
    int n = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        n += entry.path().filename().string().front() == '.' ? 1 : 0;
    }
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int groups = argc > 2 ? std::atoi(argv[2]) : 16;
    const int channels = argc > 3 ? std::atoi(argv[3]) : 16;

    vorda::test::TempDir dir;
    const std::string path = dir.file("ZEL_VurEV.ini");
    const vorda::Environment env = environmentFor(dir, path);
    const std::string folder = vorda::backupFolder(env.cacheDir);
    Versions versions;
    versions.original = vorda::bench::largeSettingsFile(groups, channels);
    dir.write("ZEL_VurEV.ini", versions.original);

    // The first save, to the end: the version every later one differs from by its server name.
    {
        vorda::SettingsRecord record;
        vorda::SettingsFile file;
        static_cast<void>(vorda::loadSettings(record, file, env));
        record.server = Versions::kFirst;
        const vorda::SaveResult saved = vorda::saveSettings(
            record, file, {record.dataSource, record.user, record.password, record.dataDir});
        if (!saved.ok) {
            std::fprintf(stderr, "first save: %s\n", saved.error.c_str());
            return 2;
        }
        versions.saved = dir.read("ZEL_VurEV.ini");
    }
    // How long a save takes, to kill within the next two.
    const auto start = std::chrono::steady_clock::now();
    if (runChild(env, 1, 10, std::chrono::microseconds(-1)) != 0) {
        return 2;
    }
    const auto perSave = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - start) /
                         10;
    std::printf("%d runs, a file of %zu bytes, a save takes %lld us\n", runs, versions.saved.size(),
                static_cast<long long>(perSave.count()));

    std::mt19937 random(11);
    long next = 100;
    int leftByKill = 0;
    long copiesChecked = 0;
    int broken = 0;
    int oneMore = 0;
    int tooMany = 0;
    int leftAfterNextRun = 0;
    int fileBroken = 0;
    for (int run = 0; run < runs; ++run) {
        const auto after = std::chrono::microseconds(random() % (2 * perSave.count() + 1));
        runChild(env, next, 0, after);
        next += 1000;
        leftByKill += temporariesIn(folder) + temporariesIn(dir.path()) > 0 ? 1 : 0;
        if (!versions.whole(dir.read("ZEL_VurEV.ini"))) {
            ++fileBroken;
        }
        const std::vector<std::string> kept = vorda::backupsOf(folder, path);
        oneMore += kept.size() > vorda::kBackupsKept ? 1 : 0;
        for (const std::string& copy : kept) {
            ++copiesChecked;
            if (!versions.whole(vorda::test::readFile(copy))) {
                ++broken;
                std::fprintf(stderr, "run %d: %s is no whole copy\n", run, copy.c_str());
            }
        }
        // The next run, to its end, removes what the killed one left.
        if (runChild(env, next++, 1, std::chrono::microseconds(-1)) != 0) {
            std::fprintf(stderr, "run %d: the save after the kill failed\n", run);
            return 2;
        }
        tooMany += vorda::backupsOf(folder, path).size() > vorda::kBackupsKept ? 1 : 0;
        const int left = temporariesIn(folder) + temporariesIn(dir.path());
        if (left > 0) {
            ++leftAfterNextRun;
            std::fprintf(stderr, "run %d: %d temporary files left after the next save\n", run,
                         left);
        }
    }
    std::printf(
        "kills that left a temporary file: %d, one copy more: %d | copies checked: %ld, not "
        "whole: %d | more than %zu kept after the next save: %d | temporary files left after the "
        "next save: %d | settings file not whole: %d\n",
        leftByKill, oneMore, copiesChecked, broken, vorda::kBackupsKept, tooMany, leftAfterNextRun,
        fileBroken);
    return broken + tooMany + leftAfterNextRun + fileBroken == 0 ? 0 : 1;
}
