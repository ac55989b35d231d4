#include "app/apply_json.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>
#include <vector>

#include "resources/texts.h"

namespace vorda {
namespace {

using Json = nlohmann::ordered_json;

// Follows a parse to find a key that one object holds twice (the parser would keep one of them
// without a word), and where it stands.
class TwiceNamedKeys {
  public:
    bool operator()(int /*depth*/, Json::parse_event_t event, Json& parsed) {
        using Event = Json::parse_event_t;
        switch (event) {
            case Event::object_start:
            case Event::array_start:
                frames_.push_back({event == Event::array_start, 0, {}, {}, nextPlace()});
                break;
            case Event::object_end:
            case Event::array_end:
                frames_.pop_back();
                break;
            case Event::key:
                key(parsed.get<std::string>());
                break;
            case Event::value:
                nextPlace();
                break;
        }
        return true;
    }

    // The first key found twice.
    std::optional<std::string> place;

  private:
    struct Frame {
        bool list = false;
        std::size_t items = 0;
        std::set<std::string> keys;
        std::string key;
        std::string place;
    };

    // The place of the value that starts now.
    std::string nextPlace() {
        if (frames_.empty()) {
            return {};
        }
        Frame& f = frames_.back();
        return f.list ? itemPlace(f.place, f.items++) : fieldPlace(f.place, f.key);
    }

    void key(std::string name) {
        Frame& f = frames_.back();
        if (!f.keys.insert(name).second && !place) {
            place = fieldPlace(f.place, name);
        }
        f.key = std::move(name);
    }

    std::vector<Frame> frames_;
};

// Line and column (from 1) of the byte the parser stopped at (counted from 1).
std::pair<std::size_t, std::size_t> lineAndColumn(std::string_view text, std::size_t byte) {
    const std::size_t at = std::min(byte > 0 ? byte - 1 : 0, text.size());
    const std::string_view before = text.substr(0, at);
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    const std::size_t lineStart = before.rfind('\n');
    const std::size_t column = lineStart == std::string_view::npos ? at + 1 : at - lineStart;
    return {line, column};
}

class DocumentReader {
  public:
    explicit DocumentReader(DocumentReading& reading) : reading_(reading) {}

    void read(const Json& root) {
        if (!root.is_object()) {
            refuse("", texts::kDocumentNotObject);
            return;
        }
        SettingsDocument& d = reading_.document;
        static_cast<void>(
            known(root, "",
                  {"server", "detailMode", "showScreen", "groupCount", "sizeMb", "logDir",
                   "dataSource", "user", "password", "dataDir", "groups",
                   // reports of --dump, not values of the file
                   "settingsPath", "channelListNotes", "connection"}) &&
            text(root, "", "server", d.server) && flag(root, "detailMode", d.detailMode) &&
            flag(root, "showScreen", d.showScreen) &&
            integer(root, "", "groupCount", d.groupCount) &&
            integer(root, "", "sizeMb", d.sizeMb) && text(root, "", "logDir", d.logDir) &&
            text(root, "", "dataSource", d.dataSource) && text(root, "", "user", d.user) &&
            text(root, "", "password", d.password) && text(root, "", "dataDir", d.dataDir) &&
            groups(root));
    }

  private:
    bool refuse(std::string place, std::string_view reason) {
        reading_.refusal = DocumentRefusal{std::move(place), std::string(reason)};
        return false;
    }

    // Whether every field of the object is one of `names`.
    bool known(const Json& object, const std::string& place,
               std::initializer_list<std::string_view> names) {
        for (const auto& [name, value] : object.items()) {
            if (std::find(names.begin(), names.end(), name) == names.end()) {
                return refuse(fieldPlace(place, name), texts::kFieldUnknown);
            }
        }
        return true;
    }

    static const Json* field(const Json& object, std::string_view name) {
        const auto found = object.find(name);
        return found == object.end() ? nullptr : &*found;
    }

    bool text(const Json& object, const std::string& place, std::string_view name,
              std::optional<std::string>& target) {
        const Json* value = field(object, name);
        if (value != nullptr && !value->is_string()) {
            return refuse(fieldPlace(place, name), texts::kFieldNotText);
        }
        if (value != nullptr) {
            target = value->get<std::string>();
        }
        return true;
    }

    static std::int64_t integerOf(const Json& value) {
        if (value.is_number_unsigned()) {
            return static_cast<std::int64_t>(std::min<std::uint64_t>(
                value.get<std::uint64_t>(),
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())));
        }
        return value.get<std::int64_t>();
    }

    bool integer(const Json& object, const std::string& place, std::string_view name,
                 std::optional<std::int64_t>& target) {
        const Json* value = field(object, name);
        if (value != nullptr && !value->is_number_integer()) {
            return refuse(fieldPlace(place, name), texts::kFieldNotInteger);
        }
        if (value != nullptr) {
            target = integerOf(*value);
        }
        return true;
    }

    // 0 or 1, or false or true (as YAML writes a switch).
    bool flag(const Json& object, std::string_view name, std::optional<std::int64_t>& target) {
        const Json* value = field(object, name);
        if (value != nullptr && value->is_boolean()) {
            target = value->get<bool>() ? 1 : 0;
            return true;
        }
        if (value != nullptr && !value->is_number_integer()) {
            return refuse(fieldPlace("", name), texts::kFieldNotFlag);
        }
        if (value != nullptr) {
            target = integerOf(*value);
        }
        return true;
    }

    bool time(const Json& object, const std::string& place, std::optional<DocumentTime>& target) {
        const Json* value = field(object, "lastTime");
        if (value == nullptr) {
            return true;
        }
        if (value->is_number_integer()) {
            target = integerOf(*value);
        } else if (value->is_string()) {
            target = value->get<std::string>();
        } else {
            return refuse(fieldPlace(place, "lastTime"), texts::kFieldNotTime);
        }
        return true;
    }

    // The list under `name`, each item an object; false (refused) otherwise.
    const Json* list(const Json& object, const std::string& place, std::string_view name,
                     std::string_view notItem) {
        const Json* value = field(object, name);
        if (value == nullptr) {
            return nullptr;
        }
        const std::string at = fieldPlace(place, name);
        if (!value->is_array()) {
            refuse(at, texts::kFieldNotList);
            return nullptr;
        }
        for (std::size_t i = 0; i < value->size(); ++i) {
            if (!(*value)[i].is_object()) {
                refuse(itemPlace(at, i), notItem);
                return nullptr;
            }
        }
        return value;
    }

    bool channel(const Json& object, const std::string& place, ChannelDocument& c) {
        return known(object, place, {"code", "lastTime", "fileName"}) &&
               text(object, place, "code", c.code) && time(object, place, c.lastTime) &&
               text(object, place, "fileName", c.fileName);
    }

    bool group(const Json& object, const std::string& place, GroupDocument& g) {
        if (!known(object, place, {"station", "sps", "sizeMb", "channels"}) ||
            !text(object, place, "station", g.station) || !integer(object, place, "sps", g.sps) ||
            !integer(object, place, "sizeMb", g.sizeMb)) {
            return false;
        }
        const Json* channels = list(object, place, "channels", texts::kFieldNotChannel);
        if (channels == nullptr) {
            return !reading_.refusal;
        }
        g.channels.emplace();
        const std::string at = fieldPlace(place, "channels");
        for (std::size_t i = 0; i < channels->size(); ++i) {
            if (!channel((*channels)[i], itemPlace(at, i), g.channels->emplace_back())) {
                return false;
            }
        }
        return true;
    }

    bool groups(const Json& root) {
        const Json* listed = list(root, "", "groups", texts::kFieldNotGroup);
        if (listed == nullptr) {
            return !reading_.refusal;
        }
        auto& target = reading_.document.groups.emplace();
        for (std::size_t i = 0; i < listed->size(); ++i) {
            if (!group((*listed)[i], itemPlace("groups", i), target.emplace_back())) {
                return false;
            }
        }
        return true;
    }

    DocumentReading& reading_;
};

}  // namespace

DocumentReading readSettingsDocument(std::string_view json) {
    DocumentReading reading;
    TwiceNamedKeys twice;
    Json root;
    try {
        root = Json::parse(json, std::ref(twice));
    } catch (const Json::parse_error& e) {
        const auto [line, column] = lineAndColumn(json, e.byte);
        reading.refusal = DocumentRefusal{
            "",
            texts::format(texts::kDocumentNotJson, {std::to_string(line), std::to_string(column)})};
        return reading;
    }
    if (twice.place) {
        reading.refusal = DocumentRefusal{*twice.place, std::string(texts::kFieldTwice)};
        return reading;
    }
    DocumentReader(reading).read(root);
    return reading;
}

std::string applyReport(bool changed, const std::optional<std::string>& diff) {
    Json report;
    report["changed"] = changed;
    if (diff) {
        report["diff"] = *diff;
    }
    return report.dump(2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace vorda
