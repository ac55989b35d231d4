#pragma once
// A settings document applied to the settings a file holds: what an administrator states about
// a host's settings (vorda-settings --apply), turned into the settings a save writes, by the
// rules the dialog keeps.
//
// Every field of the document is optional; one left out stays as the file has it. The groups,
// when given, are the whole list in order: each is matched to the file's group of the same
// station and each of its channels to that group's channel of the same code, as a save's merge
// matches them; a group or channel the list leaves out is removed. Within a matched group the
// samples per second and file size left out keep the file's values, and a channel's last time
// and data file name left out keep the file's (its last time is the service's progress). A new
// group starts with the add-group dialog's values, a new channel with last time 0 and the
// proposed file name STATION_CHANNEL.DAT. The number of groups in use, left out, follows the
// groups as the dialog's additions and removals change it.
//
// Each value goes through the rules of the dialog (codes, code page 1251, lengths, the 256
// groups, the 511-character channel list, the signed 32-bit last time, and a data file name
// another channel writes, for a channel added or given a new name). A document that breaks
// one is refused as a whole, with the field named by its place in the document:
// "groups[2].channels[0].code".
//
// Texts in the document are UTF-8 (as JSON has them); the settings are code page 1251.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "settings/settings_record.h"

namespace vorda {

// A last time as a document gives it: Unix seconds, or a text the channel dialog's time field
// takes (Unix seconds, or calendar text "yyyy-mm-dd hh:MM:ss").
using DocumentTime = std::variant<std::int64_t, std::string>;

struct ChannelDocument {
    std::optional<std::string> code{};
    std::optional<DocumentTime> lastTime{};
    std::optional<std::string> fileName{};
};

struct GroupDocument {
    std::optional<std::string> station{};
    std::optional<std::int64_t> sps{};
    std::optional<std::int64_t> sizeMb{};
    std::optional<std::vector<ChannelDocument>> channels{};
};

struct SettingsDocument {
    // [SYSTEM] and [LOG]
    std::optional<std::string> server{};
    std::optional<std::int64_t> detailMode{};  // 0 or 1
    std::optional<std::int64_t> showScreen{};  // 0 or 1
    std::optional<std::int64_t> groupCount{};
    std::optional<std::int64_t> sizeMb{};
    std::optional<std::string> logDir{};
    // [DATABASE] and [DATA]
    std::optional<std::string> dataSource{};
    std::optional<std::string> user{};
    std::optional<std::string> password{};
    std::optional<std::string> dataDir{};
    std::optional<std::vector<GroupDocument>> groups{};
};

// Why a document is refused: the field's place in it ("groups[2].channels[0].code"; empty for
// the document as a whole) and what is wrong with it (UTF-8).
struct DocumentRefusal {
    std::string place;
    std::string reason;

    // "place: reason", or the reason alone.
    std::string text() const;
};

// The place of a field of the object at `parent` ("" for the document itself), and of an item
// of the list at `list`: fieldPlace("groups[2]", "station"), itemPlace("groups", 2).
std::string fieldPlace(std::string_view parent, std::string_view field);
std::string itemPlace(std::string_view list, std::size_t index);

struct ApplyResult {
    // Set when the document is refused; the values are then those of the file.
    std::optional<DocumentRefusal> refusal;
    // The settings the document makes of the file's: what a save is to write.
    SettingsValues values;

    bool ok() const { return !refusal; }
};

// Applies the document to `file`, the settings the file holds (its connection values as the
// connection settings read them).
ApplyResult applySettingsDocument(const SettingsValues& file, const SettingsDocument& document);

}  // namespace vorda
