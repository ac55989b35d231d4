#pragma once
// The rules that station and channel codes keep so that the settings file can hold them and read
// them back: a code becomes a value (the station) or the names of two keys (a channel's time key
// and its FILE_ key) in the group's section. The file reader leaves out of a channel list what
// these rules refuse; the additions and changes of groups and channels (channels/channel_rules.h)
// check with them first.
//
// Each check gives a RuleCheck: ok, or which rule was broken, about which code, with the text
// the operator reads.
//
// Codes are code page 1251 bytes; the texts for the operator are UTF-8.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorda {

// Codes longer than this do not fit the buffers of the reading service.
inline constexpr std::size_t kMaxCodeLength = 7;

enum class CodeKind { Station, Channel };

enum class Refusal {
    None,
    EmptyCode,           // no code at all: every field must be filled in
    CodeTooLong,         // longer than kMaxCodeLength
    CodeLineBreak,       // holds a CR or LF
    CodeEdgeBlank,       // begins or ends with white space
    CodeSeparator,       // holds one of , = [ ; (character says which)
    CodeNotInCodePage,   // holds a NUL, or a character code page 1251 has no place for
    CodeNamesGroupKey,   // a channel code that is one of the group's own keys
    CodeNamesFileKey,    // a channel code that begins with FILE_
    DuplicateChannel,    // the group already has that code (A to Z compared without case)
    ChannelListTooLong,  // the group's channel list would be longer than the file keeps
    TooManyGroups,       // the file already holds the most groups it can
};

struct RuleCheck {
    Refusal refusal = Refusal::None;
    CodeKind kind = CodeKind::Channel;  // the code a refusal is about
    std::string code;                   // that code, UTF-8, for the operator
    char character = '\0';              // the separator found (CodeSeparator)
    std::size_t channel = 0;            // of a list of channels, the position of the one refused

    bool ok() const { return refusal == Refusal::None; }
    explicit operator bool() const { return ok(); }
    // A field to correct (a warning), rather than a group or file without room for it.
    bool isWarning() const;
    // What the operator reads, UTF-8; empty when nothing was refused.
    std::string text() const;
    // The same for a list of channels added at once: it names the code refused whatever the
    // rule, and says that no channel was added.
    std::string listText() const;
};

// A refusal of `code` (code page 1251 bytes) for the reason given.
RuleCheck refusedCode(Refusal refusal, CodeKind kind, std::string_view code);

// Whether a code (code page 1251 bytes) can be written as a station code or a channel code.
RuleCheck checkCode(CodeKind kind, std::string_view code);
// The same for text as typed (UTF-8); a character code page 1251 cannot hold is refused.
RuleCheck checkCodeText(CodeKind kind, std::string_view utf8);

// Channel codes compared without regard to the case of the Latin letters A to Z only.
bool sameChannelCode(const std::string& a, const std::string& b);

// What reading a group's channel list (its CHAN value) gives: the codes a channel is read for,
// and the codes left out, which the operator is told about. Code page 1251 bytes.
struct ChannelListReading {
    // The codes read, in list order.
    std::vector<std::string> codes;
    // Codes the list names beyond the characters the file keeps, whole (a code the limit cuts
    // in two among them): the reading service reads none of them, or only a part of one.
    std::vector<std::string> cutCodes;
    // Codes the rules of checkCode refuse: written back, they would break the group's keys.
    std::vector<RuleCheck> leftOut;

    bool whole() const { return cutCodes.empty() && leftOut.empty(); }
};

// Reads a channel list as the reading service does: only its first kChannelListLimit
// characters count, the codes are separated by ',', and an empty code (blanks only) is skipped.
// A code cut by the limit and a code checkCode refuses are left out and named.
ChannelListReading readChannelList(std::string_view list);

}  // namespace vorda
