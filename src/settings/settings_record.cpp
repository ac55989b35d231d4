#include "settings/settings_record.h"

#include <utility>

namespace vorda {

SettingsValues settingsValuesOf(const SettingsRecord& record) {
    return static_cast<const SettingsValues&>(record);
}

void assignValues(SettingsRecord& record, SettingsValues values) {
    static_cast<SettingsValues&>(record) = std::move(values);
}

SettingsRecord& settingsRecord() {
    static SettingsRecord record;
    return record;
}

}  // namespace vorda
