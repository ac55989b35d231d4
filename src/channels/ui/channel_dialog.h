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
// The dialog connects with the connection values as they stand, lists the stations of the
// database and the channels of the chosen station, and closes its connection when it goes. The
// station and channel boxes are editable: the code used is the box's text, picked or typed, so
// a channel can be added while the database cannot be reached.
//
// Controls by object name: stationBox, channelBox, spsEdit, unixRadio, calendarRadio,
// lastTimeEdit, sizeEdit, fileNameEdit, noteLabel, okButton, cancelButton.
#include <QDialog>
#include <memory>

namespace vorda {

struct RuleCheck;

class ChannelDialog : public QDialog {
    Q_OBJECT
  public:
    enum class Mode { AddGroup, AddChannel, ChangeChannel };

    ChannelDialog(int insertPosition, int groupIndex, int channelIndex, QWidget* parent = nullptr);
    ~ChannelDialog() override;

    Mode mode() const { return mode_; }
    // Whether opening reached the database and listed its stations.
    bool stationsListed() const { return stationsListed_; }

    // OK: checks the fields and writes the settings record; stays open on any refusal.
    void accept() override;

  private:
    void initDialog();
    void onStationChanged();
    void onChannelChanged();
    void onGroupValueChanged() { groupValuesChanged_ = true; }
    void onCalendarFormat();
    void onUnixFormat();
    void proposeFileName();
    // True when the rules allow it; otherwise shows why and gives false.
    bool allowed(const RuleCheck& check);
    void warn(const QString& text);
    // The error box of a query that failed, with the driver's word (code page 1251).
    void queryFailed(const QString& what, const std::string& error);
    // Says how many database codes the lists leave out, when any.
    void showLeftOut();

    struct Controls;
    std::unique_ptr<Controls> ui_;
    Mode mode_ = Mode::AddGroup;
    int insertPosition_ = 0;
    int groupIndex_ = -1;
    int channelIndex_ = -1;
    bool groupValuesChanged_ = false;
    bool stationsListed_ = false;
    std::size_t stationsLeftOut_ = 0;
    std::size_t channelsLeftOut_ = 0;
};

}  // namespace vorda
