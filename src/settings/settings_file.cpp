#include "settings/settings_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <memory>
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
// After this many attempts that met another program's write, the next are made holding the file
// (HeldFile), where it can be held.
constexpr int kAttemptsBeforeHolding = 2;
// A file written this recently is held from the first attempt.
constexpr std::chrono::milliseconds kJustWritten{1000};
// How long a save tries to hold a file another program has open (one that writes it again and
// again closes it in between).
constexpr std::chrono::milliseconds kHoldPatience{200};
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

// Removes from the section the keys of the channels its list names and the group written into it
// does not have (channelKeysLeftBehind).
void dropKeysLeftBehind(ProfileDocument& doc, ProfileDocument::SectionRef& section,
                        const GroupRecord& group) {
    const std::vector<std::string> listed =
        readChannelList(doc.getString(section, keys::kChan, "", std::string::npos)).codes;
    for (const std::string& key : channelKeysLeftBehind(listed, group)) {
        doc.deleteKey(section, key);
    }
}

// Sets every key the editor owns in doc to the values, removes the keys of channels that left a
// group section, and removes the sections of groups that are gone (up to the first gap).
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
        dropKeysLeftBehind(doc, section, group);
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
SettingsValues decodeKept(SettingsFile& file, const std::string& bytes) {
    ProfileDocument doc = documentOf(file, bytes);
    SettingsValues values = decodeSettings(doc);
    file.document = std::move(doc);
    return values;
}

// The settings of the base, read from its bytes the first time they are needed.
const SettingsValues& baseOf(SettingsFile& file) {
    if (!file.baseDecoded) {
        file.base = decodeBytes(file.baseContent.bytes);
        file.baseDecoded = true;
    }
    return file.base;
}

// Makes values, which the file now holds, the base.
void takeAsBase(SettingsFile& file, SettingsValues values, std::string bytes, bool conflictsOpen) {
    file.base = std::move(values);
    file.baseDecoded = true;
    file.baseIsBytes = !conflictsOpen;
    file.baseContent.exists = true;
    file.baseContent.bytes = std::move(bytes);
}

// Whether what a look found can be another program's settings. A file rewritten in place is
// empty for a moment: like a removed file, an empty one is not taken as everything removed.
bool holdsSettings(const FileContent& content) {
    return content.exists && !content.bytes.empty();
}

// Empties content and gives its memory back (an assignment of an empty one may keep it).
void release(FileContent& content) {
    content.exists = false;
    std::string().swap(content.bytes);
}

// Whether bytes another program wrote end as a whole file does (a file taken out by the
// replacement may have been written into since, and only part of the way).
bool endsAtLineEnd(std::string_view bytes) {
    return !bytes.empty() && bytes.back() == '\n';
}

// Whether the file at path, which holds `ours`, changes within `span` (looked at every few
// milliseconds, compared piece by piece; read whole only once it differs); found is then what it
// holds.
bool changedWithin(const std::string& path, const std::string& ours, std::chrono::milliseconds span,
                   FileContent& found) {
    const auto until = std::chrono::steady_clock::now() + span;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (fileHoldsJust(path, ours)) {
            continue;
        }
        FileContent now;
        if (readSettledFileBytes(path, now.bytes, now.exists, &ours).ok &&
            (!now.exists || now.bytes != ours)) {
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

// --- A save in progress.

// What one attempt of a save builds: the merge (none while the file is still the base: ours then
// goes in as it is), the document with the editor's keys set to it, and the document's bytes
// (held by the document, wherever it moves: no second copy of them).
struct Draft {
    std::optional<MergeOutcome> merge;
    ProfileDocument doc;
    const std::string* bytes = nullptr;
};

// One save, from its first look at the file to the record and the base taking over what was
// written. saveSettings runs its steps in order, and again for each attempt while another
// program writes the file at the same moment; each step leaves the state the next one needs.
class SaveInProgress {
  public:
    SaveInProgress(const SettingsRecord& record, SettingsFile& file, const ConnectionValues& values,
                   const std::vector<ConflictResolution>& choices)
        : file_(file),
          taken_(values.cutToLimits()),
          ours_(oursOf(record, taken_)),
          choices_(choices) {}

    // Read what the file holds now (another program may have changed it since it was loaded),
    // and, when it is no longer the base, the other program's settings in it. False when it
    // cannot be read now, or could not when it was loaded: nothing is written.
    bool readCurrent() {
        if (!file_.unreadableReason.empty()) {
            setStatus(Status::failure(texts::format(texts::kUnreadableNotOverwritten,
                                                    {file_.settingsPath, file_.unreadableReason})));
            return false;
        }
        const FileContent& base = file_.baseContent;
        const bool wholeBase = file_.baseIsBytes && base.exists;
        onDiskApart_.reset();
        if (wholeBase && fileHoldsJust(file_.filePath, base.bytes)) {
            theirsIsBase_ = true;  // still the base: compared piece by piece, not read
            return true;
        }
        // Written a moment ago, by a program that may write it again at any moment (in place,
        // piece by piece): held where it can be, so that none of its writes falls between our
        // look and our write. Otherwise read once it is whole.
        if (writtenWithin(file_.filePath, kJustWritten) &&
            (held_ = HeldFile::take(file_.filePath, kHoldPatience))) {
            theirsOwn_ = held_->takeContent();
        } else if (Status st =
                       readSettledFileBytes(file_.filePath, theirsOwn_.bytes, theirsOwn_.exists,
                                            wholeBase ? &base.bytes : nullptr);
                   !st) {
            setStatus(std::move(st));
            return false;
        }
        const bool sameAsBase = theirsOwn_ == base;
        if (!file_.baseIsBytes || !sameAsBase) {
            // A file removed meanwhile is written anew, not taken as every group removed.
            other_ = holdsSettings(theirsOwn_) || !base.exists || base.bytes.empty()
                         ? decodeKept(file_, theirsOwn_.bytes)
                         : baseOf(file_);
        }
        if (sameAsBase) {
            release(theirsOwn_);  // the base's bytes stand for them
            theirsIsBase_ = true;
        }
        return true;
    }

    // Merge: the operator's settings with the other program's as far as seen (nothing to merge
    // while none are). Until the file holds a write of ours, a value changed on both sides
    // without a choice stops the save: false, with the conflicts in the result and nothing
    // written. Once it does, such a value takes the file's, and the operator is asked afterwards.
    bool merge(std::optional<MergeOutcome>& merge) {
        if (!other_) {
            return true;
        }
        merge = mergeSettings(baseOf(file_), ours_, *other_, choices_,
                              holdsOurs() ? ConflictChoice::TakeFile : ConflictChoice::KeepMine);
        if (holdsOurs() || !merge->unresolved()) {
            return true;
        }
        result_.conflicts = std::move(merge->conflicts);
        setStatus(Status::failure(describeConflicts(result_.conflicts, file_.settingsPath)));
        return false;
    }

    // Build the bytes: the editor's keys set to the merge (or to ours) on the file as last seen,
    // so that keys and sections of others stay as the file holds them (as it held them last,
    // when it is found empty). False when a value cannot be written: nothing more is written.
    bool build(Draft& draft) {
        draft.doc = documentOf(file_, holdsSettings(theirs()) || !file_.baseContent.exists
                                          ? theirs().bytes
                                          : file_.baseContent.bytes);
        if (Status st = writeSettings(draft.doc, draft.merge ? draft.merge->merged : ours_); !st) {
            setStatus(std::move(st));
            return false;
        }
        draft.bytes = &draft.doc.commitBytes();
        return true;
    }

    // Whether the file holds just these bytes already, and is what the next replacement would
    // expect: then nothing needs writing (adopt them as written).
    bool alreadyHolds(const Draft& draft) const {
        return theirs().exists && *draft.bytes == theirs().bytes && onDisk() == theirs();
    }
    void adopt(Draft draft) {
        held_.reset();
        written_ = std::move(draft);
    }

    // Keep the backup: a copy of what the first replacement of the save takes out, once a save.
    // Not keeping it is a warning, no failure.
    void keepBackupOnce() {
        if (backedUp_ || !onDisk().exists || file_.backupDir.empty()) {
            return;
        }
        if (Status kept =
                keepBackup(file_.backupDir, file_.filePath, onDisk().bytes,
                           file_.clock ? file_.clock() : std::chrono::system_clock::now());
            !kept) {
            result_.warnings.push_back(kept.error);
        }
        backedUp_ = true;
    }

    // Replace: the draft takes the file's place if the file still holds what we expect (onDisk);
    // once placed it is what the file holds of ours. The first write is flushed to disk before it
    // takes the file's place; a write that follows another program's (which goes on writing the
    // file) is flushed right after, to give the program less time to write in between. False
    // when the replacement failed (ours may be placed all the same).
    bool replace(Draft draft, bool first, Replacement& done) {
        if (held_) {
            setStatus(
                held_->write(file_.filePath, *draft.bytes, onDisk(), done, file_.recoveryDir));
            held_.reset();
        } else {
            setStatus(replaceFile(file_.filePath, *draft.bytes, &onDisk(), done,
                                  first ? FlushOrder::BeforePlacing : FlushOrder::AfterPlacing,
                                  file_.recoveryDir));
        }
        if (done.placed) {
            ++result_.writes;
            written_ = std::move(draft);
        }
        return result_.ok;
    }

    // Verify: whether the replacement took out just what we merged against, which ends the save.
    // But when an earlier write of this save lacked another program's change, the program may
    // have read that write and may yet put back a copy made from it: the file is watched a
    // moment longer, and such a copy is taken in like any write that came between (done then
    // tells of it: not placed, found made from our write).
    bool verified(Replacement& done) {
        if (!done.placed || done.found != onDisk()) {
            return false;
        }
        if (!exposed_ || !changedWithin(file_.filePath, *written_->bytes, kLinger, done.found)) {
            return true;
        }
        done.placed = false;
        onDiskApart_ = FileContent{true, *written_->bytes};
        return false;
    }

    // Take in a write that came between our look and the replacement. The other program made it
    // from what the file held (onDisk): its changes to that go onto what we know of its
    // settings, even where it builds on our write next, for the next merge. Afterwards theirs is
    // what the file holds now, and onDisk what the next replacement is to take out.
    // False when the file, not taken, cannot be read whole now (the save stops with the reason).
    // With hold, the file is held for the next attempt where it can be (what it holds is whole
    // then, and the next write goes in before the other program can write again).
    bool takeIn(Replacement& done, bool hold) {
        if (done.placed) {
            exposed_ = true;  // the file held our write without the other program's change
        } else if (hold && (held_ = HeldFile::take(file_.filePath, kHoldPatience))) {
            done.found = held_->takeContent();
        } else if (Status st =
                       readSettledFileBytes(file_.filePath, done.found.bytes, done.found.exists);
                   !st) {
            // What the replacement saw may be a write in progress: the file is read again.
            setStatus(std::move(st));
            return false;
        }
        if (holdsSettings(done.found) && (!done.placed || endsAtLineEnd(done.found.bytes))) {
            other_ = mergeSettings(onDisk().exists ? decodeBytes(onDisk().bytes) : baseOf(file_),
                                   other_ ? *other_ : baseOf(file_), decodeBytes(done.found.bytes),
                                   {}, ConflictChoice::TakeFile)
                         .merged;
        }
        theirsOwn_ = std::move(done.found);
        theirsIsBase_ = false;
        if (done.placed) {
            onDiskApart_ = FileContent{true, *written_->bytes};
        } else {
            onDiskApart_.reset();
        }
        return true;
    }

    // The file kept being written by another program through every attempt.
    void giveUp() {
        setStatus(Status::failure(
            texts::format(holdsOurs() ? texts::kKeptBeingWrittenSaved : texts::kKeptBeingWritten,
                          {file_.settingsPath, std::to_string(kMaxAttempts)})));
    }

    // Finish: when the file holds a write of ours (but for what another program wrote after
    // it), that write is the next base, and the record takes it over; otherwise the record and
    // the base stay as they were.
    SaveResult finish(SettingsRecord& record) {
        if (!holdsOurs()) {
            return takeResult();
        }
        // What the file held before is no longer needed: freed before the base takes a copy of
        // what it holds now.
        release(theirsOwn_);
        theirsIsBase_ = false;
        onDiskApart_.reset();
        remember(file_, *written_->bytes, true);
        file_.document = std::move(written_->doc);  // stands for the bytes the file holds
        result_.saved = true;
        if (written_->merge) {
            takeMerge(record, std::move(*written_->merge));
        } else {
            takeOurs(record);
        }
        return takeResult();
    }

    // The result as it stands (a save that ends early returns it so).
    SaveResult takeResult() { return std::move(result_); }

  private:
    bool holdsOurs() const { return written_.has_value(); }
    const FileContent& theirs() const { return theirsIsBase_ ? file_.baseContent : theirsOwn_; }
    const FileContent& onDisk() const { return onDiskApart_ ? *onDiskApart_ : theirs(); }
    void setStatus(Status status) { static_cast<Status&>(result_) = std::move(status); }

    // Ours went in as it is: the record takes the connection values as written.
    void takeOurs(SettingsRecord& record) {
        result_.connection = connectionOf(ours_, taken_);
        record.dataSource = result_.connection.dataSource;
        record.user = ours_.user;
        record.password = ours_.password;
        record.dataDir = ours_.dataDir;
        takeAsBase(file_, std::move(ours_), *written_->bytes, false);
    }

    // The merge went in: it is the next base and the record's, but for conflicts that arose only
    // as the file was being replaced. The file holds the other program's values for those; the
    // record keeps the operator's, and the base the old ones, so that the next save asks.
    void takeMerge(SettingsRecord& record, MergeOutcome merge) {
        for (MergeConflict& c : merge.conflicts) {
            if (!c.resolved) {
                result_.conflicts.push_back(std::move(c));
            }
        }
        SettingsValues nextBase = merge.merged;
        keepConflictsOpen(nextBase, ConflictSide::Merged, result_.conflicts, baseOf(file_));
        takeAsBase(file_, std::move(nextBase), *written_->bytes, !result_.conflicts.empty());
        keepOurValues(merge.merged, result_.conflicts, ours_);
        result_.connection = connectionOf(merge.merged, taken_);
        merge.merged.dataSource = result_.connection.dataSource;
        result_.takenFromFile = merge.takenFromFile;
        result_.taken = merge.taken;
        assignValues(record, std::move(merge.merged));
    }

    SettingsFile& file_;
    const ConnectionValues taken_;  // the connection values, cut to what the file keeps
    SettingsValues ours_;           // what the operator's record writes
    const std::vector<ConflictResolution>& choices_;
    SaveResult result_;
    // What the file held at the last look: merged against, its other keys kept. While that is the
    // base (as it is unless another program wrote the file since the load), the base's bytes
    // stand for it: no copy of them.
    FileContent theirsOwn_;
    bool theirsIsBase_ = false;
    // What the next replacement expects to take out: what the file held at the last look, or,
    // apart from it, a write of ours that was placed.
    std::optional<FileContent> onDiskApart_;
    // The other program's settings as far as seen: none while the file is still the base.
    std::optional<SettingsValues> other_;
    bool backedUp_ = false;
    // An earlier write of this save was without a change of the other program's.
    bool exposed_ = false;
    // What the file holds of ours: the draft last written (or found there already).
    std::optional<Draft> written_;
    // The file held for the attempt under way: nobody else may open it until it is written.
    std::unique_ptr<HeldFile> held_;
};

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
    forbidRenameExchange(!env.renameExchange);
    file.recoveryDir =
        env.stateDir.empty() ? std::string() : joinPath(env.stateDir, "vorda-settings");
    if (Status put = finishInterruptedSave(file.filePath, file.recoveryDir, file.recoveryNotice);
        !put) {
        file.recoveryNotice = put.error;
    }

    std::string bytes;
    bool exists = false;
    // The service may be writing the file this very moment: only a whole one is loaded.
    Status status = readSettledFileBytes(file.filePath, bytes, exists);
    if (!status.ok) {
        // The record still gets its defaults; saving over this file is refused.
        file.unreadableReason = status.error;
        bytes.clear();
    } else {
        remember(file, bytes, exists);
        file.baseContent = FileContent{exists, bytes};
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
    SaveInProgress save(record, file, values, choices);
    if (!save.readCurrent()) {
        return save.takeResult();  // nothing written
    }
    // Each attempt writes the merge with what the file held at the last look; another program
    // writing the file in between makes another attempt, with its write taken in.
    for (int attempts = 0;; ++attempts) {
        Draft draft;
        if (!save.merge(draft.merge) || !save.build(draft)) {
            return save.takeResult();  // the record and the base stay as they were
        }
        if (save.alreadyHolds(draft)) {
            save.adopt(std::move(draft));
            break;
        }
        save.keepBackupOnce();
        Replacement done;
        if (!save.replace(std::move(draft), attempts == 0, done) || save.verified(done)) {
            break;
        }
        if (!save.takeIn(done, attempts + 1 >= kAttemptsBeforeHolding)) {
            break;
        }
        if (attempts + 1 >= kMaxAttempts) {
            save.giveUp();
            break;
        }
    }
    return save.finish(record);
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
    result.taken = merge.taken;
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

std::string fileChangesNotice(const TakenFromFile& taken, int conflicts) {
    std::string what;
    const auto add = [&](int n, texts::Text one, texts::Text few, texts::Text many) {
        if (n > 0) {
            what += (what.empty() ? "" : ", ") + texts::counted(n, one, few, many);
        }
    };
    add(taken.values, texts::kValueOne, texts::kValueFew, texts::kValueMany);
    add(taken.channels, texts::kChannelOne, texts::kChannelFew, texts::kChannelMany);
    add(taken.groups, texts::kGroupOne, texts::kGroupFew, texts::kGroupMany);
    if (conflicts > 0) {
        return what.empty()
                   ? texts::format(texts::kFileChangedAsk, {std::to_string(conflicts)})
                   : texts::format(texts::kFileRefreshedAsk, {what, std::to_string(conflicts)});
    }
    return what.empty() ? std::string() : texts::format(texts::kFileRefreshed, {what});
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

std::vector<std::string> channelKeysLeftBehind(const std::vector<std::string>& listedCodes,
                                               const GroupRecord& group) {
    const auto writtenByGroup = [&](std::string_view key) {
        const auto same = [&](std::string_view name) {
            return ProfileDocument::sameKeyName(key, name);
        };
        return std::any_of(keys::kGroupKeys.begin(), keys::kGroupKeys.end(), same) ||
               std::any_of(group.channels.begin(), group.channels.end(),
                           [&](const ChannelRecord& c) {
                               return same(c.code) || same(keys::fileKey(c.code));
                           });
    };
    std::vector<std::string> left;
    for (const std::string& code : listedCodes) {
        // A code the code rules refuse was never written by the editor: its keys are not ours.
        const bool kept =
            !checkCode(CodeKind::Channel, code) ||
            std::any_of(group.channels.begin(), group.channels.end(),
                        [&](const ChannelRecord& c) { return sameChannelCode(c.code, code); });
        if (kept) {
            continue;
        }
        for (std::string key : {code, keys::fileKey(code)}) {
            const bool listed = std::any_of(left.begin(), left.end(), [&](const std::string& k) {
                return ProfileDocument::sameKeyName(k, key);
            });
            if (!listed && !writtenByGroup(key)) {
                left.push_back(std::move(key));
            }
        }
    }
    return left;
}

SettingsFile& settingsFile() {
    static SettingsFile file;
    return file;
}

}  // namespace vorda
