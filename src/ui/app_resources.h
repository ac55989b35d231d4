#pragma once
// The program's icons, compiled into the user-interface library as Qt resources.
#include <QIcon>

namespace vorda::ui {

// Registers the compiled resources; safe to call more than once. Everything below calls it.
void initResources();

// The application icon: the tile with the waveform and the magnifying glass.
QIcon applicationIcon();
// The black arrows of the group move buttons.
QIcon arrowUpIcon();
QIcon arrowDownIcon();

}  // namespace vorda::ui
