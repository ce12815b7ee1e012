// marlin-view's costs, each beside a baseline measured in the same run:
//   1. a new reading read from the file, taken into the model and drawn (trace and waterfall pane),
//      in processor time per reading, for 501 and 100,001 points (goals: under 5 ms and 20 ms),
//      beside drawing the same reading as one line segment per point;
//   2. opening a 100 MiB and a 2 GiB recording: time to the first picture (goal: under 1 s), time to
//      the complete waterfall beside `cat FILE > /dev/null`, and peak memory (goal: the same for both);
//   3. following a recording written at 100 readings a second: the view's share of a core (goal:
//      under half), beside the writer's own share.
// Usage: marlin_bench_view [SMALL_MiB [LARGE_MiB [FOLLOW_SECONDS]]]   (default 100 2048 10; the files
// go to /tmp and are deleted afterwards; the large one needs LARGE_MiB free there)
#include <marlin/view/FollowThread.h>
#include <marlin/view/PlotFrame.h>
#include <marlin/view/TraceFollower.h>
#include <marlin/view/TracePane.h>
#include <marlin/view/ViewModel.h>
#include <marlin/view/ViewWindow.h>
#include <marlin/view/WaterfallPane.h>

#include "marlin/core/TraceFile.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace marlin;

double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::string exportText(std::uint32_t points) {
    return "Type;QSA-3;\r\nCenter Freq;1000000000;Hz\r\nSpan;100000000;Hz\r\nStart;950000000;Hz\r\nStop;"
           "1050000000;Hz\r\nRBW;1000000;Hz\r\nSweep Time;0.005;s\r\nX Unit;Hz;\r\nY Unit;dBm;\r\nValues;" +
           std::to_string(points) + ";\r\n";
}

std::vector<float> spectrum(std::uint32_t points, int k) {
    std::vector<float> v(points);
    std::uint32_t seed = 12345u + static_cast<std::uint32_t>(k) * 7919u;
    const double carrier = points * (0.3 + 0.2 * std::sin(k * 0.01));
    for (std::uint32_t i = 0; i < points; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double d = (i - carrier) / (points / 200.0 + 1.0);
        v[i] = static_cast<float>(-95.0 + (seed >> 24) / 40.0 + 70.0 * std::exp(-d * d));
    }
    return v;
}

TimeStamp stampOf(long k) {
    TimeStamp t;
    t.Year = 2026;
    t.Month = 1;
    t.Day = 1 + static_cast<std::int16_t>(k / 86400 % 28);
    t.Hour = static_cast<std::int16_t>(k / 3600 % 24);
    t.Minute = static_cast<std::int16_t>(k / 60 % 60);
    t.Second = static_cast<std::int16_t>(k % 60);
    return t;
}

std::string bytesOf(const std::vector<float>& v) {
    std::string b(v.size() * 4, '\0');
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

// ---- 1. one new reading
void newReading(std::uint32_t points, int readings) {
    const std::string path = "/tmp/marlin-view-bench-new.sft";
    TraceFile::emptyFile(path);
    TraceFile::writeHead(path, TraceFile::headText(1.0, exportText(points)));
    view::ViewModel model;
    view::TraceFollower follower(model, path);
    view::FrequencySpan span;
    view::TracePane trace(model, span);
    view::WaterfallPane fall(model, span);
    QImage image(1100, 700, QImage::Format_RGB32);
    const QRect top(0, 0, 1100, 300), bottom(0, 300, 1100, 400);
    std::vector<std::string> data;
    for (int k = 0; k < 16; ++k) data.push_back(bytesOf(spectrum(points, k)));

    double viewCpu = 0.0;
    for (int k = 1; k <= readings; ++k) {
        TraceFile::appendBinarySection(path, k, stampOf(k), data[static_cast<std::size_t>(k % 16)]);
        const double t0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        follower.poll();
        span.setPoints(model.points());
        QPainter p(&image);
        trace.draw(p, top);
        fall.draw(p, bottom);
        p.end();
        viewCpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - t0;
    }
    // Baseline: the same reading as one line segment per point, nothing else.
    const std::vector<float> values = spectrum(points, 1);
    double naiveCpu = 0.0;
    for (int k = 0; k < readings; ++k) {
        const double t0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        QPainter p(&image);
        p.fillRect(top, Qt::white);
        QPolygonF line;
        line.reserve(points);
        for (std::uint32_t i = 0; i < points; ++i) line << QPointF(10.0 + 1000.0 * i / points, 150.0 - values[i]);
        p.drawPolyline(line);
        p.end();
        naiveCpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - t0;
    }
    const double perReading = viewCpu / readings * 1e3, naive = naiveCpu / readings * 1e3;
    std::printf("new reading, %6u points: %7.3f ms processor time (read, model, both panes drawn; goal < %d ms)"
                "   one segment per point, trace only: %7.3f ms   ratio %.2f\n",
                points, perReading, points > 1000 ? 20 : 5, naive, perReading / naive);
    std::filesystem::remove(path);
}

// ---- 2. opening a large recording
std::string makeRecording(std::uint64_t mib) {
    const std::string path = "/tmp/marlin-view-bench-" + std::to_string(mib) + ".sft";
    constexpr std::uint32_t kPoints = 501;
    TraceFile::emptyFile(path);
    TraceFile::writeHead(path, TraceFile::headText(1.0, exportText(kPoints)));
    std::vector<std::string> data;
    for (int k = 0; k < 64; ++k) data.push_back(bytesOf(spectrum(kPoints, k * 37)));
    std::ofstream out(path, std::ios::binary | std::ios::app);
    std::vector<char> buffer(1 << 22);
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    long k = 0;
    for (std::uint64_t size = 0; size < mib << 20;) {
        ++k;
        const std::string line = TraceFile::sectionLine(static_cast<std::int32_t>(k), stampOf(k), false) + "\n";
        out << line << data[static_cast<std::size_t>(k % 64)] << '\n';
        size += line.size() + kPoints * 4 + 1;
    }
    out.close();
    // The count field, as the recorder leaves it.
    std::fstream field(path, std::ios::binary | std::ios::in | std::ios::out);
    field << TraceFile::countField(static_cast<std::int32_t>(k));
    return path;
}

struct OpenResult {
    double firstPicture = 0.0, complete = 0.0;
    long maxRssKiB = 0;
    std::uint64_t readings = 0;
};

// In a child process of its own, so that its peak memory is its own.
OpenResult openInChild(const std::string& path) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        int argc = 1;
        char name[] = "marlin-bench-view";
        char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        OpenResult r;
        view::ViewModel model;
        view::FrequencySpan span;
        view::TracePane trace(model, span);
        view::WaterfallPane fall(model, span);
        QImage image(1100, 700, QImage::Format_RGB32);
        const auto t0 = Clock::now();
        view::FollowThread follow(model, QString::fromStdString(path));
        while (true) {
            {
                std::lock_guard lock(model.mutex());
                if (model.count() > 0) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        {
            std::lock_guard lock(model.mutex());
            span.setPoints(model.points());
        }
        QPainter p(&image);
        trace.draw(p, QRect(0, 0, 1100, 300));
        fall.draw(p, QRect(0, 300, 1100, 400));
        r.firstPicture = std::chrono::duration<double>(Clock::now() - t0).count();
        follow.waitLoaded(600000);
        trace.draw(p, QRect(0, 0, 1100, 300));
        fall.draw(p, QRect(0, 300, 1100, 400));
        p.end();
        r.complete = std::chrono::duration<double>(Clock::now() - t0).count();
        {
            std::lock_guard lock(model.mutex());
            r.readings = model.count();
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        r.maxRssKiB = usage.ru_maxrss;
        (void)!write(pipeFds[1], &r, sizeof r);
        _exit(0);
    }
    close(pipeFds[1]);
    OpenResult r;
    (void)!read(pipeFds[0], &r, sizeof r);
    close(pipeFds[0]);
    waitpid(pid, nullptr, 0);
    return r;
}

double catSeconds(const std::string& path) {
    const auto t0 = Clock::now();
    const std::string command = "cat '" + path + "' > /dev/null";
    if (std::system(command.c_str()) != 0) return 0.0;
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void openLarge(std::uint64_t mib) {
    const auto space = std::filesystem::space("/tmp");
    if (space.available < (mib << 20) + (512u << 20)) {
        std::printf("open %5llu MiB: skipped, /tmp has only %llu MiB free\n", static_cast<unsigned long long>(mib),
                    static_cast<unsigned long long>(space.available >> 20));
        return;
    }
    const std::string path = makeRecording(mib);
    const double cat = catSeconds(path);  // also warms the cache for both
    const OpenResult r = openInChild(path);
    std::printf("open %5llu MiB (%llu readings): first picture %.3f s (goal < 1 s), complete waterfall %.2f s "
                "(cat: %.2f s, ratio %.1f), peak RSS %ld MiB\n",
                static_cast<unsigned long long>(mib), static_cast<unsigned long long>(r.readings), r.firstPicture,
                r.complete, cat, cat > 0 ? r.complete / cat : 0.0, r.maxRssKiB / 1024);
    std::filesystem::remove(path);
}

// ---- 3. following at 100 readings a second
void follow(int seconds, int argc, char** argv) {
    const std::string path = "/tmp/marlin-view-bench-follow.sft";
    constexpr std::uint32_t kPoints = 501;
    TraceFile::emptyFile(path);
    TraceFile::writeHead(path, TraceFile::headText(0.01, exportText(kPoints)));
    const pid_t writer = fork();
    if (writer == 0) {
        // The recorder's way: open, write, close for every reading, 100 a second.
        std::vector<std::string> data;
        for (int k = 0; k < 64; ++k) data.push_back(bytesOf(spectrum(kPoints, k * 11)));
        auto next = Clock::now();
        for (int k = 1; k <= seconds * 100; ++k) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            TraceFile::appendBinarySection(path, k, stampOf(k / 100), data[static_cast<std::size_t>(k % 64)]);
        }
        _exit(0);
    }
    QApplication app(argc, argv);
    view::ViewWindow window(view::ViewWindow::Options{.rememberFiles = false});
    window.resize(1100, 760);
    window.show();
    window.openFile(QString::fromStdString(path));
    const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const auto t0 = Clock::now();
    // The event loop waits as the program's would; a look every 100 ms for the writer's end.
    QEventLoop loop;
    QTimer check;
    rusage writerUsage{};
    check.callOnTimeout([&] {
        int status = 0;
        if (wait4(writer, &status, WNOHANG, &writerUsage) != 0) loop.quit();
    });
    check.start(100);
    loop.exec();
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    const double writerCpu = static_cast<double>(writerUsage.ru_utime.tv_sec + writerUsage.ru_stime.tv_sec) +
                             static_cast<double>(writerUsage.ru_utime.tv_usec + writerUsage.ru_stime.tv_usec) * 1e-6;
    std::uint64_t shown = 0;
    {
        std::lock_guard lock(window.model().mutex());
        shown = window.model().count();
    }
    std::printf("following 100 readings/s for %d s: view %.3f of a core (goal < 0.5), %llu of %d readings shown;"
                " the writer itself %.3f of a core, ratio %.1f\n",
                seconds, cpu / wall, static_cast<unsigned long long>(shown), seconds * 100, writerCpu / wall,
                writerCpu > 0 ? cpu / writerCpu : 0.0);
    std::filesystem::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("Usage: marlin_bench_view [SMALL_MiB [LARGE_MiB [FOLLOW_SECONDS]]]  (default 100 2048 10)\n");
        return 0;
    }
    const std::uint64_t small = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    const std::uint64_t large = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2048;
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 10;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Qt's remark about a missing runtime folder would only clutter the figures.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
        });
    }

    // Children are forked before this process makes its own QApplication.
    openLarge(small);
    openLarge(large);
    follow(seconds, argc, argv);
    // The panes need an application object; the one made by follow() is gone again.
    int one = 1;
    QApplication app(one, argv);
    newReading(501, 400);
    newReading(100001, 100);
    return 0;
}
