#pragma once
// The recording as rows of colour, newest on top, with time down the side and the level scale on
// the right; frequency across, aligned with the trace pane. A click selects the reading of a row.

#include <QWidget>

#include <optional>

namespace marlin::view {

class FrequencySpan;
class ViewModel;

class WaterfallPane : public QWidget {
    Q_OBJECT

public:
    // The tallest a single row is drawn, so that a few readings do not look like a block.
    static constexpr int kMaxRowPixels = 6;

    WaterfallPane(ViewModel& model, FrequencySpan& span, QWidget* parent = nullptr);

    // Draws the pane into `area`; paintEvent only calls this. Takes the model's lock.
    void draw(QPainter& painter, const QRect& area) const;
    // The reading drawn at a widget position, if any.
    std::optional<std::uint64_t> readingAt(const QRect& area, QPoint position) const;

signals:
    void readingChosen(std::uint64_t reading);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    ViewModel& model_;
    FrequencySpan& span_;
};

}  // namespace marlin::view
