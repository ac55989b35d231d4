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

// The codes one query offers. The database's text is fetched as wide characters, whatever its
// own encoding, and converted to code page 1251; a code that the settings file cannot hold is
// left out and counted rather than offered garbled or cut.
struct CodeList {
    std::vector<std::string> codes;  // code page 1251, without the blanks that pad a column,
                                     // sorted without regard to letter case
    std::size_t notInCodePage = 0;   // left out: a character code page 1251 cannot hold
    std::size_t tooLong = 0;         // left out: longer than kMaxCodeLength characters
    std::string error;               // why the query failed (code page 1251); empty on success

    std::size_t leftOut() const { return notInCodePage + tooLong; }
};

// The station codes of SITECHAN ("select distinct STA from SITECHAN", names from the
// dictionary). False when the statement fails: list.error says why and the codes stay as they
// were.
bool queryStations(SQLHDBC connection, const SchemaDictionary& dictionary, CodeList& list);

// The channel codes of one station (code page 1251), filtered as the station codes are; the
// station code is bound as a parameter, never pasted into the statement. False when the
// statement fails, as queryStations.
bool queryChannels(SQLHDBC connection, const SchemaDictionary& dictionary,
                   const std::string& station, CodeList& list);

}  // namespace vorda
