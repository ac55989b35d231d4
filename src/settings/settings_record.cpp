#include "settings/settings_record.h"

namespace vorda {

SettingsValues settingsValuesOf(const SettingsRecord& record) {
    return {record.sizeMb,  record.detailMode, record.showScreen, record.groupCount,
            record.server,  record.dataSource, record.user,       record.password,
            record.dataDir, record.logDir,     record.groups};
}

void assignValues(SettingsRecord& record, SettingsValues values) {
    record.sizeMb = values.sizeMb;
    record.detailMode = values.detailMode;
    record.showScreen = values.showScreen;
    record.groupCount = values.groupCount;
    record.server = std::move(values.server);
    record.dataSource = std::move(values.dataSource);
    record.user = std::move(values.user);
    record.password = std::move(values.password);
    record.dataDir = std::move(values.dataDir);
    record.logDir = std::move(values.logDir);
    record.groups = std::move(values.groups);
}

SettingsRecord& settingsRecord() {
    static SettingsRecord record;
    return record;
}

}  // namespace vorda
