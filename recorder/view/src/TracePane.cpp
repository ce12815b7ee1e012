#include "marlin/view/TracePane.h"

#include <marlin/heatmap/Heatmap.h>
#include <marlin/view/PlotFrame.h>
#include <marlin/view/ViewModel.h>

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

namespace marlin::view {

namespace {

// The visible points of a line as at most two short strokes per pixel column: the lowest and the
// highest level of the points that fall on the column, joined to the column before. However many
// points a reading has, drawing costs the plot's width, not the points.
void drawLine(QPainter& p, const QRect& plot, const FrequencySpan& span, std::span<const float> values,
              double low, double high, QRgb colour) {
    if (values.empty()) return;
    const auto yOf = [&](double v) { return plot.bottom() - (v - low) / (high - low) * (plot.height() - 1); };
    const auto first = static_cast<std::size_t>(std::clamp(std::floor(span.low()), 0.0, double(values.size() - 1)));
    const auto last = static_cast<std::size_t>(std::clamp(std::ceil(span.high()), 0.0, double(values.size() - 1)));
    p.setPen(QPen(QColor::fromRgba(colour), 1.0));
    const double pointsPerPixel = (span.high() - span.low()) / std::max(1, plot.width());
    if (pointsPerPixel < 1.0) {
        // Fewer points than pixels: a plain line through them.
        QPolygonF line;
        line.reserve(static_cast<qsizetype>(last - first + 1));
        for (std::size_t i = first; i <= last; ++i) {
            if (std::isnan(values[i])) continue;
            line << QPointF(span.xOf(static_cast<double>(i), plot), yOf(values[i]));
        }
        p.drawPolyline(line);
        return;
    }
    const int width = plot.width();
    std::vector<float> lo(static_cast<std::size_t>(width), std::numeric_limits<float>::infinity());
    std::vector<float> hi(static_cast<std::size_t>(width), -std::numeric_limits<float>::infinity());
    for (std::size_t i = first; i <= last; ++i) {
        const float v = values[i];
        if (std::isnan(v)) continue;
        const int column = static_cast<int>(span.xOf(static_cast<double>(i), plot)) - plot.left();
        if (column < 0 || column >= width) continue;
        lo[static_cast<std::size_t>(column)] = std::min(lo[static_cast<std::size_t>(column)], v);
        hi[static_cast<std::size_t>(column)] = std::max(hi[static_cast<std::size_t>(column)], v);
    }
    std::vector<QLineF> strokes;
    strokes.reserve(static_cast<std::size_t>(width));
    float prevLo = std::numeric_limits<float>::quiet_NaN(), prevHi = prevLo;
    for (int c = 0; c < width; ++c) {
        float a = lo[static_cast<std::size_t>(c)], b = hi[static_cast<std::size_t>(c)];
        if (a > b) continue;
        // Reach the column before so that the line stays joined.
        if (!std::isnan(prevLo)) {
            a = std::min(a, prevHi);
            b = std::max(b, prevLo);
        }
        prevLo = lo[static_cast<std::size_t>(c)];
        prevHi = hi[static_cast<std::size_t>(c)];
        const double x = plot.left() + c + 0.5;
        strokes.emplace_back(x, yOf(a), x, yOf(b));
    }
    p.drawLines(strokes.data(), static_cast<int>(strokes.size()));
}

QString levelText(double v, const QString& unit) {
    return QString::number(v, 'f', std::fabs(v) >= 100 ? 1 : 2) + (unit.isEmpty() ? QString() : QStringLiteral(" ") + unit);
}

}  // namespace

TracePane::TracePane(const ViewModel& model, FrequencySpan& span, QWidget* parent)
    : QWidget(parent), model_(model), span_(span) {
    setMouseTracking(true);
    setMinimumSize(400, 180);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&span_, &FrequencySpan::changed, this, qOverload<>(&QWidget::update));
}

void TracePane::setShowMax(bool on) {
    showMax_ = on;
    update();
}
void TracePane::setShowMin(bool on) {
    showMin_ = on;
    update();
}
void TracePane::setShowAverage(bool on) {
    showAverage_ = on;
    update();
}
void TracePane::setLevelRange(std::optional<std::pair<double, double>> range) {
    levels_ = range;
    update();
}

std::pair<double, double> TracePane::levelRange() const {
    if (levels_) return *levels_;
    const TraceHolds& holds = model_.holds();
    if (holds.count() == 0 && holds.allMax().empty()) return {-100.0, 0.0};
    float low = std::numeric_limits<float>::infinity(), high = -low;
    for (const float v : holds.allMin()) low = std::min(low, v);
    for (const float v : holds.allMax()) high = std::max(high, v);
    if (!(high >= low)) return {-100.0, 0.0};
    const double margin = std::max(1.0, (static_cast<double>(high) - low) * 0.06);
    return {low - margin, high + margin};
}

void TracePane::draw(QPainter& p, const QRect& area) const {
    std::lock_guard lock(model_.mutex());
    p.fillRect(area, Qt::white);
    const QRect plot = plotRect(area);
    const auto [low, high] = levelRange();
    lastLevels_ = {low, high};
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    const reader::HeadField* yUnit = model_.head().field("Y Unit");
    const QString unit = yUnit ? QString::fromStdString(yUnit->value) : QString();

    // Grid and level axis.
    const auto yOf = [&](double v) { return plot.bottom() - (v - low) / (high - low) * (plot.height() - 1); };
    for (const double v : niceTicks(low, high, std::max(2, plot.height() / 40))) {
        const int y = static_cast<int>(std::lround(yOf(v)));
        p.setPen(QColor(232, 232, 232));
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(Qt::black);
        p.drawLine(plot.left() - 5, y, plot.left() - 1, y);
        p.drawText(QRect(area.left(), y - 8, kPlotLeft - 8, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v, 'g', 6));
    }
    p.save();
    p.translate(area.left() + 12, plot.center().y());
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, -8, plot.height(), 16), Qt::AlignCenter,
               unit.isEmpty() ? QStringLiteral("Level") : QStringLiteral("Level (%1)").arg(unit));
    p.restore();
    drawFrequencyAxis(p, plot, span_, model_.axis());
    p.setPen(Qt::black);
    p.drawRect(plot.adjusted(-1, -1, 0, 0));

    const Reading* shown = model_.shown();
    if (!shown) {
        p.drawText(plot, Qt::AlignCenter,
                   model_.error().empty() ? QStringLiteral("No reading yet") : QString::fromStdString(model_.error()));
        return;
    }
    p.save();
    p.setClipRect(plot);
    const TraceHolds& holds = model_.holds();
    if (showAverage_ && holds.count() > 0) drawLine(p, plot, span_, holds.average(), low, high, kAverageColour);
    if (showMin_ && holds.count() > 0) drawLine(p, plot, span_, holds.min(), low, high, kMinColour);
    if (showMax_ && holds.count() > 0) drawLine(p, plot, span_, holds.max(), low, high, kMaxColour);
    const std::span<const float> values(shown->values);
    drawLine(p, plot, span_, values, low, high, kTraceColour);

    // Peak of the whole reading, and the cursor.
    const reader::FrequencyAxis& axis = model_.axis();
    const QString xUnit = QString::fromStdString(axis.unit.empty() ? std::string("Hz") : axis.unit);
    const auto where = [&](std::size_t i) {
        return axis.fromHead ? heatmap::engineeringText(axis.at(i), xUnit) : QStringLiteral("point %1").arg(i);
    };
    const auto peak = static_cast<std::size_t>(std::max_element(values.begin(), values.end(), [](float a, float b) {
                                                   return std::isnan(a) || (!std::isnan(b) && a < b);
                                               }) - values.begin());
    const QPointF peakAt(span_.xOf(static_cast<double>(peak), plot), yOf(values[peak]));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 0, 0));
    p.drawPolygon(QPolygonF{peakAt + QPointF(0, -3), peakAt + QPointF(-5, -12), peakAt + QPointF(5, -12)});
    p.restore();
    p.setPen(Qt::black);
    const QString title = QStringLiteral("Section %1, %2   peak %3, %4")
                              .arg(shown->section.number)
                              .arg(QString::fromStdString(shown->section.time.isoText()).replace('T', ' '))
                              .arg(where(peak), levelText(values[peak], unit));
    p.drawText(QRect(plot.left() + 6, plot.top() + 3, plot.width() - 12, 16), Qt::AlignLeft | Qt::AlignTop, title);

    if (cursor_ && plot.contains(cursor_->toPoint())) {
        const double at = std::round(span_.pointAt(cursor_->x(), plot));
        const auto i = static_cast<std::size_t>(std::clamp(at, 0.0, static_cast<double>(values.size() - 1)));
        const QPointF dot(span_.xOf(static_cast<double>(i), plot), yOf(values[i]));
        p.setPen(QPen(QColor(90, 90, 90), 1, Qt::DashLine));
        p.drawLine(QPointF(dot.x(), plot.top()), QPointF(dot.x(), plot.bottom()));
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(dot, 4, 4);
        p.drawText(QRect(plot.left() + 6, plot.top() + 20, plot.width() - 12, 16), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("cursor %1, %2").arg(where(i), levelText(values[i], unit)));
    }

    // Which line is which, in the margin on the right.
    int y = plot.top();
    const auto legend = [&](bool on, QRgb colour, const QString& text) {
        if (!on) return;
        p.setPen(QPen(QColor::fromRgba(colour), 2));
        p.drawLine(plot.right() + 8, y + 8, plot.right() + 22, y + 8);
        p.setPen(Qt::black);
        p.drawText(QRect(plot.right() + 26, y, kPlotRight - 28, 16), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += 18;
    };
    const QString over = holds.window() == 0 ? QString() : QStringLiteral(" %1").arg(holds.window());
    legend(true, kTraceColour, QStringLiteral("reading"));
    legend(showMax_, kMaxColour, QStringLiteral("max") + over);
    legend(showMin_, kMinColour, QStringLiteral("min") + over);
    legend(showAverage_, kAverageColour, QStringLiteral("avg") + over);
}

void TracePane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    draw(p, rect());
}

void TracePane::mouseMoveEvent(QMouseEvent* event) {
    cursor_ = event->position();
    if (dragFrom_) {
        const QRect plot = plotRect(rect());
        const double dx = (event->position().x() - dragFrom_->x()) / plot.width() * (dragHigh_ - dragLow_);
        span_.setRange(dragLow_ - dx, dragHigh_ - dx);
        const double dy = (event->position().y() - dragFrom_->y()) / plot.height() *
                          (dragLevels_.second - dragLevels_.first);
        levels_ = std::pair{dragLevels_.first + dy, dragLevels_.second + dy};
    }
    update();
}

void TracePane::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragFrom_ = event->position();
    dragLow_ = span_.low();
    dragHigh_ = span_.high();
    dragLevels_ = lastLevels_;
}

void TracePane::mouseReleaseEvent(QMouseEvent*) {
    dragFrom_.reset();
}

void TracePane::mouseDoubleClickEvent(QMouseEvent*) {
    levels_.reset();
    span_.reset();
    update();
}

void TracePane::wheelEvent(QWheelEvent* event) {
    const QRect plot = plotRect(rect());
    const double factor = std::pow(0.8, event->angleDelta().y() / 120.0);
    if (event->modifiers() & Qt::ShiftModifier) {
        const auto [low, high] = lastLevels_;
        const double at = low + (plot.bottom() - event->position().y()) / plot.height() * (high - low);
        levels_ = std::pair{at - (at - low) * factor, at + (high - at) * factor};
        update();
    } else {
        const double at = span_.pointAt(event->position().x(), plot);
        span_.setRange(at - (at - span_.low()) * factor, at + (span_.high() - at) * factor);
    }
    event->accept();
}

void TracePane::leaveEvent(QEvent*) {
    cursor_.reset();
    update();
}

}  // namespace marlin::view
