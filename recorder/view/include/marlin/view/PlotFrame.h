#pragma once
// What the trace and the waterfall pane share, so that a frequency sits at the same x in both: the
// plot's margins and the visible stretch of points, which zoom and pan change for both at once.

#include <QObject>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;

namespace marlin::reader {
struct FrequencyAxis;
}

namespace marlin::view {

class FrequencySpan;

constexpr int kPlotLeft = 92, kPlotRight = 96, kPlotTop = 12, kPlotBottom = 40;

inline QRect plotRect(const QRect& area) {
    return area.adjusted(kPlotLeft, kPlotTop, -kPlotRight, -kPlotBottom);
}

// Round values between low and high, about `count` of them (1, 2 or 5 times a power of ten apart).
std::vector<double> niceTicks(double low, double high, int count);

// The frequency axis under a plot: ticks and their texts for the visible points, and its title.
void drawFrequencyAxis(QPainter& painter, const QRect& plot, const FrequencySpan& span,
                       const reader::FrequencyAxis& axis);

// The visible points, as a range of point numbers in which point p fills [p − ½, p + ½].
class FrequencySpan : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    double low() const { return low_; }
    double high() const { return high_; }
    bool zoomed() const { return zoomed_; }
    void setPoints(unsigned points);  // shows them all when not zoomed
    void setRange(double low, double high);
    void reset();
    // x of a point (fractional) in a plot; and back.
    double xOf(double point, const QRect& plot) const;
    double pointAt(double x, const QRect& plot) const;

signals:
    void changed();

private:
    unsigned points_ = 0;
    double low_ = -0.5, high_ = 0.5;
    bool zoomed_ = false;
};

}  // namespace marlin::view
