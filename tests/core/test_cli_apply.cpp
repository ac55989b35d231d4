// --apply from end to end: a settings document applied to a settings file as the program's main
// runs it, what it writes, what it leaves alone and what it refuses.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/cli.h"
#include "settings/settings_backup.h"
#include "support/temp_dir.h"

using namespace vorda;
using vorda::test::TempDir;

namespace {

const std::string kFile =
    "; kept as it is\r\n[OTHER]\r\nKEY=1\r\n"
    "[DATABASE]\r\nODBC=ZEL\r\nUSER=ZEL\r\nPASSWORD=QMX\r\n[DATA]\r\nDIR=/d\r\n[LOG]\r\nDIR=/l\r\n"
    "[SYSTEM]\r\nSERVER=old\r\nMODE=detail\r\nSCREEN=hide\r\nSIZEMB=100\r\nGROUPS=3\r\n"
    "[GROUP1]\r\nSTATION=NRD\r\nSIZEMB=100\r\nSPS=40\r\nBHZ=1160000000\r\nFILE_BHZ=z.dat\r\n"
    "CHAN=BHZ\r\n"
    "[GROUP2]\r\nSTATION=KLM\r\nSIZEMB=50\r\nSPS=20\r\nSHZ=1159999000\r\nFILE_SHZ=s.dat\r\n"
    "CHAN=SHZ\r\n"
    "[GROUP3]\r\nSTATION=AZV\r\nSIZEMB=200\r\nSPS=100\r\nHHZ=5\r\nFILE_HHZ=h.dat\r\nCHAN=HHZ\r\n"
    "[TAIL]\r\nX=y\r\n";

struct ModeRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the program's modes on dir/s.ini, with its backups kept in dir/cache; a document named
// "-" is read from `input`.
ModeRun run(const TempDir& dir, std::vector<std::string> options, const std::string& input = "") {
    Environment env;
    env.args = {"vorda-settings"};
    env.args.insert(env.args.end(), options.begin(), options.end());
    env.args.push_back(dir.file("s.ini"));
    env.currentDir = dir.path();
    env.systemDir = dir.file("etc");
    env.cacheDir = dir.file("cache");
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    ModeRun r;
    r.code = runCommandLineMode(parseCommandLineOptions(env), in, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

ModeRun applyDocument(const TempDir& dir, const std::string& document,
                      std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"--apply", "-"});
    return run(dir, more, document);
}

// The file's modification time in nanoseconds.
long long modified(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return -1;
    }
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

std::size_t backups(const TempDir& dir) {
    return backupsOf(backupFolder(dir.file("cache")), dir.file("s.ini")).size();
}

}  // namespace

TEST(ApplyCommand, WritesJustWhatTheDocumentChangesThenReportsNothingToChange) {
    TempDir dir;
    dir.write("s.ini", kFile);
    // A channel added, a group removed, the server set; the last times not named are kept.
    const std::string document = R"({"server": "new", "groups": [
        {"station": "NRD", "channels": [{"code": "BHZ"}, {"code": "BHN"}]},
        {"station": "AZV"}]})";

    // --check --diff shows the change and writes nothing.
    const long long untouched = modified(dir.file("s.ini"));
    ModeRun r = applyDocument(dir, document, {"--check", "--diff"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    auto report = nlohmann::json::parse(r.out);
    EXPECT_EQ(report["changed"], true);
    const std::string diff = report["diff"];
    const std::string path = dir.file("s.ini");
    EXPECT_EQ(diff.rfind("--- " + path + "\n+++ " + path + "\n@@ ", 0), 0u) << diff;
    for (const char* line : {"\n-SERVER=old\r\n+SERVER=new\r\n", "\n-GROUPS=3\r\n+GROUPS=2\r\n",
                             "\n+BHN=0\r\n+FILE_BHN=NRD_BHN.DAT\r\n", "\n-[GROUP3]\r\n"}) {
        EXPECT_NE(diff.find(line), std::string::npos) << line << " in\n" << diff;
    }
    EXPECT_EQ(dir.read("s.ini"), kFile);
    EXPECT_EQ(modified(dir.file("s.ini")), untouched);
    EXPECT_EQ(backups(dir), 0u);

    r = applyDocument(dir, document);
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out), nlohmann::json::parse(R"({"changed": true})"));
    EXPECT_EQ(dir.read("s.ini"),
              "; kept as it is\r\n[OTHER]\r\nKEY=1\r\n"
              "[DATABASE]\r\nODBC=ZEL\r\nUSER=ZEL\r\nPASSWORD=QMX\r\n[DATA]\r\nDIR=/d\r\n"
              "[LOG]\r\nDIR=/l\r\n"
              "[SYSTEM]\r\nSERVER=new\r\nMODE=detail\r\nSCREEN=hide\r\nSIZEMB=100\r\nGROUPS=2\r\n"
              "[GROUP1]\r\nSTATION=NRD\r\nSIZEMB=100\r\nSPS=40\r\nBHZ=1160000000\r\n"
              "FILE_BHZ=z.dat\r\nCHAN=BHZ,BHN\r\nBHN=0\r\nFILE_BHN=NRD_BHN.DAT\r\n"
              // The section loses the keys the removed group's channels had there.
              "[GROUP2]\r\nSTATION=AZV\r\nSIZEMB=200\r\nSPS=100\r\n"
              "CHAN=HHZ\r\nHHZ=5\r\nFILE_HHZ=h.dat\r\n"
              "[TAIL]\r\nX=y\r\n");
    EXPECT_EQ(backups(dir), 1u);

    // Again, and with what --dump prints of the result: nothing to change, nothing touched.
    const long long written = modified(dir.file("s.ini"));
    const ModeRun dumped = run(dir, {"--dump"});
    ASSERT_EQ(dumped.code, kExitOk) << dumped.err;
    for (const std::string& again : {document, dumped.out}) {
        for (const bool check : {false, true}) {
            r = applyDocument(
                dir, again,
                check ? std::vector<std::string>{"--check", "--diff"} : std::vector<std::string>{});
            ASSERT_EQ(r.code, kExitOk) << r.err;
            report = nlohmann::json::parse(r.out);
            EXPECT_EQ(report["changed"], false) << again;
            EXPECT_EQ(report.value("diff", std::string()), "");
        }
    }
    EXPECT_EQ(modified(dir.file("s.ini")), written);
    EXPECT_EQ(backups(dir), 1u);
}

TEST(ApplyCommand, RefusesABadDocumentNamingTheFieldAndWritesNothing) {
    struct Case {
        const char* document;
        const char* message;  // the start of the error, after "vorda-settings: "
    };
    const Case cases[] = {
        {R"({"groups": [{"station": "NRD", "channels": [{"code": "BHZ"}, {"code": "B,H"}]}]})",
         "groups[0].channels[1].code: Код канала «B,H»"},
        {R"({"server": 1})", "server: должно быть текстом"},
        {R"({"server": null})", "server: "},
        {R"({"sever": "x"})", "sever: такого поля нет"},
        {R"({"groups": [{"station": "NRD", "chanels": []}]})", "groups[0].chanels: "},
        {R"({"groups": [{"station": "NRD", "channels": [{"code": "BHZ", "file": "x"}]}]})",
         "groups[0].channels[0].file: "},
        {R"({"server": "a", "server": "b"})", "server: поле указано дважды"},
        {R"({"groups": [{"station": "NRD", "channels": [{"code": "BHZ", "code": "X"}]}]})",
         "groups[0].channels[0].code: поле указано дважды"},
        {R"({"groups": {}})", "groups: должно быть списком"},
        {R"({"groups": [{"station": "NRD"}, 1]})", "groups[1]: "},
        {R"({"groups": [{"station": "NRD", "channels": ["BHZ"]}]})", "groups[0].channels[0]: "},
        {R"({"groups": [{"station": "NRD", "sps": "40"}]})", "groups[0].sps: "},
        {R"({"groups": [{"station": "NRD", "channels": [{"code": "BHZ", "lastTime": 1.5}]}]})",
         "groups[0].channels[0].lastTime: "},
        {R"({"groups": [{"station": "NRD", "channels": [{"code": "BHZ", "lastTime": 4294967296}]}]})",
         "groups[0].channels[0].lastTime: "},
        {R"({"detailMode": "yes"})", "detailMode: "},
        {R"({"groupCount": 9})", "groupCount: "},
        {"{\"server\": \"a\",\n \"logDir\": [1,\n}",
         "документ не в формате JSON (строка 3, столбец 1)"},
        {"", "документ не в формате JSON"},
        {"[]", "документ должен быть объектом JSON"},
    };
    TempDir dir;
    dir.write("s.ini", kFile);
    const long long untouched = modified(dir.file("s.ini"));
    for (const Case& c : cases) {
        const ModeRun r = applyDocument(dir, c.document);
        EXPECT_EQ(r.code, kExitFailure) << c.document;
        EXPECT_EQ(r.out, "") << c.document;
        EXPECT_EQ(r.err.rfind(std::string("vorda-settings: ") + c.message, 0), 0u)
            << c.document << "\n"
            << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
    EXPECT_EQ(dir.read("s.ini"), kFile);
    EXPECT_EQ(modified(dir.file("s.ini")), untouched);
    EXPECT_EQ(backups(dir), 0u);

    // A document that cannot be read, and the options that go only with --apply.
    ModeRun r = run(dir, {"--apply", dir.file("none.json")});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("none.json"), std::string::npos) << r.err;
    EXPECT_EQ(run(dir, {"--check"}).code, kExitUsage);
    EXPECT_EQ(run(dir, {"--diff", "--dump"}).code, kExitUsage);
    EXPECT_EQ(run(dir, {"--apply", "-", "--rewrite"}).code, kExitUsage);
    EXPECT_EQ(dir.read("s.ini"), kFile);
}

// The program itself, the document in a file named relative to the current directory and on
// standard input, and a settings file that does not exist yet.
TEST(ApplyCommand, TheProgramCreatesAMissingFileAndReadsTheDocumentFromAFileOrStandardInput) {
    TempDir dir;
    dir.write("doc.json",
              R"({"server": "s1", "groups": [{"station": "ABC", "channels": [{"code": "BHZ"}]}]})");
    const std::string binary = VORDA_BINARY;
    const auto program = [&](const std::string& args) {
        const std::string command = "cd '" + dir.path() + "' && XDG_CACHE_HOME='" +
                                    dir.file("cache") + "' '" + binary + "' " + args +
                                    " >out.json 2>err.txt";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    ASSERT_EQ(program("--apply doc.json --diff new.ini"), 0) << dir.read("err.txt");
    auto report = nlohmann::json::parse(dir.read("out.json"));
    EXPECT_EQ(report["changed"], true);
    EXPECT_EQ(
        report["diff"].get<std::string>().rfind("--- /dev/null\n+++ ./new.ini\n@@ -0,0 +1,", 0), 0u)
        << report["diff"];
    EXPECT_NE(
        dir.read("new.ini").find("[GROUP1]\r\nSTATION=ABC\r\nSIZEMB=100\r\nSPS=20\r\nBHZ=0\r\n"
                                 "FILE_BHZ=ABC_BHZ.DAT\r\nCHAN=BHZ\r\n"),
        std::string::npos)
        << dir.read("new.ini");
    ASSERT_EQ(program("--apply - new.ini <doc.json"), 0) << dir.read("err.txt");
    EXPECT_EQ(nlohmann::json::parse(dir.read("out.json"))["changed"], false);
    EXPECT_EQ(program("--apply - new.ini </dev/null"), 1);
    EXPECT_NE(dir.read("err.txt").find("JSON"), std::string::npos);
}
