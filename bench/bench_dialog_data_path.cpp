// The channel dialog's data path against PostgreSQL: connect, refresh the schema dictionary,
// list the stations, list the channels of one station. The database holds the 14 tables of the
// dictionary, 100,000 SITECHAN rows (1,000 stations of 100 channels) and 500 other tables.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "database/connection_settings.h"
#include "database/schema_dictionary.h"
#include "support/db_servers.h"
#include "support/odbc_sandbox.h"

namespace {

using vorda::ConnectionSettings;
using vorda::SchemaDictionary;

std::string databaseSql() {
    std::string sql;
    for (int t = 0; t < SchemaDictionary::kTableCount; ++t) {
        const auto table = static_cast<SchemaDictionary::Table>(t);
        sql += "create table " + std::string(SchemaDictionary::builtinTable(table)) + " (";
        const auto& cols = SchemaDictionary::builtinColumns(table);
        for (std::size_t c = 0; c < cols.size(); ++c) {
            sql += (c ? ", " : "") + std::string(cols[c]) + " varchar(32)";
        }
        sql += ");\n";
    }
    sql +=
        "insert into sitechan (nindex, sta, chan, sps)\n"
        "  select g, 'S' || lpad((g / 100)::text, 4, '0'), 'C' || lpad((g % 100)::text, 2, '0'),"
        " '100'\n"
        "  from generate_series(0, 99999) as g;\n"
        "create index sitechan_sta on sitechan (sta);\n"
        "do $$ begin\n"
        "  for i in 1..500 loop\n"
        "    execute format('create table other_%s (id integer primary key, sta varchar(8), "
        "chan varchar(8), value double precision, note text)', i);\n"
        "  end loop;\n"
        "end $$;\n"
        "analyze;\n";
    return sql;
}

struct Fixture {
    std::unique_ptr<vorda::test::OdbcSandbox> sandbox;
    std::string error;
    bool ready = false;
};

Fixture& fixture() {
    static Fixture f = [] {
        Fixture f;
        auto& pg = vorda::test::PostgresServer::shared();
        if (!pg.running()) {
            f.error = pg.error();
            return f;
        }
        if (!pg.createDatabase("bench_dialog", databaseSql(), &f.error)) {
            return f;
        }
        f.sandbox = std::make_unique<vorda::test::OdbcSandbox>();
        f.sandbox->addDsn("BENCH_PG", pg.driver(), pg.dsnAttributes("bench_dialog"));
        ConnectionSettings::values() = {"BENCH_PG", pg.user(), "", ""};
        f.ready = true;
        return f;
    }();
    return f;
}

bool connectOrSkip(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ready) {
        state.SkipWithError(("PostgreSQL is not available: " + f.error).c_str());
        return false;
    }
    return true;
}

void BM_DialogDataPath(benchmark::State& state) {
    if (!connectOrSkip(state)) {
        return;
    }
    ConnectionSettings settings(vorda::Environment{});
    SchemaDictionary dictionary;
    vorda::CodeList stations;
    vorda::CodeList channels;
    for (auto _ : state) {
        if (!settings.connect(false).connected) {
            state.SkipWithError("connect failed");
            return;
        }
        dictionary.refresh(ConnectionSettings::connection());
        if (!vorda::queryStations(ConnectionSettings::connection(), dictionary, stations) ||
            stations.codes.empty() ||
            !vorda::queryChannels(ConnectionSettings::connection(), dictionary,
                                  stations.codes.front(), channels)) {
            state.SkipWithError("query failed");
            return;
        }
        benchmark::DoNotOptimize(channels.codes.data());
    }
    state.counters["stations"] = static_cast<double>(stations.codes.size());
    state.counters["channels"] = static_cast<double>(channels.codes.size());
    ConnectionSettings::release();
}
BENCHMARK(BM_DialogDataPath)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

// The parts, to see where the time goes.
void BM_Connect(benchmark::State& state) {
    if (!connectOrSkip(state)) {
        return;
    }
    ConnectionSettings settings(vorda::Environment{});
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.connect(false).connected);
    }
    ConnectionSettings::release();
}
BENCHMARK(BM_Connect)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Refresh(benchmark::State& state) {
    if (!connectOrSkip(state)) {
        return;
    }
    ConnectionSettings settings(vorda::Environment{});
    settings.connect(false);
    SchemaDictionary dictionary;
    for (auto _ : state) {
        dictionary.refresh(ConnectionSettings::connection());
    }
    ConnectionSettings::release();
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Queries(benchmark::State& state) {
    if (!connectOrSkip(state)) {
        return;
    }
    ConnectionSettings settings(vorda::Environment{});
    settings.connect(false);
    SchemaDictionary dictionary;
    dictionary.refresh(ConnectionSettings::connection());
    vorda::CodeList stations;
    vorda::CodeList channels;
    for (auto _ : state) {
        vorda::queryStations(ConnectionSettings::connection(), dictionary, stations);
        vorda::queryChannels(ConnectionSettings::connection(), dictionary, "S0500", channels);
    }
    state.counters["stations"] = static_cast<double>(stations.codes.size());
    state.counters["channels"] = static_cast<double>(channels.codes.size());
    ConnectionSettings::release();
}
BENCHMARK(BM_Queries)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
