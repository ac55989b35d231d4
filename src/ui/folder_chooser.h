#pragma once
// The folder chooser of the Additional page and the data source page.
#include <QString>

class QWidget;

namespace vorda::ui {

// Opens a directory chooser titled "Выбор каталога" that starts at the folder named by start
// (when it exists) and gives the full path of the chosen folder, or empty text when the operator
// cancels. A folder whose path is longer than 255 characters or holds a character that code
// page 1251 cannot hold is refused with a warning and gives empty text too. It runs through
// runModal, so a test answers it like any other modal dialog.
QString chooseFolder(QWidget* parent, const QString& start);

}  // namespace vorda::ui
