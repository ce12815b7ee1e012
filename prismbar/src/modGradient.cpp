#include "prismbar/modGradient.h"

#include <cmath>
#include <cstdint>

#include "Rounding.h"

using prismbar::detail::roundHalfEven;

namespace modGradient {

ColorParts SplitColor(quint32 colour) {
    return {int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF)};
}

int RedOf(qint32 colour) {
    return colour & 255;
}

int GreenOf(qint32 colour) {
    return (colour / 256) & 255;
}

int BlueOf(qint32 colour) {
    return (colour / 65536) & 255;
}

quint32 MakeColor(qint16 red, qint16 green, qint16 blue) {
    auto clamp = [](qint16 v) { return quint32(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    return clamp(red) | (clamp(green) << 8) | (clamp(blue) << 16);
}

bool FillWithColor(prismbar::PictureSurface& dc, const QRect& rect, quint32 colour, const QBrush* brush) {
    if (brush) {
        return dc.fillRect(rect, prismbar::PictureSurface::fromRgb(brush->color().rgb()));
    }
    return dc.fillRect(rect, colour);
}

bool PaintLinearGradient(prismbar::PictureSurface& picture, quint32 fromColour, quint32 toColour,
                         qint16 firstColumn, qint16 lastColumn) {
    const ColorParts from = SplitColor(fromColour);
    const ColorParts to = SplitColor(toColour);
    if (firstColumn < 0) {
        firstColumn = 0;
    }
    if (lastColumn < 0) {
        const auto width = roundHalfEven<qint16>(picture.scaleWidth());
        if (!width || *width == std::numeric_limits<qint16>::min()) {
            return false;
        }
        lastColumn = qint16(*width - 1);
    }
    const int n = lastColumn - firstColumn;
    const auto bottom = roundHalfEven<int>(picture.scaleHeight());
    if (!bottom) {
        return false;
    }
    for (int i = 0; i <= n; ++i) {
        if (n == 0) {
            return false;  // 0 / 0: a one-column gradient has no direction
        }
        const double t = double(i) / double(n);
        const auto r = roundHalfEven<qint16>((1 - t) * from.red + t * to.red);
        const auto g = roundHalfEven<qint16>((1 - t) * from.green + t * to.green);
        const auto b = roundHalfEven<qint16>((1 - t) * from.blue + t * to.blue);
        if (!r || !g || !b) {
            return false;
        }
        const int x = firstColumn + i;
        FillWithColor(picture, QRect(x, 0, 1, *bottom), MakeColor(*r, *g, *b));
    }
    return true;
}

bool PaintCosineGradient(prismbar::PictureSurface& picture, quint32 edgeColour, quint32 middleColour) {
    const qint32 edge = qint32(edgeColour);
    const qint32 middle = qint32(middleColour);
    const int er = RedOf(edge), eg = GreenOf(edge), eb = BlueOf(edge);
    const int mr = RedOf(middle), mg = GreenOf(middle), mb = BlueOf(middle);
    const auto width = roundHalfEven<int>(picture.scaleWidth());
    const auto height = roundHalfEven<int>(picture.scaleHeight());
    if (!width || !height || *height == 0) {
        return false;
    }
    const int h = *height;
    for (int y = 0; y <= h; ++y) {
        const double a = double(y) / double(h) * kTwoPi;
        const double t = 1 - (std::cos(a) * 0.5 + 0.5);
        const auto r = roundHalfEven<std::uint8_t>((1 - t) * er + t * mr);
        const auto g = roundHalfEven<std::uint8_t>((1 - t) * eg + t * mg);
        const auto b = roundHalfEven<std::uint8_t>((1 - t) * eb + t * mb);
        if (!r || !g || !b) {
            return false;
        }
        const QBrush brush(QColor(*r, *g, *b));
        FillWithColor(picture, QRect(0, y, *width, 1), 0, &brush);
    }
    return true;
}

}  // namespace modGradient
