#include "app/cli.h"

#include <getopt.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "app/apply_json.h"
#include "channels/settings_apply.h"
#include "database/connection_settings.h"
#include "database/schema_dictionary.h"
#include "platform/atomic_file.h"
#include "platform/cp1251.h"
#include "platform/line_diff.h"
#include "platform/text.h"
#include "resources/texts.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

namespace vorda {
namespace {

constexpr const char* kUsage =
    "Usage: vorda-settings [OPTION]... [--] [SETTINGS-FILE] [ODBC=NAME [USER=U [PASSWORD=P "
    "[DATA=DIR]]]]\n"
    "\n"
    "Edits the settings file of the Vorda reading service. Without an option it opens the\n"
    "settings dialog.\n"
    "\n"
    "  SETTINGS-FILE   the settings file, when it is the only argument (and no connection\n"
    "                  item); otherwise ./ZEL_VurEV.ini. A name not starting with / is\n"
    "                  taken from the current directory.\n"
    "  ODBC=... USER=... PASSWORD=... DATA=...\n"
    "                  connection values (in this order) instead of those of ./ork.ini,\n"
    "                  /etc/ZEL.ini, the settings file or the defaults ZEL, ZEL, QMX, D:\\Data.\n"
    "\n"
    "Options (anywhere before --; at most one of the first six):\n"
    "  --dump             print the settings and connection values as JSON (no password)\n"
    "  --rewrite          load and save the settings file, as OK without a change would\n"
    "  --apply FILE       apply the settings document FILE (JSON in the shape --dump prints;\n"
    "                     - for standard input) and save it as OK would; prints\n"
    "                     {\"changed\": true|false}. A document with a value the dialog would\n"
    "                     refuse, or a field it does not know, is refused: exit 1, nothing "
    "written\n"
    "    --check          with --apply: write nothing, only tell whether it would change\n"
    "    --diff           with --apply: add the change as a unified diff (\"diff\", UTF-8)\n"
    "  --test-connection  connect to the database and print the report\n"
    "  --stations         print the station codes the channel dialog offers, as JSON\n"
    "  --channels STATION print the channel codes of the station the dialog offers, as JSON\n"
    "                     (both: exit 1 with the error when the connection or query fails;\n"
    "                     codes the settings file cannot hold are counted in \"leftOut\")\n"
    "  -h, --help         print this text\n"
    "  --version          print the version\n"
    "  --                 end of the options: a settings file may then be named --x\n"
    "Qt's own options (-platform NAME, -style NAME, -display HOST:N, ...) go to the toolkit.\n"
    "\n"
    "Exit status:\n"
    "  0  the dialog was closed, or the mode did its work\n"
    "  1  the mode failed: the settings file cannot be read or saved, a settings document\n"
    "     was refused, or no connection;\n"
    "     or the dialog has no display to open on\n"
    "  2  the command line is wrong (an unknown option, two modes)\n"
    "\n"
    "Environment:\n"
    "  ODBCINI             the user data sources (default ~/.odbc.ini)\n"
    "  ODBCSYSINI          the folder of odbc.ini and odbcinst.ini (default /etc)\n"
    "  DISPLAY, QT_QPA_PLATFORM\n"
    "                      where the dialog is shown (QT_QPA_PLATFORM=offscreen: nowhere)\n"
    "  VORDA_SETTINGS_TAB  the tab the dialog opens on: 0, 1 or 2\n"
    "  XDG_CACHE_HOME      where copies of the replaced settings file are kept (default\n"
    "                      ~/.cache; in vorda-settings/backups/)\n";

// Qt's own command-line options, as the application object takes them out of argv: one or two
// leading dashes, the exact name, a value in the next argument (or after '=' where Qt allows
// it). getopt cannot state these rules (it would take abbreviations that Qt leaves alone), so
// they are matched here, without an application object, and only our own options go through
// getopt_long.
enum class ToolkitForm { Flag, NextValue, NextOrEqualsValue, EqualsValue };
struct ToolkitOption {
    std::string_view name;
    ToolkitForm form;
};
constexpr ToolkitOption kToolkitOptions[] = {
    // QGuiApplication
    {"platform", ToolkitForm::NextValue},
    {"platformpluginpath", ToolkitForm::NextValue},
    {"platformtheme", ToolkitForm::NextValue},
    {"plugin", ToolkitForm::NextValue},
    {"qwindowgeometry", ToolkitForm::NextValue},
    {"qwindowicon", ToolkitForm::NextValue},
    {"qwindowtitle", ToolkitForm::NextValue},
    {"session", ToolkitForm::NextValue},
    {"reverse", ToolkitForm::Flag},
    {"testability", ToolkitForm::Flag},
    {"qmljsdebugger", ToolkitForm::EqualsValue},
    // the X11 platform
    {"display", ToolkitForm::NextValue},
    {"geometry", ToolkitForm::NextValue},
    {"title", ToolkitForm::NextValue},
    {"icon", ToolkitForm::NextValue},
    {"name", ToolkitForm::NextValue},
    {"visual", ToolkitForm::NextValue},
    {"nograb", ToolkitForm::Flag},
    {"dograb", ToolkitForm::Flag},
    // QApplication
    {"style", ToolkitForm::NextOrEqualsValue},
    {"stylesheet", ToolkitForm::NextOrEqualsValue},
    {"widgetcount", ToolkitForm::Flag},
    {"qdevel", ToolkitForm::Flag},
    {"qdebug", ToolkitForm::Flag},
};

// How many arguments from args[i] on form one of Qt's options: 0 when args[i] is none.
std::size_t toolkitOptionAt(const std::vector<std::string>& args, std::size_t i) {
    std::string_view word = args[i];
    if (word.size() < 2 || word[0] != '-') {
        return 0;
    }
    word.remove_prefix(word[1] == '-' ? 2 : 1);
    for (const ToolkitOption& option : kToolkitOptions) {
        if (!word.starts_with(option.name)) {
            continue;
        }
        const std::string_view after = word.substr(option.name.size());
        const bool equalsForm = option.form == ToolkitForm::NextOrEqualsValue ||
                                option.form == ToolkitForm::EqualsValue;
        if (after.empty() && option.form != ToolkitForm::EqualsValue) {
            const bool takesNext = option.form == ToolkitForm::NextValue ||
                                   option.form == ToolkitForm::NextOrEqualsValue;
            return takesNext && i + 1 < args.size() ? 2 : 1;
        }
        if (equalsForm && after.starts_with('=')) {
            return 1;
        }
    }
    return 0;
}

// A word that asks for an option: "--" and a name, or "-" and a letter. Anything else ("-",
// "-5", a file name) is an argument.
bool isOptionWord(std::string_view word) {
    return word.size() >= 2 && word[0] == '-' && (word[1] == '-' || isAsciiLetter(word[1]));
}

enum OptionCode {
    kDump = 256,
    kRewrite,
    kApply,
    kCheck,
    kDiff,
    kTestConnection,
    kStations,
    kChannels,
    kVersion
};
constexpr struct option kLongOptions[] = {
    {"dump", no_argument, nullptr, kDump},
    {"rewrite", no_argument, nullptr, kRewrite},
    {"apply", required_argument, nullptr, kApply},
    {"check", no_argument, nullptr, kCheck},
    {"diff", no_argument, nullptr, kDiff},
    {"test-connection", no_argument, nullptr, kTestConnection},
    {"stations", no_argument, nullptr, kStations},
    {"channels", required_argument, nullptr, kChannels},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// Our options through getopt_long: each a whole word, but for the station code of --channels. Gives
// why they are refused, or the empty text.
std::string parseOwnOptions(const std::string& program, const std::vector<std::string>& words,
                            CommandLineOptions& options) {
    std::vector<std::string> storage;
    storage.reserve(words.size() + 1);
    storage.push_back(program);
    storage.insert(storage.end(), words.begin(), words.end());
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (std::string& word : storage) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    opterr = 0;  // the messages are ours
    optind = 0;  // start afresh (glibc)
    for (;;) {
        // The word the next option comes from: getopt moves past a word when it is used up.
        const int at = optind > 0 ? optind : 1;
        const std::string word = at < argc ? argv[at] : "";
        const int code = getopt_long(argc, argv.data(), ":h", kLongOptions, nullptr);
        switch (code) {
            case -1:
                return {};
            case kDump:
                options.dump = true;
                break;
            case kRewrite:
                options.rewrite = true;
                break;
            case kApply:
                options.apply = true;
                options.applyDocument = optarg;
                break;
            case kCheck:
                options.check = true;
                break;
            case kDiff:
                options.diff = true;
                break;
            case kTestConnection:
                options.testConnection = true;
                break;
            case kStations:
                options.stations = true;
                break;
            case kChannels:
                options.channels = true;
                options.channelStation = optarg;
                break;
            case ':':
                return "option '" + word.substr(0, word.find('=')) + "' needs a value";
            case 'h':
                options.help = true;
                break;
            case kVersion:
                options.version = true;
                break;
            default: {
                const std::string name = word.substr(0, word.find('='));
                if (!word.starts_with("--")) {
                    return "unknown option '-" + std::string(1, static_cast<char>(optopt)) + "'";
                }
                if (optopt != 0) {
                    return "option '" + name + "' takes no value";
                }
                return "unknown option '" + name + "'";
            }
        }
    }
}

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

// The text with the value of every PASSWORD= item (any letter case) replaced by "***", up to
// the next blank: for texts that quote the command line, such as a settings path.
std::string hidePasswords(std::string text) {
    constexpr std::string_view kKey = "PASSWORD=";
    for (std::size_t at = 0; at + kKey.size() <= text.size(); ++at) {
        if (!equalsAsciiNoCase(std::string_view(text).substr(at, kKey.size()), kKey)) {
            continue;
        }
        const std::size_t value = at + kKey.size();
        std::size_t end = text.find(' ', value);
        if (end == std::string::npos) {
            end = text.size();
        }
        text.replace(value, end - value, "***");
        at = value + 2;
    }
    return text;
}

// Output that may quote the settings path (a path named by the one argument may hold the
// connection items): its PASSWORD= values hidden.
std::string shown(std::string text, const SettingsFile& file) {
    for (const std::string* path : {&file.filePath, &file.settingsPath}) {
        const std::string hidden = hidePasswords(*path);
        if (path->empty() || hidden == *path) {
            continue;
        }
        for (std::size_t at = text.find(*path); at != std::string::npos;
             at = text.find(*path, at + hidden.size())) {
            text.replace(at, path->size(), hidden);
        }
    }
    return text;
}

// Loads the connection values; connection files that exist but cannot be read (not a regular
// file, no permission) are skipped, and said so.
// The settings file, when the mode has loaded it, is not read a second time.
void loadConnection(ConnectionSettings& connection, std::ostream& err,
                    const SettingsFile* loaded = nullptr) {
    if (loaded != nullptr && loaded->document) {
        connection.settingsDocument = &*loaded->document;
    }
    connection.load();
    connection.settingsDocument = nullptr;
    for (const std::string& problem : connection.skippedFiles) {
        err << "vorda-settings: warning: " << problem << "; skipped\n";
    }
}

// Says which channel lists were not read whole (the codes left out are not saved either).
void warnAboutChannelLists(const SettingsFile& file, std::ostream& err) {
    if (!file.recoveryNotice.empty()) {
        err << "vorda-settings: " << shown(file.recoveryNotice, file) << "\n";
    }
    if (const std::string text = channelListNotesText(file.channelListNotes); !text.empty()) {
        err << "vorda-settings: warning: " << text << "\n";
    }
}

int dump(const Environment& env, std::ostream& out, std::ostream& err) {
    SettingsRecord record;
    SettingsFile file;
    if (Status st = loadSettings(record, file, env); !st.ok) {
        err << "vorda-settings: " << shown(st.error, file) << "\n";
        return kExitFailure;
    }
    if (!file.recoveryNotice.empty()) {
        err << "vorda-settings: " << shown(file.recoveryNotice, file) << "\n";
    }
    ConnectionSettings connection(env);
    loadConnection(connection, err, &file);
    const ConnectionValues& values = ConnectionSettings::values();

    nlohmann::ordered_json j;
    j["settingsPath"] = shown(file.settingsPath, file);
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
    // Groups whose channel lists were not read whole, and the codes left out of them.
    j["channelListNotes"] = nlohmann::ordered_json::array();
    for (const ChannelListNote& note : file.channelListNotes) {
        nlohmann::ordered_json n;
        n["group"] = note.group;
        n["cutCodes"] = nlohmann::ordered_json::array();
        for (const std::string& code : note.cutCodes) {
            n["cutCodes"].push_back(utf8(code));
        }
        n["leftOut"] = nlohmann::ordered_json::array();
        for (const RuleCheck& check : note.leftOut) {
            n["leftOut"].push_back({{"code", check.code}, {"reason", check.text()}});
        }
        j["channelListNotes"].push_back(std::move(n));
    }
    j["connection"] = {{"dataSource", utf8(values.dataSource)},
                       {"user", utf8(values.user)},
                       {"dataDir", utf8(values.dataDir)}};
    out << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
    return kExitOk;
}

int rewrite(const Environment& env, std::ostream& out, std::ostream& err) {
    SettingsRecord record;
    SettingsFile file;
    // A file that cannot be read is never replaced: the save below refuses it with the reason.
    static_cast<void>(loadSettings(record, file, env));
    warnAboutChannelLists(file, err);
    ConnectionSettings connection(env);
    loadConnection(connection, err, &file);
    // The file is merged with what the service wrote since it was read; a value changed on both
    // sides (only the connection values can be, here) is reported, not chosen.
    const SaveResult saved = saveSettings(record, file, ConnectionSettings::values());
    for (const std::string& warning : saved.warnings) {
        err << "vorda-settings: warning: "
            << shown(texts::format(texts::kBackupNotKept, {warning}), file) << "\n";
    }
    if (!saved.ok) {
        err << "vorda-settings: " << shown(saved.error, file) << "\n";
        return kExitFailure;
    }
    out << "Saved " << shown(file.settingsPath, file) << "\n";
    return kExitOk;
}

int testConnection(const Environment& env, std::ostream& out, std::ostream& err) {
    ConnectionSettings connection(env);
    loadConnection(connection, err);
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
    return outcome.connected ? kExitOk : kExitFailure;
}

// Prints what the channel dialog would offer: the station codes, or the channel codes of one
// station (station given, UTF-8), through the same connection, queries and filtering.
int listCodes(const Environment& env, const std::string* station, std::ostream& out,
              std::ostream& err) {
    std::string station1251;
    if (station != nullptr) {
        std::optional<std::string> bytes = cp1251::fromUtf8(*station);
        if (!bytes) {
            err << "vorda-settings: the station code " << *station
                << " has a character code page 1251 cannot hold\n";
            return kExitUsage;
        }
        station1251 = std::move(*bytes);
    }
    ConnectionSettings connection(env);
    loadConnection(connection, err);
    const ConnectOutcome outcome = connection.connect(false);
    if (!outcome.connected) {
        err << forTerminal(outcome.caption) << "\n"
            << (outcome.text.empty() ? std::string("the ODBC environment could not be set up")
                                     : forTerminal(outcome.text))
            << "\n";
        return kExitFailure;
    }
    SchemaDictionary& dictionary = schemaDictionary();
    dictionary.refresh(ConnectionSettings::connection());
    CodeList list;
    const bool ok =
        station == nullptr
            ? queryStations(ConnectionSettings::connection(), dictionary, list)
            : queryChannels(ConnectionSettings::connection(), dictionary, station1251, list);
    ConnectionSettings::release();
    if (!ok) {
        err << "vorda-settings: the query failed: " << forTerminal(list.error) << "\n";
        return kExitFailure;
    }
    nlohmann::ordered_json j;
    j["dataSource"] = utf8(ConnectionSettings::values().dataSource);
    if (station != nullptr) {
        j["station"] = utf8(station1251);
    }
    nlohmann::ordered_json codes = nlohmann::ordered_json::array();
    for (const std::string& code : list.codes) {
        codes.push_back(utf8(code));
    }
    j[station == nullptr ? "stations" : "channels"] = std::move(codes);
    j["leftOut"] = {{"notInCodePage", list.notInCodePage}, {"tooLong", list.tooLong}};
    out << j.dump(2) << "\n";
    return kExitOk;
}

// --- --apply

// A text for one line of a report: each line break, with the blanks after it, as one blank.
std::string oneLine(std::string text) {
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
        std::size_t end = at + 1;
        while (end < text.size() && text[end] == ' ') {
            ++end;
        }
        text.replace(at, end - at, " ");
    }
    return text;
}

// The text of the settings document: the file named (from the current directory, unless the
// name starts with /), or standard input for "-".
bool readDocumentText(const CommandLineOptions& options, std::istream& in, std::string& text,
                      std::ostream& err) {
    const std::string& name = options.applyDocument;
    Status status;
    if (name == "-") {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            status = Status::failure(
                texts::format(texts::kDocumentUnreadable, {name, texts::systemError(EIO)}));
        }
    } else {
        bool exists = false;
        status = readFileBytes(
            name.starts_with('/') ? name : joinPath(options.rest.currentDir, name), text, exists);
        if (status.ok && !exists) {
            status = Status::failure(
                texts::format(texts::kDocumentUnreadable, {name, texts::systemError(ENOENT)}));
        }
    }
    if (!status.ok) {
        err << "vorda-settings: " << status.error << "\n";
    }
    return status.ok;
}

// The connection values the settings file holds, read as the connection settings read them
// (the data directory up to its own width); connection items on the command line replace those
// they name, as they do for the dialog.
void takeFileConnection(SettingsValues& values, const SettingsFile& file, const Environment& env) {
    if (file.document) {
        values.dataDir = file.document->getString(keys::kData, keys::kDir, values.dataDir,
                                                  ConnectionValues::kDataDirLimit);
    }
    ConnectionSettings connection(env);
    if (connection.commandTail.empty()) {
        return;
    }
    ConnectionValues& shared = ConnectionSettings::values();
    shared = {values.dataSource, values.user, values.password, values.dataDir};
    connection.load();
    values.dataSource = shared.dataSource;
    values.user = shared.user;
    values.password = shared.password;
    values.dataDir = shared.dataDir;
}

// A folder of our own in the temporary folder, removed with what it holds when the object goes.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "vorda-settings.XXXXXX").string();
        if (!error && ::mkdtemp(pattern.data()) != nullptr) {
            path_ = std::move(pattern);
        }
    }
    ~ScratchFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The save of an apply: the dialog's save, merged with what the service wrote since the file
// was loaded (the base) and with a backup. A value both sides changed fails it, as --rewrite
// reports it, also one that turned up only as the file was being replaced (the file then holds
// the service's value, and the save asked again reports it).
SaveResult saveApplied(SettingsRecord& record, SettingsFile& file, std::ostream& err) {
    const ConnectionValues connection{record.dataSource, record.user, record.password,
                                      record.dataDir};
    SaveResult saved = saveSettings(record, file, connection);
    if (saved.ok && !saved.conflicts.empty()) {
        const int writes = saved.writes;
        saved = saveSettings(record, file, connection);
        saved.writes += writes;
    }
    for (const std::string& warning : saved.warnings) {
        err << "vorda-settings: warning: "
            << shown(texts::format(texts::kBackupNotKept, {warning}), file) << "\n";
    }
    return saved;
}

// Saves the applied record, or with check saves it to a copy of the file as it is now (before),
// in a folder of our own, leaving the file untouched. Gives what the file holds after it (as we
// wrote or found it) and whether the apply changed its bytes.
Status saveOrCheck(SettingsRecord& record, SettingsFile& file, bool check,
                   const FileContent& before, FileContent& after, bool& changed,
                   std::ostream& err) {
    std::optional<ScratchFolder> scratch;
    if (check) {
        if (scratch.emplace().path().empty()) {
            return Status::failure(texts::systemError(errno));
        }
        file.filePath = joinPath(scratch->path(), baseNameOf(file.filePath));
        file.backupDir.clear();
        Replacement copied;
        if (Status st = before.exists ? replaceFile(file.filePath, before.bytes, nullptr, copied)
                                      : Status::success();
            !st) {
            return st;
        }
    }
    SaveResult saved = saveApplied(record, file, err);
    if (!saved.ok) {
        return saved;
    }
    if (check || !file.document) {
        Status st = readFileBytes(file.filePath, after.bytes, after.exists);
        changed = after != before;
        return st;
    }
    after = FileContent{true, file.document->bytes()};
    changed = saved.writes > 0;
    return Status::success();
}

int apply(const CommandLineOptions& options, std::istream& in, std::ostream& out,
          std::ostream& err) {
    std::string text;
    if (!readDocumentText(options, in, text, err)) {
        return kExitFailure;
    }
    const DocumentReading reading = readSettingsDocument(text);
    if (!reading.ok()) {
        err << "vorda-settings: " << oneLine(reading.refusal->text()) << "\n";
        return kExitFailure;
    }
    SettingsRecord record;
    SettingsFile file;
    if (Status st = loadSettings(record, file, options.rest); !st.ok) {
        err << "vorda-settings: " << shown(st.error, file) << "\n";
        return kExitFailure;
    }
    warnAboutChannelLists(file, err);
    SettingsValues values = settingsValuesOf(record);
    takeFileConnection(values, file, options.rest);
    ApplyResult applied = applySettingsDocument(values, reading.document);
    if (!applied.ok()) {
        err << "vorda-settings: " << oneLine(applied.refusal->text()) << "\n";
        return kExitFailure;
    }
    assignValues(record, std::move(applied.values));

    FileContent before;
    FileContent after;
    bool changed = false;
    const std::string shownPath = shown(file.settingsPath, file);
    if (Status st = readFileBytes(file.filePath, before.bytes, before.exists);
        !st || !(st = saveOrCheck(record, file, options.check, before, after, changed, err))) {
        err << "vorda-settings: " << shown(oneLine(st.error), file) << "\n";
        return kExitFailure;
    }
    std::optional<std::string> diff;
    if (options.diff) {
        diff = unifiedDiff(cp1251::toUtf8(before.bytes), cp1251::toUtf8(after.bytes),
                           before.exists ? shownPath : "/dev/null", shownPath);
    }
    out << applyReport(changed, diff) << "\n";
    return kExitOk;
}

}  // namespace

CommandLineOptions parseCommandLineOptions(const Environment& env) {
    CommandLineOptions options;
    options.rest = env;
    options.rest.args.clear();
    const std::string program = env.args.empty() ? std::string("vorda-settings") : env.args[0];
    options.rest.args.push_back(program);
    options.toolkitArgs.push_back(program);

    std::vector<std::string> own;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < env.args.size(); ++i) {
        const std::string& arg = env.args[i];
        if (optionsEnded) {
            options.rest.args.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (const std::size_t taken = toolkitOptionAt(env.args, i); taken > 0) {
            const auto words = std::span(env.args).subspan(i, taken);
            options.toolkitArgs.insert(options.toolkitArgs.end(), words.begin(), words.end());
            i += taken - 1;
        } else if ((arg == "--channels" || arg == "--apply") && i + 1 < env.args.size()) {
            // The station code or the document follows as a word of its own, whatever it looks
            // like ("-" is standard input).
            own.push_back(arg);
            own.push_back(env.args[++i]);
        } else if (isOptionWord(arg)) {
            own.push_back(arg);
        } else {
            options.rest.args.push_back(arg);
        }
    }
    if (!own.empty()) {
        options.usageError = hidePasswords(parseOwnOptions(program, own, options));
    }
    return options;
}

bool dialogCanOpen(const CommandLineOptions& options, std::ostream& err) {
    if (options.rest.displayNamed) {
        return true;
    }
    for (std::size_t i = 1; i < options.toolkitArgs.size(); ++i) {
        const std::string& arg = options.toolkitArgs[i];
        if (arg == "-platform" || arg == "--platform") {
            return true;
        }
    }
    err << "vorda-settings: no display for the settings dialog (neither DISPLAY nor "
           "WAYLAND_DISPLAY is set).\nThe modes --dump, --rewrite, --apply, --test-connection, "
           "--stations and --channels need none; see --help.\n";
    return false;
}

int runCommandLineMode(const CommandLineOptions& options, std::ostream& out, std::ostream& err) {
    return runCommandLineMode(options, std::cin, out, err);
}

int runCommandLineMode(const CommandLineOptions& options, std::istream& in, std::ostream& out,
                       std::ostream& err) {
    if (!options.usageError.empty()) {
        err << "vorda-settings: " << options.usageError << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (options.help) {
        out << kUsage;
        return kExitOk;
    }
    if (options.version) {
        out << "vorda-settings " << VORDA_VERSION << "\n";
        return kExitOk;
    }
    if (options.dump + options.rewrite + options.apply + options.testConnection + options.stations +
            options.channels >
        1) {
        err << "vorda-settings: choose one of --dump, --rewrite, --apply, --test-connection, "
               "--stations and --channels\n";
        return kExitUsage;
    }
    if ((options.check || options.diff) && !options.apply) {
        err << "vorda-settings: --check and --diff go with --apply\n\n" << kUsage;
        return kExitUsage;
    }
    if (options.apply) {
        return apply(options, in, out, err);
    }
    if (options.dump) {
        return dump(options.rest, out, err);
    }
    if (options.rewrite) {
        return rewrite(options.rest, out, err);
    }
    if (options.channels && options.channelStation.empty()) {
        err << "vorda-settings: --channels needs a station code\n";
        return kExitUsage;
    }
    if (options.stations) {
        return listCodes(options.rest, nullptr, out, err);
    }
    if (options.channels) {
        return listCodes(options.rest, &options.channelStation, out, err);
    }
    return testConnection(options.rest, out, err);
}

}  // namespace vorda
