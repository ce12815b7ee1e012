// Costs of the progress bar, each printed as a ratio against a baseline measured in the same run:
//   - setting Value (slides the blind, no surface drawing) against QProgressBar::setValue;
//   - a full style repaint of a 300 x 20 bar against filling the same area with a QLinearGradient;
//   - painting the whole control against painting a QProgressBar of the same size.
// The goals: a style repaint under 1 ms, and 1,000 Values a second costing a negligible share of
// one core.

#include <QApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "prismbar/KXprogressBar.h"
#include "prismbar/PictureSurface.h"

namespace {

constexpr QSize kBarSize(300, 20);

std::unique_ptr<KXprogressBar> makeBar(KXprogressBar::Style style, KXprogressBar::UserGradient user) {
    auto bar = std::make_unique<KXprogressBar>();
    bar->resize(kBarSize);
    bar->show();
    bar->setUserLeftColor(0x0000FF);
    bar->setUserRightColor(0xFF0000);
    bar->setUserStyle(user);
    bar->setStyling(style);
    return bar;
}

void BM_Baseline_QProgressBarSetValue(benchmark::State& state) {
    QProgressBar bar;
    bar.resize(kBarSize);
    bar.show();
    int v = 0;
    for (auto _ : state) {
        bar.setValue(v);
        v = v == 100 ? 0 : v + 1;
    }
    QCoreApplication::processEvents();
}

void BM_SetValue(benchmark::State& state) {
    auto bar = makeBar(KXprogressBar::GreenRed, KXprogressBar::Horizontal);
    int v = 0;
    for (auto _ : state) {
        bar->setValue(v);
        v = v == 100 ? 0 : v + 1;
    }
    QCoreApplication::processEvents();
}

void BM_Baseline_GradientFill(benchmark::State& state) {
    QImage image(kBarSize, QImage::Format_RGB32);
    QLinearGradient gradient(0, 0, kBarSize.width(), 0);
    gradient.setColorAt(0, Qt::green);
    gradient.setColorAt(0.5, Qt::yellow);
    gradient.setColorAt(1, Qt::red);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), gradient);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_PaintStyle(benchmark::State& state, KXprogressBar::Style style, KXprogressBar::UserGradient user) {
    auto bar = makeBar(style, user);
    for (auto _ : state) {
        bar->PaintStyle();
        benchmark::DoNotOptimize(bar->barSurface().image().constBits());
    }
    QCoreApplication::processEvents();
}

void BM_Baseline_QProgressBarRender(benchmark::State& state) {
    QProgressBar bar;
    bar.resize(kBarSize);
    bar.setValue(50);
    QImage image(kBarSize, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        bar.render(&painter);
    }
}

void BM_DrawControl(benchmark::State& state) {
    auto bar = makeBar(KXprogressBar::GreenRed, KXprogressBar::Horizontal);
    QImage image(kBarSize, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        bar->drawControl(painter);
    }
}

// Keeps each run's processor time per iteration (the machine may be shared, so wall time is noisier) so the
// ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const double ns = run.GetAdjustedCPUTime() *
                                  benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                  benchmark::GetTimeUnitMultiplier(run.time_unit);
                times[run.benchmark_name()] = ns;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> times;
};

void printRatio(const RatioReporter& r, const char* what, const char* name, const char* baseline) {
    const auto a = r.times.find(name);
    const auto b = r.times.find(baseline);
    if (a == r.times.end() || b == r.times.end() || b->second <= 0) {
        return;
    }
    std::printf("  %-44s %10.0f ns  = %6.2f x %s\n", what, a->second, a->second / b->second, baseline);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    benchmark::RegisterBenchmark("Baseline_QProgressBarSetValue", BM_Baseline_QProgressBarSetValue);
    benchmark::RegisterBenchmark("SetValue", BM_SetValue);
    benchmark::RegisterBenchmark("Baseline_GradientFill", BM_Baseline_GradientFill);
    benchmark::RegisterBenchmark("PaintStyle_GreenRed", BM_PaintStyle, KXprogressBar::GreenRed,
                                 KXprogressBar::Horizontal);
    benchmark::RegisterBenchmark("PaintStyle_UserHorizontal", BM_PaintStyle, KXprogressBar::User,
                                 KXprogressBar::Horizontal);
    benchmark::RegisterBenchmark("PaintStyle_UserVertical", BM_PaintStyle, KXprogressBar::User,
                                 KXprogressBar::Vertical);
    benchmark::RegisterBenchmark("Baseline_QProgressBarRender", BM_Baseline_QProgressBarRender);
    benchmark::RegisterBenchmark("DrawControl", BM_DrawControl);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nRatios against baselines of this run (300 x 20 bar):\n");
    printRatio(reporter, "Value set (no surface drawing)", "SetValue", "Baseline_QProgressBarSetValue");
    printRatio(reporter, "style repaint, GreenRed", "PaintStyle_GreenRed", "Baseline_GradientFill");
    printRatio(reporter, "style repaint, User horizontal", "PaintStyle_UserHorizontal",
               "Baseline_GradientFill");
    printRatio(reporter, "style repaint, User vertical", "PaintStyle_UserVertical", "Baseline_GradientFill");
    printRatio(reporter, "whole control painted", "DrawControl", "Baseline_QProgressBarRender");

    double worstRepaint = 0;
    for (const char* name : {"PaintStyle_GreenRed", "PaintStyle_UserHorizontal", "PaintStyle_UserVertical"}) {
        if (const auto it = reporter.times.find(name);
            it != reporter.times.end() && it->second > worstRepaint) {
            worstRepaint = it->second;
        }
    }
    std::printf("\nGoal: a full style repaint under 1 ms: slowest %.3f ms -> %s\n", worstRepaint / 1e6,
                worstRepaint < 1e6 ? "met" : "MISSED");
    if (const auto it = reporter.times.find("SetValue"); it != reporter.times.end()) {
        const double share = it->second * 1000 / 1e9 * 100;
        std::printf("Goal: 1,000 Values a second without visible load: %.4f %% of one core -> %s\n", share,
                    share < 1 ? "met" : "MISSED");
    }
    return 0;
}
