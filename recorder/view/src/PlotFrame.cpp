#include "marlin/view/PlotFrame.h"

#include <marlin/heatmap/Heatmap.h>
#include <marlin/reader/TraceReader.h>

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace marlin::view {

void FrequencySpan::setPoints(unsigned points) {
    if (points == points_) return;
    points_ = points;
    reset();
}

void FrequencySpan::reset() {
    zoomed_ = false;
    low_ = -0.5;
    high_ = std::max(1u, points_) - 0.5;
    emit changed();
}

void FrequencySpan::setRange(double low, double high) {
    const double full = std::max(1u, points_);
    // Never narrower than two points, never beyond the recording.
    const double width = std::clamp(high - low, 2.0, full);
    low = std::clamp(low, -0.5, full - 0.5 - width);
    low_ = low;
    high_ = low + width;
    zoomed_ = width < full;
    emit changed();
}

double FrequencySpan::xOf(double point, const QRect& plot) const {
    return plot.left() + (point - low_) / (high_ - low_) * plot.width();
}

double FrequencySpan::pointAt(double x, const QRect& plot) const {
    return low_ + (x - plot.left()) / plot.width() * (high_ - low_);
}

}  // namespace marlin::view

namespace marlin::view {

std::vector<double> niceTicks(double low, double high, int count) {
    std::vector<double> ticks;
    if (!(high > low) || count < 1 || !std::isfinite(low) || !std::isfinite(high)) return ticks;
    const double rough = (high - low) / count;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (step >= rough) break;
    }
    for (double t = std::ceil(low / step) * step; t <= high + step * 1e-9; t += step) {
        ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
    }
    return ticks;
}

void drawFrequencyAxis(QPainter& painter, const QRect& plot, const FrequencySpan& span,
                       const reader::FrequencyAxis& axis) {
    const bool byPoint = !axis.fromHead || axis.step == 0.0;
    const QString unit = QString::fromStdString(axis.unit.empty() ? std::string("Hz") : axis.unit);
    const double first = byPoint ? span.low() : axis.at(0) + axis.step * span.low();
    const double last = byPoint ? span.high() : axis.at(0) + axis.step * span.high();
    const int count = std::max(2, plot.width() / 110);
    for (const double value : niceTicks(first, last, count)) {
        const double point = byPoint ? value : (value - axis.start) / axis.step;
        const int x = static_cast<int>(std::lround(span.xOf(point, plot)));
        if (x < plot.left() || x > plot.right()) continue;
        painter.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 5);
        painter.drawText(QRect(x - 60, plot.bottom() + 6, 120, 16), Qt::AlignHCenter | Qt::AlignTop,
                         byPoint ? QString::number(std::lround(value)) : heatmap::engineeringText(value, unit));
    }
    painter.drawText(QRect(plot.left(), plot.bottom() + 22, plot.width(), 16), Qt::AlignHCenter | Qt::AlignTop,
                     byPoint ? QStringLiteral("Point") : QStringLiteral("Frequency"));
}

}  // namespace marlin::view
