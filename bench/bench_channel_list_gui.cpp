// The channel list page on the largest settings file (256 groups of 64 channels, 16,384 rows):
// a refill (with and without a search), a keystroke in the search field, a sort by station code,
// a group move and the addition of a group with all of a station's channels, each followed by
// painting the list, must fit in one frame (16 ms) at the median.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <memory>
#include <string>

#include "channels/group_order.h"
#include "channels/ui/channel_dialog.h"
#include "channels/ui/channel_list_page.h"
#include "channels/ui/channel_table_model.h"
#include "database/connection_settings.h"
#include "settings/settings_record.h"
#include "support/odbc_sandbox.h"
#include "ui/ui_support.h"

using namespace vorda;

namespace {

void fillLargest(int groups = kMaxGroups) {
    auto& record = settingsRecord();
    record.groups.removeAll();
    for (int g = 0; g < groups; ++g) {
        GroupRecord group;
        // Stations in a scattered order, so that every sort really moves groups.
        group.station = "S" + std::to_string((g * 97) % kMaxGroups);
        group.sps = 20 + g;
        group.sizeMb = 100;
        for (int c = 0; c < 64; ++c) {
            const std::string code = "C" + std::to_string(c);
            group.channels.append(
                {code, 1700000000 + g * 64 + c, group.station + "_" + code + ".DAT"});
        }
        record.groups.append(group);
    }
    record.groupCount = groups;
}

struct ShownPage {
    ChannelListPage page;
    explicit ShownPage(int groups = kMaxGroups) {
        fillLargest(groups);
        page.resize(1000, 600);
        page.show();
        QApplication::processEvents();
    }
    // Paints the list now, as the next frame would.
    void paint() { page.list().viewport()->repaint(); }
};

void BM_Refill(benchmark::State& state) {
    ShownPage shown;
    for (auto _ : state) {
        shown.page.refillList();
        shown.paint();
    }
    benchmark::DoNotOptimize(shown.page.model().rowCount());
    state.counters["rows"] = shown.page.model().rowCount();
}

void BM_RefillWithSearch(benchmark::State& state) {
    ShownPage shown;
    shown.page.searchEdit().setText(QStringLiteral("c1"));  // C1 and C10 to C19 of every group
    for (auto _ : state) {
        shown.page.refillList();
        shown.paint();
    }
    state.counters["rows"] = shown.page.model().rowCount();
}

// One key typed into the search field, the list then painted: the keys type "c", "1", "2" and
// take them back again, so the rows shown go from all of them down to a few and back.
void BM_SearchKeystroke(benchmark::State& state) {
    ShownPage shown;
    QLineEdit& search = shown.page.searchEdit();
    const struct {
        Qt::Key key;
        const char* text;
    } keys[] = {{Qt::Key_C, "c"},        {Qt::Key_1, "1"},        {Qt::Key_2, "2"},
                {Qt::Key_Backspace, ""}, {Qt::Key_Backspace, ""}, {Qt::Key_Backspace, ""}};
    const auto type = [&](std::size_t i) {
        QKeyEvent press(QEvent::KeyPress, keys[i].key, Qt::NoModifier,
                        QString::fromLatin1(keys[i].text));
        QApplication::sendEvent(&search, &press);
    };
    std::size_t next = 0;
    for (auto _ : state) {
        type(next);
        next = (next + 1) % std::size(keys);
        shown.paint();
    }
    // Then "c12", which only C12 of each group holds: the keys did reach the field.
    search.clear();
    for (std::size_t i = 0; i < 3; ++i) {
        type(i);
    }
    if (shown.page.model().rowCount() != kMaxGroups) {
        state.SkipWithError("the keys did not search");
    }
}

// OK in the channel dialog with all of a station's 64 channels chosen, on a file of 255 groups of
// 64: the new group is checked and inserted, and the list refilled and painted. Opening the
// dialog (connecting to the database) and taking the group out again are not timed.
void BM_AddGroupWithAllChannels(benchmark::State& state) {
    // One database for every repetition: the driver manager keeps a name's first meaning.
    static const auto odbc = [] {
        auto sandbox = std::make_unique<vorda::test::OdbcSandbox>();
        std::string sql = "CREATE TABLE SITECHAN (STA VARCHAR(16), CHAN VARCHAR(16));";
        for (int c = 0; c < 64; ++c) {
            sql += "INSERT INTO SITECHAN VALUES ('NEW','D" + std::to_string(c) + "');";
        }
        sandbox->addSqliteDsn("BENCH_BULK", sandbox->createSqliteDatabase("bulk.db", sql));
        return sandbox;
    }();
    ConnectionSettings::values() = ConnectionValues{"BENCH_BULK", "", "", ""};
    // A box would wait for an answer that never comes: any box is an error here.
    bool boxShown = false;
    ui::setMessageHandler([&](ui::BoxKind, const QString&, const QString&) {
        boxShown = true;
        return ui::BoxAnswer::Ok;
    });
    ShownPage shown(kMaxGroups - 1);
    for (auto _ : state) {
        state.PauseTiming();
        auto dialog = std::make_unique<ChannelDialog>(-1, -1, -1);
        dialog->prepare();
        dialog->findChild<QCheckBox*>(QStringLiteral("allChannelsBox"))->click();
        state.ResumeTiming();
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        shown.page.refillList();
        shown.paint();
        state.PauseTiming();
        if (dialog->result() != QDialog::Accepted || boxShown) {
            state.SkipWithError("the group was not added");
        }
        dialog.reset();
        deleteGroup(settingsRecord(), 0);
        state.ResumeTiming();
    }
    ConnectionSettings::release();
    ui::setMessageHandler({});
}

void BM_SortByStation(benchmark::State& state) {
    ShownPage shown;
    for (auto _ : state) {
        // Alternately ascending and descending: each click reverses the order of all groups.
        shown.page.onColumnClick(ChannelTableModel::StationColumn);
        shown.paint();
    }
    benchmark::DoNotOptimize(settingsRecord().groups.at(0).station);
}

void BM_MoveGroup(benchmark::State& state) {
    ShownPage shown;
    // A row in the middle of the list; the group goes down and up again in turn.
    const int row = shown.page.model().firstRowOfGroup(128);
    shown.page.list().selectionModel()->setCurrentIndex(
        shown.page.model().index(row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    bool down = true;
    for (auto _ : state) {
        if (down) {
            shown.page.onMoveGroupDown();
        } else {
            shown.page.onMoveGroupUp();
        }
        down = !down;
        shown.paint();
    }
    benchmark::DoNotOptimize(shown.page.selectedRow());
}

void BM_CtrlRightClickMove(benchmark::State& state) {
    ShownPage shown;
    // From the first group to the last and back: every group between moves one place.
    const int first = shown.page.model().firstRowOfGroup(0);
    const int last = shown.page.model().firstRowOfGroup(kMaxGroups - 1);
    for (auto _ : state) {
        state.PauseTiming();
        shown.page.onListClick(first);
        state.ResumeTiming();
        shown.page.onListRightClick(last);
        shown.paint();
    }
    benchmark::DoNotOptimize(settingsRecord().groups.at(0).station);
}

constexpr int kRepetitions = 9;

}  // namespace

BENCHMARK(BM_Refill)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_RefillWithSearch)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
// Opening the dialog takes far longer than what is timed: a fixed number of additions.
BENCHMARK(BM_AddGroupWithAllChannels)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(kRepetitions);
BENCHMARK(BM_SortByStation)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_MoveGroup)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_CtrlRightClickMove)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
