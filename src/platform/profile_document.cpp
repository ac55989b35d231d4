#include "platform/profile_document.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "platform/cp1251.h"
#include "platform/text.h"

namespace vorda {

namespace {

// --- The name rule of the document: section and key names match without regard to ASCII
// letter case. nameHash and sameName go together: names that are the same give the same hash.

bool sameName(std::string_view a, std::string_view b) {
    return equalsAsciiNoCase(a, b);
}

// Eight bytes at a time, each with its 0x20 bit set: ASCII letters of either case give the same
// hash (a few other bytes do too, which sameName then tells apart). Takes the name as it
// stands, so that a lookup needs no upper-cased copy of it.
std::uint64_t nameHash(std::string_view s) {
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
    return h ^ (h >> 29);
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Where a name of the document stands: the line of a key in its section, or the sections of
// a section name in file order (deleted ones included, so that the name can still be read).
using KeyPlace = std::size_t;
using SectionPlaces = std::vector<std::size_t>;

// The place of a free slot of the index.
template <typename Place>
Place unusedPlace();
template <>
KeyPlace unusedPlace<KeyPlace>() {
    return kNone;
}
template <>
SectionPlaces unusedPlace<SectionPlaces>() {
    return {};
}
bool unused(KeyPlace line) {
    return line == kNone;
}
bool unused(const SectionPlaces& sections) {
    return sections.empty();
}

// The one index structure of the document, for the keys of each section and for the section
// names: an open-addressing table (linear probing, at most half full) from the hash of a name
// to its place, the first of each name. The names themselves are not stored: nameOf(place)
// reads the name from the document (the key of a key line, the name of a section), where it
// never changes, to tell apart names of the same hash. A file of many keys so costs no
// allocation per key, and a section's keys stay close together.
template <typename Place>
class NameIndex {
  public:
    // The place of the name, or nullptr.
    template <typename NameOf>
    const Place* find(std::uint64_t hash, std::string_view name, NameOf&& nameOf) const {
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
    Place* find(std::uint64_t hash, std::string_view name, NameOf&& nameOf) {
        return const_cast<Place*>(std::as_const(*this).find(hash, name, nameOf));
    }

    // Adds the place of a name that is not in the table.
    void insert(std::uint64_t hash, Place place) {
        if ((count_ + 1) * 2 > slots_.size()) {
            std::vector<Slot> old(std::max<std::size_t>(16, slots_.size() * 2));
            old.swap(slots_);
            for (Slot& slot : old) {
                if (!unused(slot.place)) {
                    put(std::move(slot));
                }
            }
        }
        put({hash, std::move(place)});
        ++count_;
    }

    void clear() {
        slots_ = {};
        count_ = 0;
    }

  private:
    struct Slot {
        std::uint64_t hash = 0;
        Place place = unusedPlace<Place>();
    };

    void put(Slot&& slot) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = slot.hash & mask;
        while (!unused(slots_[i].place)) {
            i = (i + 1) & mask;
        }
        slots_[i] = std::move(slot);
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
    std::string name;           // kept when the section is deleted: the section index reads it
    std::vector<Line> lines;    // up to the last key line; empty when there is no key line
    std::vector<Line> trailer;  // the lines after the last key line
    NameIndex<KeyPlace> keys;   // the first key line (in lines) of each key name
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

}  // namespace

struct ProfileDocument::Impl {
    std::string original;                   // the bytes the document was parsed from
    std::vector<std::string> store;         // text of lines we rewrote or added
    std::vector<Section> sections;          // [0]: the lines before the first header
    NameIndex<SectionPlaces> sectionIndex;  // every section of each name, in file order

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

    // The file's own spelling of the key on a key line: the text before the first '='
    // without surrounding blanks.
    std::string_view keyOf(const Line& line) const {
        const std::string_view t = text(line);
        return trimBlanks(t.substr(0, t.find('=')));
    }

    // --- The key index of a section: key names to the first key line of the name.

    std::optional<std::size_t> findKey(const Section& sec, std::string_view name) const {
        const std::size_t* line = sec.keys.find(
            nameHash(name), name, [&](std::size_t at) { return keyOf(sec.lines[at]); });
        return line != nullptr ? std::optional<std::size_t>(*line) : std::nullopt;
    }

    // Records the key line unless the section already has a key of that name (the first wins).
    void addKey(Section& sec, std::string_view name, std::size_t line) {
        const std::uint64_t hash = nameHash(name);
        const auto keyAt = [&](std::size_t at) { return keyOf(sec.lines[at]); };
        if (sec.keys.find(hash, name, keyAt) == nullptr) {
            sec.keys.insert(hash, line);
        }
    }

    // --- The section index: section names to their sections. The first that is not deleted
    // is the one found; deleting always takes that one.

    std::string_view sectionName(const SectionPlaces& places) const {
        return sections[places.front()].name;
    }

    // The number of the first live section of the name.
    std::optional<std::size_t> findSection(std::string_view name) const {
        const std::string_view trimmed = trimBlanks(name);
        const SectionPlaces* places = sectionIndex.find(
            nameHash(trimmed), trimmed, [&](const SectionPlaces& p) { return sectionName(p); });
        if (places != nullptr) {
            for (const std::size_t index : *places) {
                if (!sections[index].deleted) {
                    return index;
                }
            }
        }
        return std::nullopt;
    }

    // Appends a section of the name, after every other of its name.
    Section& addSection(std::string name) {
        const std::size_t index = sections.size();
        Section& added = sections.emplace_back();
        added.hasHeader = true;
        added.name = std::move(name);
        const std::uint64_t hash = nameHash(added.name);
        SectionPlaces* places = sectionIndex.find(
            hash, added.name, [&](const SectionPlaces& p) { return sectionName(p); });
        if (places != nullptr) {
            places->push_back(index);
        } else {
            sectionIndex.insert(hash, SectionPlaces{index});
        }
        return sections.back();
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
            const std::string_view content = trimLeadingBlanks(t);
            Section& sec = sections[current];
            if (content.empty() || content.front() == ';') {
                sec.trailer.push_back(line);  // blank or comment
            } else if (content.front() == '[') {
                const std::string_view name = content.substr(1);
                current = sections.size();
                addSection(std::string(trimBlanks(name.substr(0, name.find(']'))))).header = line;
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
    const auto raw = impl_->rawValue(section, key);
    std::string_view value = raw ? *raw : defaultValue;
    if (raw && value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, maxChars));
}

std::int32_t ProfileDocument::getInt(std::string_view section, std::string_view key,
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

bool ProfileDocument::sectionHasLines(std::string_view section) const {
    const auto sec = impl_->findSection(section);
    return sec && impl_->sections[*sec].hasContent;
}

Status ProfileDocument::setString(std::string_view section, std::string_view key,
                                  std::string_view value) {
    const std::string_view sectionName = trimBlanks(section);
    const std::string_view keyName = trimBlanks(key);
    const auto refuse = [&](const std::string& why) {
        return Status::failure("cannot write [" + printable(sectionName) + "] " +
                               printable(keyName) + ": " + why);
    };
    if (hasLineBreakOrNul(section)) {
        return refuse("the section name holds a line break or a NUL byte");
    }
    if (sectionName.find(']') != std::string_view::npos) {
        return refuse("the section name holds ']'");
    }
    if (hasLineBreakOrNul(key)) {
        return refuse("the key holds a line break or a NUL byte");
    }
    if (keyName.find('=') != std::string_view::npos) {
        return refuse("the key holds '='");
    }
    if (!keyName.empty() && (keyName.front() == '[' || keyName.front() == ';')) {
        return refuse(std::string("the key starts with '") + keyName.front() + "'");
    }
    if (hasLineBreakOrNul(value)) {
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
    Section& added = d.addSection(std::string(sectionName));
    added.header = d.newLine("[" + added.name + "]");
    std::string line;
    line.append(keyName).append("=").append(value);
    added.lines.push_back(d.newLine(std::move(line)));
    added.hasContent = true;
    d.addKey(added, keyName, 0);
    return Status::success();
}

void ProfileDocument::deleteSection(std::string_view section) {
    Impl& d = *impl_;
    const auto index = d.findSection(section);
    if (!index) {
        return;
    }
    Section& sec = d.sections[*index];
    sec.deleted = true;  // keeps its name, which the section index reads
    sec.lines = {};
    sec.trailer = {};
    sec.keys.clear();
}

std::string ProfileDocument::bytes() const {
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

}  // namespace vorda
