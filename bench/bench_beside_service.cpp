// Saves beside a service that keeps writing the settings file, with writer processes of each kind
// the service may be: one that puts a new file in place by rename, one that empties the file and
// writes it again, one that rewrites a large file in place in 4 KB pieces, and one that keeps the
// file open and rewrites it through that descriptor. Each runs for a fixed time while this process
// saves again and again (a new server name each time, as an operator pressing Apply) and loads the
// file as --dump does. Printed per writer:
//  - saves that went through, and saves reported (the file never stood still long enough);
//  - files placed without the service's settings (fewer groups than it keeps), and shortened
//    files (a group section cut off), as read right after a save;
//  - the service's updates lost: times it wrote that the file no longer holds at the end;
//  - false conflicts: the operator changes only the server name and the service only channel
//    times, so every conflict reported is false;
//  - loads that found no groups;
//  - the time of a save (with the second one where the operator settles a conflict): on average,
//    at the median and at most.
// Then saves killed with SIGKILL at random moments, on the rename path and on the in-place path
// (as without RENAME_EXCHANGE): after the next load the file must be whole, old or new, with no
// temporary file or copy left.
// Run: bench_beside_service [seconds per writer] [kills per path]   (defaults 60, 2000)
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/profile_document.h"
#include "sample_files.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace {

// Replaces the file whatever it holds now.
vorda::Status replaceWhole(const std::string& path, std::string_view bytes) {
    vorda::Replacement done;
    return vorda::replaceFile(path, bytes, nullptr, done);
}

using vorda::ProfileDocument;

volatile sig_atomic_t stopWriter = 0;

enum class Kind { Rename, Truncate, Pieces, HeldOpen };

const char* nameOf(Kind kind) {
    switch (kind) {
        case Kind::Rename:
            return "rename";
        case Kind::Truncate:
            return "truncate-then-write";
        case Kind::Pieces:
            return "4 KB pieces";
        case Kind::HeldOpen:
            return "held open";
    }
    return "?";
}

bool writeAll(int fd, const std::string& bytes, std::size_t piece, int pauseUs) {
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const std::size_t n = std::min(piece, bytes.size() - at);
        if (::pwrite(fd, bytes.data() + at, n, static_cast<off_t>(at)) != static_cast<ssize_t>(n)) {
            return false;
        }
        if (pauseUs > 0) {
            ::usleep(static_cast<useconds_t>(pauseUs));
        }
    }
    return ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
}

std::string readAll(int fd) {
    std::string bytes;
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n <= 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
}

// The service reads as it always did (a short wait while the file is empty or cut off) and
// writes its way; it reports how many of its last times the file lacks at the end.
long runWriter(const std::string& path, Kind kind, int groups, int channels) {
    std::map<std::pair<int, int>, int> written;
    int held = kind == Kind::HeldOpen ? ::open(path.c_str(), O_RDWR) : -1;
    for (int step = 0; !stopWriter; ++step) {
        const int fd = held >= 0 ? held : ::open(path.c_str(), O_RDONLY);
        std::string bytes;
        for (int tries = 0; tries < 200; ++tries) {
            bytes = readAll(fd);
            if (!bytes.empty() && bytes.back() == '\n') {
                break;
            }
            ::usleep(100);
        }
        if (fd != held) {
            ::close(fd);
        }
        ProfileDocument doc = ProfileDocument::fromBytes(std::move(bytes));
        const int g = 1 + step % groups;
        const int c = (step / groups) % channels;
        static_cast<void>(doc.setString("GROUP" + std::to_string(g), "C" + std::to_string(c),
                                        std::to_string(1700000001 + step)));
        written[{g, c}] = 1700000001 + step;
        const std::string out = doc.bytes();
        if (kind == Kind::Rename) {
            const std::string temp = path + ".service";
            const int t = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            writeAll(t, out, out.size(), 0);
            ::close(t);
            ::rename(temp.c_str(), path.c_str());
            ::usleep(1000);
        } else if (kind == Kind::Truncate) {
            const int t = ::open(path.c_str(), O_WRONLY | O_TRUNC);
            writeAll(t, out, out.size(), 0);
            ::close(t);
            ::usleep(250);
        } else if (kind == Kind::Pieces) {
            const int t = ::open(path.c_str(), O_WRONLY);
            writeAll(t, out, 4096, 100);
            ::close(t);
            ::usleep(5000);
        } else {
            writeAll(held, out, out.size(), 0);
            ::usleep(5000);
        }
    }
    std::string bytes;
    bool exists = false;
    static_cast<void>(vorda::readSettledFileBytes(path, bytes, exists));
    const ProfileDocument doc = ProfileDocument::fromBytes(std::move(bytes));
    long lost = 0;
    for (const auto& [key, value] : written) {
        lost += doc.getInt("GROUP" + std::to_string(key.first), "C" + std::to_string(key.second),
                           0) != value;
    }
    return lost;
}

vorda::Environment envFor(const vorda::test::TempDir& dir, const std::string& path) {
    vorda::Environment env;
    env.args = {"vorda-settings", path};
    env.currentDir = dir.path();
    env.stateDir = dir.file("state");
    return env;
}

void besideWriter(Kind kind, int seconds) {
    vorda::test::TempDir dir;
    const std::string path = dir.file("ZEL_VurEV.ini");
    const int groups = kind == Kind::Pieces ? 256 : 16;
    const int channels = kind == Kind::Pieces ? 64 : 8;
    const std::string start = vorda::bench::largeSettingsFile(groups, channels);
    static_cast<void>(replaceWhole(path, start));
    const std::string lastGroup = "[GROUP" + std::to_string(groups) + "]";

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return;
    }
    stopWriter = 0;
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::signal(SIGTERM, [](int) { stopWriter = 1; });
        const long lost = runWriter(path, kind, groups, channels);
        static_cast<void>(::write(pipeFds[1], &lost, sizeof lost));
        ::_exit(0);
    }
    const vorda::Environment env = envFor(dir, path);
    vorda::SettingsRecord record;
    vorda::SettingsFile file;
    static_cast<void>(vorda::loadSettings(record, file, env));
    const vorda::ConnectionValues values{"ZEL", "ZEL", "QMX", "/data"};
    long saves = 0, reported = 0, withoutService = 0, shortened = 0, conflicts = 0;
    long loads = 0, loadsWithoutGroups = 0;
    std::vector<double> saveMs;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
        record.server = "op-" + std::to_string(i);
        const auto saveStart = std::chrono::steady_clock::now();
        vorda::SaveResult saved = vorda::saveSettings(record, file, values);
        // The service writes back a copy it read before a save: the server name it reverts is a
        // true conflict, which the operator settles by keeping theirs; any other is false.
        std::vector<vorda::ConflictResolution> choices;
        for (const auto& c : saved.conflicts) {
            conflicts += c.key != "SERVER";
            choices.push_back({c.value, vorda::ConflictChoice::KeepMine});
        }
        if (saved.needsChoice()) {
            saved = vorda::saveSettings(record, file, values, choices);
        }
        saveMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - saveStart)
                .count());
        if (!saved.ok) {
            ++reported;
            if (reported <= 3) {
                std::fprintf(stderr, "  reported: %s\n", saved.error.c_str());
            }
        } else {
            ++saves;
            std::string bytes;
            bool exists = false;
            static_cast<void>(vorda::readSettledFileBytes(path, bytes, exists));
            withoutService += bytes.find("GROUPS=" + std::to_string(groups)) == std::string::npos;
            shortened += bytes.find(lastGroup) == std::string::npos || bytes.size() < start.size();
        }
        vorda::SettingsRecord loaded;
        vorda::SettingsFile loadedFile;
        ++loads;
        loadsWithoutGroups += !vorda::loadSettings(loaded, loadedFile, env).ok ||
                              loaded.groups.size() != static_cast<std::size_t>(groups);
    }
    ::kill(writer, SIGTERM);
    long lost = -1;
    static_cast<void>(::read(pipeFds[0], &lost, sizeof lost));
    ::waitpid(writer, nullptr, 0);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    std::sort(saveMs.begin(), saveMs.end());
    double totalMs = 0;
    for (const double ms : saveMs) {
        totalMs += ms;
    }
    const std::size_t n = std::max<std::size_t>(saveMs.size(), 1);
    std::printf(
        "%-20s %3d s: saves %ld, reported %ld; placed without the service's settings %ld, "
        "shortened %ld; service updates lost %ld; false conflicts %ld; loads %ld, without "
        "groups %ld; a save %.1f ms on average, %.1f at the median, %.1f at most\n",
        nameOf(kind), seconds, saves, reported, withoutService, shortened, lost, conflicts, loads,
        loadsWithoutGroups, totalMs / static_cast<double>(n),
        saveMs.empty() ? 0.0 : saveMs[saveMs.size() / 2], saveMs.empty() ? 0.0 : saveMs.back());
    std::fflush(stdout);
}

// Saves killed at random moments; after the next load the file must be old or new, whole.
void killedSaves(bool inPlace, int kills) {
    vorda::test::TempDir dir;
    const std::string path = dir.file("ZEL_VurEV.ini");
    const std::string old = vorda::bench::largeSettingsFile(256, 64);
    vorda::Environment env = envFor(dir, path);
    env.renameExchange = !inPlace;
    // The bytes a finished save leaves.
    static_cast<void>(replaceWhole(path, old));
    vorda::SettingsRecord record;
    vorda::SettingsFile file;
    static_cast<void>(vorda::loadSettings(record, file, env));
    record.server = "killed";
    static_cast<void>(vorda::saveSettings(record, file, {"ZEL", "ZEL", "QMX", "/data"}));
    std::string fresh;
    bool exists = false;
    static_cast<void>(vorda::readFileBytes(path, fresh, exists));

    std::mt19937 random(11);
    long asOld = 0, asNew = 0, broken = 0, leftovers = 0, notices = 0;
    for (int i = 0; i < kills; ++i) {
        static_cast<void>(replaceWhole(path, old));
        const pid_t child = ::fork();
        if (child == 0) {
            vorda::SettingsRecord r;
            vorda::SettingsFile f;
            static_cast<void>(vorda::loadSettings(r, f, env));
            r.server = "killed";
            static_cast<void>(vorda::saveSettings(r, f, {"ZEL", "ZEL", "QMX", "/data"}));
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 600000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        vorda::SettingsRecord r;
        vorda::SettingsFile f;
        static_cast<void>(vorda::loadSettings(r, f, env));
        notices += !f.recoveryNotice.empty();
        std::string now;
        static_cast<void>(vorda::readFileBytes(path, now, exists));
        asOld += now == old;
        asNew += now == fresh;
        broken += now != old && now != fresh;
        long entries = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            entries += e.path().filename() != "state" && e.path() != path;
        }
        if (const std::string copies = dir.file("state/vorda-settings");
            std::filesystem::exists(copies)) {
            entries += std::distance(std::filesystem::directory_iterator(copies),
                                     std::filesystem::directory_iterator());
        }
        leftovers += entries > 0;
    }
    std::printf(
        "killed saves, %-8s: %d kills: old %ld, new %ld, neither %ld; runs with files "
        "left %ld; notices %ld\n",
        inPlace ? "in place" : "rename", kills, asOld, asNew, broken, leftovers, notices);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int kills = argc > 2 ? std::atoi(argv[2]) : 2000;
    for (const Kind kind : {Kind::Rename, Kind::Truncate, Kind::Pieces, Kind::HeldOpen}) {
        besideWriter(kind, seconds);
    }
    killedSaves(false, kills);
    killedSaves(true, kills);
    return 0;
}
