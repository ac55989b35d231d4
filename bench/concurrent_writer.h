#pragma once
// A process that plays the reading service beside a benchmark: it reads the settings file, sets
// one channel's last time and writes the file back every 1 to 4 ms, either by rename (a new file
// put in place) or in place (the same file rewritten), until it is stopped. Its report:
//  - updates: the times it wrote;
//  - lost: times it wrote that the file no longer holds at the end;
//  - reverted: times it found changed back when it next read the file (a save had put in bytes
//    without them), though a later write of the save may have brought them back.
// The file is one of largeSettingsFile (sample_files.h): the writer sets key C<c> of [GROUP<g>].
#include <fcntl.h>
#include <signal.h>
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

namespace vorda::bench {

enum class WriterMode { Rename, InPlace };

struct WriterReport {
    long updates = 0;
    long reverted = 0;
    long lost = 0;
};

namespace writer_detail {

inline volatile sig_atomic_t stop = 0;

inline bool writeAllAt(int fd, const std::string& bytes) {
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
inline WriterReport run(const std::string& path, WriterMode mode, int groups, int channels) {
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
    for (int step = 0; !stop; ++step) {
        const int g = 1 + step % groups;
        const int c = (step / groups) % channels;
        const int time = 1700000001 + step;
        std::string bytes;
        if (mode == WriterMode::Rename) {
            bool exists = false;
            if (!readFileBytes(path, bytes, exists).ok) {
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
    if (readFileBytes(path, bytes, exists).ok) {
        check(ProfileDocument::fromBytes(std::move(bytes)), true);
    }
    return report;
}

}  // namespace writer_detail

// The writer, started in a process of its own.
class WriterProcess {
  public:
    WriterProcess(const std::string& path, WriterMode mode, int groups, int channels) {
        if (::pipe(pipe_) != 0) {
            std::perror("pipe");
            std::exit(2);
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(pipe_[0]);
            struct sigaction stop {};
            stop.sa_handler = [](int) { writer_detail::stop = 1; };
            ::sigaction(SIGTERM, &stop, nullptr);
            const WriterReport report = writer_detail::run(path, mode, groups, channels);
            static_cast<void>(::write(pipe_[1], &report, sizeof report));
            ::_exit(0);
        }
        ::close(pipe_[1]);
    }
    WriterProcess(const WriterProcess&) = delete;
    WriterProcess& operator=(const WriterProcess&) = delete;

    // Stops the writer and gives its report, with its last look at the file.
    WriterReport stop() {
        ::kill(pid_, SIGTERM);
        WriterReport report;
        if (::read(pipe_[0], &report, sizeof report) != static_cast<ssize_t>(sizeof report)) {
            std::fprintf(stderr, "the writer gave no report\n");
        }
        ::waitpid(pid_, nullptr, 0);
        ::close(pipe_[0]);
        return report;
    }

  private:
    int pipe_[2] = {-1, -1};
    pid_t pid_ = -1;
};

}  // namespace vorda::bench
