#pragma once
// The dialog that adds a group with its first channel, adds a channel to a group, or changes a
// channel, offering the station and channel codes of the database. Accepted means it has
// written the settings record; any other result means it has changed nothing.
//
// Modes (insertPosition, groupIndex, channelIndex):
//   add a channel to group g:      (g, g, -1)
//   add a group at position g:     (g or -1, -1, -1)
//   change channel k of group g:   (g, g, k)
//
// Constructing the dialog fills its fields from the record and touches no database. prepare(),
// run once before the dialog is shown, connects with the connection values as they stand and
// lists the stations of the database and the channels of the chosen station; the connection is
// closed when the dialog goes. The station and channel boxes are editable: the code used is the
// box's text, picked or typed, so a channel can be added while the database cannot be reached.
// While prepare() waits for the database the windows keep painting, so the caller keeps the
// record's groups where they are until the dialog has closed (the group index stays valid).
//
// In the two adding modes a check box adds every channel the database lists for the station at
// once (a new group with all of them, or those the group lacks), each with its proposed file name
// and the one last time entered; the list goes in whole or not at all.
//
// Controls by object name: stationBox, channelBox, allChannelsBox, spsEdit, unixRadio,
// calendarRadio, lastTimeEdit, sizeEdit, fileNameEdit, noteLabel, okButton, cancelButton.
#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorda {

struct ChannelRecord;
struct DataFileCheck;
struct RuleCheck;

class ChannelDialog : public QDialog {
    Q_OBJECT
  public:
    enum class Mode { AddGroup, AddChannel, ChangeChannel };

    ChannelDialog(int insertPosition, int groupIndex, int channelIndex, QWidget* parent = nullptr);
    ~ChannelDialog() override;

    Mode mode() const { return mode_; }

    // Connects and fills the station and channel lists from the database, showing what went
    // wrong (the connection's own box, a failed query, a stored code the database does not
    // list). True when the database listed its stations; without them the dialog still runs,
    // with the codes to be typed.
    bool prepare();
    // Whether prepare() reached the database and listed its stations.
    bool stationsListed() const { return stationsListed_; }

    // OK: checks the fields and writes the settings record; stays open on any refusal.
    void accept() override;

  private:
    // The title, the enabled fields and their values, as the mode and the record give them.
    void initDialog();
    void listStations();
    void onStationChanged();
    void onChannelChanged();
    void onGroupValueChanged() { groupValuesChanged_ = true; }
    void onCalendarFormat();
    void onUnixFormat();
    void proposeFileName();
    // OK with one channel: writes it as the mode says; false (shown why) on a refusal.
    bool writeChannel(const ChannelRecord& channel, const std::string& station, std::int32_t sps,
                      std::int32_t sizeMb);
    // OK with all channels chosen: adds them as the mode says; false (shown why) on a refusal.
    bool addAllChannels(std::int32_t lastTime, std::int32_t sps, std::int32_t sizeMb);
    // True when the rules allow it; otherwise shows why (of a list of channels added at once
    // when ofList) and gives false.
    bool allowed(const RuleCheck& check, bool ofList = false);
    // The same for the data file names (a warning: the name is the operator's to correct).
    bool allowed(const DataFileCheck& check, bool ofList = false);
    void warn(const QString& text);
    // The error box of a query that failed, with the driver's word (code page 1251).
    void queryFailed(const QString& what, const std::string& error);
    // The note under the fields: a group's station or channel the database does not list, and
    // how many database codes the lists leave out; hidden when there is neither.
    void showNote();
    // A station code typed by hand: the channel list follows it.
    void onStationTyped();

    struct Controls;
    std::unique_ptr<Controls> ui_;
    Mode mode_ = Mode::AddGroup;
    int insertPosition_ = 0;
    int groupIndex_ = -1;
    int channelIndex_ = -1;
    bool groupValuesChanged_ = false;
    bool stationsListed_ = false;
    bool stationUnlisted_ = false;
    bool channelUnlisted_ = false;
    std::size_t stationsLeftOut_ = 0;
    std::size_t channelsLeftOut_ = 0;
    // The station the channel list was asked for, and its codes in the list's order.
    std::string listedStation_;
    std::vector<std::string> listedChannels_;
};

}  // namespace vorda
