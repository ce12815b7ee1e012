// PNG: the recording as a heatmap, drawn by the shared heatmap code with Qt's image classes on the
// offscreen platform (no window, no display needed).
#include "ExportSink.h"

#ifdef MARLIN_HAVE_HEATMAP

#include <QGuiApplication>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "marlin/heatmap/Heatmap.h"

namespace marlin::cli {

namespace {

class PngSink : public ExportSink {
public:
    explicit PngSink(const ExportOptions& options) : options_(options) {}
    std::vector<std::string> outputs() const override { return {options_.output}; }
    bool needsCount() const override { return true; }

    bool begin(const ExportContext& context, const std::vector<std::string>& paths, std::string&) override {
        path_ = paths[0];
        raster_.emplace(context.readings, context.points, options_.width, options_.height,
                        options_.reduceMax ? heatmap::Reduce::Max : heatmap::Reduce::Mean);
        labels_.rowTimes.resize(static_cast<std::size_t>(raster_->rows()));
        if (context.axis.fromHead) {
            labels_.frequencyStart = context.axis.at(0);
            labels_.frequencyStop = context.axis.at(context.points - 1);
            labels_.frequencyUnit = QString::fromStdString(context.axis.unit.empty() ? "Hz" : context.axis.unit);
        } else {
            labels_.frequencyStop = context.points - 1;
        }
        const auto& head = context.reader->head();
        if (const auto* unit = head.field("Y Unit")) labels_.levelUnit = QString::fromStdString(unit->value);
        labels_.title = QString::fromStdString(std::filesystem::path(options_.file).filename().string());
        return true;
    }

    bool add(const reader::Section& section, std::span<const float> values, std::string&) override {
        raster_->add(index_, values);
        if (!options_.levels) histogram_.add(values);
        auto& time = labels_.rowTimes[static_cast<std::size_t>(raster_->rowOf(index_))];
        if (time.isEmpty()) time = QString::fromStdString(section.time.isoText());
        if (index_ == 0) firstNumber_ = section.number;
        lastNumber_ = section.number;
        ++index_;
        return true;
    }

    bool finish(std::string& error) override {
        labels_.title += QStringLiteral(", sections %1 to %2").arg(firstNumber_).arg(lastNumber_);
        double low = 0.0, high = 1.0;
        if (options_.levels) {
            std::tie(low, high) = *options_.levels;
        } else if (histogram_.count() > 0) {
            low = histogram_.quantile(0.01);
            high = histogram_.quantile(0.99);
            if (!(high > low)) high = low + 1.0;  // all values alike
        }
        // The image code needs an application object for its fonts; no window is ever shown, and
        // the platform's remarks (no runtime folder and the like) are not the user's business.
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&,
                                                                    const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
        });
        std::unique_ptr<QGuiApplication> app;
        if (!QGuiApplication::instance()) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
            app = std::make_unique<QGuiApplication>(argc_, argv_);
        }
        const QImage image = heatmap::renderHeatmap(*raster_, labels_, low, high, options_.width, options_.height);
        const bool saved = image.save(QString::fromStdString(path_), "PNG");
        app.reset();
        qInstallMessageHandler(previous);
        if (!saved) {
            error = "\"" + options_.output + "\" could not be written";
            return false;
        }
        return true;
    }

private:
    ExportOptions options_;
    std::string path_;
    std::optional<heatmap::HeatmapRaster> raster_;
    heatmap::LevelHistogram histogram_;
    heatmap::HeatmapLabels labels_;
    std::uint64_t index_ = 0;
    std::int32_t firstNumber_ = 0, lastNumber_ = 0;
    int argc_ = 1;
    char programName_[11] = "marlin-cli";
    char* argv_[2] = {programName_, nullptr};
};

}  // namespace

std::unique_ptr<ExportSink> makePngSink(const ExportOptions& options) {
    return std::make_unique<PngSink>(options);
}

}  // namespace marlin::cli

#else

namespace marlin::cli {
std::unique_ptr<ExportSink> makePngSink(const ExportOptions&) {
    return nullptr;
}
}  // namespace marlin::cli

#endif
