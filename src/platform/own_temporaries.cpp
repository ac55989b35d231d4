#include "platform/own_temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>

#include "platform/text.h"

namespace vorda {
namespace {

constexpr std::string_view kMark = ".vorda-settings.";
constexpr std::size_t kBaseLimit = 160;
constexpr std::size_t kRandomChars = 6;
constexpr std::string_view kRandomAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// "HOST-NS": the host and the PID namespace of this process; empty when the namespace cannot be
// told (then no file is ever taken for ours).
std::string hostAndNamespace() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) {
        host[0] = '\0';
    }
    const std::uint32_t hash = shortHash(host);
    struct stat ns {};
    if (::stat("/proc/self/ns/pid", &ns) != 0 || ns.st_ino == 0) {
        return {};
    }
    char text[48];
    std::snprintf(text, sizeof text, "%08x-%llx", static_cast<unsigned>(hash),
                  static_cast<unsigned long long>(ns.st_ino));
    return text;
}

std::string randomSuffix() {
    unsigned char bytes[kRandomChars] = {};
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // No entropy yet: the clock and a counter still make names unlikely to meet, and a name
        // that exists already is tried again.
        static unsigned counter = 0;
        const auto seed = static_cast<unsigned long long>(::getpid()) * 2654435761u +
                          static_cast<unsigned long long>(::time(nullptr)) +
                          static_cast<unsigned long long>(++counter) * 40503u;
        for (std::size_t i = 0; i < sizeof bytes; ++i) {
            bytes[i] = static_cast<unsigned char>(seed >> (i * 7));
        }
    }
    std::string suffix;
    for (const unsigned char b : bytes) {
        suffix.push_back(kRandomAlphabet[b % kRandomAlphabet.size()]);
    }
    return suffix;
}

bool isAsciiAlnums(std::string_view text) {
    for (const char c : text) {
        if (!isAsciiDigit(c) && !isAsciiLetter(c)) {
            return false;
        }
    }
    return !text.empty();
}

// The process named by the rest of a temporary file's name ("HOST-NS-PID.XXXXXX") when HOST-NS
// is ours: 0 when it is not, or the name is of another form.
pid_t processOf(std::string_view rest, std::string_view ours) {
    if (ours.empty() || rest.size() <= ours.size() + 1 || rest.substr(0, ours.size()) != ours ||
        rest[ours.size()] != '-') {
        return 0;
    }
    rest.remove_prefix(ours.size() + 1);
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos || dot > 9 || !isAsciiDigits(rest.substr(0, dot)) ||
        rest.size() - dot - 1 != kRandomChars || !isAsciiAlnums(rest.substr(dot + 1))) {
        return 0;
    }
    return static_cast<pid_t>(readSaturatedDecimal(rest.substr(0, dot)));
}

// Whether the entry name of the folder dirFd is an abandoned temporary file of ours; ours is
// hostAndNamespace().
bool abandoned(int dirFd, std::string_view name, std::string_view prefix, std::string_view ours) {
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) {
        return false;
    }
    const pid_t pid = processOf(name.substr(prefix.size()), ours);
    if (pid <= 0 || pid == ::getpid()) {
        return false;
    }
    struct stat st {};
    const std::string entry(name);
    if (::fstatat(dirFd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid()) {
        return false;
    }
    // Gone for certain only when the system says there is no such process (EPERM: one of
    // another user runs under that number).
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

std::string temporaryPrefix(std::string_view base) {
    return "." + std::string(base.substr(0, kBaseLimit)) + std::string(kMark);
}

std::string processTag() {
    const std::string ours = hostAndNamespace();
    return (ours.empty() ? std::string("00000000-0") : ours) + "-" + std::to_string(::getpid());
}

int createTemporaryAt(int dirFd, const std::string& prefix, std::string& name) {
    const std::string stem = prefix + processTag() + ".";
    for (int tries = 0; tries < 100; ++tries) {
        std::string candidate = stem + randomSuffix();
        const int fd = ::openat(dirFd, candidate.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            name = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

void removeAbandonedTemporaries(int dirFd, std::string_view prefix) {
    const std::string ours = hostAndNamespace();
    if (ours.empty()) {
        return;
    }
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) {
        return;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listFd), &::closedir);
    if (!dir) {
        ::close(listFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (abandoned(dirFd, entry->d_name, prefix, ours)) {
            ::unlinkat(dirFd, entry->d_name, 0);
        }
    }
}

}  // namespace vorda
