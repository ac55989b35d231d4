#include "ui/folder_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "resources/texts.h"
#include "ui/ui_support.h"

namespace vorda::ui {
namespace {

constexpr int kMaxPathChars = 255;

}  // namespace

QString chooseFolder(QWidget* parent, const QString& start) {
    QFileDialog dialog(parent, ui::text(texts::kChooseFolderTitle));
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
    QString path = QDir::cleanPath(QFileInfo(chosen.first()).absoluteFilePath());
    // The path goes into the settings file: refuse one that the file cannot hold rather than
    // show a folder that is never saved.
    if (path.size() > kMaxPathChars || !toRecord(path)) {
        showMessage(parent, BoxKind::Warning, applicationTitle(),
                    text(texts::kFolderPathUnfit).arg(kMaxPathChars).arg(path));
        return {};
    }
    return path;
}

}  // namespace vorda::ui
