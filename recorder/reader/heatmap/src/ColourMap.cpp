#include <algorithm>
#include <cmath>

#include "marlin/heatmap/Heatmap.h"

namespace marlin::heatmap {

namespace {

constexpr double kPi = 3.14159265358979323846;

double toSrgb(double linear) {
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

// Oklab (lightness, a, b) to sRGB in 0..1; false when the colour lies outside sRGB.
bool oklabToSrgb(double lightness, double a, double b, double rgb[3]) {
    const double l = std::pow(lightness + 0.3963377774 * a + 0.2158037573 * b, 3);
    const double m = std::pow(lightness - 0.1055613458 * a - 0.0638541728 * b, 3);
    const double s = std::pow(lightness - 0.0894841775 * a - 1.2914855480 * b, 3);
    const double linear[3] = {4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s,
                              -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s,
                              -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s};
    bool inside = true;
    for (int i = 0; i < 3; ++i) {
        if (linear[i] < -1e-4 || linear[i] > 1.0001) inside = false;
        rgb[i] = toSrgb(std::clamp(linear[i], 0.0, 1.0));
    }
    return inside;
}

}  // namespace

const ColourMap& ColourMap::perceptual() {
    static const ColourMap map = [] {
        // Lightness rises evenly in Oklab while the hue turns from violet through blue and green to
        // yellow; where sRGB cannot show the chroma, the chroma gives way, never the lightness.
        ColourMap m;
        m.colours_.reserve(256);
        for (int i = 0; i < 256; ++i) {
            const double t = i / 255.0;
            const double lightness = 0.25 + 0.70 * t;
            const double hue = (300.0 - 205.0 * t) * kPi / 180.0;
            double chroma = 0.10 + 0.07 * std::sin(kPi * t);
            double rgb[3];
            while (!oklabToSrgb(lightness, chroma * std::cos(hue), chroma * std::sin(hue), rgb) && chroma > 0.0) {
                chroma = std::max(0.0, chroma - 0.002);
            }
            m.colours_.push_back(qRgb(static_cast<int>(std::lround(rgb[0] * 255)),
                                      static_cast<int>(std::lround(rgb[1] * 255)),
                                      static_cast<int>(std::lround(rgb[2] * 255))));
        }
        return m;
    }();
    return map;
}

QRgb ColourMap::at(double fraction) const {
    if (std::isnan(fraction)) return noData();
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    return colours_[static_cast<std::size_t>(std::lround(clamped * 255.0))];
}

QRgb ColourMap::of(float value, double low, double high) const {
    if (std::isnan(value)) return noData();
    return at((static_cast<double>(value) - low) / (high - low));
}

}  // namespace marlin::heatmap
