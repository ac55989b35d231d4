#pragma once
// Our profile-file layer: the INI reading and writing rules the reading service relies on,
// applied to a whole file in memory so that many writes cost one read and one write.
//
// Rules:
//  - Lines end at LF, CRLF or CR. A line whose first non-blank character is ';' is a comment;
//    one whose first non-blank character is '[' is a section header, its name running to the
//    first ']' (or the end of the line), without surrounding blanks. Lines before the first
//    header belong to no section. Any other line with a '=' is a key line: key before the first
//    '=', value after it, both without surrounding blanks. A NUL byte ends a line's value.
//  - Names match without regard to ASCII letter case; the first of duplicate sections and the
//    first of duplicate keys win, for reading, writing and deleting alike.
//  - Every byte the writer does not set stays as it was.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace vorda {

class ProfileFile {
  public:
    // Values read as text are cut to this many characters (a 512-byte buffer less its end).
    static constexpr std::size_t kValueLimit = 511;

    ProfileFile();
    ~ProfileFile();
    ProfileFile(ProfileFile&&) noexcept;
    ProfileFile& operator=(ProfileFile&&) noexcept;
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    // A document parsed from the bytes of a file.
    static ProfileFile fromBytes(std::string bytes);

    // Reads the file at path. A missing file gives an empty document and success, with
    // existed() false; a file that exists but cannot be read gives a failure naming it.
    static Status load(const std::string& path, ProfileFile& out);

    bool existed() const;

    // The value with one pair of matching surrounding double or single quotes removed, cut to
    // maxChars; the default when the section or key is missing. A key with an empty value
    // gives the empty text.
    std::string getString(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::size_t maxChars = kValueLimit) const;

    // Leading blanks, an optional sign, decimal digits, taken modulo 2^32 as a signed 32-bit
    // number; no digits gives 0; a missing key or an empty value gives the default.
    std::int32_t getInt(std::string_view section, std::string_view key,
                        std::int32_t defaultValue) const;

    // Whether the section exists and holds at least one line that is neither blank nor a
    // comment (the test that reading the whole section gives something).
    bool sectionHasLines(std::string_view section) const;

    // Sets a key: an existing key line becomes KEY=value with the file's own spelling of the key
    // and the line's original line end; a new key goes after the section's last key line (or
    // right after its header); a new section goes to the end of the file. Refuses (and changes
    // nothing) a section, key or value with CR, LF or NUL, and a key that holds '=' or starts
    // with '[' or ';'; the failure names the key and the reason.
    Status setString(std::string_view section, std::string_view key, std::string_view value);

    // Removes the section's header and every line up to the next header. Nothing when missing.
    void deleteSection(std::string_view section);

    // The whole document as bytes.
    std::string bytes() const;

    // Writes bytes() to path atomically: a temporary file in the same directory, flushed, then
    // renamed over the original. An existing file keeps its permissions; a new one gets 0666
    // less the umask; a symbolic link is written through to its target. On failure the
    // original file stays as it was.
    Status save(const std::string& path) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads a whole file. A missing file gives success, no bytes and exists false; a file that
// exists but cannot be read, or is no regular file (a folder, a FIFO, a device), gives a
// failure naming it.
Status readFileBytes(const std::string& path, std::string& bytes, bool& exists);

// Writes bytes to path atomically, with the guarantees of ProfileFile::save.
Status writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace vorda
