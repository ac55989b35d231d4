// Files read whole and written whole and atomically: missing and unreadable files, permissions,
// symbolic links, and failures that leave the original and the folder as they were. (What the
// bytes mean: test_profile_document.cpp.)
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/own_temporaries.h"
#include "resources/texts.h"
#include "support/temp_dir.h"

using namespace vorda;
using vorda::test::TempDir;

namespace {

// Bytes as another program may leave them: mixed line ends, code page 1251 bytes, a NUL and no
// line end at the end. The file layer carries them over untouched.
constexpr char kForeignBytes[] =
    "; written by hand\r\n"
    "[DATABASE]\r\n"
    "  user=\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0\r"  // Оператор
    "NUL=12\0junk\n"
    "[LAST]\r\n"
    "K=v";
const std::string kForeign(kForeignBytes, sizeof kForeignBytes - 1);

// Replaces the file whatever it holds now.
Status replaceWhole(const std::string& path, std::string_view bytes) {
    Replacement done;
    return replaceFile(path, bytes, nullptr, done);
}

class AtomicFile : public ::testing::Test {
  protected:
    // The permission bits of a file, or -1 when it cannot be asked.
    static int modeOf(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    }

    // The names in the folder, sorted: no temporary file may be left among them.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

// Runs body in a child process as user uid of the one group gid; the result is body's, or -1 when
// the child could not be started or changed user.
int inChildAs(uid_t uid, gid_t gid, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        if (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            ::_exit(100);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status) == 100 ? -1 : WEXITSTATUS(status);
}

// Runs body as an ordinary user (nobody) when we are root, since root may write any file.
int asOrdinaryUser(const std::function<int()>& body) {
    return ::geteuid() != 0 ? body() : inChildAs(65534, 65534, body);
}

}  // namespace

TEST_F(AtomicFile, ReadsMissingAndRefusesUnreadableFiles) {
    std::string bytes = "left over";
    bool exists = true;
    ASSERT_TRUE(readFileBytes(dir.file("missing.ini"), bytes, exists));
    EXPECT_FALSE(exists);
    EXPECT_EQ(bytes, "");

    dir.write("there.ini", kForeign);
    ASSERT_TRUE(readFileBytes(dir.file("there.ini"), bytes, exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(bytes, kForeign);
    dir.write("empty.ini", "");
    ASSERT_TRUE(readFileBytes(dir.file("empty.ini"), bytes, exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(bytes, "");

    std::filesystem::create_directory(dir.file("folder.ini"));
    const Status st = readFileBytes(dir.file("folder.ini"), bytes, exists);
    EXPECT_FALSE(st.ok);
    EXPECT_FALSE(exists);
    EXPECT_EQ(bytes, "");
    EXPECT_NE(st.error.find(dir.file("folder.ini")), std::string::npos) << st.error;
    EXPECT_NE(st.error.find("это каталог"), std::string::npos) << st.error;

    const Status through = readFileBytes(dir.file("there.ini/x.ini"), bytes, exists);
    EXPECT_FALSE(through.ok);
    EXPECT_NE(through.error.find("there.ini/x.ini"), std::string::npos) << through.error;
}

TEST_F(AtomicFile, WritesKeepingPermissions) {
    const std::string path = dir.file("ZEL_VurEV.ini");
    dir.write("ZEL_VurEV.ini", kForeign);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    const std::string changed = kForeign.substr(0, kForeign.size() - 1) + "w";
    ASSERT_TRUE(replaceWhole(path, changed));
    EXPECT_EQ(dir.read("ZEL_VurEV.ini"), changed);
    EXPECT_EQ(modeOf(path), 0640);
    EXPECT_EQ(entries(), (std::vector<std::string>{"ZEL_VurEV.ini"}));

    // A new file gets 0666 less the umask.
    const mode_t old = ::umask(027);
    const Status created = replaceWhole(dir.file("new.ini"), "[A]\r\n");
    ::umask(old);
    ASSERT_TRUE(created) << created.error;
    EXPECT_EQ(modeOf(dir.file("new.ini")), 0640);
    EXPECT_EQ(dir.read("new.ini"), "[A]\r\n");

    // A relative name works as well.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const Status relative = replaceWhole("rel.ini", "x");
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(relative) << relative.error;
    EXPECT_EQ(dir.read("rel.ini"), "x");
}

TEST_F(AtomicFile, WritesThroughSymbolicLinks) {
    std::filesystem::create_directory(dir.file("real"));
    dir.write("real/settings.ini", "[A]\nK=1\n");
    ASSERT_EQ(::chmod(dir.file("real/settings.ini").c_str(), 0600), 0);
    std::filesystem::create_symlink("real/settings.ini", dir.file("link.ini"));
    std::filesystem::create_symlink(dir.file("link.ini"), dir.file("link2.ini"));

    std::string bytes;
    bool exists = false;
    ASSERT_TRUE(readFileBytes(dir.file("link2.ini"), bytes, exists));
    EXPECT_EQ(bytes, "[A]\nK=1\n");
    ASSERT_TRUE(replaceWhole(dir.file("link2.ini"), "[A]\nK=2\n"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link2.ini")));
    EXPECT_EQ(dir.read("real/settings.ini"), "[A]\nK=2\n");
    EXPECT_EQ(modeOf(dir.file("real/settings.ini")), 0600);

    // A link to a file not there yet creates the file it names.
    std::filesystem::create_symlink("real/later.ini", dir.file("dangling.ini"));
    ASSERT_TRUE(replaceWhole(dir.file("dangling.ini"), "[B]\r\n"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("dangling.ini")));
    EXPECT_EQ(dir.read("real/later.ini"), "[B]\r\n");
}

TEST_F(AtomicFile, FailedWritesLeaveTheOriginalAsItWas) {
    // The folder does not exist.
    const Status noDir = replaceWhole(dir.file("nowhere/x.ini"), "x");
    EXPECT_FALSE(noDir.ok);
    EXPECT_NE(noDir.error.find("nowhere/x.ini"), std::string::npos) << noDir.error;

    // The target is a folder.
    std::filesystem::create_directory(dir.file("folder.ini"));
    const Status folder = replaceWhole(dir.file("folder.ini"), "x");
    EXPECT_FALSE(folder.ok);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.ini")));

    // Writing fails half-way (the file size limit stops it even for root).
    const std::string original = kForeign;
    dir.write("settings.ini", original);
    const std::string big(64 * 1024, 'x');
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    struct rlimit small = limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Status tooBig = replaceWhole(dir.file("settings.ini"), big);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(tooBig.ok);
    EXPECT_NE(tooBig.error.find("settings.ini"), std::string::npos) << tooBig.error;
    EXPECT_EQ(dir.read("settings.ini"), original);

    // No temporary file is left behind by any of the failures.
    EXPECT_EQ(entries(), (std::vector<std::string>{"folder.ini", "settings.ini"}));
}

TEST_F(AtomicFile, AFileTheUserMayNotWriteIsNotReplaced) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);  // the folder itself is open to everyone
    dir.write("open.ini", "[A]\r\n");
    ASSERT_EQ(::chmod(dir.file("open.ini").c_str(), 0666), 0);
    dir.write("locked.ini", kForeign);
    ASSERT_EQ(::chmod(dir.file("locked.ini").c_str(), 0444), 0);

    // 0: the writable file was written and the read-only one refused with the reason.
    const int result = asOrdinaryUser([&] {
        if (!replaceWhole(dir.file("open.ini"), "[B]\r\n").ok) {
            return 1;
        }
        const Status locked = replaceWhole(dir.file("locked.ini"), "[C]\r\n");
        if (locked.ok) {
            return 2;
        }
        return locked.error.find("locked.ini") != std::string::npos ? 0 : 3;
    });
    if (result == -1 || result == 1) {
        GTEST_SKIP() << "no ordinary user can write into " << dir.path();
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dir.read("open.ini"), "[B]\r\n");
    EXPECT_EQ(dir.read("locked.ini"), kForeign);
    EXPECT_EQ(modeOf(dir.file("locked.ini")), 0444);
    EXPECT_EQ(entries(), (std::vector<std::string>{"locked.ini", "open.ini"}));
}

TEST_F(AtomicFile, ReplacingTellsWhatWasReplaced) {
    const std::string path = dir.file("s.ini");
    dir.write("s.ini", "A");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    Replacement done;
    const FileContent a{true, "A"};
    ASSERT_TRUE(replaceFile(path, "B", &a, done));
    EXPECT_TRUE(done.placed);
    EXPECT_FALSE(done.inPlace);
    EXPECT_EQ(done.found, a);
    EXPECT_EQ(dir.read("s.ini"), "B");
    EXPECT_EQ(modeOf(path), 0640);

    // Another program wrote the file after the caller looked: nothing is placed, and found
    // tells what the file holds.
    dir.write("s.ini", "C");
    ASSERT_TRUE(replaceFile(path, "D", &a, done));
    EXPECT_FALSE(done.placed);
    EXPECT_EQ(done.found, (FileContent{true, "C"}));
    EXPECT_EQ(dir.read("s.ini"), "C");
    // Without an expectation it is replaced all the same.
    ASSERT_TRUE(replaceFile(path, "D", nullptr, done, FlushOrder::AfterPlacing));
    EXPECT_TRUE(done.placed);
    EXPECT_EQ(done.found, (FileContent{true, "C"}));
    EXPECT_EQ(dir.read("s.ini"), "D");
    EXPECT_EQ(modeOf(path), 0640);

    // A file expected missing: created, unless another program created it.
    const FileContent none{false, ""};
    ASSERT_TRUE(replaceFile(dir.file("new.ini"), "ours", &none, done));
    EXPECT_TRUE(done.placed);
    EXPECT_EQ(done.found, none);
    dir.write("other.ini", "theirs");
    ASSERT_TRUE(replaceFile(dir.file("other.ini"), "ours", &none, done));
    EXPECT_FALSE(done.placed);
    EXPECT_EQ(done.found, (FileContent{true, "theirs"}));
    EXPECT_EQ(dir.read("other.ini"), "theirs");
    EXPECT_EQ(entries(), (std::vector<std::string>{"new.ini", "other.ini", "s.ini"}));
}

TEST_F(AtomicFile, AFileInAFolderOnlyRootMayWriteIsWrittenInPlace) {
    // A folder that only root may write, holding a file everyone may write (as /etc/vorda may).
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    dir.write("s.ini", kForeign);
    ASSERT_EQ(::chmod(dir.file("s.ini").c_str(), 0666), 0);
    struct stat before {};
    ASSERT_EQ(::stat(dir.file("s.ini").c_str(), &before), 0);

    // 0: written in place; then a write expecting other bytes wrote nothing; then a write that
    // failed half-way (the file size limit) left the previous bytes.
    const int result = asOrdinaryUser([&] {
        Replacement done;
        const FileContent foreign{true, kForeign};
        if (!replaceFile(dir.file("s.ini"), "[A]\r\nK=1\r\n", &foreign, done).ok || !done.placed ||
            !done.inPlace || done.found != foreign) {
            return 1;
        }
        if (!replaceFile(dir.file("s.ini"), "[B]\r\n", &foreign, done).ok || done.placed ||
            done.found != FileContent{true, "[A]\r\nK=1\r\n"}) {
            return 2;
        }
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, nullptr);
        struct rlimit small {};
        small.rlim_cur = small.rlim_max = 4096;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const Status tooBig = replaceWhole(dir.file("s.ini"), std::string(8192, 'x'));
        return tooBig.ok || tooBig.error.find("прежнее содержимое возвращено") == std::string::npos
                   ? 3
                   : 0;
    });
    if (result == -1) {
        GTEST_SKIP() << "no ordinary user to run as";
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dir.read("s.ini"), "[A]\r\nK=1\r\n");
    struct stat after {};
    ASSERT_EQ(::stat(dir.file("s.ini").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0666u);
    EXPECT_EQ(entries(), (std::vector<std::string>{"s.ini"}));
}

TEST_F(AtomicFile, AFolderThatCannotBeFlushedIsReported) {
    // The user may create and rename files in the folder, but not open it to flush it.
    dir.write("s.ini", "[A]\r\n");
    ASSERT_EQ(::chmod(dir.file("s.ini").c_str(), 0666), 0);
    if (::geteuid() == 0) {  // the user's own file, which a rename may replace
        ASSERT_EQ(::chown(dir.file("s.ini").c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(dir.path().c_str(), 0333), 0);
    // 0: the new bytes are in place and the failure says the folder was not flushed.
    const int result = asOrdinaryUser([&] {
        const Status st = replaceWhole(dir.file("s.ini"), "[B]\r\n");
        return !st.ok && st.error.find("каталог не удалось сбросить на диск") != std::string::npos
                   ? 0
                   : 1;
    });
    ::chmod(dir.path().c_str(), 0755);
    if (result == -1) {
        GTEST_SKIP() << "no ordinary user to run as";
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dir.read("s.ini"), "[B]\r\n");
}

TEST_F(AtomicFile, AKilledWriteLeavesNoPartialFileAndNoReadableTemporaryFile) {
    const std::string path = dir.file("s.ini");
    const std::string a(256 * 1024, 'a');
    const std::string b = "PASSWORD=secret\r\n" + std::string(200 * 1024, 'b');
    dir.write("s.ini", a);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    // Writers killed at random moments of their writes.
    std::srand(7);
    for (int i = 0; i < 100; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int n = 0;; ++n) {
                static_cast<void>(replaceWhole(path, n % 2 ? a : b));
            }
        }
        ::usleep(static_cast<useconds_t>(std::rand() % 4000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string now = dir.read("s.ini");
        ASSERT_TRUE(now == a || now == b) << "a partial file of " << now.size() << " bytes";
    }
    // What they left is readable by the owner only (but for a kill in the instant between a
    // file getting the target's permissions and taking its place), and the next write removes
    // it.
    int readable = 0;
    for (const std::string& name : entries()) {
        if (name != "s.ini" && (modeOf(dir.file(name)) & 077) != 0) {
            ++readable;
        }
    }
    EXPECT_LE(readable, 1) << entries().size() - 1 << " left";
    ASSERT_TRUE(replaceWhole(path, a));
    EXPECT_EQ(entries(), (std::vector<std::string>{"s.ini"}));
    EXPECT_EQ(modeOf(path), 0644);
}

TEST_F(AtomicFile, OnlyOurOwnAbandonedTemporaryFilesAreRemoved) {
    dir.write("s.ini", "x");
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    // "HOST-NS" of this process, and names of temporary files beside s.ini.
    std::string hostNs = processTag();
    hostNs.erase(hostNs.rfind('-'));
    const std::string dead = std::to_string(gone);
    const auto temp = [](const std::string& base, const std::string& tag,
                         const std::string& random = "abc123") {
        return temporaryPrefix(base) + tag + "." + random;
    };
    enum Kind { Removed, Left, OtherUsers, Link };
    const std::pair<Kind, std::string> cases[] = {
        {Removed, temp("s.ini", hostNs + "-" + dead)},
        // Its process still runs (this test's parent).
        {Left, temp("s.ini", hostNs + "-" + std::to_string(::getppid()))},
        // Another user's (made only as root), named like ours.
        {OtherUsers, temp("s.ini", hostNs + "-" + dead, "uid999")},
        // Another PID namespace (another container) or another host sharing the folder: its
        // process cannot be asked.
        {Left, temp("s.ini", hostNs.substr(0, 9) + "1234abcd-" + dead)},
        {Left, temp("s.ini", "0badf00d" + hostNs.substr(8) + "-" + dead)},
        // An older form of the name, which says nothing of host or namespace.
        {Left, ".s.ini.vorda-settings." + dead + ".abcdef"},
        // Not a file of ours at all; another settings file's; a link named like ours.
        {Left, ".s.ini.Xy12Zq"},
        {Left, temp("other.ini", hostNs + "-" + dead)},
        {Link, temp("s.ini", hostNs + "-" + dead, "lnk123")},
    };
    // Removed by the next save, and by the next load (which puts right what a killed save left).
    for (const bool atLoad : {false, true}) {
        std::vector<std::string> left{"s.ini"};
        for (const auto& [kind, name] : cases) {
            std::filesystem::remove(dir.file(name));
            if (kind == Link) {
                ASSERT_EQ(::symlink("s.ini", dir.file(name).c_str()), 0);
            } else if (kind != OtherUsers || ::geteuid() == 0) {
                dir.write(name, "left");
                if (kind == OtherUsers) {
                    ASSERT_EQ(::chown(dir.file(name).c_str(), 65534, 65534), 0);
                }
            } else {
                continue;
            }
            if (kind != Removed) {
                left.push_back(name);
            }
        }
        std::sort(left.begin(), left.end());
        std::string notice;
        ASSERT_TRUE(atLoad ? finishInterruptedSave(dir.file("s.ini"), "", notice)
                           : replaceWhole(dir.file("s.ini"), "y"));
        EXPECT_EQ(entries(), left) << "at load: " << atLoad;
        EXPECT_EQ(dir.read("s.ini"), "y");
    }
}

TEST_F(AtomicFile, AFileOverTheLimitIsRefusedWithoutBeingReadWhole) {
    struct Case {
        std::string what;
        std::string path;
        std::uint64_t size;  // made sparse; 0: the file is made otherwise
        std::uint64_t limit;
        bool refused;
        bool appended = false;  // another thread appends to it without end
    };
    const std::uint64_t gib = std::uint64_t{1} << 30;
    const std::vector<Case> cases = {
        {"at the limit", dir.file("1000.ini"), 1000, 1000, false},
        {"one byte over", dir.file("1001.ini"), 1001, 1000, true},
        {"just over 64 MiB", dir.file("64m.ini"), kFileSizeLimit + 1, kFileSizeLimit, true},
        {"30 GiB, sparse", dir.file("30g.ini"), 30 * gib, kFileSizeLimit, true},
        // A regular file whose size says 0 and that gives ever more as it is read: only the
        // read itself finds it too large.
        {"growing while read", "/proc/self/smaps", 0, 4096, true},
        // Every read takes at most the limit, and one is refused once the file is past it (by
        // its size, or while it is read).
        {"another program keeps appending", dir.file("growing.ini"), 0, 1 << 20, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.size > 0 || c.appended) {
            const int fd = ::open(c.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            ASSERT_GE(fd, 0);
            const bool sized = ::ftruncate(fd, static_cast<off_t>(c.size)) == 0;
            ::close(fd);
            if (!sized) {
                continue;  // the file system holds no file this large
            }
        }
        std::atomic<bool> stop{false};
        std::atomic<bool> stopped{!c.appended};  // by a failed write: the file grows no more
        std::thread writer;
        if (c.appended) {
            writer = std::thread([&, fd = ::open(c.path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC)] {
                const std::string chunk(4096, 'g');
                while (!stop && ::write(fd, chunk.data(), chunk.size()) > 0) {
                }
                stopped = true;
                ::close(fd);
            });
        }
        std::string bytes = "left over";
        bool exists = true;
        Status st;
        do {
            st = readFileBytes(c.path, bytes, exists, c.limit);
            EXPECT_LE(bytes.size(), c.limit);
        } while (st.ok && !stopped);
        stop = true;
        if (writer.joinable()) {
            writer.join();
        }
        EXPECT_EQ(st.ok, !c.refused) << st.error;
        if (c.refused) {
            EXPECT_FALSE(exists);
            EXPECT_TRUE(bytes.empty());
            EXPECT_NE(st.error.find(c.path), std::string::npos) << st.error;
            EXPECT_NE(st.error.find("файл больше " + texts::byteSize(c.limit)), std::string::npos)
                << st.error;
        } else {
            EXPECT_EQ(bytes, std::string(c.size, '\0'));
        }
    }
}

// A file another process rewrites in place (emptied, then written in pieces) is never read
// half-written; one that never stands still is reported past the bound; one that stood still a
// while is taken as it is, empty or without a line end.
TEST_F(AtomicFile, ASettledReadNeverTakesAFileInTheMiddleOfAWrite) {
    const std::string path = dir.file("s.ini");
    std::string whole;
    for (int i = 0; i < 4000; ++i) {
        whole += "[G" + std::to_string(i) + "]\nK=v\n";
    }
    ASSERT_TRUE(replaceWhole(path, whole).ok);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        for (;;) {  // empties the file, then writes it again in 4 KB pieces
            const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
            for (std::size_t at = 0; fd >= 0 && at < whole.size(); at += 4096) {
                const std::size_t n = std::min<std::size_t>(4096, whole.size() - at);
                if (::pwrite(fd, whole.data() + at, n, static_cast<off_t>(at)) < 0) {
                    ::_exit(1);
                }
                ::usleep(200);
            }
            ::close(fd);
            ::usleep(5000);
        }
    }
    int partial = 0;
    int reads = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until) {
        std::string bytes;
        bool exists = false;
        if (readSettledFileBytes(path, bytes, exists).ok) {
            ++reads;
            partial += bytes != whole ? 1 : 0;
        }
    }
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    EXPECT_GT(reads, 10);
    EXPECT_EQ(partial, 0);

    // Never standing still: reported once the bound is past, with nothing read.
    SettleLimits limits;
    limits.bound = std::chrono::milliseconds(150);
    const pid_t busy = ::fork();
    ASSERT_GE(busy, 0);
    if (busy == 0) {
        for (int i = 0;; ++i) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
            const std::string piece = "[A]\nK=" + std::to_string(i);  // never a line end
            static_cast<void>(::write(fd, piece.data(), piece.size()));
            ::close(fd);
            ::usleep(500);
        }
    }
    for (int i = 0; i < 5000 && dir.read("s.ini").rfind('\n') + 1 == dir.read("s.ini").size();
         ++i) {
        ::usleep(1000);  // until the writer runs
    }
    std::string bytes = "x";
    bool exists = true;
    const Status st = readSettledFileBytes(path, bytes, exists, nullptr, limits);
    ::kill(busy, SIGKILL);
    ::waitpid(busy, nullptr, 0);
    EXPECT_FALSE(st.ok);
    EXPECT_TRUE(bytes.empty() && !exists);

    // Left so: after standing still it is what it is.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(readSettledFileBytes(path, bytes, exists).ok);
    EXPECT_TRUE(exists);
    EXPECT_NE(bytes.back(), '\n');
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(400));
}

namespace {

struct stat statOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

std::string attribute(const std::string& path, const char* name) {
    char value[256];
    const ssize_t n = ::getxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? std::string("<none>") : std::string(value, static_cast<std::size_t>(n));
}

// An access ACL in the kernel's form (little-endian, version 2; tag, permissions, id): the owner
// rw, user 2001 rw, the group r, mask rw, others r.
const std::string kAccessAcl(
    "\x02\0\0\0"
    "\x01\0\x06\0\xff\xff\xff\xff"
    "\x02\0\x06\0\xd1\x07\0\0"
    "\x04\0\x04\0\xff\xff\xff\xff"
    "\x10\0\x06\0\xff\xff\xff\xff"
    "\x20\0\x04\0\xff\xff\xff\xff",
    44);

// Whether the folder holds an unfinished save's copy.
bool holdsUnfinishedCopy(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().filename().string().ends_with(".unfinished-save")) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Wherever a new file put in by rename would not be all the old one is, the file is written in
// place (same inode); where a rename keeps everything, it is renamed. Either way it keeps its
// owner, group, permissions, extended attributes and ACL entries.
TEST_F(AtomicFile, KeepsWhatTheFileIsOrWritesItInPlace) {
    const std::string path = dir.file("s.ini");
    struct Case {
        const char* what;
        std::function<bool()> before;  // false: cannot be made here
        std::function<void()> after;
        bool inPlace = true;
        bool asOperator = false;  // saved by user 2002 in the file's group 3000
    };
    int holder = -1;
    const std::vector<Case> cases = {
        {"hard link", [&] { return ::link(path.c_str(), dir.file("second").c_str()) == 0; },
         [&] {
             EXPECT_EQ(dir.read("second"), "[NEW]\n");
             std::filesystem::remove(dir.file("second"));
         }},
        {"held open", [&] { return (holder = ::open(path.c_str(), O_WRONLY)) >= 0; },
         [&] {
             // The holder's next write lands in the file everyone reads.
             EXPECT_EQ(::pwrite(holder, "[HELD]\n", 7, 0), 7);
             ::close(holder);
             EXPECT_EQ(dir.read("s.ini"), "[HELD]\n");
         }},
        {"no exchange",
         [] {
             forbidRenameExchange(true);
             return true;
         },
         [] { forbidRenameExchange(false); }},
        // A file bind-mounted over another cannot be renamed over.
        {"bind mount",
         [&] {
             dir.write("source.ini", "[OLD] and more\n");
             const bool mounted = ::mount(dir.file("source.ini").c_str(), path.c_str(), nullptr,
                                          MS_BIND, nullptr) == 0;
             if (!mounted) {
                 std::filesystem::remove(dir.file("source.ini"));
             }
             return mounted;
         },
         [&] {
             ::umount(path.c_str());
             EXPECT_EQ(dir.read("source.ini"), "[NEW]\n");
             std::filesystem::remove(dir.file("source.ini"));
         }},
        // The operator of another user id, in the service's group, saves the service's file in a
        // group-writable folder: we may not give a new file away.
        {"another user's",
         [&] {
             return ::geteuid() == 0 && ::chown(path.c_str(), 2001, 3000) == 0 &&
                    ::chmod(path.c_str(), 0664) == 0 && ::chown(dir.path().c_str(), 0, 3000) == 0 &&
                    ::chmod(dir.path().c_str(), 0775) == 0;
         },
         [] {}, true, true},
        {"extended attributes and ACL entries",
         [&] {
             return ::setxattr(path.c_str(), "user.note", "kept", 4, 0) == 0 &&
                    ::setxattr(path.c_str(), "system.posix_acl_access", kAccessAcl.data(),
                               kAccessAcl.size(), 0) == 0;
         },
         [&] {
             EXPECT_EQ(attribute(path, "user.note"), "kept");
             EXPECT_EQ(attribute(path, "system.posix_acl_access"), kAccessAcl);
         },
         false},
    };
    const FileContent expected{true, "[OLD] and more\n"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path);
        ASSERT_TRUE(replaceWhole(path, expected.bytes).ok);
        if (!c.before()) {
            std::cout << c.what << ": cannot be made here, skipped\n";
            continue;
        }
        const struct stat was = statOf(path);
        // 0: placed, in place or not as expected, having found what was expected.
        const auto save = [&] {
            Replacement done;
            return !replaceFile(path, "[NEW]\n", &expected, done).ok                    ? 1
                   : done.placed && done.inPlace == c.inPlace && done.found == expected ? 0
                                                                                        : 2;
        };
        EXPECT_EQ(c.asOperator ? inChildAs(2002, 3000, save) : save(), 0);
        const struct stat now = statOf(path);
        EXPECT_EQ(now.st_ino == was.st_ino, c.inPlace);
        EXPECT_EQ(now.st_uid, was.st_uid);
        EXPECT_EQ(now.st_gid, was.st_gid);
        EXPECT_EQ(now.st_mode & 07777, was.st_mode & 07777);
        EXPECT_EQ(dir.read("s.ini"), "[NEW]\n");
        c.after();
    }
    EXPECT_EQ(entries(), std::vector<std::string>{"s.ini"});
}

// A save killed while it writes the file in place: the next run finds the copy it kept and leaves
// the file whole, old or new, with a notice, and no copy or temporary file behind.
TEST_F(AtomicFile, ASaveKilledWhileWritingInPlaceIsPutRightByTheNextRun) {
    const std::string path = dir.file("s.ini");
    const std::string state = dir.file("state");
    const std::string oldBytes(2 << 20, 'o');
    const std::string newBytes((2 << 20) - 1000, 'n');
    for (int delayUs : {0, 300, 1000}) {
        SCOPED_TRACE(delayUs);
        ASSERT_TRUE(replaceWhole(path, oldBytes).ok);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            forbidRenameExchange(true);
            Replacement done;
            ::_exit(replaceFile(path, newBytes, nullptr, done, FlushOrder::BeforePlacing, state).ok
                        ? 0
                        : 1);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!holdsUnfinishedCopy(state) && std::chrono::steady_clock::now() < until &&
               ::waitpid(child, nullptr, WNOHANG) == 0) {
            ::usleep(100);
        }
        ::usleep(static_cast<useconds_t>(delayUs));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        std::string notice;
        ASSERT_TRUE(finishInterruptedSave(path, state, notice).ok);
        const std::string now = dir.read("s.ini");
        EXPECT_TRUE(now == oldBytes || now == newBytes) << now.size();
        EXPECT_EQ(std::filesystem::is_empty(state), true);
        EXPECT_EQ(entries(), (std::vector<std::string>{"s.ini", "state"}));
        // Nothing left to put right: the next run says nothing.
        ASSERT_TRUE(finishInterruptedSave(path, state, notice).ok);
        EXPECT_TRUE(notice.empty());
    }
}

// A held file is whole as taken, and nobody else may open it until it is written (in place: the
// same file); it cannot be held while another program has it open, nor by a user who does not
// own it; a file renamed over it meanwhile is not written.
TEST_F(AtomicFile, AHeldFileKeepsOthersOutUntilItIsWritten) {
    const std::string path = dir.file("s.ini");
    const auto othersMayOpen = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            ::_exit(::open(path.c_str(), O_RDONLY | O_NONBLOCK) >= 0 ? 1 : 0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 1;
    };
    const auto inode = [&] {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    ASSERT_TRUE(replaceWhole(path, "old\n").ok);
    const ino_t before = inode();
    auto held = HeldFile::take(path);
    ASSERT_NE(held, nullptr);
    const FileContent old = held->takeContent();
    EXPECT_EQ(old, (FileContent{true, "old\n"}));
    EXPECT_FALSE(othersMayOpen());
    Replacement done;
    ASSERT_TRUE(held->write(path, "new\n", old, done, dir.file("state")).ok);
    EXPECT_TRUE(done.placed && done.inPlace);
    EXPECT_EQ(done.found, (FileContent{true, "old\n"}));
    EXPECT_TRUE(othersMayOpen());
    EXPECT_EQ(dir.read("s.ini"), "new\n");
    EXPECT_EQ(inode(), before);

    held = HeldFile::take(path);
    ASSERT_NE(held, nullptr);
    dir.write("other", "other\n");
    ASSERT_EQ(::rename(dir.file("other").c_str(), path.c_str()), 0);
    ASSERT_TRUE(held->write(path, "lost\n", held->takeContent(), done, dir.file("state")).ok);
    EXPECT_FALSE(done.placed);
    EXPECT_EQ(done.found, (FileContent{true, "other\n"}));
    EXPECT_EQ(dir.read("s.ini"), "other\n");

    // A read waits for another process's hold to be let go, and finds its write.
    int held2[2];
    ASSERT_EQ(::pipe(held2), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        auto h = HeldFile::take(path);
        static_cast<void>(::write(held2[1], "h", 1));
        ::usleep(100000);
        Replacement d;
        ::_exit(h && h->write(path, "after\n", h->takeContent(), d, dir.file("state")).ok &&
                        d.placed
                    ? 0
                    : 1);
    }
    char c = 0;
    ASSERT_EQ(::read(held2[0], &c, 1), 1);
    std::string bytes;
    bool exists = false;
    EXPECT_TRUE(readFileBytes(path, bytes, exists).ok);
    EXPECT_EQ(bytes, "after\n");
    int status = -1;
    ::waitpid(holder, &status, 0);
    EXPECT_EQ(status, 0);
    ::close(held2[0]);
    ::close(held2[1]);

    const UniqueFd writer(::open(path.c_str(), O_WRONLY));
    EXPECT_EQ(HeldFile::take(path), nullptr);
    if (::geteuid() == 0) {
        ::chmod(path.c_str(), 0666);
        EXPECT_EQ(asOrdinaryUser([&] { return HeldFile::take(path) == nullptr ? 0 : 1; }), 0);
    }
}
