#include "settings/settings_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/cp1251.h"
#include "platform/profile_document.h"
#include "platform/text.h"
#include "resources/texts.h"
#include "settings/connection_values.h"

namespace vorda {
namespace {

constexpr const char* kDefaultSettingsPath = "./ZEL_VurEV.ini";
constexpr const char* kDefaultServer = "localhost";

std::string groupSection(int number) {
    return "GROUP" + std::to_string(number);
}

struct Fingerprint {
    std::uint64_t hash = 0;
    std::uint64_t size = 0;
};

Fingerprint fingerprintOf(std::string_view bytes) {
    return {std::hash<std::string_view>{}(bytes), bytes.size()};
}

void remember(SettingsFile& file, std::string_view bytes, bool exists) {
    const auto fp = fingerprintOf(bytes);
    file.knownContent = exists;
    file.contentHash = fp.hash;
    file.contentSize = fp.size;
}

// Applies the key writes of one save in order; the first refused write ends it.
class Writer {
  public:
    explicit Writer(ProfileDocument& doc) : doc_(doc) {}

    template <typename Section>
    void text(Section& section, std::string_view key, std::string_view value) {
        if (!status_.ok) {
            return;
        }
        status_ = doc_.setString(section, key, value);
    }
    template <typename Section>
    void number(Section& section, std::string_view key, std::int32_t value) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        text(section, key, std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }
    const Status& status() const { return status_; }

  private:
    ProfileDocument& doc_;
    Status status_;
};

// The key of a channel's data file name: "FILE_" and the code, in a buffer kept for many codes.
class FileKey {
  public:
    std::string_view of(std::string_view code) {
        key_.resize(kPrefix.size());
        key_.append(code);
        return key_;
    }

  private:
    static constexpr std::string_view kPrefix = "FILE_";
    std::string key_{kPrefix};
};

// The group's channels: one for each code its CHAN list gives as the reading service reads it
// (readChannelList), in list order, with the time under the code's key and the data file name
// under "FILE_" and the code. What the list names but gives no channel is told in the result.
ChannelListReading readChannels(const ProfileDocument& doc, ProfileDocument::SectionRef& section,
                                GroupRecord& group) {
    // The whole list, so that a code its cut would shorten is known as such.
    ChannelListReading list =
        readChannelList(doc.getString(section, "CHAN", "", std::string::npos));
    group.channels.items().reserve(list.codes.size());
    FileKey fileKey;
    for (std::string& code : list.codes) {
        ChannelRecord channel;
        channel.lastTime = doc.getInt(section, code, 0);
        channel.fileName = doc.getString(section, fileKey.of(code), "");
        channel.code = std::move(code);
        group.channels.append(std::move(channel));
    }
    return list;
}

void readGroups(const ProfileDocument& doc, SettingsRecord& record,
                std::vector<ChannelListNote>& notes) {
    for (int n = 1; n <= kMaxGroups; ++n) {
        ProfileDocument::SectionRef section(groupSection(n));
        if (!doc.sectionHasLines(section)) {
            break;
        }
        GroupRecord group;
        group.station = doc.getString(section, "STATION", "");
        group.sizeMb = doc.getInt(section, "SIZEMB", record.sizeMb);
        group.sps = doc.getInt(section, "SPS", 20);
        ChannelListReading list = readChannels(doc, section, group);
        if (!list.whole()) {
            notes.push_back({n, std::move(list.cutCodes), std::move(list.leftOut)});
        }
        record.groups.append(std::move(group));
    }
}

// The document of the bytes just read from the file: the one kept from the load or from our
// last write while the file still holds exactly its bytes, else a new parse of them.
ProfileDocument documentOf(SettingsFile& file, std::string bytes) {
    std::optional<ProfileDocument> kept = std::exchange(file.document, std::nullopt);
    if (kept && kept->unchangedFrom(bytes)) {
        return std::move(*kept);
    }
    return ProfileDocument::fromBytes(std::move(bytes));
}

}  // namespace

std::string chooseSettingsPath(const Environment& env) {
    std::string name;
    if (env.args.size() == 2) {
        name = env.args[1];
    }
    if (name.empty()) {
        return kDefaultSettingsPath;
    }
    if (name.front() == '/') {
        return name;
    }
    return "./" + name;
}

std::string plainDataSourceName(const std::string& name) {
    for (const std::string_view suffix :
         {std::string_view(" (System DSN)"), std::string_view(" (User DSN)")}) {
        if (name.size() >= suffix.size() &&
            std::string_view(name).substr(name.size() - suffix.size()) == suffix) {
            return name.substr(0, name.size() - suffix.size());
        }
    }
    return name;
}

std::string settingsFilePath(const Environment& env) {
    const std::string path = chooseSettingsPath(env);
    return path.rfind("./", 0) == 0 ? joinPath(env.currentDir, path.substr(2)) : path;
}

Status loadSettings(SettingsRecord& record, SettingsFile& file, const Environment& env) {
    file = SettingsFile{};
    file.settingsPath = chooseSettingsPath(env);
    file.filePath = settingsFilePath(env);

    std::string bytes;
    bool exists = false;
    Status status = readFileBytes(file.filePath, bytes, exists);
    ProfileDocument doc;
    if (!status.ok) {
        // The record still gets its defaults; saving over this file is refused.
        file.existed = true;
        file.unreadableReason = status.error;
    } else {
        file.existed = exists;
        remember(file, bytes, exists);
        if (exists) {
            doc = ProfileDocument::fromBytes(std::move(bytes));
        }
    }

    record.dataSource = doc.getString("DATABASE", "ODBC", "zel");
    record.user = doc.getString("DATABASE", "USER", "zel");
    record.password = doc.getString("DATABASE", "PASSWORD", "qmx");
    record.dataDir = doc.getString("DATA", "DIR", "d:\\data");
    record.logDir = doc.getString("LOG", "DIR", "d:\\log");
    record.server = doc.getString("SYSTEM", "SERVER", kDefaultServer);
    record.detailMode =
        equalsAsciiNoCase(doc.getString("SYSTEM", "MODE", "silent"), "silent") ? 0 : 1;
    record.showScreen =
        equalsAsciiNoCase(doc.getString("SYSTEM", "SCREEN", "hide"), "hide") ? 0 : 1;
    record.sizeMb = doc.getInt("SYSTEM", "SIZEMB", 100);
    record.groupCount = doc.getInt("SYSTEM", "GROUPS", 0);
    if (record.groupCount < 0) {
        record.groupCount = 0;  // a negative count means no group in use
    }

    readGroups(doc, record, file.channelListNotes);
    const auto loaded = static_cast<std::int32_t>(record.groups.size());
    if (record.groupCount > loaded) {
        record.groupCount = loaded;
    }
    if (status.ok) {
        file.document = std::move(doc);
    }
    return status;
}

Status saveSettings(SettingsRecord& record, SettingsFile& file, const ConnectionValues& values) {
    if (!file.unreadableReason.empty()) {
        return Status::failure(texts::format(texts::kUnreadableNotOverwritten,
                                             {file.settingsPath, file.unreadableReason}));
    }

    ConnectionValues taken = values.cutToLimits();
    record.dataSource = std::move(taken.dataSource);
    record.user = std::move(taken.user);
    record.password = std::move(taken.password);
    record.dataDir = std::move(taken.dataDir);

    // The file as it is on disk now (another program may have changed it since it was loaded):
    // everything but our keys is kept as it stands there.
    std::string current;
    bool exists = false;
    if (Status st = readFileBytes(file.filePath, current, exists); !st.ok) {
        return st;
    }
    ProfileDocument doc = documentOf(file, std::move(current));

    Writer w(doc);
    w.text("DATABASE", "ODBC", plainDataSourceName(record.dataSource));
    w.text("DATABASE", "USER", record.user);
    w.text("DATABASE", "PASSWORD", record.password);
    w.text("DATA", "DIR", record.dataDir);
    w.text("LOG", "DIR", record.logDir);
    w.text("SYSTEM", "SERVER", record.server);
    w.text("SYSTEM", "MODE", record.detailMode != 0 ? "detail" : "silent");
    w.text("SYSTEM", "SCREEN", record.showScreen != 0 ? "full" : "hide");
    w.number("SYSTEM", "SIZEMB", record.sizeMb);
    w.number("SYSTEM", "GROUPS", record.groupCount);

    int written = 0;
    FileKey fileKey;
    std::string chan;
    for (const GroupRecord& group : record.groups) {
        if (written >= kMaxGroups) {
            break;
        }
        ProfileDocument::SectionRef section(groupSection(written + 1));
        if (channelListLength(group) > kChannelListLimit) {
            return Status::failure(
                texts::format(texts::kChannelListTooLongToSave,
                              {groupSection(written + 1), std::to_string(group.channels.size()),
                               std::to_string(kChannelListLimit)}));
        }
        w.text(section, "STATION", group.station);
        w.number(section, "SIZEMB", group.sizeMb);
        w.number(section, "SPS", group.sps);
        chan.clear();
        bool first = true;
        for (const ChannelRecord& channel : group.channels) {
            w.number(section, channel.code, channel.lastTime);
            w.text(section, fileKey.of(channel.code), channel.fileName);
            if (!first) {
                chan.push_back(',');
            }
            chan += channel.code;
            first = false;
        }
        w.text(section, "CHAN", chan);
        ++written;
    }
    if (!w.status().ok) {
        return w.status();
    }

    // Sections of groups that are gone, up to the first gap.
    for (int n = written + 1; n <= kMaxGroups; ++n) {
        const std::string section = groupSection(n);
        if (!doc.sectionHasLines(section)) {
            break;
        }
        doc.deleteSection(section);
    }

    const std::string& bytes = doc.commitBytes();
    if (Status st = writeFileAtomically(file.filePath, bytes); !st.ok) {
        return st;
    }
    file.existed = true;
    remember(file, bytes, true);
    file.document = std::move(doc);  // stands for the bytes just written
    return Status::success();
}

bool changedOnDisk(const SettingsFile& file) {
    std::string bytes;
    bool exists = false;
    if (!readFileBytes(file.filePath, bytes, exists).ok) {
        return true;
    }
    if (!exists) {
        return file.knownContent;  // removed since we saw it
    }
    if (!file.knownContent) {
        return true;  // created by someone else since we looked
    }
    const auto fp = fingerprintOf(bytes);
    return fp.hash != file.contentHash || fp.size != file.contentSize;
}

std::string channelListNotesText(const std::vector<ChannelListNote>& notes) {
    if (notes.empty()) {
        return {};
    }
    // At most this many cut codes are named; the rest are counted.
    constexpr std::size_t kCodesNamed = 8;
    std::string lines;
    for (const ChannelListNote& note : notes) {
        const std::string group = std::to_string(note.group);
        if (!note.cutCodes.empty()) {
            std::string codes;
            for (std::size_t i = 0; i < note.cutCodes.size() && i < kCodesNamed; ++i) {
                codes += (i == 0 ? "" : ", ") + cp1251::toUtf8(note.cutCodes[i]);
            }
            if (note.cutCodes.size() > kCodesNamed) {
                codes += texts::format(texts::kMoreCodes, {std::to_string(note.cutCodes.size())});
            }
            lines += texts::format(texts::kChannelListCut,
                                   {group, std::to_string(kChannelListLimit), codes}) +
                     "\n";
        }
        for (const RuleCheck& check : note.leftOut) {
            lines += texts::format(texts::kChannelLeftOut, {group, check.text()}) + "\n";
        }
    }
    return texts::format(texts::kChannelListsNotRead, {lines});
}

SettingsFile& settingsFile() {
    static SettingsFile file;
    return file;
}

}  // namespace vorda
