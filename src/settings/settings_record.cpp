#include "settings/settings_record.h"

namespace vorda {

SettingsRecord& settingsRecord() {
    static SettingsRecord record;
    return record;
}

}  // namespace vorda
