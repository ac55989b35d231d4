// The channel dialog against a real SQLite database through the SQLite3 ODBC driver, in a
// private ODBC configuration.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QtTest>
#include <memory>
#include <vector>

#include "channels/ui/channel_dialog.h"
#include "database/connection_settings.h"
#include "database/schema_dictionary.h"
#include "gui_script.h"
#include "platform/cp1251.h"
#include "settings/settings_record.h"
#include "support/db_servers.h"
#include "support/odbc_sandbox.h"
#include "ui/ui_support.h"

using namespace vorda;

namespace {

const QString kFillAll = QString::fromUtf8("Необходимо заполнить все поля!");
const QString kTimeFormat = QString::fromUtf8("Формат времени не соответствует выбранному");
const QString kTimeOutOfRange = QString::fromUtf8(
    "Последнее время должно быть не раньше 1901-12-13 20:45:52 и не позже 2038-01-19 03:14:07\n"
    "(в секундах Unix: от -2147483648 до 2147483647).");
const QString kDuplicate =
    QString::fromUtf8("В данной группе уже есть такой канал!\n Выберите другой.");
const QString kQuestion = QString::fromUtf8(
    "Значения полей [Отсчеты в секунду] и [Размер файла]\nменяются у всей группы.\nПродолжить?");
const QString kStationNotFound = QString::fromUtf8("Станция не найдена в базе данных");

ChannelRecord channel(const char* code, std::int32_t lastTime, const char* file) {
    return ChannelRecord{code, lastTime, file};
}

GroupRecord group(const char* station, std::vector<ChannelRecord> channels, int sizeMb, int sps) {
    GroupRecord g;
    g.station = station;
    for (auto& c : channels) {
        g.channels.append(c);
    }
    g.sizeMb = sizeMb;
    g.sps = sps;
    return g;
}

}  // namespace

class TestChannelDialog : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::OdbcSandbox> sandbox_;
    std::unique_ptr<test::UiScript> script_;

    void useDatabase(const char* dsn) {
        ConnectionSettings::values() = ConnectionValues{dsn, "operator", "secret", "/data"};
    }

    static QComboBox* box(ChannelDialog& d, const char* name) {
        return d.findChild<QComboBox*>(name);
    }
    static QLineEdit* edit(ChannelDialog& d, const char* name) {
        return d.findChild<QLineEdit*>(name);
    }
    static QRadioButton* radio(ChannelDialog& d, const char* name) {
        return d.findChild<QRadioButton*>(name);
    }
    static void pressOk(ChannelDialog& d) { d.findChild<QPushButton*>("okButton")->click(); }
    static bool accepted(const ChannelDialog& d) { return d.result() == QDialog::Accepted; }
    QStringList texts() const { return script_->texts(); }

  private slots:
    void initTestCase() {
        sandbox_ = std::make_unique<test::OdbcSandbox>();
        const std::string db = sandbox_->createSqliteDatabase(
            "seis.db",
            "CREATE TABLE SITECHAN (NINDEX INTEGER, STA VARCHAR(16), CHAN VARCHAR(16));"
            "INSERT INTO SITECHAN VALUES (1,'ABC','BHZ'),(2,'ABC','BHN'),(3,'ABC','BHE'),"
            "(4,'ABCD','SHZ'),(5,'XYZ','HHZ'),(6,'O''K','LHZ'),(7,'ABC','BHZ');");
        sandbox_->addSqliteDsn("chandb", db);
    }

    void init() {
        script_ = std::make_unique<test::UiScript>();
        useDatabase("chandb");
        test::setGroups({});
    }

    void cleanup() { script_.reset(); }

    void cleanupTestCase() {
        ConnectionSettings::release();
        sandbox_.reset();
    }

    void addGroupOpensWithDefaultsAndTheDatabaseLists() {
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        QVERIFY(script_->boxes.empty());
        QCOMPARE(d.mode(), ChannelDialog::Mode::AddGroup);
        QCOMPARE(d.windowTitle(), QString::fromUtf8("Добавление новой группы..."));
        QVERIFY(box(d, "stationBox")->isEnabled());
        QVERIFY(edit(d, "spsEdit")->isEnabled());
        QVERIFY(edit(d, "sizeEdit")->isEnabled());
        QCOMPARE(edit(d, "spsEdit")->text(), QString("20"));
        QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("0"));
        QCOMPARE(edit(d, "sizeEdit")->text(), QString("100"));
        QVERIFY(radio(d, "unixRadio")->isChecked());
        QVERIFY(!radio(d, "calendarRadio")->isChecked());
        QCOMPARE(test::comboItems(*box(d, "stationBox")),
                 QStringList({"ABC", "ABCD", "O'K", "XYZ"}));
        QCOMPARE(box(d, "stationBox")->currentText(), QString("ABC"));
        QCOMPARE(test::comboItems(*box(d, "channelBox")), QStringList({"BHE", "BHN", "BHZ"}));
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("ABC_BHE.DAT"));
        QVERIFY(ConnectionSettings::connection() != SQL_NULL_HDBC);

        // Picking another station lists only its channels and proposes its file name.
        box(d, "stationBox")->setCurrentIndex(3);
        QCOMPARE(test::comboItems(*box(d, "channelBox")), QStringList({"HHZ"}));
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("XYZ_HHZ.DAT"));
        // A station code with an apostrophe is a parameter, not SQL.
        box(d, "stationBox")->setCurrentIndex(2);
        QCOMPARE(test::comboItems(*box(d, "channelBox")), QStringList({"LHZ"}));
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("O'K_LHZ.DAT"));
        box(d, "stationBox")->setCurrentIndex(3);

        edit(d, "lastTimeEdit")->setText("1160000000");
        pressOk(d);
        QVERIFY(accepted(d));
        QVERIFY(script_->boxes.empty());
        const SettingsRecord& r = settingsRecord();
        QCOMPARE(r.groupCount, 1);
        QCOMPARE(r.groups.size(), std::size_t{1});
        QVERIFY(r.groups.at(0) ==
                group("XYZ", {channel("HHZ", 1160000000, "XYZ_HHZ.DAT")}, 100, 20));
    }

    // A database whose table names are case-sensitive: its own spelling is taken over before the
    // lists are asked for; the built-in upper-case name would find no table here.
    void listsUseTheDatabaseSpelling() {
        test::MariaDbServer& maria = test::MariaDbServer::shared();
        QVERIFY2(maria.running(), maria.error().c_str());
        std::string error;
        QVERIFY2(maria.createDatabase("chan_maria",
                                      "create table SiteChan (Sta varchar(16), Chan varchar(16));"
                                      "insert into SiteChan values ('MA','BHZ'),('MA','bhn'),"
                                      "('MB','LHZ'),('M_','SHZ');",
                                      &error),
                 error.c_str());
        sandbox_->addDsn("chanmaria", maria.driver(), maria.dsnAttributes("chan_maria"));
        ConnectionSettings::values() = ConnectionValues{"chanmaria", maria.user(), "", ""};
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        QCOMPARE(texts(), QStringList());
        // In the order the queries give (and --stations prints): '_' comes after the letters.
        QCOMPARE(test::comboItems(*box(d, "stationBox")), QStringList({"MA", "MB", "M_"}));
        QCOMPARE(test::comboItems(*box(d, "channelBox")), QStringList({"bhn", "BHZ"}));
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("MA_bhn.DAT"));
        QCOMPARE(schemaDictionary().table(SchemaDictionary::SITECHAN), std::string("SiteChan"));
    }

    // A UTF-8 PostgreSQL database with Cyrillic codes: the group's station (code page 1251 in
    // the file) is found, the lists show the codes as they are, codes the file cannot hold are
    // left out with a note, and OK writes code page 1251.
    void cyrillicCodesFromAUtf8PostgresDatabase() {
        test::PostgresServer& pg = test::PostgresServer::shared();
        QVERIFY2(pg.running(), pg.error().c_str());
        std::string error;
        QVERIFY2(pg.createDatabase("chan_pg_cyr",
                                   "create table sitechan (sta varchar(16), chan varchar(16));"
                                   "insert into sitechan values ('АРТ','BHZ'),('АРТ','ЮГ'),"
                                   "('АРТЫ','BHN'),('😀','BHZ'),('LONGSTA1','BHZ'),"
                                   "('АРТ','LONGCHA1');",
                                   &error),
                 error.c_str());
        sandbox_->addDsn("chanpgcyr", pg.driver(), pg.dsnAttributes("chan_pg_cyr"));
        ConnectionSettings::values() = ConnectionValues{"chanpgcyr", pg.user(), "", ""};
        const std::string art = cp1251::fromUtf8("АРТ").value();
        test::setGroups({group(art.c_str(), {channel("BHZ", 0, "A.DAT")}, 100, 20)});
        ChannelDialog d(0, 0, -1);
        d.prepare();
        QCOMPARE(texts(), QStringList());
        QCOMPARE(test::comboItems(*box(d, "stationBox")), QStringList({"АРТ", "АРТЫ"}));
        QCOMPARE(box(d, "stationBox")->currentText(), QString::fromUtf8("АРТ"));
        QCOMPARE(test::comboItems(*box(d, "channelBox")), QStringList({"BHZ", "ЮГ"}));
        QLabel* note = d.findChild<QLabel*>("noteLabel");
        QVERIFY(note != nullptr && !note->isHidden());
        QVERIFY2(note->text().contains(QStringLiteral("станций 2, каналов 1")),
                 qPrintable(note->text()));
        box(d, "channelBox")->setCurrentIndex(1);
        pressOk(d);
        QVERIFY(accepted(d));
        const GroupRecord& g = settingsRecord().groups.at(0);
        QCOMPARE(g.channels.size(), std::size_t{2});
        QCOMPARE(g.channels.at(1).code, cp1251::fromUtf8("ЮГ").value());
        QCOMPARE(g.channels.at(1).fileName, cp1251::fromUtf8("АРТ_ЮГ.DAT").value());
        ConnectionSettings::release();
    }

    // A station query that fails says so with the driver's word, as a connection error does.
    void aFailedQueryShowsTheDriversError() {
        const std::string db = sandbox_->createSqliteDatabase("bare.db", "CREATE TABLE OTHER(x);");
        sandbox_->addSqliteDsn("chanbare", db);
        useDatabase("chanbare");
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        QCOMPARE(script_->boxes.size(), std::size_t{1});
        QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Error);
        QCOMPARE(script_->boxes[0].caption, QString::fromUtf8("Ошибка при запросе к базе данных"));
        QVERIFY2(
            script_->boxes[0].text.startsWith(QString::fromUtf8("При чтении списка станций")) &&
                script_->boxes[0].text.contains(QStringLiteral("no such table")),
            qPrintable(script_->boxes[0].text));
        QVERIFY(!d.stationsListed());
        QVERIFY(d.findChild<QLabel*>("noteLabel")->isHidden());
    }

    // A channel query that fails leaves no list to add at once: the choice of all channels is not
    // offered for that station, not even with the list of the station picked before.
    void aFailedChannelQueryOffersNoChannelsToAddAtOnce() {
        // The channels of BAD cannot be read: computing them overflows.
        const std::string db = sandbox_->createSqliteDatabase(
            "halfbroken.db",
            "CREATE TABLE T (STA VARCHAR(16), C VARCHAR(16));"
            "INSERT INTO T VALUES ('BAD','X'),('GOOD','BHZ'),('GOOD','BHN');"
            "CREATE VIEW SITECHAN AS SELECT STA, CASE WHEN STA = 'BAD' "
            "THEN abs(-9223372036854775807 - 1) ELSE C END AS CHAN FROM T;");
        sandbox_->addSqliteDsn("chanhalf", db);
        useDatabase("chanhalf");
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        auto* all = d.findChild<QCheckBox*>("allChannelsBox");
        QCOMPARE(script_->boxes.size(), std::size_t{1});  // BAD, the first station
        QVERIFY(!all->isEnabled());
        box(d, "stationBox")->setCurrentIndex(1);
        QCOMPARE(test::comboItems(*box(d, "channelBox")), QStringList({"BHN", "BHZ"}));
        QVERIFY(all->isEnabled());
        box(d, "stationBox")->setCurrentIndex(0);
        QCOMPARE(script_->boxes.size(), std::size_t{2});
        QCOMPARE(script_->boxes[1].kind, ui::BoxKind::Error);
        QVERIFY(script_->boxes[1].text.contains(QStringLiteral("BAD")));
        QVERIFY(!all->isEnabled());
        // GOOD's channels are not offered for BAD, nor is a file name made from them.
        QCOMPARE(box(d, "channelBox")->count(), 0);
        QVERIFY(box(d, "channelBox")->currentText().isEmpty());
        QVERIFY(edit(d, "fileNameEdit")->text().isEmpty());
        ConnectionSettings::release();
    }

    void addGroupInsertsAtThePosition() {
        test::setGroups({group("A", {channel("C1", 1, "f")}, 1, 1),
                         group("B", {channel("C1", 1, "f")}, 1, 1),
                         group("ABC", {channel("BHZ", 1, "f")}, 1, 1), group("HIDDEN", {}, 1, 1)});
        settingsRecord().groupCount = 3;
        {
            ChannelDialog d(2, -1, -1);
            d.prepare();
            pressOk(d);
            QVERIFY(accepted(d));
        }
        const SettingsRecord& r = settingsRecord();
        QCOMPARE(r.groupCount, 4);
        QCOMPARE(r.groups.size(), std::size_t{5});
        // Another group of the same station is no obstacle.
        QCOMPARE(r.groups.at(2).station, std::string("ABC"));
        QCOMPARE(r.groups.at(2).channels.at(0).code, std::string("BHE"));
        QCOMPARE(r.groups.at(3).station, std::string("ABC"));
        QCOMPARE(r.groups.at(4).station, std::string("HIDDEN"));
        {
            ChannelDialog d(-1, -1, -1);
            d.prepare();
            pressOk(d);  // the group added above writes ABC_BHE.DAT
            QVERIFY(!accepted(d) &&
                    texts().last().contains(QString::fromUtf8("«BHE» станции «ABC»")));
            edit(d, "fileNameEdit")->setText("ABC_BHE2.DAT");
            pressOk(d);
            QVERIFY(accepted(d));
        }
        QCOMPARE(settingsRecord().groups.at(0).station, std::string("ABC"));
        QCOMPARE(settingsRecord().groups.at(1).station, std::string("A"));
        QCOMPARE(settingsRecord().groupCount, 5);
    }

    void addChannelRefusesADuplicateWithoutRegardToCase() {
        test::setGroups({group("ABC", {channel("bhz", 7, "x.dat")}, 50, 40)});
        ChannelDialog d(0, 0, -1);
        d.prepare();
        QVERIFY(script_->boxes.empty());
        QCOMPARE(d.windowTitle(), QString::fromUtf8("Добавление канала в группу..."));
        QVERIFY(!box(d, "stationBox")->isEnabled());
        QVERIFY(!edit(d, "spsEdit")->isEnabled());
        QVERIFY(!edit(d, "sizeEdit")->isEnabled());
        QVERIFY(box(d, "channelBox")->isEnabled());
        QCOMPARE(edit(d, "spsEdit")->text(), QString("40"));
        QCOMPARE(edit(d, "sizeEdit")->text(), QString("50"));
        QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("0"));
        QCOMPARE(box(d, "stationBox")->currentText(), QString("ABC"));

        box(d, "channelBox")->setCurrentIndex(2);  // BHZ
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("ABC_BHZ.DAT"));
        pressOk(d);
        QVERIFY(!accepted(d));
        QCOMPARE(script_->boxes.size(), std::size_t{1});
        QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Information);
        QCOMPARE(script_->boxes[0].text, kDuplicate);
        QCOMPARE(script_->boxes[0].caption, ui::applicationTitle());
        QCOMPARE(settingsRecord().groups.at(0).channels.size(), std::size_t{1});

        box(d, "channelBox")->setCurrentIndex(1);  // BHN
        edit(d, "spsEdit")->setText("99");         // disabled, and not written in this mode
        pressOk(d);
        QVERIFY(accepted(d));
        const GroupRecord& g = settingsRecord().groups.at(0);
        QVERIFY(g == group("ABC", {channel("bhz", 7, "x.dat"), channel("BHN", 0, "ABC_BHN.DAT")},
                           50, 40));
    }

    void storedStationIsFoundByItsBeginning() {
        test::setGroups({group("xy", {}, 1, 1), group("QQQ", {}, 1, 1)});
        {
            ChannelDialog d(0, 0, -1);
            d.prepare();
            QVERIFY(script_->boxes.empty());
            QCOMPARE(box(d, "stationBox")->currentText(), QString("XYZ"));
            QCOMPARE(test::comboItems(*box(d, "channelBox")), QStringList({"HHZ"}));
        }
    }

    // A group of a station the database does not list: the dialog shows the group's own station
    // and channel with a note, never another station's, and OK writes the group's own values.
    void aStationTheDatabaseDoesNotListStaysTheGroupsOwn() {
        test::setGroups({group(
            "QQQ", {channel("BHZ", 10, "q_bhz.dat"), channel("LHZ", 1700000000, "q_lhz.dat")}, 50,
            40)});
        const GroupRecord before = settingsRecord().groups.at(0);
        QLabel* note = nullptr;
        {
            // Enter on LHZ.
            ChannelDialog d(0, 0, 1);
            d.prepare();
            QCOMPARE(texts(), QStringList());
            QCOMPARE(box(d, "stationBox")->currentText(), QString("QQQ"));
            QCOMPARE(box(d, "channelBox")->currentText(), QString("LHZ"));
            QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("1700000000"));
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString("q_lhz.dat"));
            note = d.findChild<QLabel*>("noteLabel");
            QVERIFY(!note->isHidden());
            QVERIFY(note->text().contains(QStringLiteral("QQQ")));
            pressOk(d);
            QVERIFY(accepted(d));
            QCOMPARE(texts(), QStringList());
        }
        QVERIFY(settingsRecord().groups.at(0) == before);
        {
            // Insert on the group: none of another station's channels is offered.
            ChannelDialog d(0, 0, -1);
            d.prepare();
            QCOMPARE(texts(), QStringList());
            QCOMPARE(box(d, "stationBox")->currentText(), QString("QQQ"));
            QCOMPARE(box(d, "channelBox")->count(), 0);
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString());
            QTest::keyClicks(box(d, "channelBox")->lineEdit(), "BHN");
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString("QQQ_BHN.DAT"));
            pressOk(d);
            QVERIFY(accepted(d));
        }
        const GroupRecord& g = settingsRecord().groups.at(0);
        QCOMPARE(g.station, std::string("QQQ"));
        QCOMPARE(g.channels.size(), std::size_t{3});
        QCOMPARE(g.channels.at(1).code, std::string("LHZ"));
        QCOMPARE(g.channels.at(2).code, std::string("BHN"));
    }

    // A station typed for a new group lists its own channels, not those of the station shown
    // before.
    void aTypedStationListsItsOwnChannels() {
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        QCOMPARE(box(d, "stationBox")->currentText(), QString("ABC"));
        QVERIFY(box(d, "channelBox")->count() > 0);
        QLineEdit* station = box(d, "stationBox")->lineEdit();
        station->selectAll();
        QTest::keyClicks(station, "QQQ");
        emit station->editingFinished();
        QCOMPARE(box(d, "channelBox")->count(), 0);
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString());
        station->selectAll();
        QTest::keyClicks(station, "XYZ");
        // The pause after typing is enough.
        QTRY_COMPARE(test::comboItems(*box(d, "channelBox")), QStringList({"HHZ"}));
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("XYZ_HHZ.DAT"));
        QCOMPARE(texts(), QStringList());
    }

    void changeChannelOpensOnTheChannel() {
        test::setGroups(
            {group("ABC", {channel("BHZ", 100, "a.dat"), channel("BHN", 200, "b.dat")}, 50, 40)});
        ChannelDialog d(0, 0, 1);
        d.prepare();
        QVERIFY(script_->boxes.empty());
        QCOMPARE(d.windowTitle(), QString::fromUtf8("Изменение канала в группе..."));
        QVERIFY(!box(d, "stationBox")->isEnabled());
        QVERIFY(edit(d, "spsEdit")->isEnabled());
        QVERIFY(edit(d, "sizeEdit")->isEnabled());
        QCOMPARE(box(d, "channelBox")->currentText(), QString("BHN"));
        QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("200"));
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("b.dat"));
        QCOMPARE(edit(d, "spsEdit")->text(), QString("40"));

        // Only the last time edited: no question, the group values written back as they were.
        edit(d, "lastTimeEdit")->setText("300");
        pressOk(d);
        QVERIFY(accepted(d));
        QVERIFY(script_->boxes.empty());
        QVERIFY(settingsRecord().groups.at(0) ==
                group("ABC", {channel("BHZ", 100, "a.dat"), channel("BHN", 300, "b.dat")}, 50, 40));
    }

    void changedGroupValuesAskFirst() {
        test::setGroups(
            {group("ABC", {channel("BHZ", 100, "a.dat"), channel("BHN", 200, "b.dat")}, 50, 40)});
        const GroupRecord before = settingsRecord().groups.at(0);
        ChannelDialog d(0, 0, 1);
        d.prepare();
        edit(d, "spsEdit")->setText("41");
        script_->answers = {ui::BoxAnswer::No};
        pressOk(d);
        QVERIFY(!accepted(d));
        QCOMPARE(texts(), QStringList({kQuestion}));
        QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Question);
        QVERIFY(settingsRecord().groups.at(0) == before);

        script_->answers = {ui::BoxAnswer::Yes};
        pressOk(d);
        QVERIFY(accepted(d));
        QCOMPARE(settingsRecord().groups.at(0).sps, 41);
        QCOMPARE(settingsRecord().groups.at(0).sizeMb, 50);
    }

    void pickingAChannelOfTheGroupRefillsTheFields() {
        test::setGroups(
            {group("ABC", {channel("BHZ", 100, "a.dat"), channel("BHN", 200, "b.dat")}, 50, 40)});
        {
            // A channel the group does not hold: only the file name, no question.
            ChannelDialog d(0, 0, 1);
            d.prepare();
            box(d, "channelBox")->setCurrentIndex(0);  // BHE
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString("ABC_BHE.DAT"));
            QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("200"));
            pressOk(d);
            QVERIFY(accepted(d));
            QVERIFY(script_->boxes.empty());
            QVERIFY(settingsRecord().groups.at(0).channels.at(1) ==
                    channel("BHE", 200, "ABC_BHE.DAT"));
        }
        test::setGroups(
            {group("ABC", {channel("BHZ", 100, "a.dat"), channel("BHN", 200, "b.dat")}, 50, 40)});
        {
            // A channel the group holds: its values, but BHN may not become the group's other
            // BHZ (the two would share one pair of keys, and BHN would be lost).
            const GroupRecord before = settingsRecord().groups.at(0);
            ChannelDialog d(0, 0, 1);
            d.prepare();
            box(d, "channelBox")->setCurrentIndex(2);  // BHZ
            QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("100"));
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString("a.dat"));
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(texts(), QStringList({kDuplicate}));
            QVERIFY(settingsRecord().groups.at(0) == before);
            // Back on its own code the values refilled count as changed: asked first.
            script_->boxes.clear();
            box(d, "channelBox")->setCurrentIndex(1);  // BHN
            QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("200"));
            script_->answers = {ui::BoxAnswer::Yes};
            pressOk(d);
            QVERIFY(accepted(d));
            QCOMPARE(texts(), QStringList({kQuestion}));
            QVERIFY(settingsRecord().groups.at(0) == before);
        }
        {
            // In calendar form a picked channel brings Unix text, refused until the form switches.
            script_->boxes.clear();
            ChannelDialog d(0, 0, 1);
            d.prepare();
            radio(d, "calendarRadio")->click();
            QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("1970-01-01 00:03:20"));
            box(d, "channelBox")->setCurrentIndex(2);  // BHZ
            box(d, "channelBox")->setCurrentIndex(1);  // BHN again
            QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("200"));
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(texts(), QStringList({kTimeFormat}));
            radio(d, "unixRadio")->click();
            script_->answers = {ui::BoxAnswer::Yes};
            pressOk(d);
            QVERIFY(accepted(d));
        }
    }

    // Picking a code that another channel of the group has leaves the group with that code
    // twice. Changing the second of them then shows and keeps its own time and file name, not
    // those of the first.
    void aRepeatedCodeOpensOnItsOwnChannel() {
        test::setGroups({group("ABC",
                               {channel("BHZ", 100, "a.dat"), channel("BHN", 150, "n.dat"),
                                channel("bhz", 200, "b.dat")},
                               50, 40)});
        {
            ChannelDialog d(0, 0, 2);
            d.prepare();
            QVERIFY(script_->boxes.empty());
            QCOMPARE(box(d, "channelBox")->currentText(), QString("BHZ"));
            QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("200"));
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString("b.dat"));
            pressOk(d);
            QVERIFY(accepted(d));
            QVERIFY(script_->boxes.empty());
        }
        QVERIFY(settingsRecord().groups.at(0).channels.at(2) == channel("BHZ", 200, "b.dat"));
        QVERIFY(settingsRecord().groups.at(0).channels.at(0) == channel("BHZ", 100, "a.dat"));
        {
            // Picking another code of the group still brings that channel's values.
            ChannelDialog d(0, 0, 2);
            d.prepare();
            box(d, "channelBox")->setCurrentIndex(1);  // BHN
            QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("150"));
            box(d, "channelBox")->setCurrentIndex(2);  // BHZ: this channel's own values again
            QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("200"));
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString("b.dat"));
        }
    }

    // A station the database lists without channels: the channel of the station picked before
    // is not kept, so no file name is proposed and OK adds no channel the database does not list.
    void aStationWithoutChannelsClearsTheChannel() {
        const std::string db = sandbox_->createSqliteDatabase(
            "nochan.db",
            "CREATE TABLE SITECHAN (STA VARCHAR(16), CHAN VARCHAR(16));"
            "INSERT INTO SITECHAN VALUES ('ABC','BHZ'),('EMPTY',NULL);");
        sandbox_->addSqliteDsn("nochandb", db);
        useDatabase("nochandb");
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        QCOMPARE(test::comboItems(*box(d, "stationBox")), QStringList({"ABC", "EMPTY"}));
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("ABC_BHZ.DAT"));
        box(d, "stationBox")->setCurrentIndex(1);
        QCOMPARE(box(d, "channelBox")->count(), 0);
        QCOMPARE(box(d, "channelBox")->currentText(), QString());
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString());
        pressOk(d);
        QVERIFY(!accepted(d));
        QCOMPARE(texts(), QStringList({kFillAll}));
        QVERIFY(settingsRecord().groups.empty());
        // A code typed by hand still proposes its file name.
        QTest::keyClicks(box(d, "channelBox")->lineEdit(), "LHZ");
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("EMPTY_LHZ.DAT"));
    }

    void storedChannelMissingFromTheDatabase() {
        test::setGroups({group("ABC", {channel("LLL", 5, "l.dat")}, 50, 40)});
        ChannelDialog d(0, 0, 0);
        d.prepare();
        // The channel stays itself, with a note rather than a box.
        QCOMPARE(texts(), QStringList());
        QCOMPARE(box(d, "channelBox")->currentText(), QString("LLL"));
        QCOMPARE(edit(d, "fileNameEdit")->text(), QString("l.dat"));
        QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("5"));
        QVERIFY(!d.findChild<QLabel*>("noteLabel")->isHidden());
        QCOMPARE(test::comboItems(*box(d, "channelBox")), QStringList({"BHE", "BHN", "BHZ"}));
    }

    void fieldsAreCheckedInOrder() {
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        const char* fields[] = {"spsEdit", "lastTimeEdit", "sizeEdit", "fileNameEdit"};
        for (const char* name : fields) {
            edit(d, name)->clear();
        }
        // Each empty field in turn; a wrong time is not reported while a field is empty.
        for (int filled = 0; filled < 4; ++filled) {
            script_->boxes.clear();
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(texts(), QStringList({kFillAll}));
            edit(d, fields[filled])->setText(filled == 1 ? "2006-10" : "12");
        }
        script_->boxes.clear();
        pressOk(d);
        QCOMPARE(texts(), QStringList({kTimeFormat}));
        QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Warning);
        radio(d, "calendarRadio")->click();
        QCOMPARE(edit(d, "lastTimeEdit")->text(), QString("2006-10"));
        script_->boxes.clear();
        pressOk(d);
        QCOMPARE(texts(), QStringList({kTimeFormat}));  // fewer than three fields
        QVERIFY(settingsRecord().groups.empty());

        // Empty codes count as empty fields.
        edit(d, "lastTimeEdit")->setText("2006-10-25");
        box(d, "channelBox")->setEditText("");
        script_->boxes.clear();
        pressOk(d);
        QCOMPARE(texts(), QStringList({kFillAll}));
        box(d, "channelBox")->setEditText("BHZ");
        box(d, "stationBox")->setEditText("");
        script_->boxes.clear();
        pressOk(d);
        QCOMPARE(texts(), QStringList({kFillAll}));
        box(d, "stationBox")->setEditText("ABC");
        edit(d, "spsEdit")->setText("7x");  // read as far as it is a number: 7
        pressOk(d);
        QVERIFY(accepted(d));
        const GroupRecord& g = settingsRecord().groups.at(0);
        QVERIFY(g == group("ABC", {channel("BHZ", 1161734400, "12")}, 12, 7));
    }

    void timeFormatButtonsConvertTheText() {
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        QLineEdit* time = edit(d, "lastTimeEdit");
        time->setText("951825600");
        radio(d, "calendarRadio")->click();
        QCOMPARE(time->text(), QString("2000-02-29 12:00:00"));
        radio(d, "calendarRadio")->click();
        QCOMPARE(time->text(), QString("2000-02-29 12:00:00"));
        radio(d, "unixRadio")->click();
        QCOMPARE(time->text(), QString("951825600"));
        time->setText("0");
        radio(d, "calendarRadio")->click();
        QCOMPARE(time->text(), QString("0"));
        time->setText("1e999");
        radio(d, "calendarRadio")->click();
        QCOMPARE(time->text(), QString("0000-00-00 00:00:00"));
        pressOk(d);
        QCOMPARE(texts(), QStringList({kTimeOutOfRange}));
        time->setText("2038-01-19 03:14:07");
        pressOk(d);
        QVERIFY(accepted(d));
        QCOMPARE(settingsRecord().groups.at(0).channels.at(0).lastTime, 2147483647);
    }

    // A time before 1970 is shown as a negative Unix number; it is taken back as it stands,
    // and converts to and from calendar text. Times beyond 32 bits are refused with the range.
    void timesBefore1970AndBeyond32Bits() {
        test::setGroups({group("ABC", {channel("BHZ", -616851000, "a.dat")}, 50, 40)});
        {
            ChannelDialog d(0, 0, 0);
            d.prepare();
            QLineEdit* time = edit(d, "lastTimeEdit");
            QCOMPARE(time->text(), QString("-616851000"));
            radio(d, "calendarRadio")->click();
            QCOMPARE(time->text(), QString("1950-06-15 12:30:00"));
            radio(d, "unixRadio")->click();
            QCOMPARE(time->text(), QString("-616851000"));
            pressOk(d);
            QVERIFY(accepted(d));
            QVERIFY(script_->boxes.empty());
        }
        QCOMPARE(settingsRecord().groups.at(0).channels.at(0).lastTime, -616851000);

        ChannelDialog d(-1, -1, -1);
        d.prepare();
        const struct {
            const char* text;
            bool calendar;
            QString box;
        } refused[] = {{"2006-10-25", false, kTimeFormat},
                       {"2147483648", false, kTimeOutOfRange},
                       {"-2147483649", false, kTimeOutOfRange},
                       {"2038-01-19 03:14:08", true, kTimeOutOfRange},
                       {"1901-12-13 20:45:51", true, kTimeOutOfRange}};
        for (const auto& r : refused) {
            script_->boxes.clear();
            (r.calendar ? radio(d, "calendarRadio") : radio(d, "unixRadio"))->setChecked(true);
            edit(d, "lastTimeEdit")->setText(r.text);
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(texts(), QStringList({r.box}));
        }
        radio(d, "unixRadio")->setChecked(true);
        edit(d, "lastTimeEdit")->setText("abc");
        pressOk(d);
        QVERIFY(accepted(d));
        QCOMPARE(settingsRecord().groups.at(0).channels.at(0).lastTime, 0);
    }

    void unsafeCodesAreRefusedWithTheReason() {
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        const struct {
            const char* code;
            const char* reason;
        } cases[] = {
            {"BH,Z", "«,»"},   {"B=Z", "«=»"},     {"[BZ", "«[»"},     {"B;Z", "«;»"},
            {"ABCDEFGH", "7"}, {" BHZ", "пробел"}, {"BHZ ", "пробел"}, {"B\nZ", "перевод строки"}};
        for (const auto& c : cases) {
            script_->boxes.clear();
            box(d, "channelBox")->setEditText(QString::fromUtf8(c.code));
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(script_->boxes.size(), std::size_t{1});
            QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Warning);
            QVERIFY2(script_->boxes[0].text.startsWith(QString::fromUtf8("Код канала")),
                     qPrintable(script_->boxes[0].text));
            QVERIFY2(script_->boxes[0].text.contains(QString::fromUtf8(c.reason)),
                     qPrintable(script_->boxes[0].text));
        }
        box(d, "channelBox")->setEditText("BHZ");
        box(d, "stationBox")->setEditText("A,B");
        script_->boxes.clear();
        pressOk(d);
        QCOMPARE(script_->boxes.size(), std::size_t{1});
        QVERIFY(script_->boxes[0].text.startsWith(QString::fromUtf8("Код станции")));
        QVERIFY(settingsRecord().groups.empty());

        // Characters the code page cannot hold never reach the box.
        box(d, "stationBox")->clearEditText();
        test::typeText(box(d, "stationBox")->lineEdit(), QString::fromUtf8("AB中Ж"));
        QCOMPARE(box(d, "stationBox")->currentText(), QString::fromUtf8("ABЖ"));
        script_->boxes.clear();
        pressOk(d);
        QVERIFY(accepted(d));
        QCOMPARE(settingsRecord().groups.at(0).station, std::string("AB\xC6"));
    }

    // A channel code names keys of its group's section: a code that is one of the group's own
    // keys would overwrite the station, file size, samples per second or channel list when
    // saved, and one beginning with FILE_ could take another channel's file name key. A station
    // code is a value, so the same texts are fine there.
    void channelCodesThatNameGroupKeysAreRefused() {
        test::setGroups({group("ABC", {channel("BHZ", 7, "x.dat")}, 50, 40)});
        const GroupRecord before = settingsRecord().groups.at(0);
        for (const char* code : {"STATION", "SizeMb", "sps", "CHAN", "FILE_AB", "file_"}) {
            for (const int channelIndex : {-1, 0}) {
                script_->boxes.clear();
                ChannelDialog d(0, 0, channelIndex);
                d.prepare();
                box(d, "channelBox")->setEditText(QString::fromLatin1(code));
                pressOk(d);
                QVERIFY2(!accepted(d), code);
                QCOMPARE(script_->boxes.size(), std::size_t{1});
                QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Warning);
                QVERIFY2(script_->boxes[0].text.startsWith(QString::fromUtf8("Код канала")),
                         qPrintable(script_->boxes[0].text));
            }
        }
        QVERIFY(settingsRecord().groups.at(0) == before);

        // Codes that merely contain those names, and a station named like a key, are accepted.
        {
            ChannelDialog d(0, 0, -1);
            d.prepare();
            box(d, "channelBox")->setEditText("SPSX");
            pressOk(d);
            QVERIFY(accepted(d));
        }
        {
            script_->boxes.clear();
            ChannelDialog d(-1, -1, -1);
            d.prepare();
            box(d, "stationBox")->setEditText("SPS");
            box(d, "channelBox")->setEditText("XFILE_");
            edit(d, "fileNameEdit")->setText("SPS_XFILE_.DAT");
            pressOk(d);
            QVERIFY2(accepted(d), qPrintable(texts().join('|')));
        }
        QCOMPARE(settingsRecord().groups.at(0).station, std::string("SPS"));
        QCOMPARE(settingsRecord().groups.at(0).channels.at(0).code, std::string("XFILE_"));
        QCOMPARE(settingsRecord().groups.at(1).channels.at(1).code, std::string("SPSX"));
    }

    void withoutTheDatabaseCodesAreTyped() {
        useDatabase("nosuchdsn");
        test::setGroups({group("ABC", {channel("BHZ", 100, "a.dat")}, 50, 40)});
        {
            ChannelDialog d(-1, -1, -1);
            d.prepare();
            QCOMPARE(script_->boxes.size(), std::size_t{1});
            QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Error);
            QCOMPARE(script_->boxes[0].caption,
                     QString::fromUtf8("Ошибка при подключении к базе данных"));
            QVERIFY(script_->boxes[0].text.startsWith(
                QString::fromUtf8("При попытке подключения к базе данных произошла ошибка:\r\n")));
            QVERIFY(!d.stationsListed());
            QCOMPARE(box(d, "stationBox")->count(), 0);
            QCOMPARE(box(d, "channelBox")->count(), 0);
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString());
            QTest::keyClicks(box(d, "stationBox")->lineEdit(), "NEW");
            QTest::keyClicks(box(d, "channelBox")->lineEdit(), "LHZ");
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString("NEW_LHZ.DAT"));
            pressOk(d);
            QVERIFY(accepted(d));
        }
        QVERIFY(settingsRecord().groups.at(0) ==
                group("NEW", {channel("LHZ", 0, "NEW_LHZ.DAT")}, 100, 20));
        {
            // Changing a channel keeps its code and file name at hand.
            script_->boxes.clear();
            ChannelDialog d(1, 1, 0);
            d.prepare();
            QCOMPARE(box(d, "stationBox")->currentText(), QString("ABC"));
            QCOMPARE(box(d, "channelBox")->currentText(), QString("BHZ"));
            QCOMPARE(edit(d, "fileNameEdit")->text(), QString("a.dat"));
            edit(d, "lastTimeEdit")->setText("101");
            pressOk(d);
            QVERIFY(accepted(d));
            QCOMPARE(texts().size(), 1);  // only the connect box
        }
        QVERIFY(settingsRecord().groups.at(1) ==
                group("ABC", {channel("BHZ", 101, "a.dat")}, 50, 40));
    }

    void theConnectionValuesAreUsedAsTheyStand() {
        // Values edited on the data source page and not saved: opening must not reload them.
        ConnectionSettings::values() = ConnectionValues{"chandb", "edited", "unsaved", "/new/dir"};
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        QVERIFY(d.stationsListed());
        QCOMPARE(ConnectionSettings::values().dataSource, std::string("chandb"));
        QCOMPARE(ConnectionSettings::values().user, std::string("edited"));
        QCOMPARE(ConnectionSettings::values().password, std::string("unsaved"));
        QCOMPARE(ConnectionSettings::values().dataDir, std::string("/new/dir"));
    }

    void theConnectionIsFreedWithTheDialog() {
        {
            ChannelDialog d(-1, -1, -1);
            d.prepare();
            QVERIFY(ConnectionSettings::connection() != SQL_NULL_HDBC);
            d.reject();
        }
        QCOMPARE(ConnectionSettings::connection(), SQLHDBC(SQL_NULL_HDBC));
        // Many openings in a row keep working (no handle is left behind to run out).
        for (int i = 0; i < 20; ++i) {
            ChannelDialog d(-1, -1, -1);
            d.prepare();
            QVERIFY(d.stationsListed());
        }
        QCOMPARE(ConnectionSettings::connection(), SQLHDBC(SQL_NULL_HDBC));
    }

    void aGroupBeyondTheFileLimitIsRefused() {
        std::vector<GroupRecord> groups(kMaxGroups - 1, group("G", {channel("C", 0, "f")}, 1, 1));
        test::setGroups(groups);
        {
            ChannelDialog d(-1, -1, -1);
            d.prepare();
            pressOk(d);
            QVERIFY(accepted(d));
        }
        QCOMPARE(settingsRecord().groups.size(), std::size_t{256});
        {
            ChannelDialog d(-1, -1, -1);
            d.prepare();
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(script_->boxes.size(), std::size_t{1});
            QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Information);
            QVERIFY(script_->boxes[0].text.contains("256"));
        }
        QCOMPARE(settingsRecord().groups.size(), std::size_t{256});
        QCOMPARE(settingsRecord().groupCount, 256);
    }

    void aChannelListTooLongForTheFileIsRefused() {
        // 63 codes of 7 characters, the code AB and their commas: 506 characters of the 511 the
        // file keeps.
        std::vector<ChannelRecord> many;
        for (int i = 0; i < 63; ++i) {
            const std::string code = QString("C%1").arg(i, 6, 10, QChar('0')).toStdString();
            many.push_back(channel(code.c_str(), 0, "f"));
        }
        many.push_back(channel("AB", 0, "f"));
        test::setGroups({group("ABC", many, 50, 40)});
        QCOMPARE(channelListLength(settingsRecord().groups.at(0)), std::size_t{506});
        {
            ChannelDialog d(0, 0, -1);
            d.prepare();
            box(d, "channelBox")->setEditText("BHZZ");  // 506 + 5 = 511: just fits
            pressOk(d);
            QVERIFY(accepted(d));
        }
        QCOMPARE(channelListLength(settingsRecord().groups.at(0)), std::size_t{511});
        {
            ChannelDialog d(0, 0, -1);
            d.prepare();
            box(d, "channelBox")->setEditText("X");  // 513: too long
            edit(d, "fileNameEdit")->setText("x.dat");
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(script_->boxes.size(), std::size_t{1});
            QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Information);
            QVERIFY(script_->boxes[0].text.contains("511"));
        }
        QCOMPARE(settingsRecord().groups.at(0).channels.size(), std::size_t{65});
        script_->boxes.clear();
        {
            ChannelDialog d(0, 0, 63);  // AB would become ABC: 512
            d.prepare();
            script_->boxes.clear();  // the database does not list AB
            box(d, "channelBox")->setEditText("ABC");
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(script_->boxes.size(), std::size_t{1});
            QVERIFY(script_->boxes[0].text.contains("511"));
        }
        QCOMPARE(settingsRecord().groups.at(0).channels.at(63).code, std::string("AB"));
    }

    // All of a station's channels go only to a group of the station they were listed for, and
    // only when there is one to add; the choice is not offered to a change or without a list.
    void allChannelsNeedTheirStationAndOneMissing() {
        const auto all = [](ChannelDialog& d) { return d.findChild<QCheckBox*>("allChannelsBox"); };
        test::setGroups({group("ABC", {channel("BHZ", 1, "z"), channel("bhn", 2, "n")}, 50, 40),
                         group("xy", {channel("HHZ", 1, "h")}, 1, 1)});
        {
            ChannelDialog d(0, 0, -1);
            d.prepare();
            all(d)->click();
            pressOk(d);
            QVERIFY(accepted(d));  // BHE, the one ABC lacks
            QVERIFY(settingsRecord().groups.at(0).channels.at(2) ==
                    channel("BHE", 0, "ABC_BHE.DAT"));
        }
        {
            ChannelDialog d(0, 0, -1);
            d.prepare();
            all(d)->click();
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(texts(), QStringList({QString::fromUtf8(
                                  "В группе уже есть все каналы станции, которые знает база "
                                  "данных.")}));
        }
        // xy is found in the database as XYZ, whose channels are not xy's.
        for (const int groupIndex : {1, -1}) {
            script_->boxes.clear();
            ChannelDialog d(groupIndex, groupIndex, -1);
            d.prepare();
            if (groupIndex < 0) {
                box(d, "stationBox")->setEditText("NEW");  // typed, not listed
            }
            all(d)->click();
            pressOk(d);
            QVERIFY(!accepted(d));
            QCOMPARE(texts(), QStringList({kStationNotFound}));
        }
        QCOMPARE(settingsRecord().groups.size(), std::size_t{2});
        QCOMPARE(settingsRecord().groups.at(1).channels.size(), std::size_t{1});
        {
            ChannelDialog d(0, 0, 0);
            d.prepare();
            QVERIFY(all(d)->isHidden());
        }
        useDatabase("nosuchdsn");
        ChannelDialog d(-1, -1, -1);
        d.prepare();
        QVERIFY(!all(d)->isEnabled());
    }

    void cancelAndEscapeWriteNothing() {
        test::setGroups({group("ABC", {channel("BHZ", 100, "a.dat")}, 50, 40)});
        const GroupRecord before = settingsRecord().groups.at(0);
        {
            ChannelDialog d(0, 0, 0);
            d.prepare();
            edit(d, "spsEdit")->setText("1");
            d.findChild<QPushButton*>("cancelButton")->click();
            QCOMPARE(d.result(), int(QDialog::Rejected));
        }
        {
            ChannelDialog d(0, 0, -1);
            d.prepare();
            d.show();
            QTest::keyClick(edit(d, "lastTimeEdit"), Qt::Key_Escape);
            QVERIFY(!d.isVisible());
            QCOMPARE(d.result(), int(QDialog::Rejected));
        }
        QVERIFY(settingsRecord().groups.at(0) == before);
        QCOMPARE(settingsRecord().groups.size(), std::size_t{1});
        {
            // Enter in a field is OK.
            ChannelDialog d(0, 0, -1);
            d.prepare();
            d.show();
            QTest::keyClick(edit(d, "lastTimeEdit"), Qt::Key_Return);
            QVERIFY(accepted(d));
        }
        QCOMPARE(settingsRecord().groups.at(0).channels.size(), std::size_t{2});
    }
};

QTEST_MAIN(TestChannelDialog)
#include "test_channel_dialog.moc"
