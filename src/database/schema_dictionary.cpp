#include "database/schema_dictionary.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "database/odbc.h"
#include "platform/text.h"

namespace vorda {
namespace {

// Names are fetched into 64-byte buffers, so a name has at most 63 characters.
constexpr std::size_t kNameBuffer = 64;
// Station and channel codes are fetched into 8-byte buffers: at most 7 characters.
constexpr std::size_t kCodeBuffer = 8;

struct BuiltinTable {
    std::string_view name;
    std::vector<std::string_view> columns;
};

const std::array<BuiltinTable, SchemaDictionary::kTableCount>& builtins() {
    static const std::array<BuiltinTable, SchemaDictionary::kTableCount> tables = {{
        {"FILELIST",
         {"NINDEX", "STA", "TBEGIN", "TQTY", "SPS", "GAIN", "CPATH", "COMMENT", "DATATYPE", "CH",
          "CREATER", "LDDATE", "FOFF", "CALIB", "CALPER", "LCODE"}},
        {"SITECHAN",
         {"NINDEX", "STA", "CHAN", "NGROUP", "CHANINDEX", "EDEPTH", "LAT", "LON", "SPS", "HANG",
          "VANG", "DESCR", "CALIBFILE", "LDDATE", "LCODE"}},
        {"SITE",
         {"NINDEX", "STA", "NGROUPS", "ELEV", "LAT", "LON", "DESCR", "LDDATE", "DNORTH", "DEAST",
          "REFSTA"}},
        {"ORIGIN",
         {"EVENTID", "LAT", "LON", "EDEPTH", "ORIGINTIME", "RMS", "DH", "DZ", "COMMENT", "LDDATE",
          "ORID", "MB", "MBUNC", "MS", "MSUNC"}},
        {"NETWORKS", {"NINDEX", "NETNAME", "NETTYPE", "NETLIST", "LDDATE"}},
        {"LASTID", {"KEYNAME", "KEYVALUE", "LDDATE"}},
        {"ID_SENS", {"ID_SENS", "SENS_UNITS", "CALIB_UNITS"}},
        {"ID_FREQ", {"ID_FREQ", "FREQ_UNITS"}},
        {"GEOGRAPHIC_REGION", {"COD2", "REGION", "NAME", "COMMENT"}},
        {"EVENTLIST", {"NINDEX", "STA", "TBEGIN", "EVENT_TYPE", "LDDATE"}},
        {"EARTHQUAKE",
         {"N", "NINYEAR", "REGION", "DATE_IDC", "DS", "LAT", "LON", "DEPTH", "MS", "MPV", "I0",
          "COM", "FEEL", "RTIME", "NSTA", "NMB", "NMS", "NCSEM"}},
        {"CONTREG", {"LAT1", "LON1", "LAT2", "LON2", "NAME", "EPN"}},
        {"CALIBRATION",
         {"NETWORK", "LOCATION", "STA", "CHAN", "STARTDATE", "ENDDATE", "SENS", "ID_SENS", "FREQ",
          "ID_FREQ", "SAC", "FAP", "LDDATE"}},
        {"ARRIVAL", {"NINDEX", "FLAG",   "EVENTID",   "NUMB",   "STA",      "CHAN",     "IPHASE",
                     "ITIME",  "DELTIM", "AZIMUTH",   "SLOW",   "EMA",      "RECT",     "FM",
                     "IM_EM",  "PER",    "RESIDUALS", "AMPL",   "LDDATE",   "WGT",      "ARID",
                     "MS",     "MB",     "AMPTIME",   "DIST",   "CODA",     "REGCLASS", "MCODA",
                     "MPSP",   "MPLP",   "CHANTYPE",  "REMARK", "AFILTYPE", "PFILTYPE", "MWA"}},
    }};
    return tables;
}

// Fetches column `column` of every row of the statement's result set as text and hands the
// name, as returned, to take().
template <class Take>
void fetchNames(SQLHSTMT stmt, SQLUSMALLINT column, Take&& take) {
    std::array<char, kNameBuffer> buffer{};
    SQLLEN indicator = 0;
    if (odbc::failed(SQLBindCol(stmt, column, SQL_C_CHAR, buffer.data(),
                                static_cast<SQLLEN>(buffer.size()), &indicator))) {
        return;
    }
    odbc::fetchAll(stmt, [&] {
        if (indicator != SQL_NULL_DATA) {
            take(odbc::boundText(buffer.data(), buffer.size(), indicator));
        }
        return true;
    });
}

// The database's spelling replaces the first field whose current content equals the name in
// upper case; a field already holding another spelling no longer matches.
void takeSpelling(const std::string& returned, std::string* const* fields, std::size_t count) {
    const std::string upper = upperAscii(returned);
    for (std::size_t i = 0; i < count; ++i) {
        if (*fields[i] == upper) {
            *fields[i] = returned;
            return;
        }
    }
}

// Runs one query and collects the first column of every row as a code of at most 7 characters.
// Fixed-width character columns pad their values with blanks; a code ends at its last
// non-blank character.
bool collectCodes(SQLHSTMT stmt, std::vector<std::string>& out) {
    std::array<char, kCodeBuffer> buffer{};
    SQLLEN indicator = 0;
    if (odbc::failed(SQLBindCol(stmt, 1, SQL_C_CHAR, buffer.data(),
                                static_cast<SQLLEN>(buffer.size()), &indicator))) {
        return false;
    }
    std::vector<std::string> codes;
    odbc::fetchAll(stmt, [&] {
        if (indicator != SQL_NULL_DATA) {
            std::string code = odbc::boundText(buffer.data(), buffer.size(), indicator);
            code.erase(code.find_last_not_of(' ') + 1);
            codes.push_back(std::move(code));
        }
        return true;
    });
    out = std::move(codes);
    return true;
}

}  // namespace

SchemaDictionary::SchemaDictionary() : records_(kTableCount) {
    for (std::size_t t = 0; t < kTableCount; ++t) {
        records_[t].columns.resize(builtins()[t].columns.size());
    }
}

std::string_view SchemaDictionary::builtinTable(Table t) {
    return builtins()[t].name;
}

const std::vector<std::string_view>& SchemaDictionary::builtinColumns(Table t) {
    return builtins()[t].columns;
}

const std::string& SchemaDictionary::table(Table t) const {
    return records_[t].name;
}

const std::vector<std::string>& SchemaDictionary::columns(Table t) const {
    return records_[t].columns;
}

const std::string& SchemaDictionary::column(Table t, std::string_view builtinName) const {
    static const std::string kNone;
    const auto& names = builtins()[t].columns;
    const auto it = std::find(names.begin(), names.end(), builtinName);
    if (it == names.end()) {
        return kNone;
    }
    return records_[t].columns[static_cast<std::size_t>(it - names.begin())];
}

void SchemaDictionary::refresh(SQLHDBC dbc) {
    connection = dbc;
    for (std::size_t t = 0; t < kTableCount; ++t) {
        records_[t].name = std::string(builtins()[t].name);
        const auto& names = builtins()[t].columns;
        records_[t].columns.assign(names.begin(), names.end());
    }

    // Tables: one listing of the objects of type TABLE.
    {
        odbc::Handle stmt = odbc::Handle::allocate(SQL_HANDLE_STMT, dbc);
        if (!stmt) {
            return;
        }
        const std::string tableType = "'TABLE'";
        if (odbc::failed(SQLTables(stmt.get(), nullptr, 0, nullptr, 0, nullptr, 0,
                                   odbc::text(tableType), SQL_NTS))) {
            return;
        }
        std::array<std::string*, kTableCount> fields{};
        for (std::size_t t = 0; t < kTableCount; ++t) {
            fields[t] = &records_[t].name;
        }
        fetchNames(stmt.get(), 3, [&](const std::string& name) {
            takeSpelling(name, fields.data(), fields.size());
        });
        SQLCloseCursor(stmt.get());
    }

    // Columns: one listing per table, asked for under the table's spelling as it stands now.
    for (std::size_t t = 0; t < kTableCount; ++t) {
        odbc::Handle stmt = odbc::Handle::allocate(SQL_HANDLE_STMT, dbc);
        if (!stmt) {
            continue;
        }
        const std::string tableName = records_[t].name;
        if (odbc::failed(SQLColumns(stmt.get(), nullptr, 0, nullptr, 0, odbc::text(tableName),
                                    SQL_NTS, nullptr, 0))) {
            continue;
        }
        std::vector<std::string*> fields;
        for (std::string& c : records_[t].columns) {
            fields.push_back(&c);
        }
        fetchNames(stmt.get(), 4, [&](const std::string& name) {
            takeSpelling(name, fields.data(), fields.size());
        });
    }
}

SchemaDictionary& schemaDictionary() {
    static SchemaDictionary dictionary;
    return dictionary;
}

bool queryStations(SQLHDBC connection, const SchemaDictionary& dictionary,
                   std::vector<std::string>& stations) {
    odbc::Handle stmt = odbc::Handle::allocate(SQL_HANDLE_STMT, connection);
    if (!stmt) {
        return false;
    }
    const std::string sql = "select distinct " +
                            dictionary.column(SchemaDictionary::SITECHAN, "STA") + " from " +
                            dictionary.table(SchemaDictionary::SITECHAN);
    if (odbc::failed(SQLExecDirect(stmt.get(), odbc::text(sql), SQL_NTS))) {
        return false;
    }
    return collectCodes(stmt.get(), stations);
}

bool queryChannels(SQLHDBC connection, const SchemaDictionary& dictionary,
                   const std::string& station, std::vector<std::string>& channels) {
    odbc::Handle stmt = odbc::Handle::allocate(SQL_HANDLE_STMT, connection);
    if (!stmt) {
        return false;
    }
    const std::string& sta = dictionary.column(SchemaDictionary::SITECHAN, "STA");
    const std::string sql = "select distinct " +
                            dictionary.column(SchemaDictionary::SITECHAN, "CHAN") + " from " +
                            dictionary.table(SchemaDictionary::SITECHAN) + " where " + sta + "=?";
    if (odbc::failed(SQLPrepare(stmt.get(), odbc::text(sql), SQL_NTS))) {
        return false;
    }
    // The code is passed as a parameter, never pasted into the statement text.
    std::string value = station;
    SQLLEN length = static_cast<SQLLEN>(value.size());
    if (odbc::failed(SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                      std::max<SQLULEN>(value.size(), 1), 0, value.data(),
                                      static_cast<SQLLEN>(value.size() + 1), &length))) {
        return false;
    }
    if (odbc::failed(SQLExecute(stmt.get()))) {
        return false;
    }
    return collectCodes(stmt.get(), channels);
}

}  // namespace vorda
