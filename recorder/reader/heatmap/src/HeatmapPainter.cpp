#include <QPainter>

#include <algorithm>
#include <cmath>

#include "marlin/heatmap/Heatmap.h"

namespace marlin::heatmap {

namespace {

constexpr int kLeft = 150, kRight = 130, kTop = 40, kBottom = 64;
constexpr int kTicks = 5;

}  // namespace

QString engineeringText(double value, const QString& unit) {
    static const char* const prefixes[] = {"p", "n", "µ", "m", "", "k", "M", "G", "T"};
    int index = 4;
    double scaled = value;
    if (!unit.isEmpty() && value != 0.0 && std::isfinite(value)) {
        const int power = static_cast<int>(std::floor(std::log10(std::fabs(value)) / 3.0));
        index = std::clamp(power + 4, 0, 8);
        scaled = value / std::pow(1000.0, index - 4);
    }
    QString text = QString::number(scaled, 'g', 6);
    if (!unit.isEmpty()) text += QStringLiteral(" ") + QString::fromUtf8(prefixes[index]) + unit;
    return text;
}

HeatmapLayout heatmapLayout(const HeatmapRaster& raster, int maxWidth, int maxHeight) {
    HeatmapLayout layout;
    layout.scale = std::max(1, std::min(maxWidth / raster.columns(), maxHeight / raster.rows()));
    layout.plot = QRect(kLeft, kTop, raster.columns() * layout.scale, raster.rows() * layout.scale);
    return layout;
}

QImage renderHeatmap(const HeatmapRaster& raster, const HeatmapLabels& labels, double low, double high,
                     int maxWidth, int maxHeight) {
    const HeatmapLayout layout = heatmapLayout(raster, maxWidth, maxHeight);
    const QRect plot = layout.plot;
    const int height = std::max(plot.bottom() + 1 + kBottom, kTop + 200 + kBottom);
    QImage image(plot.right() + 1 + kRight, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    const ColourMap& colours = ColourMap::perceptual();

    // The cells, written straight into the picture's lines.
    std::vector<QRgb> line(static_cast<std::size_t>(plot.width()));
    for (int row = 0; row < raster.rows(); ++row) {
        for (int column = 0; column < raster.columns(); ++column) {
            const QRgb c = colours.of(raster.at(row, column), low, high);
            std::fill_n(line.begin() + column * layout.scale, layout.scale, c);
        }
        for (int k = 0; k < layout.scale; ++k) {
            auto* target = reinterpret_cast<QRgb*>(image.scanLine(plot.top() + row * layout.scale + k));
            std::copy(line.begin(), line.end(), target + plot.left());
        }
    }

    QPainter p(&image);
    p.setPen(Qt::black);
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    p.drawRect(plot.adjusted(-1, -1, 0, 0));
    p.drawText(QRect(0, 8, image.width(), kTop - 12), Qt::AlignCenter, labels.title);

    // Frequency across.
    const bool points = labels.frequencyUnit.isEmpty();
    for (int i = 0; i < kTicks; ++i) {
        const double f = static_cast<double>(i) / (kTicks - 1);
        const int x = plot.left() + static_cast<int>(std::lround(f * (plot.width() - 1)));
        p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 5);
        const double value = labels.frequencyStart + f * (labels.frequencyStop - labels.frequencyStart);
        p.drawText(QRect(x - 60, plot.bottom() + 7, 120, 16), Qt::AlignHCenter | Qt::AlignTop,
                   points ? QString::number(std::lround(value)) : engineeringText(value, labels.frequencyUnit));
    }
    p.drawText(QRect(plot.left(), plot.bottom() + 26, plot.width(), 18), Qt::AlignHCenter,
               points ? QStringLiteral("Point") : QStringLiteral("Frequency (%1)").arg(labels.frequencyUnit));

    // Time down: the date once, then the clock time of evenly spaced rows.
    const int timeTicks = std::min(kTicks + 1, raster.rows());
    for (int i = 0; i < timeTicks; ++i) {
        const int row = timeTicks == 1 ? 0 : static_cast<int>(std::lround(static_cast<double>(i) * (raster.rows() - 1) /
                                                                            (timeTicks - 1)));
        if (static_cast<std::size_t>(row) >= labels.rowTimes.size()) continue;
        const int y = plot.top() + row * layout.scale + layout.scale / 2;
        p.drawLine(plot.left() - 6, y, plot.left() - 2, y);
        const QString& iso = labels.rowTimes[static_cast<std::size_t>(row)];
        const QString text = i == 0 ? iso.left(10) + QStringLiteral(" ") + iso.mid(11, 8) : iso.mid(11, 12);
        p.drawText(QRect(0, y - 8, plot.left() - 8, 16), Qt::AlignRight | Qt::AlignVCenter, text);
    }

    // The level scale: the colour map from low (bottom) to high (top).
    const QRect bar(plot.right() + 24, plot.top(), 18, std::max(plot.height(), 200));
    for (int y = 0; y < bar.height(); ++y) {
        p.setPen(QColor(colours.at(1.0 - static_cast<double>(y) / std::max(1, bar.height() - 1))));
        p.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
    }
    p.setPen(Qt::black);
    p.drawRect(bar.adjusted(-1, -1, 0, 0));
    for (int i = 0; i < kTicks; ++i) {
        const double f = static_cast<double>(i) / (kTicks - 1);
        const int y = bar.bottom() - static_cast<int>(std::lround(f * (bar.height() - 1)));
        p.drawLine(bar.right() + 1, y, bar.right() + 4, y);
        p.drawText(QRect(bar.right() + 7, y - 8, kRight - 50, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(low + f * (high - low), 'g', 4) +
                       (labels.levelUnit.isEmpty() ? QString() : QStringLiteral(" ") + labels.levelUnit));
    }
    return image;
}

}  // namespace marlin::heatmap
