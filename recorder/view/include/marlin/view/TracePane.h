#pragma once
// The shown reading as a line over the frequency axis, with the holds drawn over it, a peak marker
// and a cursor that reads out the point under the mouse. Wheel zooms the frequency axis (with Shift
// the level axis), dragging pans both, a double click shows everything again.

#include <QPointF>
#include <QWidget>

#include <optional>

namespace marlin::view {

class FrequencySpan;
class ViewModel;

class TracePane : public QWidget {
    Q_OBJECT

public:
    static constexpr QRgb kTraceColour = 0xff1f4e9c, kMaxColour = 0xffd0352b, kMinColour = 0xff2e9a3a,
                          kAverageColour = 0xffc07a00;

    TracePane(const ViewModel& model, FrequencySpan& span, QWidget* parent = nullptr);

    void setShowMax(bool on);
    void setShowMin(bool on);
    void setShowAverage(bool on);
    // Levels shown; none: fitted to every reading so far.
    void setLevelRange(std::optional<std::pair<double, double>> range);

    // Draws the pane into `area`; paintEvent only calls this. Takes the model's lock.
    void draw(QPainter& painter, const QRect& area) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::pair<double, double> levelRange() const;  // model lock held

    const ViewModel& model_;
    FrequencySpan& span_;
    bool showMax_ = false, showMin_ = false, showAverage_ = false;
    std::optional<std::pair<double, double>> levels_;
    std::optional<QPointF> cursor_;
    std::optional<QPointF> dragFrom_;
    double dragLow_ = 0.0, dragHigh_ = 0.0;
    std::pair<double, double> dragLevels_;
    mutable std::pair<double, double> lastLevels_{-100.0, 0.0};
};

}  // namespace marlin::view
