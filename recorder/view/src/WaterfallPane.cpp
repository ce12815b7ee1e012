#include "marlin/view/WaterfallPane.h"

#include <marlin/heatmap/Heatmap.h>
#include <marlin/view/PlotFrame.h>
#include <marlin/view/ViewModel.h>

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace marlin::view {

namespace {

// Height of the drawn rows: the whole plot, but no row taller than kMaxRowPixels, so that a few
// readings do not look like blocks.
int drawnHeight(int rows, int plotHeight) {
    if (rows <= 0) return 0;
    return static_cast<int>(std::min<long long>(plotHeight, static_cast<long long>(rows) * WaterfallPane::kMaxRowPixels));
}

QString timeText(double seconds, bool withDate) {
    // The stamps are the recording computer's local time, read back in this computer's zone.
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(seconds * 1000.0)));
    return t.toString(withDate ? QStringLiteral("yyyy-MM-dd hh:mm:ss") : QStringLiteral("hh:mm:ss"));
}

}  // namespace

WaterfallPane::WaterfallPane(ViewModel& model, FrequencySpan& span, QWidget* parent)
    : QWidget(parent), model_(model), span_(span) {
    setMinimumSize(400, 160);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&span_, &FrequencySpan::changed, this, qOverload<>(&QWidget::update));
}

void WaterfallPane::draw(QPainter& p, const QRect& area) const {
    std::lock_guard lock(model_.mutex());
    p.fillRect(area, Qt::white);
    const QRect plot = plotRect(area);
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    p.fillRect(plot, QColor::fromRgb(heatmap::ColourMap::noData()));

    const Waterfall& fall = model_.waterfall();
    const int rows = fall.rows();
    const int height = drawnHeight(rows, plot.height());
    if (rows > 0 && fall.points() > 0) {
        // The cells as they are, flipped so that the newest row is on top; the visible columns only.
        const QImage cells(reinterpret_cast<const uchar*>(fall.colours()), fall.columns(), rows,
                           fall.columns() * 4, QImage::Format_RGB32);
        const double perPoint = static_cast<double>(fall.columns()) / fall.points();
        const QRectF source((span_.low() + 0.5) * perPoint, 0, (span_.high() - span_.low()) * perPoint, rows);
        p.save();
        p.setClipRect(plot);
        p.translate(plot.left(), plot.top() + height);
        p.scale(1.0, -1.0);
        p.setRenderHint(QPainter::SmoothPixmapTransform, rows > plot.height());
        p.drawImage(QRectF(0, 0, plot.width(), height), cells, source);
        p.restore();

        // The row of the reading the trace pane shows.
        if (const Reading* shown = model_.shown()) {
            if (const auto r = fall.rowOf(shown->index)) {
                const double top = plot.top() + static_cast<double>(rows - 1 - *r) * height / rows;
                p.setPen(QPen(Qt::white, 2));
                p.drawLine(QPointF(plot.left() - 8, top + 0.5 * height / rows), QPointF(plot.left() - 1, top + 0.5 * height / rows));
                p.drawLine(QPointF(plot.right() + 1, top + 0.5 * height / rows), QPointF(plot.right() + 8, top + 0.5 * height / rows));
                p.setPen(QPen(Qt::black, 1));
                p.drawLine(QPointF(plot.left() - 8, top + 0.5 * height / rows), QPointF(plot.left() - 1, top + 0.5 * height / rows));
            }
        }

        // Time down the side: the time of rows about 50 pixels apart, the newest with its date.
        const int labels = std::max(1, std::min(rows, height / 50 + 1));
        int lastY = -100;
        for (int k = 0; k < labels; ++k) {
            const int r = rows - 1 - static_cast<int>(static_cast<long long>(k) * (rows - 1) / std::max(1, labels - 1));
            if (fall.row(r).readings == 0) continue;
            const int y = plot.top() + static_cast<int>((rows - 1 - r + 0.5) * height / rows);
            if (y - lastY < 30) continue;
            lastY = y;
            p.setPen(Qt::black);
            p.drawLine(plot.left() - 5, y, plot.left() - 1, y);
            p.drawText(QRect(area.left() + 20, y - 8, kPlotLeft - 28, 16), Qt::AlignRight | Qt::AlignVCenter,
                       timeText(fall.row(r).firstTime, false));
        }
        // The date of the newest reading as the axis title.
        p.save();
        p.translate(area.left() + 12, plot.center().y());
        p.rotate(-90);
        p.drawText(QRect(-plot.height() / 2, -8, plot.height(), 16), Qt::AlignCenter,
                   QStringLiteral("Time, %1").arg(timeText(fall.row(rows - 1).lastTime, true).left(10)));
        p.restore();
    } else {
        p.setPen(Qt::white);
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("No reading yet"));
    }
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot.adjusted(-1, -1, 0, 0));
    drawFrequencyAxis(p, plot, span_, model_.axis());

    // The level scale.
    const LevelScale& levels = model_.levels();
    const QRect bar(plot.right() + 12, plot.top(), 14, plot.height());
    const auto& colours = heatmap::ColourMap::perceptual();
    for (int y = 0; y < bar.height(); ++y) {
        p.setPen(QColor::fromRgb(colours.at(1.0 - static_cast<double>(y) / std::max(1, bar.height() - 1))));
        p.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
    }
    p.setPen(Qt::black);
    p.drawRect(bar.adjusted(-1, -1, 0, 0));
    const double low = levels.low(), high = levels.high();
    for (const double v : niceTicks(low, high, std::max(2, bar.height() / 40))) {
        const int y = bar.bottom() - static_cast<int>(std::lround((v - low) / (high - low) * (bar.height() - 1)));
        p.drawLine(bar.right() + 1, y, bar.right() + 4, y);
        p.drawText(QRect(bar.right() + 6, y - 8, kPlotRight - 32, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(v, 'g', 5));
    }
    const reader::HeadField* unit = model_.head().field("Y Unit");
    p.drawText(QRect(bar.left() - 10, bar.bottom() + 4, kPlotRight, 16), Qt::AlignLeft | Qt::AlignTop,
               (unit ? QString::fromStdString(unit->value) : QString()) + (levels.automatic() ? QString() : QStringLiteral(" (set)")));
}

std::optional<std::uint64_t> WaterfallPane::readingAt(const QRect& area, QPoint position) const {
    std::lock_guard lock(model_.mutex());
    const QRect plot = plotRect(area);
    const Waterfall& fall = model_.waterfall();
    const int height = drawnHeight(fall.rows(), plot.height());
    if (height == 0 || position.y() < plot.top() || position.y() >= plot.top() + height) return std::nullopt;
    const int fromTop = static_cast<int>(static_cast<long long>(position.y() - plot.top()) * fall.rows() / height);
    return fall.readingAt(fall.rows() - 1 - fromTop);
}

void WaterfallPane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    draw(p, rect());
}

void WaterfallPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (const auto reading = readingAt(rect(), event->position().toPoint())) emit readingChosen(*reading);
}

}  // namespace marlin::view
