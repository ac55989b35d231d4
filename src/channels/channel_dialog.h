#pragma once
// The dialog that adds a group with its first channel, adds a channel to a group, or changes a
// channel, offering the station and channel codes of the database. Accepted means it has
// written the settings record; any other result means it has changed nothing.
//
// Modes (insertPosition, groupIndex, channelIndex):
//   add a channel to group g:      (g, g, -1)
//   add a group at position g:     (g or -1, -1, -1)
//   change channel k of group g:   (g, g, k)
#include <QDialog>
#include <memory>

namespace vorda {

class ChannelDialog : public QDialog {
    Q_OBJECT
public:
    ChannelDialog(int insertPosition, int groupIndex, int channelIndex, QWidget* parent = nullptr);
    ~ChannelDialog() override;

private:
    struct Controls;
    std::unique_ptr<Controls> ui_;
};

}  // namespace vorda
