#pragma once
// The in-memory settings of one settings file: system values, database and directory values,
// and the ordered acquisition groups with their channels. Texts are code page 1251 bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vorda {

// An ordered array of plain values. Callers keep every index within 0 to size - 1 (insert also
// takes size).
template <typename T>
class OrderedArray {
  public:
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    T getAt(std::size_t i) const { return items_.at(i); }
    T& at(std::size_t i) { return items_.at(i); }
    const T& at(std::size_t i) const { return items_.at(i); }
    void setAt(std::size_t i, T value) { items_.at(i) = std::move(value); }
    std::size_t append(T value) {
        items_.push_back(std::move(value));
        return items_.size() - 1;
    }
    void insertAt(std::size_t i, T value) {
        items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(i), std::move(value));
    }
    void removeAt(std::size_t i) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i)); }
    void removeAll() { items_.clear(); }

    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }
    std::vector<T>& items() { return items_; }
    const std::vector<T>& items() const { return items_; }

    bool operator==(const OrderedArray&) const = default;

  private:
    std::vector<T> items_;
};

struct ChannelRecord {
    std::string code;
    std::int32_t lastTime = 0;
    std::string fileName;

    bool operator==(const ChannelRecord&) const = default;
};

struct GroupRecord {
    std::string station;
    OrderedArray<ChannelRecord> channels;
    std::int32_t sizeMb = 0;
    std::int32_t sps = 0;

    bool operator==(const GroupRecord&) const = default;
};

// The most groups the settings file holds.
inline constexpr int kMaxGroups = 256;

// A group's channel list (the codes joined with ",") is read as at most this many characters;
// channels beyond it would be lost at the next load.
inline constexpr std::size_t kChannelListLimit = 511;

// The length of the group's channel list as the settings file writes it.
inline std::size_t channelListLength(const GroupRecord& group) {
    if (group.channels.empty()) {
        return 0;
    }
    std::size_t length = group.channels.size() - 1;  // the commas
    for (const ChannelRecord& channel : group.channels) {
        length += channel.code.size();
    }
    return length;
}

// Everything a record holds, field for field. Besides the record itself, copies of it serve as
// what the settings file held when it was read or written (the base that a save merges against),
// or what a merge gives. The record is never copied; these copies live beside it.
struct SettingsValues {
    std::int32_t sizeMb = 0;
    std::int32_t detailMode = 0;
    std::int32_t showScreen = 0;
    std::int32_t groupCount = 0;
    std::string server;
    std::string dataSource;
    std::string user;
    std::string password;
    std::string dataDir;
    std::string logDir;
    OrderedArray<GroupRecord> groups;

    bool operator==(const SettingsValues&) const = default;
};

// The settings of the program: the values above, held once.
class SettingsRecord : public SettingsValues {
  public:
    SettingsRecord() = default;
    virtual ~SettingsRecord() = default;
    SettingsRecord(const SettingsRecord&) = delete;
    SettingsRecord& operator=(const SettingsRecord&) = delete;
};

SettingsValues settingsValuesOf(const SettingsRecord& record);
// Sets every field of the record to the values'.
void assignValues(SettingsRecord& record, SettingsValues values);

// The one settings record of the program.
SettingsRecord& settingsRecord();

}  // namespace vorda
