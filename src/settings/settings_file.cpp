#include "settings/settings_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/cp1251.h"
#include "platform/profile_document.h"
#include "platform/text.h"
#include "resources/texts.h"
#include "settings/connection_values.h"
#include "settings/settings_backup.h"
#include "settings/settings_keys.h"

namespace vorda {
namespace {

constexpr const char* kDefaultSettingsPath = "./ZEL_VurEV.ini";
constexpr const char* kDefaultServer = "localhost";
// How many times a save tries to write the file when another program keeps writing it at the
// same moment.
constexpr int kMaxAttempts = 20;
// How long a save watches the file after a write that was without another program's change.
constexpr std::chrono::milliseconds kLinger{150};

using keys::groupSection;

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

// keys::fileKey for many codes in turn, in one buffer: loading and saving ask for one per channel.
class FileKey {
  public:
    std::string_view of(std::string_view code) {
        key_.resize(keys::kFilePrefix.size());
        key_.append(code);
        return key_;
    }

  private:
    std::string key_{keys::kFilePrefix};
};

// The group's channels: one for each code its CHAN list gives as the reading service reads it
// (readChannelList), in list order, with the time under the code's key and the data file name
// under "FILE_" and the code. What the list names but gives no channel is told in the result.
ChannelListReading readChannels(const ProfileDocument& doc, ProfileDocument::SectionRef& section,
                                GroupRecord& group) {
    // The whole list, so that a code its cut would shorten is known as such.
    ChannelListReading list =
        readChannelList(doc.getString(section, keys::kChan, "", std::string::npos));
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

// The groups; notes (when given) gets the groups whose channel lists were not read whole.
void readGroups(const ProfileDocument& doc, SettingsValues& record,
                std::vector<ChannelListNote>* notes) {
    for (int n = 1; n <= kMaxGroups; ++n) {
        ProfileDocument::SectionRef section(groupSection(n));
        if (!doc.sectionHasLines(section)) {
            break;
        }
        GroupRecord group;
        group.station = doc.getString(section, keys::kStation, "");
        group.sizeMb = doc.getInt(section, keys::kSizeMb, record.sizeMb);
        group.sps = doc.getInt(section, keys::kSps, 20);
        ChannelListReading list = readChannels(doc, section, group);
        if (notes != nullptr && !list.whole()) {
            notes->push_back({n, std::move(list.cutCodes), std::move(list.leftOut)});
        }
        record.groups.append(std::move(group));
    }
}

// The document of the bytes just read from the file: the one kept from the load or from our
// last write while the file still holds exactly its bytes, else a new parse of them. The bytes
// are copied only for a new parse (a settings file may be tens of megabytes).
template <typename Bytes>
ProfileDocument documentOf(SettingsFile& file, Bytes&& bytes) {
    std::optional<ProfileDocument> kept = std::exchange(file.document, std::nullopt);
    if (kept && kept->unchangedFrom(bytes)) {
        return std::move(*kept);
    }
    return ProfileDocument::fromBytes(std::string(std::forward<Bytes>(bytes)));
}

// What a save writes: the record, with the connection values taken over and the data source
// name as the file keeps it.
SettingsValues oursOf(const SettingsRecord& record, const ConnectionValues& taken) {
    SettingsValues ours = settingsValuesOf(record);
    ours.dataSource = plainDataSourceName(taken.dataSource);
    ours.user = taken.user;
    ours.password = taken.password;
    ours.dataDir = taken.dataDir;
    return ours;
}

// The connection values after a merge: the file's where they took the file's, else the operator's
// as given (a data source name keeps its " (System DSN)").
ConnectionValues connectionOf(const SettingsValues& merged, const ConnectionValues& taken) {
    return {merged.dataSource == plainDataSourceName(taken.dataSource) ? taken.dataSource
                                                                       : merged.dataSource,
            merged.user, merged.password, merged.dataDir};
}

// Sets every key the editor owns in doc to the values, and removes the sections of groups that
// are gone (up to the first gap).
Status writeSettings(ProfileDocument& doc, const SettingsValues& record) {
    Writer w(doc);
    w.text(keys::kDatabase, keys::kOdbc, record.dataSource);
    w.text(keys::kDatabase, keys::kUser, record.user);
    w.text(keys::kDatabase, keys::kPassword, record.password);
    w.text(keys::kData, keys::kDir, record.dataDir);
    w.text(keys::kLog, keys::kDir, record.logDir);
    w.text(keys::kSystem, keys::kServer, record.server);
    w.text(keys::kSystem, keys::kMode, record.detailMode != 0 ? "detail" : "silent");
    w.text(keys::kSystem, keys::kScreen, record.showScreen != 0 ? "full" : "hide");
    w.number(keys::kSystem, keys::kSizeMb, record.sizeMb);
    w.number(keys::kSystem, keys::kGroups, record.groupCount);

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
        w.text(section, keys::kStation, group.station);
        w.number(section, keys::kSizeMb, group.sizeMb);
        w.number(section, keys::kSps, group.sps);
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
        w.text(section, keys::kChan, chan);
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
    return Status::success();
}

std::string describeConflicts(const std::vector<MergeConflict>& conflicts,
                              const std::string& settingsPath) {
    std::string text = texts::format(texts::kBothChanged, {settingsPath});
    for (const MergeConflict& c : conflicts) {
        if (!c.resolved) {
            text += "\n  " + describeConflict(c);
        }
    }
    return text;
}

SettingsValues decodeSettings(const ProfileDocument& doc,
                              std::vector<ChannelListNote>* notes = nullptr);

SettingsValues decodeBytes(const std::string& bytes) {
    return decodeSettings(ProfileDocument::fromBytes(bytes));
}

// The settings of the bytes just read from the file; their document is kept for the save that
// writes onto them.
SettingsValues decodeKept(SettingsFile& file, std::string bytes) {
    ProfileDocument doc = documentOf(file, std::move(bytes));
    SettingsValues values = decodeSettings(doc);
    file.document = std::move(doc);
    return values;
}

// The settings of the base, read from its bytes the first time they are needed.
const SettingsValues& baseOf(SettingsFile& file) {
    if (!file.baseDecoded) {
        file.base = decodeBytes(file.baseBytes);
        file.baseDecoded = true;
    }
    return file.base;
}

// Makes values, which the file now holds, the base.
void takeAsBase(SettingsFile& file, SettingsValues values, std::string bytes, bool conflictsOpen) {
    file.base = std::move(values);
    file.baseDecoded = true;
    file.baseIsBytes = !conflictsOpen;
    file.baseExists = true;
    file.baseBytes = std::move(bytes);
}

// Whether what a look found can be another program's settings. A file rewritten in place is
// empty for a moment: like a removed file, an empty one is not taken as everything removed.
bool holdsSettings(const FileContent& content) {
    return content.exists && !content.bytes.empty();
}

// Whether the file at path, which holds `ours`, changes within `span` (looked at every few
// milliseconds); found is then what it holds.
bool changedWithin(const std::string& path, const std::string& ours, std::chrono::milliseconds span,
                   FileContent& found) {
    const auto until = std::chrono::steady_clock::now() + span;
    const FileContent mine{true, ours};
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        FileContent now;
        if (readSettledFileBytes(path, now.bytes, now.exists, &mine).ok && now != mine) {
            found = std::move(now);
            return true;
        }
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

// The settings a document holds, as loading reads them; notes (when given) gets the groups whose
// channel lists were not read whole.
SettingsValues decodeSettings(const ProfileDocument& doc, std::vector<ChannelListNote>* notes) {
    SettingsValues record;
    record.dataSource = doc.getString(keys::kDatabase, keys::kOdbc, "zel");
    record.user = doc.getString(keys::kDatabase, keys::kUser, "zel");
    record.password = doc.getString(keys::kDatabase, keys::kPassword, "qmx");
    record.dataDir = doc.getString(keys::kData, keys::kDir, "d:\\data");
    record.logDir = doc.getString(keys::kLog, keys::kDir, "d:\\log");
    record.server = doc.getString(keys::kSystem, keys::kServer, kDefaultServer);
    record.detailMode =
        equalsAsciiNoCase(doc.getString(keys::kSystem, keys::kMode, "silent"), "silent") ? 0 : 1;
    record.showScreen =
        equalsAsciiNoCase(doc.getString(keys::kSystem, keys::kScreen, "hide"), "hide") ? 0 : 1;
    record.sizeMb = doc.getInt(keys::kSystem, keys::kSizeMb, 100);
    record.groupCount = doc.getInt(keys::kSystem, keys::kGroups, 0);
    if (record.groupCount < 0) {
        record.groupCount = 0;  // a negative count means no group in use
    }

    readGroups(doc, record, notes);
    const auto loaded = static_cast<std::int32_t>(record.groups.size());
    if (record.groupCount > loaded) {
        record.groupCount = loaded;
    }
    return record;
}

}  // namespace

std::string chooseSettingsPath(const Environment& env) {
    std::string name;
    if (env.args.size() == 2) {
        name = env.args[1];
    }
    // The connection items are the only argument only when the file is left to its default:
    // a file named ODBC=X would be no settings file the service ever reads.
    for (const std::string_view item : {"ODBC=", "USER=", "PASSWORD=", "DATA="}) {
        if (name.size() >= item.size() && equalsAsciiNoCase(name.substr(0, item.size()), item)) {
            name.clear();
        }
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
    file.backupDir = backupFolder(env.cacheDir);
    file.clock = env.now;

    std::string bytes;
    bool exists = false;
    Status status = readFileBytes(file.filePath, bytes, exists);
    if (!status.ok) {
        // The record still gets its defaults; saving over this file is refused.
        file.unreadableReason = status.error;
        bytes.clear();
    } else {
        remember(file, bytes, exists);
        file.baseExists = exists;
        file.baseBytes = bytes;
        file.baseIsBytes = true;
    }
    ProfileDocument doc = ProfileDocument::fromBytes(std::move(bytes));
    assignValues(record, decodeSettings(doc, &file.channelListNotes));
    if (status.ok) {
        file.document = std::move(doc);
    }
    return status;
}

SaveResult saveSettings(SettingsRecord& record, SettingsFile& file, const ConnectionValues& values,
                        const std::vector<ConflictResolution>& choices) {
    SaveResult result;
    if (!file.unreadableReason.empty()) {
        static_cast<Status&>(result) = Status::failure(texts::format(
            texts::kUnreadableNotOverwritten, {file.settingsPath, file.unreadableReason}));
        return result;
    }
    const ConnectionValues taken = values.cutToLimits();
    SettingsValues ours = oursOf(record, taken);

    // The file as it is on disk now (another program may have changed it since it was loaded).
    FileContent theirs;
    const FileContent base{file.baseExists, file.baseBytes};
    if (Status st = readSettledFileBytes(file.filePath, theirs.bytes, theirs.exists,
                                         file.baseIsBytes ? &base : nullptr);
        !st) {
        static_cast<Status&>(result) = st;
        return result;
    }
    FileContent onDisk = theirs;  // what the next replacement expects to take out
    // The other program's settings as far as seen: none while the file is still the base.
    std::optional<SettingsValues> other;
    if (!file.baseIsBytes || theirs != base) {
        // A file removed meanwhile is written anew, not taken as every group removed.
        other = holdsSettings(theirs) || !file.baseExists || file.baseBytes.empty()
                    ? decodeKept(file, theirs.bytes)
                    : baseOf(file);
    }
    bool backedUp = false;
    // What the file holds of ours: the merge last written (or found there already; none when
    // the file had not changed, and ours went in as it is) and its bytes.
    bool holdsOurs = false;
    // An earlier write of this save was without a change of the other program's.
    bool exposed = false;
    std::optional<MergeOutcome> written;
    std::string writtenBytes;
    std::optional<ProfileDocument> writtenDoc;  // the document of writtenBytes
    Status status;
    for (int attempts = 0;; ++attempts) {
        std::optional<MergeOutcome> merge;
        if (other) {
            // Once the file holds our first write, values that only now turn out to be changed
            // on both sides take the file's, and the operator is asked afterwards.
            merge = mergeSettings(baseOf(file), ours, *other, choices,
                                  holdsOurs ? ConflictChoice::TakeFile : ConflictChoice::KeepMine);
            if (!holdsOurs && merge->unresolved()) {
                result.conflicts = std::move(merge->conflicts);
                static_cast<Status&>(result) =
                    Status::failure(describeConflicts(result.conflicts, file.settingsPath));
                return result;
            }
        }
        // Keys and sections of others are kept as the file holds them now (as it held them
        // last, when it is found empty).
        ProfileDocument doc = documentOf(
            file, holdsSettings(theirs) || !file.baseExists ? theirs.bytes : file.baseBytes);
        if (Status st = writeSettings(doc, merge ? merge->merged : ours); !st) {
            static_cast<Status&>(result) = st;
            return result;
        }
        std::string bytes = doc.commitBytes();
        if (theirs.exists && bytes == theirs.bytes && onDisk == theirs) {
            holdsOurs = true;  // the file already holds just this
            written = std::move(merge);
            writtenBytes = std::move(bytes);
            writtenDoc = std::move(doc);
            break;
        }
        if (!backedUp && onDisk.exists && !file.backupDir.empty()) {
            if (Status kept =
                    keepBackup(file.backupDir, file.filePath, onDisk.bytes,
                               file.clock ? file.clock() : std::chrono::system_clock::now());
                !kept) {
                result.warnings.push_back(kept.error);
            }
            backedUp = true;
        }
        Replacement done;
        // The first write is flushed to disk before it takes the file's place; a write that
        // follows another program's (which goes on writing the file) is flushed right after,
        // to give the program less time to write in between.
        status = replaceFile(file.filePath, bytes, &onDisk, done,
                             attempts == 0 ? FlushOrder::BeforePlacing : FlushOrder::AfterPlacing);
        if (done.placed) {
            ++result.writes;
            holdsOurs = true;
            written = std::move(merge);
            writtenBytes = bytes;
            writtenDoc = std::move(doc);
        }
        if (!status.ok) {
            break;
        }
        if (done.placed && done.found == onDisk) {
            // What was replaced is what we merged against. But when an earlier write of this
            // save lacked another program's change, the program may have read that write and
            // may yet put back a copy made from it: such a copy is merged too.
            if (!exposed || !changedWithin(file.filePath, bytes, kLinger, done.found)) {
                break;
            }
            done.placed = false;  // what the file holds now follows, made from our write
            onDisk = FileContent{true, bytes};
        }
        if (done.placed) {
            exposed = true;  // the file held our write without the other program's change
        }
        // Another program wrote the file between our look and the replacement. It made what it
        // wrote from what the file held (onDisk): its changes to that go onto what we know of
        // its settings, even where it builds on our write next, and the merge is made again.
        // (Not placed: found is what the file holds now, made from onDisk.)
        if (holdsSettings(done.found)) {
            other = mergeSettings(onDisk.exists ? decodeBytes(onDisk.bytes) : baseOf(file),
                                  other ? *other : baseOf(file), decodeBytes(done.found.bytes), {},
                                  ConflictChoice::TakeFile)
                        .merged;
        }
        theirs = std::move(done.found);
        onDisk = done.placed ? FileContent{true, std::move(bytes)} : theirs;
        if (attempts + 1 >= kMaxAttempts) {
            status = Status::failure(
                texts::format(holdsOurs ? texts::kKeptBeingWrittenSaved : texts::kKeptBeingWritten,
                              {file.settingsPath, std::to_string(kMaxAttempts)}));
            break;
        }
    }
    static_cast<Status&>(result) = status;
    if (!holdsOurs) {
        return result;  // nothing written: the record and the base stay as they were
    }

    // The file holds the merge (but for what another program wrote after the last write): it is
    // the next base, and the record takes it over.
    remember(file, writtenBytes, true);
    file.document = std::move(writtenDoc);  // stands for the bytes the file holds
    result.saved = true;
    if (!written) {
        result.connection = connectionOf(ours, taken);
        record.dataSource = result.connection.dataSource;
        record.user = ours.user;
        record.password = ours.password;
        record.dataDir = ours.dataDir;
        takeAsBase(file, std::move(ours), std::move(writtenBytes), false);
        return result;
    }
    for (MergeConflict& c : written->conflicts) {
        if (!c.resolved) {
            result.conflicts.push_back(std::move(c));
        }
    }
    SettingsValues nextBase = written->merged;
    keepConflictsOpen(nextBase, ConflictSide::Merged, result.conflicts, baseOf(file));
    takeAsBase(file, std::move(nextBase), std::move(writtenBytes), !result.conflicts.empty());
    // The file holds the other program's values for these; the record keeps the operator's, so
    // that the next save asks.
    keepOurValues(written->merged, result.conflicts, ours);
    result.connection = connectionOf(written->merged, taken);
    written->merged.dataSource = result.connection.dataSource;
    result.takenFromFile = written->takenFromFile;
    assignValues(record, std::move(written->merged));
    return result;
}

RefreshResult refreshFromFile(SettingsRecord& record, SettingsFile& file,
                              const ConnectionValues& values) {
    RefreshResult result;
    result.connection = values;
    if (!file.unreadableReason.empty() || !changedOnDisk(file)) {
        return result;
    }
    FileContent now;
    result.status = readSettledFileBytes(file.filePath, now.bytes, now.exists);
    if (!result.status) {
        return result;
    }
    result.changed = true;
    remember(file, now.bytes, now.exists);
    if (!holdsSettings(now)) {
        return result;  // removed or emptied for a moment: the next save writes it anew
    }
    const ConnectionValues taken = values.cutToLimits();
    SettingsValues theirs = decodeKept(file, now.bytes);
    MergeOutcome merge =
        mergeSettings(baseOf(file), oursOf(record, taken), theirs, {}, ConflictChoice::KeepMine);
    keepConflictsOpen(theirs, ConflictSide::File, merge.conflicts, baseOf(file));
    takeAsBase(file, std::move(theirs), std::move(now.bytes), !merge.conflicts.empty());
    result.conflicts = static_cast<int>(merge.conflicts.size());
    result.takenFromFile = merge.takenFromFile;
    if (merge.takenFromFile > 0) {
        result.connection = connectionOf(merge.merged, taken);
        merge.merged.dataSource = result.connection.dataSource;
        assignValues(record, std::move(merge.merged));
    }
    return result;
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

bool SaveResult::needsChoice() const {
    return !saved && !conflicts.empty();
}

std::string describeConflict(const MergeConflict& c) {
    std::string where = cp1251::toUtf8("[" + c.section + "] " + c.key);
    if (!c.station.empty()) {
        where += texts::format(texts::kConflictStation, {cp1251::toUtf8(c.station)});
    }
    return texts::format(texts::kConflictLine,
                         {where, cp1251::toUtf8(shownConflictValue(c, c.fileValue)),
                          cp1251::toUtf8(shownConflictValue(c, c.ourValue))});
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
