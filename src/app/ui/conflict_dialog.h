#pragma once
// The values the operator and another program both changed since the settings file was read,
// shown before a save: one line each (group, station, channel, the value's name, what the file
// holds now and the operator's value) with a choice per line, "оставить мои" or "взять из
// файла", and the same choice for all lines at once. OK saves with the choices; "Отмена" saves
// nothing.
#include <QDialog>
#include <memory>
#include <vector>

#include "settings/settings_merge.h"

class QComboBox;
class QPushButton;
class QTableWidget;

namespace vorda {

class ConflictDialog : public QDialog {
    Q_OBJECT
  public:
    // fileName: the settings file as the operator knows it.
    ConflictDialog(const std::vector<MergeConflict>& conflicts, const QString& fileName,
                   QWidget* parent = nullptr);
    ~ConflictDialog() override;

    // One choice for each conflict given, in their order.
    std::vector<ConflictResolution> choices() const;

    QTableWidget& table();
    // The choice of a line.
    QComboBox& choiceBox(int row);
    QPushButton& keepAllButton();
    QPushButton& takeAllButton();
    QPushButton& okButton();
    QPushButton& cancelButton();

  private:
    void chooseAll(ConflictChoice choice);

    struct Controls;
    std::unique_ptr<Controls> ui_;
    std::vector<ValueRef> values_;
};

}  // namespace vorda
