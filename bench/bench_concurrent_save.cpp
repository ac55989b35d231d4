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
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/profile_document.h"
#include "sample_files.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace {

using vorda::ProfileDocument;

volatile sig_atomic_t stopWriter = 0;

enum class WriterMode { Rename, InPlace };

struct WriterReport {
    long updates = 0;
    long reverted = 0;
    long lost = 0;
};

bool writeAllAt(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
}

// The writer: read, check its earlier times, set one time, write; until told to stop.
WriterReport runWriter(const std::string& path, WriterMode mode, int groups, int channels) {
    WriterReport report;
    std::map<std::pair<int, int>, int> written;   // (group, channel) -> the time last written
    std::map<std::pair<int, int>, int> reverted;  // the same, when it was found changed back
    std::mt19937 random(42);
    // The times the file holds that are not those last written.
    const auto check = [&](const ProfileDocument& doc, bool atEnd) {
        for (const auto& [key, value] : written) {
            const std::int32_t now = doc.getInt("GROUP" + std::to_string(key.first),
                                                "C" + std::to_string(key.second), 0);
            if (now == value) {
                continue;
            }
            if (atEnd) {
                ++report.lost;
            } else if (reverted[key] != value) {
                reverted[key] = value;
                ++report.reverted;
            }
        }
    };
    for (int step = 0; !stopWriter; ++step) {
        const int g = 1 + step % groups;
        const int c = (step / groups) % channels;
        const int time = 1700000001 + step;
        std::string bytes;
        if (mode == WriterMode::Rename) {
            bool exists = false;
            if (!vorda::readFileBytes(path, bytes, exists).ok) {
                continue;
            }
            ProfileDocument doc = ProfileDocument::fromBytes(std::move(bytes));
            check(doc, false);
            static_cast<void>(doc.setString("GROUP" + std::to_string(g), "C" + std::to_string(c),
                                            std::to_string(time)));
            const std::string out = doc.bytes();
            const std::string temp = path + ".writer";
            const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || !writeAllAt(fd, out) || ::close(fd) != 0 ||
                ::rename(temp.c_str(), path.c_str()) != 0) {
                std::perror("writer");
                std::exit(2);
            }
        } else {
            const int fd = ::open(path.c_str(), O_RDWR);
            if (fd < 0) {
                continue;
            }
            char buffer[65536];
            for (off_t at = 0;;) {
                const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
                if (n <= 0) {
                    break;
                }
                bytes.append(buffer, static_cast<std::size_t>(n));
                at += n;
            }
            ProfileDocument doc = ProfileDocument::fromBytes(std::move(bytes));
            check(doc, false);
            static_cast<void>(doc.setString("GROUP" + std::to_string(g), "C" + std::to_string(c),
                                            std::to_string(time)));
            if (!writeAllAt(fd, doc.bytes()) || ::close(fd) != 0) {
                std::perror("writer");
                std::exit(2);
            }
        }
        written[{g, c}] = time;
        ++report.updates;
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + random() % 3000));
    }
    // A last look, after the saves have ended.
    std::string bytes;
    bool exists = false;
    if (vorda::readFileBytes(path, bytes, exists).ok) {
        check(ProfileDocument::fromBytes(std::move(bytes)), true);
    }
    return report;
}

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

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        std::perror("pipe");
        return;
    }
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::close(pipeFds[0]);
        struct sigaction stop {};
        stop.sa_handler = [](int) { stopWriter = 1; };
        ::sigaction(SIGTERM, &stop, nullptr);
        const WriterReport report = runWriter(path, mode, groups, channels);
        static_cast<void>(::write(pipeFds[1], &report, sizeof report));
        ::_exit(0);
    }
    ::close(pipeFds[1]);

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
    ::kill(writer, SIGTERM);
    WriterReport report;
    if (::read(pipeFds[0], &report, sizeof report) != static_cast<ssize_t>(sizeof report)) {
        std::fprintf(stderr, "the writer gave no report\n");
    }
    ::waitpid(writer, nullptr, 0);
    ::close(pipeFds[0]);
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
