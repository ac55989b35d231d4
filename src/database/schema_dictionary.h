#pragma once
// The tables and columns of the seismic database that the program knows, with built-in
// upper-case names that refresh() corrects to the spelling of the connected database.
#include <sql.h>

#include <string>
#include <string_view>
#include <vector>

namespace vorda {

class SchemaDictionary {
  public:
    enum Table {
        FILELIST,
        SITECHAN,
        SITE,
        ORIGIN,
        NETWORKS,
        LASTID,
        ID_SENS,
        ID_FREQ,
        GEOGRAPHIC_REGION,
        EVENTLIST,
        EARTHQUAKE,
        CONTREG,
        CALIBRATION,
        ARRIVAL,
        kTableCount
    };

    SchemaDictionary();  // every name empty, no connection
    virtual ~SchemaDictionary() = default;

    // Restores the built-in names, then takes over the database's spelling of every table
    // (one SQLTables of type 'TABLE') and of every column (one SQLColumns per table).
    // Never fails: an ODBC error ends only the check it belongs to.
    void refresh(SQLHDBC connection);

    // The table's name as it stands now.
    const std::string& table(Table t) const;
    // The column's name as it stands now, by its built-in (upper-case) name; empty when the
    // table has no such column.
    const std::string& column(Table t, std::string_view builtinName) const;
    // All column names of a table, in their fixed order.
    const std::vector<std::string>& columns(Table t) const;

    // The built-in names, for reference.
    static std::string_view builtinTable(Table t);
    static const std::vector<std::string_view>& builtinColumns(Table t);

    SQLHDBC connection = SQL_NULL_HDBC;

  private:
    struct Record {
        std::string name;
        std::vector<std::string> columns;
    };
    std::vector<Record> records_;
};

// The one schema dictionary of the program.
SchemaDictionary& schemaDictionary();

// The station codes of SITECHAN ("select distinct STA from SITECHAN", names from the
// dictionary), each cut to 7 characters as a code is and without the blanks that pad a
// fixed-width column; false when the statement fails.
bool queryStations(SQLHDBC connection, const SchemaDictionary& dictionary,
                   std::vector<std::string>& stations);

// The channel codes of one station, cut and unpadded as the station codes are; the station code
// is bound as a parameter, never pasted into the statement. False when the statement fails.
bool queryChannels(SQLHDBC connection, const SchemaDictionary& dictionary,
                   const std::string& station, std::vector<std::string>& channels);

}  // namespace vorda
