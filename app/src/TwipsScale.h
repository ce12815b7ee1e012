#pragma once
// Window geometry is laid out in twips (1/1440 inch) so that it keeps its proportions on any
// screen; this converts to the pixels of the screen the window is on.

#include <QRect>

namespace marlin {

class TwipsScale {
public:
    static constexpr double kTwipsPerInch = 1440.0;

    // dotsPerInch is the screen's logical resolution: 96 gives 15 twips per pixel.
    explicit TwipsScale(double dotsPerInch = 96.0);

    double dotsPerInch() const { return m_dpi; }
    int toPixels(int twips) const;
    int toTwips(int pixels) const;
    // Edges are converted each on its own, as the layout gives them: left, top, width, height.
    QRect rect(int left, int top, int width, int height) const;

private:
    double m_dpi;
};

}  // namespace marlin
