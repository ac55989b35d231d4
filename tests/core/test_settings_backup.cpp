// Copies of the replaced settings file: always whole, pruned by their time (never the one just
// made), kept only in a folder of the user's own, and temporary files of killed saves cleaned.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "platform/environment.h"
#include "platform/own_temporaries.h"
#include "settings/settings_backup.h"
#include "support/temp_dir.h"

using namespace vorda;
using std::chrono::system_clock;
using vorda::test::TempDir;

namespace {

constexpr std::int64_t kT = 1700000000;  // 2023-11-14T22:13:20Z

system_clock::time_point at(std::int64_t seconds) {
    return system_clock::time_point(std::chrono::seconds(seconds));
}

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        out.push_back(entry.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

int modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

pid_t goneProcess() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

}  // namespace

TEST(Backups, TemporaryFilesOfKilledSavesAreNotCountedAndAreRemoved) {
    TempDir dir;
    const std::string folder = backupFolder(dir.file("cache"));
    const std::string settings = dir.file("s.ini");
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(keepBackup(folder, settings, "copy " + std::to_string(i), at(kT + i)));
    }
    // What a save killed while it wrote its copy leaves, and one of a save still running.
    const std::string copy = baseNameOf(backupsOf(folder, settings).front());
    const std::string prefix = temporaryPrefix(copy.substr(0, copy.size() - 21));
    std::string hostNs = processTag();
    hostNs.erase(hostNs.rfind('-'));
    const std::string killed = prefix + hostNs + "-" + std::to_string(goneProcess()) + ".Ab12Cd";
    const std::string running = prefix + hostNs + "-" + std::to_string(::getppid()) + ".Ab12Cd";
    test::writeFile(joinPath(folder, killed), "cop");
    test::writeFile(joinPath(folder, running), "co");

    ASSERT_TRUE(keepBackup(folder, settings, "copy 20", at(kT + 20)));
    const std::vector<std::string> kept = backupsOf(folder, settings);
    ASSERT_EQ(kept.size(), kBackupsKept);
    EXPECT_EQ(test::readFile(kept.front()), "copy 1");
    EXPECT_EQ(test::readFile(kept.back()), "copy 20");
    // Left beside the copies kept: the running save's file alone.
    const std::vector<std::string> left = entriesOf(folder);
    EXPECT_EQ(left.size(), kBackupsKept + 1);
    EXPECT_NE(std::find(left.begin(), left.end(), running), left.end());
    EXPECT_EQ(modeOf(kept.back()), 0600);
}

TEST(Backups, ACopyIsNeverPrunedAsItIsMadeWhenTheClockWasAhead) {
    TempDir dir;
    const std::string folder = backupFolder(dir.file("cache"));
    const std::string settings = dir.file("s.ini");
    // Twenty saves while the clock was an hour ahead, then three with the clock set right.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(keepBackup(folder, settings, "ahead " + std::to_string(i), at(kT + 3600 + i)));
    }
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(keepBackup(folder, settings, "now " + std::to_string(i), at(kT + i)));
        const std::vector<std::string> kept = backupsOf(folder, settings);
        ASSERT_EQ(kept.size(), kBackupsKept);
        // The copies made since stay (they sort first by name); the oldest of those dated
        // ahead went.
        for (int j = 0; j <= i; ++j) {
            EXPECT_EQ(test::readFile(kept[static_cast<std::size_t>(j)]),
                      "now " + std::to_string(j));
        }
        EXPECT_EQ(test::readFile(kept[static_cast<std::size_t>(i) + 1]),
                  "ahead " + std::to_string(i + 1));
    }
    // Copies in one millisecond get names of their own.
    ASSERT_TRUE(keepBackup(folder, settings, "same ms", at(kT + 2)));
    const std::vector<std::string> kept = backupsOf(folder, settings);
    EXPECT_EQ(test::readFile(kept[2]), "now 2");
    EXPECT_EQ(test::readFile(kept[3]), "same ms");
    EXPECT_EQ(kept[3], kept[2] + "-1");
}

TEST(Backups, OnlyAFolderOfTheUsersOwnTakesCopies) {
    const bool root = ::geteuid() == 0;
    struct Case {
        std::string what;
        std::function<void(const TempDir&)> setUp;
        std::string reason;  // empty: a copy is kept
        bool needsRoot = false;
    };
    const auto mkdirs = [](const std::string& path, mode_t mode) {
        std::filesystem::create_directories(path);
        ::chmod(path.c_str(), mode);
    };
    const std::vector<Case> cases = {
        {"missing", [](const TempDir&) {}, ""},
        {"open to all",
         [&](const TempDir& d) { mkdirs(d.file("cache/vorda-settings/backups"), 0777); }, ""},
        {"a link to another folder",
         [&](const TempDir& d) {
             mkdirs(d.file("elsewhere"), 0700);
             mkdirs(d.file("cache/vorda-settings"), 0700);
             std::filesystem::create_directory_symlink(d.file("elsewhere"),
                                                       d.file("cache/vorda-settings/backups"));
         },
         "это символическая ссылка"},
        {"the program's folder a link",
         [&](const TempDir& d) {
             mkdirs(d.file("elsewhere/backups"), 0700);
             mkdirs(d.file("cache"), 0700);
             std::filesystem::create_directory_symlink(d.file("elsewhere"),
                                                       d.file("cache/vorda-settings"));
         },
         "это символическая ссылка"},
        {"a file",
         [&](const TempDir& d) {
             mkdirs(d.file("cache/vorda-settings"), 0700);
             d.write("cache/vorda-settings/backups", "");
         },
         "это не каталог"},
        {"another user's",
         [&](const TempDir& d) {
             mkdirs(d.file("cache/vorda-settings/backups"), 0777);
             ASSERT_EQ(::chown(d.file("cache/vorda-settings/backups").c_str(), 65534, 65534), 0);
         },
         "принадлежит другому пользователю", true},
    };
    for (const Case& c : cases) {
        if (c.needsRoot && !root) {
            continue;
        }
        TempDir dir;
        c.setUp(dir);
        const std::string folder = backupFolder(dir.file("cache"));
        const Status kept = keepBackup(folder, dir.file("s.ini"), "bytes", at(kT));
        EXPECT_EQ(kept.ok, c.reason.empty()) << c.what << ": " << kept.error;
        if (c.reason.empty()) {
            EXPECT_EQ(modeOf(folder), 0700) << c.what;
            EXPECT_EQ(modeOf(dir.file("cache/vorda-settings")), 0700) << c.what;
            EXPECT_EQ(backupsOf(folder, dir.file("s.ini")).size(), 1u) << c.what;
            continue;
        }
        EXPECT_NE(kept.error.find(c.reason), std::string::npos) << c.what << ": " << kept.error;
        // No copy went into the folder a link led to.
        if (std::filesystem::exists(dir.file("elsewhere"))) {
            for (const auto& e :
                 std::filesystem::recursive_directory_iterator(dir.file("elsewhere"))) {
                EXPECT_TRUE(e.is_directory()) << c.what << ": " << e.path();
            }
        }
        if (c.needsRoot) {
            EXPECT_TRUE(entriesOf(folder).empty());
            EXPECT_EQ(modeOf(folder), 0777);
        }
    }

    // Without a cache folder (neither XDG_CACHE_HOME nor HOME) there is no place for copies.
    const Status none = keepBackup(backupFolder(""), "/x/s.ini", "bytes", at(kT));
    EXPECT_FALSE(none.ok);
    EXPECT_NE(none.error.find("XDG_CACHE_HOME"), std::string::npos) << none.error;
    EXPECT_FALSE(std::filesystem::exists("vorda-settings"));
}
