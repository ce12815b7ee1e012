#include "TwipsScale.h"

#include <cmath>

namespace marlin {

TwipsScale::TwipsScale(double dotsPerInch) : m_dpi(dotsPerInch > 0 ? dotsPerInch : 96.0) {}

int TwipsScale::toPixels(int twips) const {
    return static_cast<int>(std::lround(twips * m_dpi / kTwipsPerInch));
}

int TwipsScale::toTwips(int pixels) const {
    return static_cast<int>(std::lround(pixels * kTwipsPerInch / m_dpi));
}

QRect TwipsScale::rect(int left, int top, int width, int height) const {
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

}  // namespace marlin
