#pragma once
// The profile document: the INI reading and writing rules the reading service relies on,
// applied to a whole file's bytes in memory, so that many writes cost one parse and one
// bytes(). It knows nothing of files: platform/atomic_file.h reads and writes them.
//
// Rules:
//  - Lines end at LF, CRLF or CR. A line whose first non-blank character is ';' is a comment;
//    one whose first non-blank character is '[' is a section header, its name running to the
//    first ']' (or the end of the line), without surrounding blanks. Lines before the first
//    header belong to no section. Any other line with a '=' is a key line: key before the first
//    '=', value after it, both without surrounding blanks. A NUL byte ends a line's value.
//  - Names match without regard to letter case, the Latin and Cyrillic letters of code page 1251
//    (cp1251::toUpper) alike; every other byte matches only itself. The one place of that rule
//    is sameName and nameHash in profile_document.cpp. The first of duplicate sections and the
//    first of duplicate keys win, for reading, writing and deleting alike.
//  - Every byte the writer does not set stays as it was; a write that would leave its line as
//    it stands changes nothing.
//
// Costs: parsing is linear in the bytes; the first read or write in a section indexes its keys,
// linear in its lines; after that a read or a write costs the length of its names and its
// value, whatever names the file holds (the name hash has a seed of its own in each process, so
// no file can make its names collide).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace vorda {

class ProfileDocument {
  public:
    // Values read as text are cut to this many characters (a 512-byte buffer less its end).
    static constexpr std::size_t kValueLimit = 511;

    ProfileDocument();
    ~ProfileDocument();
    ProfileDocument(ProfileDocument&&) noexcept;
    ProfileDocument& operator=(ProfileDocument&&) noexcept;
    ProfileDocument(const ProfileDocument&) = delete;
    ProfileDocument& operator=(const ProfileDocument&) = delete;

    // A document parsed from the bytes of a file (an empty document is that of no bytes).
    static ProfileDocument fromBytes(std::string bytes);

    // A section named once for many reads and writes of its keys. It stands for its name: a
    // read or write through it does what one by the name would, but the name is looked up again
    // only when sections were added or deleted since it was last looked up, and a key that
    // stands right after the last one found is taken from there without a lookup.
    class SectionRef {
      public:
        explicit SectionRef(std::string_view name);

      private:
        friend class ProfileDocument;
        std::string name_;              // without surrounding blanks
        bool writable_ = false;         // a name a header can hold (else writes are refused)
        std::uint64_t generation_ = 0;  // the state of the document the section was found in
        std::size_t index_ = 0;         // the section found; 0 when there is none
        std::size_t nextLine_ = 0;      // the line after the key last found: the next one tried
    };

    // The value with one pair of matching surrounding double or single quotes removed, cut to
    // maxChars; the default when the section or key is missing. A key with an empty value
    // gives the empty text.
    std::string getString(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::size_t maxChars = kValueLimit) const;
    std::string getString(SectionRef& section, std::string_view key, std::string_view defaultValue,
                          std::size_t maxChars = kValueLimit) const;

    // Leading blanks, an optional sign, decimal digits, taken modulo 2^32 as a signed 32-bit
    // number; no digits gives 0; a missing key or an empty value gives the default.
    std::int32_t getInt(std::string_view section, std::string_view key,
                        std::int32_t defaultValue) const;
    std::int32_t getInt(SectionRef& section, std::string_view key, std::int32_t defaultValue) const;

    // Whether the section exists and holds at least one line that is neither blank nor a
    // comment (the test that reading the whole section gives something).
    bool sectionHasLines(std::string_view section) const;
    bool sectionHasLines(SectionRef& section) const;

    // Sets a key: an existing key line becomes KEY=value with the file's own spelling of the key
    // and the line's original line end; a new key goes after the section's last key line (or
    // right after its header); a new section goes to the end of the file. Refuses (and changes
    // nothing) a section, key or value with CR, LF or NUL, and a key that holds '=' or starts
    // with '[' or ';'; the failure names the key and the reason.
    Status setString(std::string_view section, std::string_view key, std::string_view value);
    Status setString(SectionRef& section, std::string_view key, std::string_view value);

    // Removes the first key line of the name from the section; false when there is none.
    bool deleteKey(SectionRef& section, std::string_view key);

    // Whether two key names are one key to the document.
    static bool sameKeyName(std::string_view a, std::string_view b);

    // Removes the section's header and every line up to the next header. Nothing when missing.
    void deleteSection(std::string_view section);

    // The whole document as bytes.
    std::string bytes() const;

    // The whole document as bytes, which from now on are the ones it was parsed from: it reads,
    // writes and compares (unchangedFrom) as a document parsed from them would. The reference
    // holds until the next commitBytes, also where the document is moved meanwhile.
    const std::string& commitBytes();

    // Whether the document is the parse of these very bytes: parsed from them, or committed to
    // them, with nothing changed since. Such a document can stand in for a new parse of them.
    bool unchangedFrom(std::string_view bytes) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vorda
