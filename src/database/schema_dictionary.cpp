#include "database/schema_dictionary.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "database/odbc.h"
#include "platform/cp1251.h"
#include "platform/text.h"
#include "settings/code_rules.h"

namespace vorda {
namespace {

// Names are fetched into 64-byte buffers, so a name has at most 63 characters.
constexpr std::size_t kNameBuffer = 64;
// Station and channel codes are fetched as wide characters into buffers that hold a padded
// fixed-width value whole; what is longer than a code may be is left out anyway.
constexpr std::size_t kCodeBuffer = 256;

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

// Collects the first column of every row of the executed statement as a code. Fixed-width
// character columns pad their values with blanks; a code ends at its last non-blank character.
bool collectCodes(SQLHSTMT stmt, CodeList& list) {
    std::array<SQLWCHAR, kCodeBuffer> buffer{};
    SQLLEN indicator = 0;
    if (odbc::failed(SQLBindCol(stmt, 1, SQL_C_WCHAR, buffer.data(),
                                static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)),
                                &indicator))) {
        list.error = odbc::diagnostic1251(SQL_HANDLE_STMT, stmt);
        return false;
    }
    CodeList found;
    odbc::fetchAll(stmt, [&] {
        if (indicator == SQL_NULL_DATA) {
            return true;
        }
        std::u16string code = odbc::boundWideText(buffer.data(), buffer.size(), indicator);
        code.erase(code.find_last_not_of(u' ') + 1);
        std::optional<std::string> bytes = cp1251::fromUtf16(code);
        if (!bytes) {
            ++found.notInCodePage;
        } else if (bytes->size() > kMaxCodeLength) {
            ++found.tooLong;
        } else {
            found.codes.push_back(std::move(*bytes));
        }
        return true;
    });
    // The order the lists show: letters without regard to case, then byte by byte.
    std::sort(found.codes.begin(), found.codes.end(),
              [](const std::string& a, const std::string& b) {
                  const std::string ua = cp1251::toUpper(a);
                  const std::string ub = cp1251::toUpper(b);
                  return ua != ub ? ua < ub : a < b;
              });
    list = std::move(found);
    return true;
}

// Executes the statement text (direct, or prepared and executed with a bound parameter) and
// collects the codes; the driver's diagnostic goes into list.error on failure.
bool runCodeQuery(SQLHDBC connection, const std::string& sql, const std::string* parameter,
                  CodeList& list) {
    odbc::Handle stmt = odbc::statement(connection);
    if (!stmt) {
        list.error = odbc::diagnostic1251(SQL_HANDLE_DBC, connection);
        return false;
    }
    std::u16string text = cp1251::toUtf16(sql);
    std::u16string value;
    SQLLEN length = 0;
    SQLRETURN rc = SQL_SUCCESS;
    const odbc::StatementWatchdog watchdog(stmt.get());
    if (parameter == nullptr) {
        rc = SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
    } else {
        // The code is passed as a parameter, never pasted into the statement text.
        value = cp1251::toUtf16(*parameter);
        length = static_cast<SQLLEN>(value.size() * sizeof(char16_t));
        rc = SQLPrepareW(stmt.get(), reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
        if (!odbc::failed(rc)) {
            rc = SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                                  std::max<SQLULEN>(value.size(), 1), 0, value.data(),
                                  static_cast<SQLLEN>((value.size() + 1) * sizeof(char16_t)),
                                  &length);
        }
        if (!odbc::failed(rc)) {
            rc = SQLExecute(stmt.get());
        }
    }
    if (odbc::failed(rc)) {
        list.error = odbc::diagnostic1251(SQL_HANDLE_STMT, stmt.get());
        if (list.error.empty()) {
            list.error = "SQL_ERROR";
        }
        return false;
    }
    return collectCodes(stmt.get(), list);
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
        odbc::Handle stmt = odbc::statement(dbc);
        if (!stmt) {
            return;
        }
        const odbc::StatementWatchdog watchdog(stmt.get());  // one for this listing
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
    // One watchdog serves them all, watching each statement while it is in use.
    odbc::StatementWatchdog watchdog;
    for (std::size_t t = 0; t < kTableCount; ++t) {
        odbc::Handle stmt = odbc::statement(dbc);
        if (!stmt) {
            continue;
        }
        const odbc::StatementWatchdog::Scope watching(watchdog, stmt.get());
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

bool queryStations(SQLHDBC connection, const SchemaDictionary& dictionary, CodeList& list) {
    const std::string sql = "select distinct " +
                            dictionary.column(SchemaDictionary::SITECHAN, "STA") + " from " +
                            dictionary.table(SchemaDictionary::SITECHAN);
    return runCodeQuery(connection, sql, nullptr, list);
}

bool queryChannels(SQLHDBC connection, const SchemaDictionary& dictionary,
                   const std::string& station, CodeList& list) {
    const std::string& sta = dictionary.column(SchemaDictionary::SITECHAN, "STA");
    const std::string sql = "select distinct " +
                            dictionary.column(SchemaDictionary::SITECHAN, "CHAN") + " from " +
                            dictionary.table(SchemaDictionary::SITECHAN) + " where " + sta + "=?";
    return runCodeQuery(connection, sql, &station, list);
}

}  // namespace vorda
