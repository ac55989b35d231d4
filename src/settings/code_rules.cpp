#include "settings/code_rules.h"

#include "platform/cp1251.h"
#include "platform/text.h"
#include "resources/texts.h"
#include "settings/settings_keys.h"
#include "settings/settings_record.h"

namespace vorda {
namespace {

// Characters that end a value list, a key or a section name, or begin a comment.
constexpr std::string_view kSeparators = ",=[;";

// White space as the widgets see it: blank, tab, the line and page breaks, no-break space.
bool isWhiteSpace(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b == ' ' || (b >= '\t' && b <= '\r') || b == 0xA0;
}

// The checks of a code that has already been found to be code page 1251 text.
RuleCheck checkBytes(CodeKind kind, std::string_view code) {
    if (code.empty()) {
        return refusedCode(Refusal::EmptyCode, kind, code);
    }
    if (code.size() > kMaxCodeLength) {
        return refusedCode(Refusal::CodeTooLong, kind, code);
    }
    if (code.find_first_of("\r\n") != std::string_view::npos) {
        return refusedCode(Refusal::CodeLineBreak, kind, code);
    }
    if (isWhiteSpace(code.front()) || isWhiteSpace(code.back())) {
        return refusedCode(Refusal::CodeEdgeBlank, kind, code);
    }
    for (const char separator : kSeparators) {
        if (code.find(separator) != std::string_view::npos) {
            RuleCheck check = refusedCode(Refusal::CodeSeparator, kind, code);
            check.character = separator;
            return check;
        }
    }
    if (code.find('\0') != std::string_view::npos) {
        return refusedCode(Refusal::CodeNotInCodePage, kind, code);
    }
    if (kind == CodeKind::Channel) {
        for (const std::string_view key : keys::kGroupKeys) {
            if (equalsAsciiNoCase(code, key)) {
                return refusedCode(Refusal::CodeNamesGroupKey, kind, code);
            }
        }
        if (equalsAsciiNoCase(code.substr(0, keys::kFilePrefix.size()), keys::kFilePrefix)) {
            return refusedCode(Refusal::CodeNamesFileKey, kind, code);
        }
    }
    return {};
}

std::string reasonText(const RuleCheck& check) {
    switch (check.refusal) {
        case Refusal::CodeTooLong:
            return texts::format(texts::kCodeTooLong, {std::to_string(kMaxCodeLength)});
        case Refusal::CodeLineBreak:
            return std::string(texts::kCodeLineBreak);
        case Refusal::CodeEdgeBlank:
            return std::string(texts::kCodeEdgeBlank);
        case Refusal::CodeSeparator:
            return texts::format(texts::kCodeSeparator, {std::string_view(&check.character, 1)});
        case Refusal::CodeNotInCodePage:
            return std::string(texts::kCodeNotInCodePage);
        case Refusal::CodeNamesGroupKey:
            return std::string(texts::kCodeNamesGroupKey);
        case Refusal::CodeNamesFileKey:
            return std::string(texts::kCodeNamesFileKey);
        default:
            return {};
    }
}

}  // namespace

RuleCheck refusedCode(Refusal refusal, CodeKind kind, std::string_view code) {
    RuleCheck check;
    check.refusal = refusal;
    check.kind = kind;
    check.code = cp1251::toUtf8(code);
    return check;
}

bool RuleCheck::isWarning() const {
    switch (refusal) {
        case Refusal::None:
        case Refusal::DuplicateChannel:
        case Refusal::ChannelListTooLong:
        case Refusal::TooManyGroups:
            return false;
        default:
            return true;
    }
}

std::string RuleCheck::text() const {
    switch (refusal) {
        case Refusal::None:
            return {};
        case Refusal::EmptyCode:
            return std::string(texts::kFillAllFields);
        case Refusal::DuplicateChannel:
            return std::string(texts::kDuplicateChannel);
        case Refusal::ChannelListTooLong:
            return std::string(texts::kChannelListTooLong);
        case Refusal::TooManyGroups:
            return std::string(texts::kTooManyGroups);
        default:
            return texts::format(
                texts::kCodeRefused,
                {kind == CodeKind::Station ? texts::kStationCode : texts::kChannelCode, code,
                 reasonText(*this)});
    }
}

std::string RuleCheck::listText() const {
    std::string reason;
    switch (refusal) {
        case Refusal::None:
            return {};
        case Refusal::TooManyGroups:
            return text();
        case Refusal::EmptyCode:
            reason = std::string(texts::kListEmptyCode);
            break;
        case Refusal::DuplicateChannel:
            reason = texts::format(texts::kListDuplicateChannel, {code});
            break;
        case Refusal::ChannelListTooLong:
            reason = texts::format(texts::kListTooLong, {code});
            break;
        default:
            reason = text();
            break;
    }
    return reason + "\n" + std::string(texts::kNoChannelAdded);
}

RuleCheck checkCode(CodeKind kind, std::string_view code) {
    return checkBytes(kind, code);
}

RuleCheck checkCodeText(CodeKind kind, std::string_view utf8) {
    if (const auto bytes = cp1251::fromUtf8(utf8)) {
        return checkBytes(kind, *bytes);
    }
    // The other rules first, as for any code; what is left is the character the code page
    // lacks (each stands as a '?' meanwhile, which no rule minds).
    RuleCheck check = checkBytes(kind, cp1251::fromUtf8Lossy(utf8));
    if (check.ok() || check.refusal == Refusal::CodeNamesGroupKey ||
        check.refusal == Refusal::CodeNamesFileKey) {
        check = RuleCheck{};
        check.refusal = Refusal::CodeNotInCodePage;
        check.kind = kind;
    }
    check.code = std::string(utf8);
    return check;
}

bool sameChannelCode(const std::string& a, const std::string& b) {
    // A rule of its own, which ASCII case folding happens to give: it stays Latin A to Z only
    // whatever the profile document's name matching comes to be.
    return equalsAsciiNoCase(a, b);
}

ChannelListReading readChannelList(std::string_view list) {
    ChannelListReading reading;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) {
            comma = list.size();
        }
        const std::string_view code = list.substr(start, comma - start);
        if (!trimBlanks(code).empty()) {
            if (comma > kChannelListLimit) {
                reading.cutCodes.emplace_back(code);
            } else if (RuleCheck check = checkCode(CodeKind::Channel, code); !check) {
                reading.leftOut.push_back(std::move(check));
            } else {
                reading.codes.emplace_back(code);
            }
        }
        start = comma + 1;
    }
    return reading;
}

}  // namespace vorda
