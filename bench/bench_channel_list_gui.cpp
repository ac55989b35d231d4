// The channel list page on the largest settings file (256 groups of 64 channels, 16,384 rows):
// a refill, a sort by station code and a group move, each followed by painting the list, must
// fit in one frame (16 ms) at the median.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <string>

#include "channels/ui/channel_list_page.h"
#include "channels/ui/channel_table_model.h"
#include "settings/settings_record.h"

using namespace vorda;

namespace {

void fillLargest() {
    auto& record = settingsRecord();
    record.groups.removeAll();
    for (int g = 0; g < kMaxGroups; ++g) {
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
    record.groupCount = kMaxGroups;
}

struct ShownPage {
    ChannelListPage page;
    ShownPage() {
        fillLargest();
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
