#pragma once
// Throwaway database servers for tests and benchmarks: a PostgreSQL 15 cluster and a MariaDB
// server, each in a temporary folder, listening on 127.0.0.1 at a free port and on a private
// unix socket. Each is started at its first use in a program and stopped and deleted at exit,
// so the tests of one program share it. Setting up databases goes through the servers' own
// command-line clients, never through ODBC, so the ODBC sandbox can be created at any time.
//
// A machine without the server programs gets a server that is not running, with the reason in
// error(); tests then fail (ASSERT_TRUE(server.running()) << server.error()).
#include <sys/types.h>
#include <string>

#include "support/odbc_sandbox.h"
#include "support/temp_dir.h"

namespace vorda::test {

class DatabaseServer {
  public:
    virtual ~DatabaseServer() = default;
    DatabaseServer(const DatabaseServer&) = delete;
    DatabaseServer& operator=(const DatabaseServer&) = delete;

    bool running() const { return running_; }
    const std::string& error() const { return error_; }
    int port() const { return port_; }

    // Creates the database afresh (dropping one of that name) and runs the SQL script in it.
    virtual bool createDatabase(const std::string& name, const std::string& sql,
                                std::string* error = nullptr) = 0;
    // Runs a SQL script in an existing database.
    virtual bool runSql(const std::string& database, const std::string& sql,
                        std::string* error = nullptr) = 0;

    // The ODBC driver name (as registered in odbcinst.ini) and the attributes of a data source
    // for the database; user and password go to SQLConnect.
    virtual std::string driver() const = 0;
    virtual OdbcSandbox::Attributes dsnAttributes(const std::string& database) const = 0;
    virtual std::string user() const = 0;
    // A connection string for SQLDriverConnect.
    std::string connectionString(const std::string& database) const;

  protected:
    DatabaseServer() = default;
    bool running_ = false;
    std::string error_;
    int port_ = 0;
    TempDir dir_;
};

class PostgresServer : public DatabaseServer {
  public:
    static PostgresServer& shared();
    ~PostgresServer() override;

    bool createDatabase(const std::string& name, const std::string& sql,
                        std::string* error = nullptr) override;
    bool runSql(const std::string& database, const std::string& sql,
                std::string* error = nullptr) override;
    std::string driver() const override { return "PostgreSQL Unicode"; }
    OdbcSandbox::Attributes dsnAttributes(const std::string& database) const override;
    std::string user() const override { return "postgres"; }

  private:
    PostgresServer();
    void start();
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

class MariaDbServer : public DatabaseServer {
  public:
    static MariaDbServer& shared();
    ~MariaDbServer() override;

    bool createDatabase(const std::string& name, const std::string& sql,
                        std::string* error = nullptr) override;
    bool runSql(const std::string& database, const std::string& sql,
                std::string* error = nullptr) override;
    std::string driver() const override { return "MariaDB Unicode"; }
    OdbcSandbox::Attributes dsnAttributes(const std::string& database) const override;
    std::string user() const override { return "root"; }

  private:
    MariaDbServer();
    void start();
    pid_t pid_ = -1;
};

// A free TCP port on 127.0.0.1 (asked of the kernel).
int freeLoopbackPort();

}  // namespace vorda::test
