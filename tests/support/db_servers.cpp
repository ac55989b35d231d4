#include "support/db_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

namespace vorda::test {
namespace {

constexpr const char* kPgBin = "/usr/lib/postgresql/15/bin/";

struct RunAs {
    bool change = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Starts argv[0] (a full path) with stdin from inputPath (or /dev/null) and stdout and stderr
// appended to logPath; returns the child's pid or -1.
pid_t spawn(const std::vector<std::string>& argv, const std::string& logPath, RunAs as = {},
            const std::string& inputPath = "/dev/null") {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    const int in = ::open(inputPath.c_str(), O_RDONLY);
    const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in >= 0) {
        ::dup2(in, 0);
    }
    if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
    }
    if (as.change && (::setgid(as.gid) != 0 || ::setuid(as.uid) != 0)) {
        ::_exit(126);
    }
    ::execv(args[0], args.data());
    ::_exit(127);
}

int waitFor(pid_t pid) {
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int run(const std::vector<std::string>& argv, const std::string& logPath, RunAs as = {},
        const std::string& inputPath = "/dev/null") {
    return waitFor(spawn(argv, logPath, as, inputPath));
}

std::string tail(const std::string& path, std::size_t n = 2000) {
    const std::string text = readFile(path);
    return text.size() > n ? text.substr(text.size() - n) : text;
}

bool canConnect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// Runs a SQL script through a client program, reading it from a file; on failure the client's
// output goes to *error.
bool runScript(const std::vector<std::string>& argv, const TempDir& dir, const std::string& sql,
               std::string* error, RunAs as = {}) {
    static int counter = 0;
    const std::string script = dir.file("script-" + std::to_string(++counter) + ".sql");
    const std::string log = script + ".log";
    writeFile(script, sql);
    ::chmod(script.c_str(), 0644);
    const int rc = run(argv, log, as, script);
    const std::string output = readFile(log);
    std::filesystem::remove(script);
    std::filesystem::remove(log);
    if (rc != 0) {
        if (error != nullptr) {
            *error = "exit " + std::to_string(rc) + ": " + output;
        }
        return false;
    }
    return true;
}

}  // namespace

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = 0;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(fd);
    return port;
}

std::string DatabaseServer::connectionString(const std::string& database) const {
    std::string s = "Driver={" + driver() + "};";
    for (const auto& [key, value] : dsnAttributes(database)) {
        s += key + "=" + value + ";";
    }
    return s + "UID=" + user() + ";PWD=;";
}

// --- PostgreSQL -------------------------------------------------------------------------------

PostgresServer& PostgresServer::shared() {
    static PostgresServer server;
    return server;
}

PostgresServer::PostgresServer() {
    start();
}

void PostgresServer::start() {
    if (!std::filesystem::exists(std::string(kPgBin) + "initdb")) {
        error_ = std::string("PostgreSQL 15 is not installed (no ") + kPgBin + "initdb)";
        return;
    }
    RunAs as;
    if (::geteuid() == 0) {
        // The server refuses to run as root: the cluster belongs to the postgres user.
        const passwd* pw = ::getpwnam("postgres");
        if (pw == nullptr) {
            error_ = "no postgres user to run the server as";
            return;
        }
        as = {true, pw->pw_uid, pw->pw_gid};
        if (::chown(dir_.path().c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            error_ = "cannot hand " + dir_.path() + " to the postgres user";
            return;
        }
    }
    uid_ = as.uid;
    gid_ = as.gid;
    const std::string data = dir_.file("data");
    const std::string sockets = dir_.file("sockets");
    const std::string log = dir_.file("server.log");
    std::filesystem::create_directory(sockets);
    if (as.change && ::chown(sockets.c_str(), as.uid, as.gid) != 0) {
        error_ = "cannot hand the socket folder to the postgres user";
        return;
    }
    if (run({std::string(kPgBin) + "initdb", "-D", data, "-U", "postgres", "--auth=trust",
             "--encoding=UTF8", "--locale=C", "--no-sync", "--no-instructions"},
            dir_.file("initdb.log"), as) != 0) {
        error_ = "initdb failed: " + tail(dir_.file("initdb.log"));
        return;
    }
    port_ = freeLoopbackPort();
    const std::string options = "-c listen_addresses=127.0.0.1 -p " + std::to_string(port_) +
                                " -k " + sockets +
                                " -c fsync=off -c synchronous_commit=off -c full_page_writes=off";
    if (run({std::string(kPgBin) + "pg_ctl", "-D", data, "-o", options, "-l", log, "-w", "-t", "60",
             "start"},
            dir_.file("pg_ctl.log"), as) != 0) {
        error_ =
            "the PostgreSQL server did not start: " + tail(log) + tail(dir_.file("pg_ctl.log"));
        return;
    }
    running_ = true;
}

PostgresServer::~PostgresServer() {
    if (running_) {
        RunAs as{::geteuid() == 0, uid_, gid_};
        run({std::string(kPgBin) + "pg_ctl", "-D", dir_.file("data"), "-m", "immediate", "-w",
             "stop"},
            dir_.file("pg_ctl.log"), as);
    }
}

bool PostgresServer::runSql(const std::string& database, const std::string& sql,
                            std::string* error) {
    if (!running_) {
        if (error != nullptr) {
            *error = error_;
        }
        return false;
    }
    RunAs as{::geteuid() == 0, uid_, gid_};
    return runScript(
        {std::string(kPgBin) + "psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h",
         dir_.file("sockets"), "-p", std::to_string(port_), "-U", "postgres", "-d", database},
        dir_, sql, error, as);
}

bool PostgresServer::createDatabase(const std::string& name, const std::string& sql,
                                    std::string* error) {
    return runSql("postgres",
                  "drop database if exists " + name + ";\ncreate database " + name + ";\n",
                  error) &&
           runSql(name, sql, error);
}

OdbcSandbox::Attributes PostgresServer::dsnAttributes(const std::string& database) const {
    return {{"Servername", "127.0.0.1"}, {"Port", std::to_string(port_)}, {"Database", database}};
}

// --- MariaDB ----------------------------------------------------------------------------------

MariaDbServer& MariaDbServer::shared() {
    static MariaDbServer server;
    return server;
}

MariaDbServer::MariaDbServer() {
    start();
}

void MariaDbServer::start() {
    const std::string installer = "/usr/bin/mariadb-install-db";
    const std::string daemon = "/usr/sbin/mariadbd";
    if (!std::filesystem::exists(installer) || !std::filesystem::exists(daemon)) {
        error_ = "MariaDB server is not installed (no mariadb-install-db or mariadbd)";
        return;
    }
    const std::string data = dir_.file("data");
    const std::string log = dir_.file("server.log");
    std::vector<std::string> userOption;
    if (::geteuid() == 0) {
        userOption = {"--user=root"};
    }
    // A private temporary folder: two servers set up at once must not share their scratch
    // tables in /tmp.
    const std::string tmp = dir_.file("tmp");
    std::filesystem::create_directories(tmp);
    std::vector<std::string> install = {installer,
                                        "--no-defaults",
                                        "--datadir=" + data,
                                        "--tmpdir=" + tmp,
                                        "--auth-root-authentication-method=normal",
                                        "--skip-test-db",
                                        "--skip-name-resolve"};
    install.insert(install.end(), userOption.begin(), userOption.end());
    if (run(install, log) != 0) {
        error_ = "mariadb-install-db failed: " + tail(log);
        return;
    }
    port_ = freeLoopbackPort();
    std::vector<std::string> serve = {daemon,
                                      "--no-defaults",
                                      "--datadir=" + data,
                                      "--tmpdir=" + tmp,
                                      "--socket=" + dir_.file("mysqld.sock"),
                                      "--pid-file=" + dir_.file("mysqld.pid"),
                                      "--port=" + std::to_string(port_),
                                      "--bind-address=127.0.0.1",
                                      "--skip-name-resolve",
                                      "--log-error=" + log,
                                      "--innodb-buffer-pool-size=32M",
                                      "--innodb-flush-log-at-trx-commit=0",
                                      "--skip-log-bin"};
    serve.insert(serve.end(), userOption.begin(), userOption.end());
    pid_ = spawn(serve, log);
    if (pid_ < 0) {
        error_ = "cannot start mariadbd";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!canConnect(port_)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "mariadbd stopped at start-up: " + tail(log);
            return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            error_ = "mariadbd did not listen within 60 s: " + tail(log);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    running_ = true;
}

MariaDbServer::~MariaDbServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        waitFor(pid_);
    }
}

bool MariaDbServer::runSql(const std::string& database, const std::string& sql,
                           std::string* error) {
    if (!running_) {
        if (error != nullptr) {
            *error = error_;
        }
        return false;
    }
    std::vector<std::string> argv = {"/usr/bin/mariadb", "--no-defaults",
                                     "--socket=" + dir_.file("mysqld.sock"), "-u", "root"};
    if (!database.empty()) {
        argv.push_back(database);
    }
    return runScript(argv, dir_, sql, error);
}

bool MariaDbServer::createDatabase(const std::string& name, const std::string& sql,
                                   std::string* error) {
    return runSql("", "drop database if exists " + name + ";\ncreate database " + name + ";\n",
                  error) &&
           runSql(name, sql, error);
}

OdbcSandbox::Attributes MariaDbServer::dsnAttributes(const std::string& database) const {
    return {{"Server", "127.0.0.1"}, {"Port", std::to_string(port_)}, {"Database", database}};
}

}  // namespace vorda::test
