// Time from start to the main dialog shown, with the largest settings file (256 groups of 64
// channels), on the offscreen platform: loading the file, the connection values and the data
// source list, building the pages and showing the dialog.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ui/settings_dialog.h"
#include "support/odbc_sandbox.h"
#include "support/temp_dir.h"

namespace {

std::string largestFile() {
    std::string text =
        "[DATABASE]\r\nODBC=ZEL\r\nUSER=ZEL\r\nPASSWORD=QMX\r\n[SYSTEM]\r\nSERVER=proc\r\n"
        "MODE=detail\r\nSCREEN=hide\r\nSIZEMB=100\r\nGROUPS=256\r\n";
    for (int g = 1; g <= 256; ++g) {
        const std::string station = "S" + std::to_string(g);
        text += "[GROUP" + std::to_string(g) + "]\r\nSTATION=" + station +
                "\r\nSIZEMB=100\r\nSPS=40\r\n";
        std::string chan;
        for (int c = 0; c < 64; ++c) {
            const std::string code = "C" + std::to_string(c);
            text += code + "=1160000000\r\nFILE_" + code + "=" + station + "_" + code + ".DAT\r\n";
            chan += (c == 0 ? "" : ",") + code;
        }
        text += "CHAN=" + chan + "\r\n";
    }
    return text;
}

struct Fixture {
    vorda::test::OdbcSandbox odbc;
    vorda::test::TempDir dir;
    vorda::Environment env;

    Fixture() {
        dir.write("ZEL_VurEV.ini", largestFile());
        env.args = {"vorda-settings", dir.file("ZEL_VurEV.ini")};
        env.currentDir = dir.path();
        env.systemDir = dir.path();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void showDialog() {
    vorda::SettingsDialog dialog(fixture().env);
    dialog.show();
    QCoreApplication::processEvents();
    benchmark::DoNotOptimize(dialog.isVisible());
}

void BM_StartupToDialogShown(benchmark::State& state) {
    for (auto _ : state) {
        showDialog();
    }
}
BENCHMARK(BM_StartupToDialogShown)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    fixture();
    // The first dialog of a fresh process pays for fonts, styles and the driver manager.
    showDialog();
    const auto first = std::chrono::steady_clock::now();
    std::printf("first dialog shown %.1f ms after the process started (256 x 64 file)\n",
                std::chrono::duration<double, std::milli>(first - start).count());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
