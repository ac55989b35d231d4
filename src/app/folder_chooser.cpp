#include "app/folder_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "app/ui_support.h"

namespace vorda::ui {

QString chooseFolder(QWidget* parent, const QString& start) {
    QFileDialog dialog(parent, QStringLiteral("Выбор каталога"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // The same chooser everywhere (and one a test can drive): Qt's own, not a desktop's.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QFileInfo info(start);
    if (!start.isEmpty() && info.isDir()) {
        dialog.setDirectory(info.absoluteFilePath());
    }
    if (runModal(dialog) != QDialog::Accepted) {
        return {};
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return {};
    }
    return QDir::cleanPath(QFileInfo(chosen.first()).absoluteFilePath());
}

}  // namespace vorda::ui
