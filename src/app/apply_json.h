#pragma once
// The settings document of --apply as JSON (UTF-8), in the shape --dump prints: read into a
// SettingsDocument, each field's type checked, and a field the document does not know, or names
// twice in one object, refused, so that a typo never passes as a field left out. The fields
// --dump adds about the load (settingsPath, channelListNotes, connection) are taken and ignored,
// so that what --dump printed can be applied as it stands.
#include <optional>
#include <string>
#include <string_view>

#include "channels/settings_apply.h"

namespace vorda {

struct DocumentReading {
    SettingsDocument document;
    std::optional<DocumentRefusal> refusal;  // why the text is not such a document

    bool ok() const { return !refusal; }
};

DocumentReading readSettingsDocument(std::string_view json);

// The result of an apply as one JSON object: "changed", and "diff" when a diff is given.
std::string applyReport(bool changed, const std::optional<std::string>& diff);

}  // namespace vorda
