// What the panel's icon costs to draw: the figure at every size a host may
// ask for, in an icon that has drawn nothing yet (the first reading), for a
// figure it has not drawn lately (a reading that moved), for one drawn a
// moment ago (a reading that swung back), and what a host's read of the
// images costs to put on the bus.

#include "ReadoutIcon.h"
#include "StatusNotifierTypes.h"

#include <QDBusArgument>
#include <QGuiApplication>
#include <benchmark/benchmark.h>

namespace {

// Temperatures as a machine's hottest sensor gives them, each new to the
// icon until the list comes round again.
QString figureOf(int step) {
    return QString::number(30 + step % 70);
}

void BM_FirstFigure(benchmark::State& state) {
    int step = 0;
    for (auto _ : state) {
        // Nothing kept yet: the fit, the tiles and the characters as well.
        ReadoutIcon icon;
        benchmark::DoNotOptimize(icon.images(figureOf(step++), ReadoutIcon::Tone::normal));
    }
}
BENCHMARK(BM_FirstFigure)->Unit(benchmark::kMicrosecond);

void BM_NewFigure(benchmark::State& state) {
    ReadoutIcon icon;
    int step = 0;
    for (auto _ : state) {
        // More figures than the icon keeps, so every one is drawn.
        benchmark::DoNotOptimize(icon.images(figureOf(step++), ReadoutIcon::Tone::normal));
    }
}
BENCHMARK(BM_NewFigure)->Unit(benchmark::kMicrosecond);

void BM_SwingingFigure(benchmark::State& state) {
    ReadoutIcon icon;
    int step = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(icon.images(figureOf(step++ % 2), ReadoutIcon::Tone::normal));
    }
}
BENCHMARK(BM_SwingingFigure)->Unit(benchmark::kMicrosecond);

void BM_ImagesOnTheBus(benchmark::State& state) {
    StatusNotifierTypes::registerTypes();
    ReadoutIcon icon;
    const StatusNotifierImages images = icon.images(figureOf(0), ReadoutIcon::Tone::normal);
    for (auto _ : state) {
        QDBusArgument argument;
        argument << images;
        benchmark::DoNotOptimize(argument);
    }
    qsizetype bytes = 0;
    for (const StatusNotifierImage& image : images) {
        bytes += image.argb.size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_ImagesOnTheBus)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
