#include "platform/profile_document.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <optional>
#include <random>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/cp1251.h"
#include "platform/text.h"
#include "resources/texts.h"

namespace vorda {

namespace {

// --- The name rule of the document: section and key names match without regard to letter
// case, as code page 1251 has it (Latin and Cyrillic letters; every other byte is itself).
// nameHash and sameName go together: names that are the same give the same hash, because the
// hash is taken of the folded bytes, the very ones sameName compares.

const std::array<unsigned char, 256> kFolded = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        table[b] = static_cast<unsigned char>(cp1251::toUpper(static_cast<char>(b)));
    }
    return table;
}();

// A seed of this process's own: names that collide under one seed do not under another, so
// no file can be made to fill one chain of the index (which would make lookups quadratic).
std::uint64_t processSeed() {
    static const std::uint64_t seed = [] {
        std::uint64_t s = 0x9E3779B97F4A7C15ull;
        try {
            std::random_device device;
            s ^= (std::uint64_t{device()} << 32) ^ device();
        } catch (...) {
            // No random source: the address of this function's data, which the loader moves.
        }
        return s ^ reinterpret_cast<std::uintptr_t>(&s);
    }();
    return seed;
}

// Up to eight bytes (n from 1 to 8) as one little-endian word, the bytes after them zero. Loads
// that overlap put the same byte in the same place twice, which the OR keeps as it is.
static_assert(std::endian::native == std::endian::little, "words are put together little-endian");
[[gnu::always_inline]] inline std::uint64_t wordOf(const char* p, std::size_t n) {
    const auto byte = [p](std::size_t i) {
        return std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    };
    if (n >= 4) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + n - 4, 4);
        return std::uint64_t{low} | (std::uint64_t{high} << (8 * (n - 4)));
    }
    return byte(0) | byte(n / 2) | byte(n - 1);
}

// The word with every byte folded: eight ASCII bytes at once (a-z lose their 0x20 bit), a word
// with other bytes through the table.
[[gnu::always_inline]] inline std::uint64_t foldedWord(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = kOnes * 0x80;
    if ((word & kHigh) == 0) {
        const std::uint64_t fromA = word + kOnes * (0x80 - 'a');      // high bit: byte >= 'a'
        const std::uint64_t pastZ = word + kOnes * (0x80 - 'z' - 1);  // high bit: byte > 'z'
        return word ^ (((fromA & ~pastZ) & kHigh) >> 2);
    }
    std::uint64_t out = 0;
    for (unsigned k = 0; k < 64; k += 8) {
        out |= std::uint64_t{kFolded[(word >> k) & 0xFF]} << k;
    }
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    if (a.empty()) {
        return true;
    }
    if (a.size() <= 8) {  // most names: one word each
        const std::uint64_t x = wordOf(a.data(), a.size());
        const std::uint64_t y = wordOf(b.data(), b.size());
        return x == y || foldedWord(x) == foldedWord(y);
    }
    if (std::memcmp(a.data(), b.data(), a.size()) == 0) {
        return true;  // the usual case: the same spelling
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (kFolded[static_cast<unsigned char>(a[i])] !=
            kFolded[static_cast<unsigned char>(b[i])]) {
            return false;
        }
    }
    return true;
}

// The folded bytes eight at a time, each word mixed into the seeded state.
std::uint32_t nameHash(std::string_view s, std::uint64_t seed) {
    std::uint64_t h = seed ^ (s.size() * 0xC2B2AE3D27D4EB4Full);
    const auto mix = [&h](std::uint64_t word) {
        h = (h ^ foldedWord(word)) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    };
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, s.data() + i, 8);
        mix(word);
    }
    if (i < s.size()) {
        mix(wordOf(s.data() + i, s.size() - i));
    }
    h *= 0xC4CEB9FE1A85EC53ull;
    return static_cast<std::uint32_t>(h ^ (h >> 29) ^ (h >> 32));
}

// Every state of every document has its own number: a SectionRef that saw one state knows
// whether the document it is used with is still in it.
std::uint64_t nextGeneration() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

// Where a name of the document stands: the line of a key in its section, or the sections of a
// section name in file order. Sections are deleted only from the front of a name's list (the
// first live one is the one deleted) and added only at its end, so the live ones of a name are
// those from firstLive on.
// (A section has fewer than 2^32 - 1 lines: each line takes far more than one byte of memory.)
using KeyPlace = std::uint32_t;
struct SectionPlaces {
    std::vector<std::size_t> all;
    std::size_t firstLive = 0;
};

constexpr KeyPlace kNoKey = static_cast<KeyPlace>(-1);
constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);

bool unused(KeyPlace line) {
    return line == kNoKey;
}
bool unused(const SectionPlaces& places) {
    return places.all.empty();
}

// The one index structure of the document, for the keys of each section and for the section
// names: an open-addressing table (linear probing, at most half full) from the hash of a name
// to its place, the first of each name. The names themselves are not stored: nameOf(place)
// reads the name from the document (the key of a key line, the name of a section), where it
// never changes, to tell apart different names of the same hash.
template <typename Place>
class NameIndex {
  public:
    NameIndex() = default;

    // The place of the name, or nullptr.
    template <typename NameOf>
    const Place* find(std::uint32_t hash, std::string_view name, NameOf&& nameOf) const {
        if (slots_.empty()) {
            return nullptr;
        }
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (unused(slot.place)) {
                return nullptr;
            }
            if (slot.hash == hash && sameName(nameOf(slot.place), name)) {
                return &slot.place;
            }
        }
    }
    template <typename NameOf>
    Place* find(std::uint32_t hash, std::string_view name, NameOf&& nameOf) {
        return const_cast<Place*>(std::as_const(*this).find(hash, name, nameOf));
    }

    // The place of the name, added by makePlace() when the name is not in the table yet.
    template <typename NameOf, typename MakePlace>
    Place& findOrAdd(std::uint32_t hash, std::string_view name, NameOf&& nameOf,
                     MakePlace&& makePlace) {
        if ((count_ + 1) * 2 > slots_.size()) {
            grow();
        }
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (unused(slot.place)) {
                slot.hash = hash;
                slot.place = makePlace();
                ++count_;
                return slot.place;
            }
            if (slot.hash == hash && sameName(nameOf(slot.place), name)) {
                return slot.place;
            }
        }
    }

    // An empty table with room for this many names without growing.
    void reserve(std::size_t names) {
        std::size_t size = 16;
        while (size < names * 2) {
            size *= 2;
        }
        slots_.assign(size, Slot{});
        count_ = 0;
    }

    void clear() {
        slots_ = {};
        count_ = 0;
    }

  private:
    struct Slot {
        std::uint32_t hash =
            0;  // 8 bytes a slot of the key index, so that more of it stays in the cache
        Place place = unusedPlace();
    };

    static Place unusedPlace() {
        if constexpr (std::is_same_v<Place, KeyPlace>) {
            return kNoKey;
        } else {
            return {};
        }
    }

    void grow() {
        std::vector<Slot> old(std::max<std::size_t>(16, slots_.size() * 2));
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (Slot& slot : old) {
            if (unused(slot.place)) {
                continue;
            }
            std::size_t i = slot.hash & mask;
            while (!unused(slots_[i].place)) {
                i = (i + 1) & mask;
            }
            slots_[i] = std::move(slot);
        }
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
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

// One line of the document. Its text stays in the bytes the document was parsed from until we
// rewrite or add it; then it lives in the document's own text (Impl::written). A key line keeps
// where its key and its value stand in its text, found once by the parse.
struct Line {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::size_t keyBegin = 0;  // the key without surrounding blanks: [keyBegin, keyEnd)
    std::size_t keyEnd = 0;
    std::size_t valueBegin = 0;  // right after the '='
    LineEnd end = LineEnd::None;
    bool written = false;  // the text is in Impl::written, not in Impl::original
    // The first key line of its name in its section (what a lookup of the name gives), known
    // once the section's key index is made, which sets it.
    mutable bool firstOfName = false;
};

// Any other line has no '=' and so nothing after one.
bool isKeyLine(const Line& line) {
    return line.valueBegin != 0;
}

// Cuts bytes into lines, one after the other: a line ends at the first CR or LF, and a CR right
// before an LF ends it together with the LF.
class LineCutter {
  public:
    explicit LineCutter(std::string_view bytes) : s_(bytes) {}

    bool atEnd() const { return pos_ >= s_.size(); }

    // The next line: where it stands and how it ends (its key is not looked for).
    Line next() {
        const std::size_t e = endOfLine();
        Line line;
        line.offset = pos_;
        line.length = e - pos_;
        line.end = endAt(e);
        pos_ = e + lineEndBytes(line.end).size();
        return line;
    }

  private:
    // Where the line at pos_ ends: the next LF, unless a CR comes before it. The next LF is
    // searched for again only once the lines have passed it, so that a file of CR line ends is
    // not searched to its end for every line.
    std::size_t endOfLine() {
        const std::size_t n = s_.size();
        if (!lfKnown_ || nextLf_ < pos_) {
            const void* lf = std::memchr(s_.data() + pos_, '\n', n - pos_);
            nextLf_ = lf != nullptr
                          ? static_cast<std::size_t>(static_cast<const char*>(lf) - s_.data())
                          : n;
            lfKnown_ = true;
        }
        if (const void* cr = std::memchr(s_.data() + pos_, '\r', nextLf_ - pos_)) {
            return static_cast<std::size_t>(static_cast<const char*>(cr) - s_.data());
        }
        return nextLf_;
    }

    // The line end that starts at e.
    LineEnd endAt(std::size_t e) const {
        if (e == s_.size()) {
            return LineEnd::None;
        }
        if (s_[e] == '\n') {
            return LineEnd::Lf;
        }
        return e + 1 < s_.size() && s_[e + 1] == '\n' ? LineEnd::CrLf : LineEnd::Cr;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    std::size_t nextLf_ = 0;  // the next LF at or after pos_, the end when there is none
    bool lfKnown_ = false;
};

// Makes the line (text t, its first non-blank character at `first`, neither a header nor a
// comment) a key line when it holds a '=': the key runs from `first` up to the blanks before the
// '=', the value starts right after it. False for a line without '='.
bool markKey(Line& line, std::string_view t, std::size_t first) {
    const std::size_t eq = t.find('=', first);
    if (eq == std::string_view::npos) {
        return false;
    }
    std::size_t keyEnd = eq;
    while (keyEnd > first && isBlank(t[keyEnd - 1])) {
        --keyEnd;
    }
    line.keyBegin = first;
    line.keyEnd = keyEnd;
    line.valueBegin = eq + 1;
    return true;
}

// A section with its header, or the lines before the first header (no header, no name).
// Its lines up to and including the last key line are kept apart from the lines after it, so
// that a new key, which goes right after the last key line (or right after the header when
// there is none), is simply appended to the first part: adding a key never moves a line.
struct Section {
    bool hasHeader = false;
    bool deleted = false;
    bool hasContent = false;  // a line that is neither blank nor a comment
    Line header;
    std::string name;           // kept when the section is deleted: the section index reads it
    std::vector<Line> lines;    // up to the last key line; empty when there is no key line
    std::vector<Line> trailer;  // the lines after the last key line
    // The first key line (in lines) of each key name. Made at the first lookup in the section,
    // when its keys are about to be read and its lines are at hand (an index made by the parse
    // would have left the cache by then), and kept up to date from then on.
    mutable NameIndex<KeyPlace> keys;
    mutable bool indexed = false;
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

// The value as read: one pair of matching surrounding double or single quotes removed.
std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Leading blanks, an optional sign, decimal digits, modulo 2^32; no digits gives 0.
std::int32_t decimalModulo2To32(std::string_view value) {
    value = trimLeadingBlanks(value);
    std::size_t i = 0;
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

}  // namespace

struct ProfileDocument::Impl {
    std::string original;                   // the bytes the document was parsed from
    std::string written;                    // the text of the lines we rewrote or added
    std::vector<Section> sections;          // [0]: the lines before the first header
    NameIndex<SectionPlaces> sectionIndex;  // every section of each name, in file order
    std::uint64_t seed = processSeed();
    std::uint64_t generation = nextGeneration();  // changes whenever a section comes or goes
    bool changed = false;                         // since the parse or the last commit

    Impl() { sections.emplace_back(); }

    std::uint32_t hashOf(std::string_view name) const { return nameHash(name, seed); }

    std::string_view text(const Line& line) const {
        const std::string& from = line.written ? written : original;
        return std::string_view(from).substr(line.offset, line.length);
    }

    // The file's own spelling of the key on a key line.
    std::string_view keyOf(const Line& line) const {
        return text(line).substr(line.keyBegin, line.keyEnd - line.keyBegin);
    }

    // Makes the line the key line KEY=value, its text appended to our own.
    void writeKeyLine(Line& line, std::string_view key, std::string_view value) {
        line.written = true;
        line.offset = written.size();
        line.length = key.size() + 1 + value.size();
        line.keyBegin = 0;
        line.keyEnd = key.size();
        line.valueBegin = key.size() + 1;
        written.append(key).append(1, '=').append(value);
    }

    Line newKeyLine(std::string_view key, std::string_view value) {
        Line line;
        line.end = LineEnd::CrLf;
        writeKeyLine(line, key, value);
        return line;
    }

    // --- The key index of a section: key names to the first key line of the name.

    // The first key line of the name, or kNoLine. A section's keys are mostly read and written in
    // the order of its lines: the line at *next (the one after the last found) is taken when it
    // is the first of the name, before the index is asked; *next then points after the line
    // found.
    std::size_t findKey(const Section& sec, std::string_view name,
                        std::size_t* next = nullptr) const {
        if (!sec.indexed) {
            std::size_t keyLines = 0;
            for (const Line& line : sec.lines) {
                keyLines += isKeyLine(line) ? 1 : 0;
            }
            sec.keys.reserve(keyLines);
            for (std::size_t i = 0; i < sec.lines.size(); ++i) {
                if (isKeyLine(sec.lines[i])) {
                    addKey(sec, keyOf(sec.lines[i]), i);
                }
            }
            sec.indexed = true;
        }
        std::size_t found = kNoLine;
        if (next != nullptr && *next < sec.lines.size() && sec.lines[*next].firstOfName &&
            sameName(keyOf(sec.lines[*next]), name)) {
            found = *next;
        } else if (const KeyPlace* at = sec.keys.find(
                       hashOf(name), name, [&](std::size_t i) { return keyOf(sec.lines[i]); })) {
            found = *at;
        }
        if (next != nullptr && found != kNoLine) {
            *next = found + 1;
        }
        return found;
    }

    // Records the key line unless the section already has a key of that name (the first wins).
    void addKey(const Section& sec, std::string_view name, std::size_t line) const {
        sec.keys.findOrAdd(
            hashOf(name), name, [&](std::size_t at) { return keyOf(sec.lines[at]); },
            [&sec, line] {
                sec.lines[line].firstOfName = true;
                return static_cast<KeyPlace>(line);
            });
    }

    // --- The section index: section names to their sections.

    SectionPlaces* placesOf(std::string_view name) {
        return sectionIndex.find(hashOf(name), name, [&](const SectionPlaces& p) {
            return std::string_view(sections[p.all.front()].name);
        });
    }
    const SectionPlaces* placesOf(std::string_view name) const {
        return const_cast<Impl*>(this)->placesOf(name);
    }

    // The number of the first live section of the name (blanks around it are no part of it),
    // or 0 when there is none.
    std::size_t findSection(std::string_view name) const {
        const SectionPlaces* places = placesOf(trimBlanks(name));
        if (places == nullptr || places->firstLive == places->all.size()) {
            return 0;
        }
        return places->all[places->firstLive];
    }

    std::size_t find(SectionRef& ref) const {
        if (ref.generation_ != generation) {
            const std::size_t index = findSection(ref.name_);
            if (index != ref.index_) {
                ref.index_ = index;
                ref.nextLine_ = 0;
            }
            ref.generation_ = generation;
        }
        return ref.index_;
    }

    // Appends a section of the name, after every other of its name.
    Section& addSection(std::string_view name) {
        const std::size_t index = sections.size();
        Section& added = sections.emplace_back();
        added.hasHeader = true;
        added.name = name;
        SectionPlaces& places = sectionIndex.findOrAdd(
            hashOf(name), name,
            [&](const SectionPlaces& p) { return std::string_view(sections[p.all.front()].name); },
            [] { return SectionPlaces{}; });
        places.all.push_back(index);
        generation = nextGeneration();
        return added;
    }

    void parse() {
        const std::string_view s(original);
        LineCutter lines(s);
        std::size_t current = 0;
        // The lines of the current section so far, and how many of them stand up to and including
        // the last key line.
        std::vector<Line> pending;
        std::size_t afterLastKey = 0;
        while (!lines.atEnd()) {
            Line line = lines.next();
            const std::string_view t = s.substr(line.offset, line.length);
            const std::size_t first = t.size() - trimLeadingBlanks(t).size();
            if (first < t.size() && t[first] == '[') {
                finishSection(current, pending, afterLastKey);
                const std::string_view name = t.substr(first + 1);
                current = sections.size();
                addSection(trimBlanks(name.substr(0, name.find(']')))).header = line;
                afterLastKey = 0;
                continue;
            }
            if (first < t.size() && t[first] != ';') {
                sections[current].hasContent = true;
                if (markKey(line, t, first)) {
                    afterLastKey = pending.size() + 1;
                }
            }
            pending.push_back(line);  // a key line, or a blank, comment or other line
        }
        finishSection(current, pending, afterLastKey);
    }

    // Puts the lines read for a section in place, those up to its last key line apart from those
    // after it.
    void finishSection(std::size_t index, std::vector<Line>& pending, std::size_t afterLastKey) {
        Section& sec = sections[index];
        const auto split = pending.begin() + static_cast<std::ptrdiff_t>(afterLastKey);
        sec.lines.assign(pending.begin(), split);
        sec.trailer.assign(split, pending.end());
        pending.clear();
    }

    // The raw value of the key (after '=', up to a NUL, without surrounding blanks), or nothing.
    std::optional<std::string_view> rawValue(std::size_t section, std::string_view key,
                                             std::size_t* next) const {
        if (section == 0) {
            return std::nullopt;
        }
        const Section& sec = sections[section];
        const std::size_t at = findKey(sec, trimBlanks(key), next);
        if (at == kNoLine) {
            return std::nullopt;
        }
        const Line& line = sec.lines[at];
        std::string_view value = text(line).substr(line.valueBegin);
        value = value.substr(0, value.find('\0'));
        return trimBlanks(value);
    }

    std::string getString(std::size_t section, std::string_view key, std::string_view defaultValue,
                          std::size_t maxChars, std::size_t* next = nullptr) const {
        const auto raw = rawValue(section, key, next);
        const std::string_view value = raw ? unquoted(*raw) : defaultValue;
        return std::string(value.substr(0, maxChars));
    }

    std::int32_t getInt(std::size_t section, std::string_view key, std::int32_t defaultValue,
                        std::size_t* next = nullptr) const {
        const auto raw = rawValue(section, key, next);
        if (!raw) {
            return defaultValue;
        }
        const std::string_view value = unquoted(*raw);
        return value.empty() ? defaultValue : decimalModulo2To32(value);
    }

    // Refuses what would corrupt the file; the failure names the key and the reason.
    static Status checkWrite(std::string_view sectionName, std::string_view key,
                             std::string_view value, bool sectionChecked = false) {
        const auto refuse = [&](std::string_view why) {
            return Status::failure(texts::format(texts::kCannotWriteKey,
                                                 {printable(sectionName), printable(key), why}));
        };
        if (!sectionChecked) {
            if (hasLineBreakOrNul(sectionName)) {
                return refuse(texts::kSectionLineBreak);
            }
            if (sectionName.find(']') != std::string_view::npos) {
                return refuse(texts::kSectionBracket);
            }
        }
        if (hasLineBreakOrNul(key)) {
            return refuse(texts::kKeyLineBreak);
        }
        if (key.find('=') != std::string_view::npos) {
            return refuse(texts::kKeyEquals);
        }
        if (!key.empty() && (key.front() == '[' || key.front() == ';')) {
            return refuse(texts::format(texts::kKeyStartsWith, {key.substr(0, 1)}));
        }
        if (hasLineBreakOrNul(value)) {
            return refuse(texts::kValueLineBreak);
        }
        return Status::success();
    }

    static bool writableSectionName(std::string_view name) {
        return !hasLineBreakOrNul(name) && name.find(']') == std::string_view::npos;
    }

    // Sets the key in the section found (0: none, so one of the name is added at the end).
    void set(std::size_t section, std::string_view sectionName, std::string_view key,
             std::string_view value, std::size_t* next = nullptr) {
        if (section != 0) {
            Section& sec = sections[section];
            if (const std::size_t at = findKey(sec, key, next); at != kNoLine) {
                Line& target = sec.lines[at];
                const std::string_view t = text(target);
                if (target.keyBegin == 0 && target.valueBegin == target.keyEnd + 1 &&
                    t.substr(target.valueBegin) == value) {
                    return;  // the line is already KEY=value
                }
                // The spelling of the key may stand in our own text, which the new line extends.
                written.reserve(written.size() + target.keyEnd - target.keyBegin + 1 +
                                value.size());
                writeKeyLine(target, keyOf(target), value);
                changed = true;
                return;
            }
            // Only the document's last line can lack a line end; it then gets one first.
            Line& before = sec.lines.empty() ? sec.header : sec.lines.back();
            if (before.end == LineEnd::None) {
                before.end = LineEnd::CrLf;
            }
            sec.lines.push_back(newKeyLine(key, value));
            addKey(sec, key, sec.lines.size() - 1);
            sec.hasContent = true;
            changed = true;
            return;
        }

        if (Line* last = lastLine(); last != nullptr && last->end == LineEnd::None) {
            last->end = LineEnd::CrLf;
        }
        Section& added = addSection(sectionName);
        added.header.written = true;
        added.header.offset = written.size();
        added.header.length = sectionName.size() + 2;
        added.header.end = LineEnd::CrLf;
        written.append(1, '[').append(sectionName).append(1, ']');
        added.lines.push_back(newKeyLine(key, value));
        added.hasContent = true;
        added.indexed = true;
        addKey(added, key, 0);
        changed = true;
    }

    // Removes the first key line of the name from the section; whether there was one.
    bool deleteKey(std::size_t section, std::string_view key) {
        if (section == 0) {
            return false;
        }
        Section& sec = sections[section];
        const std::size_t at = findKey(sec, key);
        if (at == kNoLine) {
            return false;
        }
        sec.lines.erase(sec.lines.begin() + static_cast<std::ptrdiff_t>(at));
        // The positions after it moved: the key index is made again at the next lookup.
        sec.keys.clear();
        sec.indexed = false;
        bool content = false;
        for (const std::vector<Line>* part : {&sec.lines, &sec.trailer}) {
            for (const Line& line : *part) {
                line.firstOfName = false;
                const std::string_view t = trimLeadingBlanks(text(line));
                content = content || (!t.empty() && t.front() != ';');
            }
        }
        sec.hasContent = content;
        changed = true;
        return true;
    }

    void deleteSection(std::size_t section, std::string_view name) {
        if (section == 0) {
            return;
        }
        Section& sec = sections[section];
        sec.deleted = true;  // keeps its name, which the section index reads
        sec.lines = {};
        sec.trailer = {};
        sec.keys.clear();
        ++placesOf(trimBlanks(name))->firstLive;
        generation = nextGeneration();
        changed = true;
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

    // Calls f on every line of the document in file order.
    template <typename F>
    void forEachLine(F&& f) {
        for (Section& sec : sections) {
            if (sec.deleted) {
                continue;
            }
            if (sec.hasHeader) {
                f(sec.header);
            }
            for (Line& line : sec.lines) {
                f(line);
            }
            for (Line& line : sec.trailer) {
                f(line);
            }
        }
    }
    template <typename F>
    void forEachLine(F&& f) const {
        const_cast<Impl*>(this)->forEachLine([&f](const Line& line) { f(line); });
    }
};

ProfileDocument::SectionRef::SectionRef(std::string_view name)
    : name_(trimBlanks(name)), writable_(Impl::writableSectionName(name_)) {}

ProfileDocument::ProfileDocument() : impl_(std::make_unique<Impl>()) {}
ProfileDocument::~ProfileDocument() = default;
ProfileDocument::ProfileDocument(ProfileDocument&&) noexcept = default;
ProfileDocument& ProfileDocument::operator=(ProfileDocument&&) noexcept = default;

ProfileDocument ProfileDocument::fromBytes(std::string bytes) {
    ProfileDocument doc;
    doc.impl_->original = std::move(bytes);
    doc.impl_->parse();
    return doc;
}

std::string ProfileDocument::getString(std::string_view section, std::string_view key,
                                       std::string_view defaultValue, std::size_t maxChars) const {
    return impl_->getString(impl_->findSection(section), key, defaultValue, maxChars);
}

std::string ProfileDocument::getString(SectionRef& section, std::string_view key,
                                       std::string_view defaultValue, std::size_t maxChars) const {
    const std::size_t index = impl_->find(section);
    return impl_->getString(index, key, defaultValue, maxChars, &section.nextLine_);
}

std::int32_t ProfileDocument::getInt(std::string_view section, std::string_view key,
                                     std::int32_t defaultValue) const {
    return impl_->getInt(impl_->findSection(section), key, defaultValue);
}

std::int32_t ProfileDocument::getInt(SectionRef& section, std::string_view key,
                                     std::int32_t defaultValue) const {
    const std::size_t index = impl_->find(section);
    return impl_->getInt(index, key, defaultValue, &section.nextLine_);
}

bool ProfileDocument::sectionHasLines(std::string_view section) const {
    const std::size_t index = impl_->findSection(section);
    return index != 0 && impl_->sections[index].hasContent;
}

bool ProfileDocument::sectionHasLines(SectionRef& section) const {
    const std::size_t index = impl_->find(section);
    return index != 0 && impl_->sections[index].hasContent;
}

Status ProfileDocument::setString(std::string_view section, std::string_view key,
                                  std::string_view value) {
    const std::string_view sectionName = trimBlanks(section);
    const std::string_view keyName = trimBlanks(key);
    Status st = Impl::checkWrite(sectionName, keyName, value);
    if (st.ok) {
        impl_->set(impl_->findSection(sectionName), sectionName, keyName, value);
    }
    return st;
}

Status ProfileDocument::setString(SectionRef& section, std::string_view key,
                                  std::string_view value) {
    const std::string_view keyName = trimBlanks(key);
    Status st = Impl::checkWrite(section.name_, keyName, value, section.writable_);
    if (st.ok) {
        const std::size_t index = impl_->find(section);
        impl_->set(index, section.name_, keyName, value, &section.nextLine_);
    }
    return st;
}

bool ProfileDocument::deleteKey(SectionRef& section, std::string_view key) {
    const std::size_t index = impl_->find(section);
    section.nextLine_ = 0;
    return impl_->deleteKey(index, trimBlanks(key));
}

bool ProfileDocument::sameKeyName(std::string_view a, std::string_view b) {
    return sameName(trimBlanks(a), trimBlanks(b));
}

void ProfileDocument::deleteSection(std::string_view section) {
    impl_->deleteSection(impl_->findSection(section), section);
}

std::string ProfileDocument::bytes() const {
    const Impl& d = *impl_;
    if (!d.changed) {
        return d.original;
    }
    std::size_t size = 0;
    d.forEachLine([&](const Line& line) { size += line.length + lineEndBytes(line.end).size(); });
    std::string out;
    out.reserve(size);
    d.forEachLine([&](const Line& line) {
        out.append(d.text(line));
        out.append(lineEndBytes(line.end));
    });
    return out;
}

const std::string& ProfileDocument::commitBytes() {
    Impl& d = *impl_;
    if (!d.changed) {
        return d.original;
    }
    std::string out = bytes();
    // Every line now stands where bytes() put it.
    std::size_t at = 0;
    d.forEachLine([&](Line& line) {
        line.offset = at;
        line.written = false;
        at += line.length + lineEndBytes(line.end).size();
    });
    d.original = std::move(out);
    d.written = {};
    d.changed = false;
    return d.original;
}

bool ProfileDocument::unchangedFrom(std::string_view bytes) const {
    return !impl_->changed && impl_->original == bytes;
}

}  // namespace vorda
