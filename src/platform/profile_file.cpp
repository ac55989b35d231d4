#include "platform/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/cp1251.h"

namespace vorda {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view trimBlanks(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isBlank(s[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(s[end - 1])) {
        --end;
    }
    return s.substr(begin, end - begin);
}

// Hash and equality of names without regard to ASCII letter case; both take string_view so
// that lookups need no upper-cased copy of the name.
struct NoCaseHash {
    using is_transparent = void;
    // Eight bytes at a time, each with its 0x20 bit set: ASCII letters of either case give the
    // same hash (a few other bytes do too, which equality then tells apart).
    std::size_t operator()(std::string_view s) const noexcept {
        constexpr std::uint64_t kFold = 0x2020202020202020ull;
        std::uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
        const auto mix = [&h](std::uint64_t word) {
            h = (h ^ (word | kFold)) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        };
        std::size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, s.data() + i, 8);
            mix(word);
        }
        if (i < s.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, s.data() + i, s.size() - i);
            mix(word);
        }
        h *= 0xC4CEB9FE1A85EC53ull;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (upperAscii(a[i]) != upperAscii(b[i])) {
                return false;
            }
        }
        return true;
    }
};

template <typename T>
using NameMap = std::unordered_map<std::string, T, NoCaseHash, NoCaseEqual>;

constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);

// A slot of a section's key index: which line holds the first key of a name. The name itself
// is not stored: it is read from the line, whose key part never changes.
struct KeySlot {
    std::uint64_t hash = 0;
    std::size_t line = kNoLine;
};

enum class LineEnd : std::uint8_t { None, Lf, CrLf, Cr };

std::string_view lineEndBytes(LineEnd end) {
    switch (end) {
        case LineEnd::Lf:
            return "\n";
        case LineEnd::CrLf:
            return "\r\n";
        case LineEnd::Cr:
            return "\r";
        case LineEnd::None:
            break;
    }
    return {};
}

// One line of the document. Its text stays in the original bytes until it is rewritten or
// added by us; then it lives in the document's own text store.
struct Line {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::int64_t stored = -1;  // index into Impl::store, or -1 for the original bytes
    LineEnd end = LineEnd::None;
};

// A section with its header, or the lines before the first header (no header, no name).
// Its lines up to and including the last key line are kept apart from the lines after it, so
// that a new key, which goes right after the last key line (or right after the header when
// there is none), is simply appended to the first part: adding a key never moves a line.
struct Section {
    bool hasHeader = false;
    bool deleted = false;
    bool hasContent = false;  // a line that is neither blank nor a comment
    Line header;
    std::string name;
    std::vector<Line> lines;    // up to the last key line; empty when there is no key line
    std::vector<Line> trailer;  // the lines after the last key line
    // The first key line of each name: an open-addressing table of the section's own, so that
    // a file of many keys costs no allocation per key and a section's keys stay close together.
    std::vector<KeySlot> keySlots;
    std::size_t keyCount = 0;
};

std::string printable(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\0') {
            out += "\\0";
        } else {
            out += c;
        }
    }
    return cp1251::toUtf8(out);
}

bool holdsLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string systemError(int err) {
    return std::strerror(err);
}

// A file descriptor closed when it goes.
class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    // Closes now; false (with errno set) when close reports an error.
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_;
};

// A temporary file that is removed when it goes, unless it has been renamed into place.
class TempFile {
  public:
    TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TempFile() {
        fd_.reset();
        if (!kept_) {
            ::unlink(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    UniqueFd& fd() { return fd_; }
    const std::string& path() const { return path_; }
    void keep() { kept_ = true; }

  private:
    UniqueFd fd_;
    std::string path_;
    bool kept_ = false;
};

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The file that writing to path really changes: the end of a chain of symbolic links. A
// missing file (or a link to one) resolves to the name it will be created under.
Status resolveTarget(const std::string& path, std::string& target) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (real) {
        target = real.get();
        return Status::success();
    }
    if (errno != ENOENT) {
        return Status::failure("cannot write \"" + path + "\": " + systemError(errno));
    }
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                target = current;
                return Status::success();
            }
            return Status::failure("cannot write \"" + path + "\": " + systemError(errno));
        }
        if (!S_ISLNK(st.st_mode)) {
            target = current;
            return Status::success();
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0) {
            return Status::failure("cannot write \"" + path + "\": " + systemError(errno));
        }
        link.resize(static_cast<std::size_t>(n));
        current = (!link.empty() && link.front() == '/') ? link : directoryOf(current) + "/" + link;
    }
    return Status::failure("cannot write \"" + path + "\": " + systemError(ELOOP));
}

}  // namespace

struct ProfileFile::Impl {
    std::string original;                            // the bytes the document was parsed from
    std::vector<std::string> store;                  // text of lines we rewrote or added
    std::vector<Section> sections;                   // [0]: the lines before the first header
    NameMap<std::vector<std::size_t>> sectionIndex;  // live sections of each name, in order
    bool existed = false;

    Impl() { sections.emplace_back(); }

    std::string_view text(const Line& line) const {
        if (line.stored >= 0) {
            return store[static_cast<std::size_t>(line.stored)];
        }
        return std::string_view(original).substr(line.offset, line.length);
    }

    void setText(Line& line, std::string text) {
        if (line.stored >= 0) {
            store[static_cast<std::size_t>(line.stored)] = std::move(text);
        } else {
            line.stored = static_cast<std::int64_t>(store.size());
            store.push_back(std::move(text));
        }
    }

    Line newLine(std::string text) {
        Line line;
        line.end = LineEnd::CrLf;
        setText(line, std::move(text));
        return line;
    }

    static std::uint64_t keyHash(std::string_view name) { return NoCaseHash{}(name); }

    // The file's own spelling of the key on a key line: the text before the first '='
    // without surrounding blanks.
    std::string_view keyOf(const Line& line) const {
        const std::string_view t = text(line);
        return trimBlanks(t.substr(0, t.find('=')));
    }

    std::optional<std::size_t> findKey(const Section& sec, std::string_view name) const {
        if (sec.keySlots.empty()) {
            return std::nullopt;
        }
        const std::uint64_t h = keyHash(name);
        const std::size_t mask = sec.keySlots.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            const KeySlot& slot = sec.keySlots[i];
            if (slot.line == kNoLine) {
                return std::nullopt;
            }
            if (slot.hash == h && NoCaseEqual{}(keyOf(sec.lines[slot.line]), name)) {
                return slot.line;
            }
        }
    }

    static void placeSlot(Section& sec, const KeySlot& slot) {
        const std::size_t mask = sec.keySlots.size() - 1;
        std::size_t i = slot.hash & mask;
        while (sec.keySlots[i].line != kNoLine) {
            i = (i + 1) & mask;
        }
        sec.keySlots[i] = slot;
    }

    // Records the key line unless the section already has a key of that name (the first wins).
    void addKey(Section& sec, std::string_view name, std::size_t line) {
        if (findKey(sec, name)) {
            return;
        }
        if ((sec.keyCount + 1) * 2 > sec.keySlots.size()) {
            std::vector<KeySlot> old(std::max<std::size_t>(16, sec.keySlots.size() * 2));
            old.swap(sec.keySlots);
            for (const KeySlot& slot : old) {
                if (slot.line != kNoLine) {
                    placeSlot(sec, slot);
                }
            }
        }
        placeSlot(sec, {keyHash(name), line});
        ++sec.keyCount;
    }

    void parse() {
        const std::string_view s(original);
        const std::size_t n = s.size();
        std::size_t pos = 0;
        std::size_t current = 0;
        while (pos < n) {
            std::size_t e = pos;
            while (e < n && s[e] != '\n' && s[e] != '\r') {
                ++e;
            }
            Line line;
            line.offset = pos;
            line.length = e - pos;
            if (e == n) {
                line.end = LineEnd::None;
                pos = n;
            } else if (s[e] == '\n') {
                line.end = LineEnd::Lf;
                pos = e + 1;
            } else if (e + 1 < n && s[e + 1] == '\n') {
                line.end = LineEnd::CrLf;
                pos = e + 2;
            } else {
                line.end = LineEnd::Cr;
                pos = e + 1;
            }

            const std::string_view t = s.substr(line.offset, line.length);
            std::size_t first = 0;
            while (first < t.size() && isBlank(t[first])) {
                ++first;
            }
            Section& sec = sections[current];
            if (first == t.size() || t[first] == ';') {
                sec.trailer.push_back(line);  // blank or comment
            } else if (t[first] == '[') {
                std::string_view name = t.substr(first + 1);
                name = trimBlanks(name.substr(0, name.find(']')));
                current = sections.size();
                Section& added = sections.emplace_back();
                added.hasHeader = true;
                added.header = line;
                added.name = std::string(name);
                sectionIndex[added.name].push_back(current);
            } else {
                sec.hasContent = true;
                const auto eq = t.find('=');
                if (eq == std::string_view::npos) {
                    sec.trailer.push_back(line);  // a line that is no key
                    continue;
                }
                // A key line: what stood after the previous key line now stands before this one.
                sec.lines.insert(sec.lines.end(), sec.trailer.begin(), sec.trailer.end());
                sec.trailer.clear();
                if (current != 0) {
                    addKey(sec, trimBlanks(t.substr(0, eq)), sec.lines.size());
                }
                sec.lines.push_back(line);
            }
        }
    }

    // The number of the first live section of the name.
    std::optional<std::size_t> findSection(std::string_view name) const {
        const auto it = sectionIndex.find(trimBlanks(name));
        if (it == sectionIndex.end()) {
            return std::nullopt;
        }
        return it->second.front();
    }

    // The raw value of the key (after '=', up to a NUL, without surrounding blanks), or nothing.
    std::optional<std::string_view> rawValue(std::string_view section, std::string_view key) const {
        const auto sec = findSection(section);
        if (!sec) {
            return std::nullopt;
        }
        const Section& found = sections[*sec];
        const auto line = findKey(found, trimBlanks(key));
        if (!line) {
            return std::nullopt;
        }
        std::string_view t = text(found.lines[*line]);
        t = t.substr(t.find('=') + 1);
        t = t.substr(0, t.find('\0'));
        return trimBlanks(t);
    }

    // The last line of the document, if any: the one a line added at the end comes after.
    Line* lastLine() {
        for (std::size_t i = sections.size(); i-- > 0;) {
            Section& sec = sections[i];
            if (sec.deleted) {
                continue;
            }
            if (!sec.trailer.empty()) {
                return &sec.trailer.back();
            }
            if (!sec.lines.empty()) {
                return &sec.lines.back();
            }
            if (sec.hasHeader) {
                return &sec.header;
            }
        }
        return nullptr;
    }
};

ProfileFile::ProfileFile() : impl_(std::make_unique<Impl>()) {}
ProfileFile::~ProfileFile() = default;
ProfileFile::ProfileFile(ProfileFile&&) noexcept = default;
ProfileFile& ProfileFile::operator=(ProfileFile&&) noexcept = default;

ProfileFile ProfileFile::fromBytes(std::string bytes) {
    ProfileFile doc;
    doc.impl_->original = std::move(bytes);
    doc.impl_->parse();
    doc.impl_->existed = true;  // the bytes of a file that is there, even when empty
    return doc;
}

Status readFileBytes(const std::string& path, std::string& bytes, bool& exists) {
    bytes.clear();
    exists = false;
    // Only a regular file is read: without O_NONBLOCK opening a FIFO would wait for a writer,
    // and a device such as /dev/zero would be read until memory runs out.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            return Status::success();
        }
        return Status::failure("cannot read \"" + path + "\": " + systemError(errno));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return Status::failure("cannot read \"" + path + "\": " + systemError(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        return Status::failure("cannot read \"" + path + "\": " + systemError(EISDIR));
    }
    if (!S_ISREG(st.st_mode)) {
        return Status::failure("cannot read \"" + path + "\": not a regular file");
    }
    if (st.st_size > 0) {
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            bytes.clear();
            return Status::failure("cannot read \"" + path + "\": " + systemError(errno));
        }
        if (n == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    exists = true;
    return Status::success();
}

Status ProfileFile::load(const std::string& path, ProfileFile& out) {
    std::string bytes;
    bool exists = false;
    Status status = readFileBytes(path, bytes, exists);
    if (!status.ok) {
        return status;
    }
    out = exists ? fromBytes(std::move(bytes)) : ProfileFile();
    return status;
}

bool ProfileFile::existed() const {
    return impl_->existed;
}

std::string ProfileFile::getString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue, std::size_t maxChars) const {
    const auto raw = impl_->rawValue(section, key);
    std::string_view value = raw ? *raw : defaultValue;
    if (raw && value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, maxChars));
}

std::int32_t ProfileFile::getInt(std::string_view section, std::string_view key,
                                 std::int32_t defaultValue) const {
    const auto raw = impl_->rawValue(section, key);
    if (!raw) {
        return defaultValue;
    }
    std::string_view value = *raw;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    if (value.empty()) {
        return defaultValue;
    }
    std::size_t i = 0;
    while (i < value.size() && isBlank(value[i])) {
        ++i;
    }
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    std::uint32_t result = 0;  // unsigned arithmetic wraps modulo 2^32 as the reader does
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        result = result * 10u + static_cast<std::uint32_t>(value[i] - '0');
    }
    if (negative) {
        result = 0u - result;
    }
    return static_cast<std::int32_t>(result);
}

bool ProfileFile::sectionHasLines(std::string_view section) const {
    const auto sec = impl_->findSection(section);
    return sec && impl_->sections[*sec].hasContent;
}

Status ProfileFile::setString(std::string_view section, std::string_view key,
                              std::string_view value) {
    const std::string_view sectionName = trimBlanks(section);
    const std::string_view keyName = trimBlanks(key);
    const auto refuse = [&](const std::string& why) {
        return Status::failure("cannot write [" + printable(sectionName) + "] " +
                               printable(keyName) + ": " + why);
    };
    if (holdsLineBreakOrNul(section)) {
        return refuse("the section name holds a line break or a NUL byte");
    }
    if (sectionName.find(']') != std::string_view::npos) {
        return refuse("the section name holds ']'");
    }
    if (holdsLineBreakOrNul(key)) {
        return refuse("the key holds a line break or a NUL byte");
    }
    if (keyName.find('=') != std::string_view::npos) {
        return refuse("the key holds '='");
    }
    if (!keyName.empty() && (keyName.front() == '[' || keyName.front() == ';')) {
        return refuse(std::string("the key starts with '") + keyName.front() + "'");
    }
    if (holdsLineBreakOrNul(value)) {
        return refuse("the value holds a line break or a NUL byte");
    }

    Impl& d = *impl_;
    if (const auto index = d.findSection(sectionName)) {
        Section* sec = &d.sections[*index];
        if (const auto existing = d.findKey(*sec, keyName)) {
            Line& target = sec->lines[*existing];
            const std::string_view spelling = d.keyOf(target);
            std::string line;
            line.reserve(spelling.size() + 1 + value.size());
            line.append(spelling).append("=").append(value);
            d.setText(target, std::move(line));
            return Status::success();
        }
        // Only the document's last line can lack a line end; it then gets one first.
        Line& before = sec->lines.empty() ? sec->header : sec->lines.back();
        if (before.end == LineEnd::None) {
            before.end = LineEnd::CrLf;
        }
        std::string line;
        line.reserve(keyName.size() + 1 + value.size());
        line.append(keyName).append("=").append(value);
        sec->lines.push_back(d.newLine(std::move(line)));
        d.addKey(*sec, keyName, sec->lines.size() - 1);
        sec->hasContent = true;
        return Status::success();
    }

    if (Line* last = d.lastLine(); last != nullptr && last->end == LineEnd::None) {
        last->end = LineEnd::CrLf;
    }
    const std::size_t index = d.sections.size();
    Section added;
    added.hasHeader = true;
    added.name = std::string(sectionName);
    added.header = d.newLine("[" + added.name + "]");
    std::string line;
    line.append(keyName).append("=").append(value);
    added.lines.push_back(d.newLine(std::move(line)));
    added.hasContent = true;
    d.addKey(added, keyName, 0);
    d.sections.push_back(std::move(added));
    d.sectionIndex[std::string(sectionName)].push_back(index);
    return Status::success();
}

void ProfileFile::deleteSection(std::string_view section) {
    Impl& d = *impl_;
    const auto it = d.sectionIndex.find(trimBlanks(section));
    if (it == d.sectionIndex.end()) {
        return;
    }
    const std::size_t index = it->second.front();
    it->second.erase(it->second.begin());
    if (it->second.empty()) {
        d.sectionIndex.erase(it);
    }
    Section& sec = d.sections[index];
    sec.deleted = true;
    sec.lines = {};
    sec.trailer = {};
    sec.keySlots = {};
    sec.keyCount = 0;
}

std::string ProfileFile::bytes() const {
    const Impl& d = *impl_;
    std::size_t size = 0;
    const auto lineSize = [&](const Line& line) {
        return d.text(line).size() + lineEndBytes(line.end).size();
    };
    for (const Section& sec : d.sections) {
        if (sec.deleted) {
            continue;
        }
        if (sec.hasHeader) {
            size += lineSize(sec.header);
        }
        for (const Line& line : sec.lines) {
            size += lineSize(line);
        }
        for (const Line& line : sec.trailer) {
            size += lineSize(line);
        }
    }
    std::string out;
    out.reserve(size);
    const auto append = [&](const Line& line) {
        out.append(d.text(line));
        out.append(lineEndBytes(line.end));
    };
    for (const Section& sec : d.sections) {
        if (sec.deleted) {
            continue;
        }
        if (sec.hasHeader) {
            append(sec.header);
        }
        for (const Line& line : sec.lines) {
            append(line);
        }
        for (const Line& line : sec.trailer) {
            append(line);
        }
    }
    return out;
}

Status ProfileFile::save(const std::string& path) const {
    return writeFileAtomically(path, bytes());
}

Status writeFileAtomically(const std::string& path, std::string_view bytes) {
    std::string target;
    if (Status resolved = resolveTarget(path, target); !resolved) {
        return resolved;
    }
    const auto fail = [&](const std::string& what, int err) {
        return Status::failure("cannot write \"" + path + "\": " + what + systemError(err));
    };

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        return fail("", errno);
    }
    if (exists && !S_ISREG(old.st_mode)) {
        return fail("", S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
    }
    // A file we may not write stays as it is, as it would if we wrote into it directly: the
    // rename below would otherwise replace a read-only file, or one of another user, all the same.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        return fail("", errno);
    }

    // The temporary file sits beside the target so that the rename stays within one file system.
    const std::string dir = directoryOf(target);
    std::string pattern =
        (dir == "/" ? std::string() : dir) + "/." + baseNameOf(target).substr(0, 200) + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return fail("cannot create a temporary file in \"" + dir + "\": ", errno);
    }
    TempFile temp(fd, pattern);

    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(temp.fd().get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("", errno);
        }
        done += static_cast<std::size_t>(n);
    }

    if (exists) {
        // Keep the owner where we may (only a privileged user can give a file away); the
        // permissions are kept in any case.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            [[maybe_unused]] const int ignored = ::fchown(temp.fd().get(), old.st_uid, old.st_gid);
        }
    }
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    if (::fchmod(temp.fd().get(), mode) != 0) {
        return fail("", errno);
    }
    if (::fsync(temp.fd().get()) != 0) {
        return fail("", errno);
    }
    if (!temp.fd().close()) {
        return fail("", errno);
    }
    if (::rename(temp.path().c_str(), target.c_str()) != 0) {
        return fail("", errno);
    }
    temp.keep();

    // Make the rename itself durable; the new content is in place whatever this gives.
    UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) {
        ::fsync(dirFd.get());
    }
    return Status::success();
}

}  // namespace vorda
