#include "ui/dialog_page.h"

#include <QKeyEvent>

namespace vorda::ui {

DialogPage::DialogPage(QWidget* parent) : QWidget(parent) {}

void DialogPage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            // A field that does not use the key passes it on; it stops here.
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace vorda::ui
