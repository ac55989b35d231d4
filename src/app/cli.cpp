#include "app/cli.h"

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "database/connection_settings.h"
#include "platform/cp1251.h"
#include "settings/settings_file.h"

namespace vorda {
namespace {

constexpr const char* kUsage =
    "Usage: vorda-settings [OPTION] [SETTINGS-FILE] [ODBC=NAME [USER=U [PASSWORD=P [DATA=DIR]]]]\n"
    "\n"
    "Edits the settings file of the Vorda reading service. Without an option it opens the\n"
    "settings dialog.\n"
    "\n"
    "  SETTINGS-FILE   the settings file, when it is the only argument; otherwise\n"
    "                  ./ZEL_VurEV.ini. A name not starting with / is taken from the\n"
    "                  current directory.\n"
    "  ODBC=... USER=... PASSWORD=... DATA=...\n"
    "                  connection values (in this order) instead of those of ./ork.ini,\n"
    "                  /etc/ZEL.ini or the defaults ZEL, ZEL, QMX, D:\\Data.\n"
    "\n"
    "Options (anywhere on the command line):\n"
    "  --dump             print the settings and connection values as JSON\n"
    "  --rewrite          load and save the settings file, as OK without a change would\n"
    "  --test-connection  connect to the database and print the report\n"
    "  --help             print this text\n"
    "  --version          print the version\n";

std::string utf8(const std::string& bytes1251) {
    return cp1251::toUtf8(bytes1251);
}

// Texts for a terminal: CRLF becomes LF.
std::string forTerminal(const std::string& bytes1251) {
    std::string text = utf8(bytes1251);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

int dump(const Environment& env, std::ostream& out, std::ostream& err) {
    SettingsRecord record;
    SettingsFile file;
    if (Status st = loadSettings(record, file, env); !st.ok) {
        err << "warning: " << st.error << "\n";
    }
    ConnectionSettings connection(env);
    connection.load();
    const ConnectionValues& values = ConnectionSettings::values();

    nlohmann::ordered_json j;
    j["settingsPath"] = file.settingsPath;
    j["sizeMb"] = record.sizeMb;
    j["detailMode"] = record.detailMode;
    j["showScreen"] = record.showScreen;
    j["groupCount"] = record.groupCount;
    j["server"] = utf8(record.server);
    j["dataSource"] = utf8(record.dataSource);
    j["user"] = utf8(record.user);
    j["dataDir"] = utf8(record.dataDir);
    j["logDir"] = utf8(record.logDir);
    j["groups"] = nlohmann::ordered_json::array();
    for (const GroupRecord& group : record.groups) {
        nlohmann::ordered_json g;
        g["station"] = utf8(group.station);
        g["sizeMb"] = group.sizeMb;
        g["sps"] = group.sps;
        g["channels"] = nlohmann::ordered_json::array();
        for (const ChannelRecord& channel : group.channels) {
            g["channels"].push_back({{"code", utf8(channel.code)},
                                     {"lastTime", channel.lastTime},
                                     {"fileName", utf8(channel.fileName)}});
        }
        j["groups"].push_back(std::move(g));
    }
    j["connection"] = {{"dataSource", utf8(values.dataSource)},
                       {"user", utf8(values.user)},
                       {"dataDir", utf8(values.dataDir)}};
    out << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
    return 0;
}

int rewrite(const Environment& env, std::ostream& out, std::ostream& err) {
    SettingsRecord record;
    SettingsFile file;
    // A file that cannot be read is never replaced: the save below refuses it with the reason.
    static_cast<void>(loadSettings(record, file, env));
    ConnectionSettings connection(env);
    connection.load();
    // The file is merged with what the service wrote since it was read; a value changed on both
    // sides (only the connection values can be, here) is reported, not chosen.
    const SaveResult saved = saveSettings(record, file, ConnectionSettings::values());
    for (const std::string& warning : saved.warnings) {
        err << "vorda-settings: warning: " << warning << "\n";
    }
    if (!saved.ok) {
        err << "vorda-settings: " << saved.error << "\n";
        return 1;
    }
    out << "Saved " << file.settingsPath << "\n";
    return 0;
}

int testConnection(const Environment& env, std::ostream& out, std::ostream& err) {
    ConnectionSettings connection(env);
    connection.load();
    const ConnectOutcome outcome = connection.connect(true);
    ConnectionSettings::release();
    std::ostream& stream = outcome.connected ? out : err;
    if (!outcome.caption.empty()) {
        stream << forTerminal(outcome.caption) << "\n";
    }
    if (!outcome.text.empty()) {
        stream << forTerminal(outcome.text);
        if (outcome.text.back() != '\n') {
            stream << "\n";
        }
    }
    if (!outcome.connected && outcome.text.empty()) {
        err << "Cannot connect: the ODBC environment could not be set up.\n";
    }
    return outcome.connected ? 0 : 1;
}

}  // namespace

CommandLineOptions parseCommandLineOptions(const Environment& env) {
    CommandLineOptions options;
    options.rest = env;
    options.rest.args.clear();
    for (std::size_t i = 0; i < env.args.size(); ++i) {
        const std::string& arg = env.args[i];
        if (i > 0 && arg == "--dump") {
            options.dump = true;
        } else if (i > 0 && arg == "--rewrite") {
            options.rewrite = true;
        } else if (i > 0 && arg == "--test-connection") {
            options.testConnection = true;
        } else if (i > 0 && (arg == "--help" || arg == "-h")) {
            options.help = true;
        } else if (i > 0 && arg == "--version") {
            options.version = true;
        } else {
            options.rest.args.push_back(arg);
        }
    }
    return options;
}

int runCommandLineMode(const CommandLineOptions& options, std::ostream& out, std::ostream& err) {
    if (options.help) {
        out << kUsage;
        return 0;
    }
    if (options.version) {
        out << "vorda-settings " << VORDA_VERSION << "\n";
        return 0;
    }
    if (options.dump + options.rewrite + options.testConnection > 1) {
        err << "vorda-settings: choose one of --dump, --rewrite and --test-connection\n";
        return 2;
    }
    if (options.dump) {
        return dump(options.rest, out, err);
    }
    if (options.rewrite) {
        return rewrite(options.rest, out, err);
    }
    return testConnection(options.rest, out, err);
}

}  // namespace vorda
