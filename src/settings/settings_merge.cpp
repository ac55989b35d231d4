#include "settings/settings_merge.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/cp1251.h"
#include "platform/text.h"
#include "resources/texts.h"
#include "settings/code_rules.h"
#include "settings/settings_keys.h"

namespace vorda {
namespace {

constexpr int kNone = -1;

// --- Fields: where each value lives and how the file writes it.

bool isChannelField(MergeField f) {
    return f == MergeField::ChannelTime || f == MergeField::ChannelFile;
}
bool isGroupField(MergeField f) {
    return f == MergeField::GroupSizeMb || f == MergeField::GroupSps;
}

std::string_view sectionOf(MergeField f) {
    switch (f) {
        case MergeField::LogDir:
            return keys::kLog;
        case MergeField::DataSource:
        case MergeField::User:
        case MergeField::Password:
            return keys::kDatabase;
        case MergeField::DataDir:
            return keys::kData;
        default:
            return keys::kSystem;
    }
}

std::string_view keyOf(MergeField f) {
    switch (f) {
        case MergeField::Server:
            return keys::kServer;
        case MergeField::DetailMode:
            return keys::kMode;
        case MergeField::ShowScreen:
            return keys::kScreen;
        case MergeField::SizeMb:
        case MergeField::GroupSizeMb:
            return keys::kSizeMb;
        case MergeField::LogDir:
        case MergeField::DataDir:
            return keys::kDir;
        case MergeField::DataSource:
            return keys::kOdbc;
        case MergeField::User:
            return keys::kUser;
        case MergeField::Password:
            return keys::kPassword;
        case MergeField::GroupSps:
            return keys::kSps;
        case MergeField::ChannelTime:
        case MergeField::ChannelFile:
        case MergeField::GroupPresence:
        case MergeField::ChannelPresence:
            break;
    }
    return {};
}

// The text or the number behind a system field (one of them is nullptr); Values is
// SettingsValues or const SettingsValues.
template <typename Values>
auto textField(Values& v, MergeField f) -> decltype(&v.server) {
    switch (f) {
        case MergeField::Server:
            return &v.server;
        case MergeField::LogDir:
            return &v.logDir;
        case MergeField::DataSource:
            return &v.dataSource;
        case MergeField::User:
            return &v.user;
        case MergeField::Password:
            return &v.password;
        case MergeField::DataDir:
            return &v.dataDir;
        default:
            return nullptr;
    }
}

template <typename Values>
auto numberField(Values& v, MergeField f) -> decltype(&v.sizeMb) {
    switch (f) {
        case MergeField::DetailMode:
            return &v.detailMode;
        case MergeField::ShowScreen:
            return &v.showScreen;
        case MergeField::SizeMb:
            return &v.sizeMb;
        default:
            return nullptr;
    }
}

// The value at (group, channel) of field f, as the file writes it.
std::string fieldText(const SettingsValues& v, int group, int channel, MergeField f) {
    if (isChannelField(f)) {
        const ChannelRecord& c = v.groups.at(group).channels.at(channel);
        return f == MergeField::ChannelTime ? std::to_string(c.lastTime) : c.fileName;
    }
    if (isGroupField(f)) {
        const GroupRecord& g = v.groups.at(group);
        return std::to_string(f == MergeField::GroupSps ? g.sps : g.sizeMb);
    }
    if (const std::string* text = textField(v, f)) {
        return *text;
    }
    const std::int32_t n = *numberField(v, f);
    if (f == MergeField::DetailMode) {
        return n != 0 ? "detail" : "silent";
    }
    if (f == MergeField::ShowScreen) {
        return n != 0 ? "full" : "hide";
    }
    return std::to_string(n);
}

void copyField(SettingsValues& to, int toGroup, int toChannel, const SettingsValues& from,
               int fromGroup, int fromChannel, MergeField f) {
    const SettingsValues& src = from;
    if (isChannelField(f)) {
        ChannelRecord& target = to.groups.at(toGroup).channels.at(toChannel);
        const ChannelRecord& source = src.groups.at(fromGroup).channels.at(fromChannel);
        if (f == MergeField::ChannelTime) {
            target.lastTime = source.lastTime;
        } else {
            target.fileName = source.fileName;
        }
    } else if (isGroupField(f)) {
        GroupRecord& target = to.groups.at(toGroup);
        const GroupRecord& source = src.groups.at(fromGroup);
        if (f == MergeField::GroupSps) {
            target.sps = source.sps;
        } else {
            target.sizeMb = source.sizeMb;
        }
    } else if (std::string* text = textField(to, f)) {
        *text = *textField(src, f);
    } else {
        *numberField(to, f) = *numberField(src, f);
    }
}

// Puts a group back into v as near `position` as its use allows: among the groups in use (and
// one more of them) when inUse, else after them.
void restoreGroup(SettingsValues& v, const GroupRecord& group, bool inUse, std::size_t position) {
    const auto shown =
        static_cast<std::size_t>(std::clamp(v.groupCount, 0, static_cast<int>(v.groups.size())));
    const std::size_t at =
        inUse ? std::min(position, shown) : std::clamp(position, shown, v.groups.size());
    v.groups.insertAt(at, group);
    if (inUse) {
        v.groupCount = static_cast<std::int32_t>(shown) + 1;
    }
}

// --- Pairing the items of two lists: groups by station, channels by code.

// The positions of the items of one key, on each side.
struct KeyedPositions {
    std::vector<int> as;
    std::vector<int> bs;
};

// The items of `a` at the positions aAt by key, each with the items of `b` among bAt of the same
// key (an item of `b` whose key no item of `a` has is left out).
template <typename Item, typename KeyOf>
std::unordered_map<std::string, KeyedPositions> positionsByKey(const std::vector<Item>& a,
                                                               const std::vector<int>& aAt,
                                                               const std::vector<Item>& b,
                                                               const std::vector<int>& bAt,
                                                               KeyOf keyOf) {
    std::unordered_map<std::string, KeyedPositions> byKey;
    for (const int i : aAt) {
        byKey[keyOf(a[i])].as.push_back(i);
    }
    for (const int j : bAt) {
        auto found = byKey.find(keyOf(b[j]));
        if (found != byKey.end()) {
            found->second.bs.push_back(j);
        }
    }
    return byKey;
}

// Items of one key that may pair, a's at `as` with b's at `bs`: the pairs that share anything
// (score above 0), those that share most first, in order among equals. Marks the items paired.
template <typename Item, typename Score>
void pairByScore(const std::vector<Item>& a, const std::vector<Item>& b, const KeyedPositions& at,
                 Score score, std::vector<bool>& aUsed, std::vector<bool>& bUsed,
                 std::vector<int>& partner) {
    struct Candidate {
        int shared;
        std::size_t ai;
        std::size_t bi;
    };
    std::vector<Candidate> candidates;
    for (std::size_t ai = 0; ai < at.as.size(); ++ai) {
        for (std::size_t bi = 0; bi < at.bs.size(); ++bi) {
            if (const int shared = score(a[at.as[ai]], b[at.bs[bi]]); shared > 0) {
                candidates.push_back({shared, ai, bi});
            }
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& x, const Candidate& y) { return x.shared > y.shared; });
    for (const Candidate& c : candidates) {
        if (!aUsed[c.ai] && !bUsed[c.bi]) {
            aUsed[c.ai] = bUsed[c.bi] = true;
            partner[at.as[c.ai]] = at.bs[c.bi];
        }
    }
}

// The items of one key that pairByScore left unpaired: each of a's in order with the next of b's,
// while b has any.
void pairRestInOrder(const KeyedPositions& at, const std::vector<bool>& aUsed,
                     std::vector<bool>& bUsed, std::vector<int>& partner) {
    std::size_t next = 0;
    for (std::size_t ai = 0; ai < at.as.size(); ++ai) {
        if (aUsed[ai]) {
            continue;
        }
        while (next < at.bs.size() && bUsed[next]) {
            ++next;
        }
        if (next == at.bs.size()) {
            break;
        }
        bUsed[next] = true;
        partner[at.as[ai]] = at.bs[next];
    }
}

// For each item of `a` at the positions aAt, the position in `b` of its partner among bAt, or
// kNone. Items pair only with items of the same key; where a key has several items on both
// sides, the pairs that share most (score) go first, then the rest in order.
template <typename Item, typename KeyOf, typename Score>
std::vector<int> pairItems(const std::vector<Item>& a, const std::vector<int>& aAt,
                           const std::vector<Item>& b, const std::vector<int>& bAt, KeyOf keyOf,
                           Score score) {
    std::vector<int> partner(a.size(), kNone);
    for (const auto& [key, at] : positionsByKey(a, aAt, b, bAt, keyOf)) {
        if (at.bs.empty()) {
            continue;
        }
        if (at.as.size() == 1 && at.bs.size() == 1) {
            partner[at.as[0]] = at.bs[0];
            continue;
        }
        std::vector<bool> aUsed(at.as.size());
        std::vector<bool> bUsed(at.bs.size());
        pairByScore(a, b, at, score, aUsed, bUsed, partner);
        pairRestInOrder(at, aUsed, bUsed, partner);
    }
    return partner;
}

std::vector<int> allPositions(std::size_t n) {
    std::vector<int> at(n);
    for (std::size_t i = 0; i < n; ++i) {
        at[i] = static_cast<int>(i);
    }
    return at;
}

// The key of a channel: its code with the Latin letters in upper case (sameChannelCode).
std::string channelKey(const ChannelRecord& c) {
    return upperAscii(c.code);
}

std::string groupKey(const GroupRecord& g) {
    return g.station;
}

int sharedChannels(const GroupRecord& x, const GroupRecord& y) {
    int shared = 0;
    for (const ChannelRecord& c : x.channels) {
        for (const ChannelRecord& d : y.channels) {
            if (sameChannelCode(c.code, d.code)) {
                ++shared;
                break;
            }
        }
    }
    return shared;
}

int noScore(const ChannelRecord&, const ChannelRecord&) {
    return 0;
}

// Pairs by code where both lists hold the same codes in the same order (the usual case).
bool sameCodesInOrder(const std::vector<ChannelRecord>& a, const std::vector<ChannelRecord>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].code != b[i].code) {
            return false;
        }
    }
    return true;
}

// The pairs of groups, and of the channels of two groups, among the items at the positions given.
std::vector<int> pairGroupsAt(const std::vector<GroupRecord>& a, const std::vector<int>& aAt,
                              const std::vector<GroupRecord>& b, const std::vector<int>& bAt) {
    return pairItems(a, aAt, b, bAt, groupKey, sharedChannels);
}

std::vector<int> pairChannelsAt(const std::vector<ChannelRecord>& x, const std::vector<int>& xAt,
                                const std::vector<ChannelRecord>& y, const std::vector<int>& yAt) {
    if (xAt.size() == x.size() && yAt.size() == y.size() && sameCodesInOrder(x, y)) {
        return allPositions(x.size());
    }
    return pairItems(x, xAt, y, yAt, channelKey, noScore);
}

// --- The structure of one list (the groups, or one group's channels): which items the result
// holds, in which order, and where each comes from.

struct Entry {
    int base = kNone;
    int ours = kNone;
    int theirs = kNone;
};

struct Structure {
    std::vector<Entry> entries;
    int takenFromFile = 0;  // items the other side added or removed
};

// Whether the other side's removal of the base item at b, which is at o on the operator's side,
// stands: the operator left it alone, or the conflict's choice removes it.
template <typename Unchanged, typename KeepRemoved>
bool removalStands(int b, int o, Unchanged& unchanged, KeepRemoved& keepRemoved) {
    return unchanged(b, o) || !keepRemoved(b, o);
}

// unchanged(b, o): whether the operator left the base item at b as it is at o. keepRemoved(b, o):
// whether an item the other side removed and the operator changed stays (a conflict).
template <typename Item, typename Pair, typename Unchanged, typename KeepRemoved>
Structure mergeStructure(const std::vector<Item>& base, const std::vector<Item>& ours,
                         const std::vector<Item>& theirs, Pair pair, Unchanged unchanged,
                         KeepRemoved keepRemoved) {
    const std::vector<int> baseOfOurs =
        pair(ours, allPositions(ours.size()), base, allPositions(base.size()));
    const std::vector<int> baseOfTheirs =
        pair(theirs, allPositions(theirs.size()), base, allPositions(base.size()));
    std::vector<int> theirsOfBase(base.size(), kNone);
    std::vector<int> newInTheirs;
    for (std::size_t t = 0; t < theirs.size(); ++t) {
        if (baseOfTheirs[t] != kNone) {
            theirsOfBase[baseOfTheirs[t]] = static_cast<int>(t);
        } else {
            newInTheirs.push_back(static_cast<int>(t));
        }
    }
    std::vector<int> newInOurs;
    for (std::size_t o = 0; o < ours.size(); ++o) {
        if (baseOfOurs[o] == kNone) {
            newInOurs.push_back(static_cast<int>(o));
        }
    }
    // Added on both sides: the same item, once.
    const std::vector<int> theirsOfNew = pair(ours, newInOurs, theirs, newInTheirs);
    std::vector<bool> theirsPlaced(theirs.size(), false);

    Structure s;
    for (std::size_t o = 0; o < ours.size(); ++o) {
        const int b = baseOfOurs[o];
        const int t = b != kNone ? theirsOfBase[b] : theirsOfNew[o];
        if (b != kNone && t == kNone &&
            removalStands(b, static_cast<int>(o), unchanged, keepRemoved)) {
            ++s.takenFromFile;  // the other side removed it: left alone, or its removal chosen
            continue;
        }
        if (t != kNone) {
            theirsPlaced[t] = true;
        }
        s.entries.push_back({b, static_cast<int>(o), t});
    }
    // What the other side added goes after what precedes it there (first when nothing does).
    for (std::size_t t = 0; t < theirs.size(); ++t) {
        if (theirsPlaced[t] || baseOfTheirs[t] != kNone) {
            continue;  // placed with the operator's item, or deleted by the operator
        }
        std::size_t at = 0;
        for (std::size_t e = s.entries.size(); e-- > 0;) {
            if (s.entries[e].theirs != kNone && s.entries[e].theirs < static_cast<int>(t)) {
                at = e + 1;
                break;
            }
        }
        s.entries.insert(s.entries.begin() + static_cast<std::ptrdiff_t>(at),
                         Entry{kNone, kNone, static_cast<int>(t)});
        theirsPlaced[t] = true;
        ++s.takenFromFile;
    }
    return s;
}

// --- The merge itself.

class Merger {
  public:
    Merger(const SettingsValues& base, const SettingsValues& ours, const SettingsValues& theirs,
           const std::vector<ConflictResolution>& choices, ConflictChoice unresolvedTake,
           MergeOutcome& out)
        : base_(base),
          ours_(ours),
          theirs_(theirs),
          choices_(choices),
          unresolvedTake_(unresolvedTake),
          out_(out) {}

    void run() {
        SettingsValues& m = out_.merged;
        for (const MergeField f :
             {MergeField::Server, MergeField::DetailMode, MergeField::ShowScreen,
              MergeField::SizeMb, MergeField::LogDir, MergeField::DataSource, MergeField::User,
              MergeField::Password, MergeField::DataDir}) {
            if (std::string* text = textField(m, f)) {
                *text = pick(textField(base_, f), *textField(ours_, f), *textField(theirs_, f),
                             Place{f});
            } else {
                *numberField(m, f) = pick(numberField(base_, f), *numberField(ours_, f),
                                          *numberField(theirs_, f), Place{f});
            }
        }
        mergeGroups();
    }

  private:
    // Where a value stands on each side, for the conflict it may become.
    struct Place {
        MergeField field;
        int baseGroup = kNone;
        int oursGroup = kNone;
        int theirsGroup = kNone;
        int mergedGroup = kNone;
        int baseChannel = kNone;
        int oursChannel = kNone;
        int theirsChannel = kNone;
        int mergedChannel = kNone;
    };

    template <typename V>
    V pick(const V* b, const V& o, const V& t, const Place& at) {
        if (o == t) {
            return o;
        }
        if (b != nullptr && o == *b) {
            ++out_.taken.values;
            return t;
        }
        if (b != nullptr && t == *b) {
            return o;
        }
        MergeConflict c = conflictAt(at);
        c.fileValue = fieldText(theirs_, at.theirsGroup, at.theirsChannel, at.field);
        c.ourValue = fieldText(ours_, at.oursGroup, at.oursChannel, at.field);
        c.hadBase = b != nullptr;
        return settle(std::move(c)) == ConflictChoice::TakeFile ? t : o;
    }

    // A group or channel the other side removed and the operator changed: whether it stays.
    bool keepRemoved(const Place& at) {
        const bool group = at.field == MergeField::GroupPresence;
        MergeConflict c = conflictAt(at);
        c.fileValue = cp1251::fromUtf8Lossy(group ? texts::kGroupRemoved : texts::kChannelRemoved);
        c.ourValue = cp1251::fromUtf8Lossy(group ? texts::kGroupChanged : texts::kChannelChanged);
        return settle(std::move(c)) == ConflictChoice::KeepMine;
    }

    // The conflict of the value at `at`: where it stands and how the file names it.
    MergeConflict conflictAt(const Place& at) const {
        MergeConflict c;
        c.value = {at.field, at.oursGroup, at.oursChannel};
        c.section = sectionOf(at.field);
        c.key = keyOf(at.field);
        if (at.oursGroup != kNone) {
            const GroupRecord& g = ours_.groups.at(at.oursGroup);
            c.section = keys::groupSection(at.oursGroup + 1);
            c.station = g.station;
            if (at.oursChannel != kNone) {
                c.channel = g.channels.at(at.oursChannel).code;
                c.key = at.field == MergeField::ChannelFile ? keys::fileKey(c.channel) : c.channel;
            }
        }
        c.baseGroup = at.baseGroup;
        c.baseChannel = at.baseChannel;
        c.fileGroup = at.theirsGroup;
        c.fileChannel = at.theirsChannel;
        c.mergedGroup = at.mergedGroup;
        c.mergedChannel = at.mergedChannel;
        return c;
    }

    // Records the conflict with the side chosen for it (unresolvedTake's without a choice).
    ConflictChoice settle(MergeConflict c) {
        ConflictChoice choice = unresolvedTake_;
        for (const ConflictResolution& r : choices_) {
            if (r.value == c.value) {
                choice = r.choice;
                c.resolved = true;
            }
        }
        out_.conflicts.push_back(std::move(c));
        return choice;
    }

    static int shownCount(const SettingsValues& v) {
        return std::clamp(v.groupCount, 0, static_cast<int>(v.groups.size()));
    }

    void mergeGroups() {
        const auto& base = base_.groups.items();
        const auto& ours = ours_.groups.items();
        const auto& theirs = theirs_.groups.items();
        const int baseShown = shownCount(base_);
        const int oursShown = shownCount(ours_);
        const int theirsShown = shownCount(theirs_);

        Structure s = mergeStructure(
            base, ours, theirs, pairGroupsAt,
            [&](int b, int o) {
                // The same group, in use or not as it was.
                return base[b] == ours[o] && (b < baseShown) == (o < oursShown);
            },
            [&](int b, int o) {
                return keepRemoved(Place{MergeField::GroupPresence, b, o});
            });
        out_.taken.groups += s.takenFromFile;

        // In use or not, merged like a value; those in use go first, in their order.
        std::vector<std::pair<Entry, bool>> placed;
        placed.reserve(s.entries.size());
        for (const Entry& e : s.entries) {
            bool inUse = false;
            if (e.ours == kNone) {
                inUse = e.theirs < theirsShown;
            } else if (e.theirs == kNone) {
                inUse = e.ours < oursShown;
            } else {
                const bool o = e.ours < oursShown;
                const bool t = e.theirs < theirsShown;
                if (o == t || e.base == kNone) {
                    inUse = o;
                } else {
                    inUse = (e.base < baseShown) == o ? t : o;
                }
            }
            placed.emplace_back(e, inUse);
        }
        std::stable_partition(placed.begin(), placed.end(), [](const auto& p) { return p.second; });

        SettingsValues& m = out_.merged;
        m.groups.items().reserve(placed.size());
        m.groupCount = 0;
        for (const auto& [e, inUse] : placed) {
            if (inUse) {
                ++m.groupCount;
            }
            const int at = static_cast<int>(m.groups.size());
            if (e.ours == kNone) {
                m.groups.append(theirs[e.theirs]);
            } else if (e.theirs == kNone) {
                m.groups.append(ours[e.ours]);
            } else {
                m.groups.append(mergeGroup(e, at));
            }
        }
    }

    GroupRecord mergeGroup(const Entry& e, int mergedAt) {
        const GroupRecord* b = e.base != kNone ? &base_.groups.at(e.base) : nullptr;
        const GroupRecord& o = ours_.groups.at(e.ours);
        const GroupRecord& t = theirs_.groups.at(e.theirs);
        Place at{MergeField::GroupSizeMb, e.base, e.ours, e.theirs, mergedAt};
        GroupRecord g;
        g.station = o.station;
        g.sizeMb = pick(b != nullptr ? &b->sizeMb : nullptr, o.sizeMb, t.sizeMb, at);
        at.field = MergeField::GroupSps;
        g.sps = pick(b != nullptr ? &b->sps : nullptr, o.sps, t.sps, at);

        static const std::vector<ChannelRecord> kNoChannels;
        const auto& bc = b != nullptr ? b->channels.items() : kNoChannels;
        const auto& oc = o.channels.items();
        const auto& tc = t.channels.items();
        Structure s = mergeStructure(
            bc, oc, tc, pairChannelsAt, [&](int b, int o) { return bc[b] == oc[o]; },
            [&](int cb, int co) {
                Place removed = at;
                removed.field = MergeField::ChannelPresence;
                removed.baseChannel = cb;
                removed.oursChannel = co;
                return keepRemoved(removed);
            });
        out_.taken.channels += s.takenFromFile;
        g.channels.items().reserve(s.entries.size());
        for (const Entry& ce : s.entries) {
            if (ce.ours == kNone) {
                g.channels.append(tc[ce.theirs]);
                continue;
            }
            if (ce.theirs == kNone) {
                g.channels.append(oc[ce.ours]);
                continue;
            }
            const ChannelRecord* cb = ce.base != kNone ? &bc[ce.base] : nullptr;
            const ChannelRecord& co = oc[ce.ours];
            const ChannelRecord& ct = tc[ce.theirs];
            Place cat = at;
            cat.field = MergeField::ChannelTime;
            cat.baseChannel = ce.base;
            cat.oursChannel = ce.ours;
            cat.theirsChannel = ce.theirs;
            cat.mergedChannel = static_cast<int>(g.channels.size());
            ChannelRecord c;
            c.code = co.code;
            c.lastTime =
                pick(cb != nullptr ? &cb->lastTime : nullptr, co.lastTime, ct.lastTime, cat);
            cat.field = MergeField::ChannelFile;
            c.fileName =
                pick(cb != nullptr ? &cb->fileName : nullptr, co.fileName, ct.fileName, cat);
            g.channels.append(std::move(c));
        }
        return g;
    }

    const SettingsValues& base_;
    const SettingsValues& ours_;
    const SettingsValues& theirs_;
    const std::vector<ConflictResolution>& choices_;
    ConflictChoice unresolvedTake_;
    MergeOutcome& out_;
};

}  // namespace

bool MergeOutcome::unresolved() const {
    return std::any_of(conflicts.begin(), conflicts.end(),
                       [](const MergeConflict& c) { return !c.resolved; });
}

MergeOutcome mergeSettings(const SettingsValues& base, const SettingsValues& ours,
                           const SettingsValues& theirs,
                           const std::vector<ConflictResolution>& choices,
                           ConflictChoice unresolvedTake) {
    MergeOutcome out;
    Merger(base, ours, theirs, choices, unresolvedTake, out).run();
    out.takenFromFile = out.taken.total();
    return out;
}

void keepConflictsOpen(SettingsValues& nextBase, ConflictSide nextBaseIs,
                       const std::vector<MergeConflict>& conflicts, const SettingsValues& base) {
    const bool merged = nextBaseIs == ConflictSide::Merged;
    std::vector<std::pair<int, int>> addedOnBothSides;  // (group, channel or kNone) in nextBase
    std::vector<const MergeConflict*> removedGroups;
    for (const MergeConflict& c : conflicts) {
        if (c.resolved) {
            continue;
        }
        const int group = merged ? c.mergedGroup : c.fileGroup;
        const int channel = merged ? c.mergedChannel : c.fileChannel;
        if (c.value.field == MergeField::GroupPresence) {
            removedGroups.push_back(&c);
        } else if (c.value.field == MergeField::ChannelPresence) {
            // Back at the end of its group: channels pair by code, wherever they stand.
            nextBase.groups.at(group).channels.append(
                base.groups.at(c.baseGroup).channels.at(c.baseChannel));
        } else if (!c.hadBase) {
            addedOnBothSides.emplace_back(group, c.baseGroup == kNone ? kNone : channel);
        } else {
            copyField(nextBase, group, channel, base, c.baseGroup, c.baseChannel, c.value.field);
        }
    }
    // Channels before their groups, later positions first, so that each position still holds.
    std::sort(addedOnBothSides.begin(), addedOnBothSides.end(), std::greater<>());
    addedOnBothSides.erase(std::unique(addedOnBothSides.begin(), addedOnBothSides.end()),
                           addedOnBothSides.end());
    for (const auto& [group, channel] : addedOnBothSides) {
        if (channel != kNone) {
            nextBase.groups.at(group).channels.removeAt(static_cast<std::size_t>(channel));
            continue;
        }
        nextBase.groups.removeAt(static_cast<std::size_t>(group));
        if (group < nextBase.groupCount) {
            --nextBase.groupCount;
        }
    }
    // Back in use (placed below the count) when it was.
    const int baseShown = std::clamp(base.groupCount, 0, static_cast<int>(base.groups.size()));
    for (const MergeConflict* c : removedGroups) {
        restoreGroup(nextBase, base.groups.at(c->baseGroup), c->baseGroup < baseShown,
                     nextBase.groups.size());
    }
}

void keepOurValues(SettingsValues& merged, const std::vector<MergeConflict>& conflicts,
                   const SettingsValues& ours) {
    std::vector<const MergeConflict*> removedGroups;
    for (const MergeConflict& c : conflicts) {
        if (c.resolved) {
            continue;
        }
        if (c.value.field == MergeField::GroupPresence) {
            removedGroups.push_back(&c);
        } else if (c.value.field == MergeField::ChannelPresence) {
            auto& channels = merged.groups.at(c.mergedGroup).channels;
            channels.insertAt(std::min(static_cast<std::size_t>(c.value.channel), channels.size()),
                              ours.groups.at(c.value.group).channels.at(c.value.channel));
        } else {
            copyField(merged, c.mergedGroup, c.mergedChannel, ours, c.value.group, c.value.channel,
                      c.value.field);
        }
    }
    // Near the operator's position, in the operator's order.
    const int oursShown = std::clamp(ours.groupCount, 0, static_cast<int>(ours.groups.size()));
    std::sort(removedGroups.begin(), removedGroups.end(),
              [](const MergeConflict* x, const MergeConflict* y) {
                  return x->value.group < y->value.group;
              });
    for (const MergeConflict* c : removedGroups) {
        restoreGroup(merged, ours.groups.at(c->value.group), c->value.group < oursShown,
                     static_cast<std::size_t>(c->value.group));
    }
}

std::vector<int> pairGroups(const std::vector<GroupRecord>& from,
                            const std::vector<GroupRecord>& to) {
    return pairGroupsAt(from, allPositions(from.size()), to, allPositions(to.size()));
}

std::vector<int> pairChannels(const std::vector<ChannelRecord>& from,
                              const std::vector<ChannelRecord>& to) {
    return pairChannelsAt(from, allPositions(from.size()), to, allPositions(to.size()));
}

std::string shownConflictValue(const MergeConflict& conflict, const std::string& value) {
    return conflict.value.field == MergeField::Password ? std::string(texts::kHiddenValue) : value;
}

}  // namespace vorda
