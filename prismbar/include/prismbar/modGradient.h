#pragma once

#include <QBrush>
#include <QRect>
#include <QtGlobal>

#include "prismbar/PictureSurface.h"
#include "prismbar/prismbar_export.h"

// The gradient module of the control library: colour arithmetic on 0x00BBGGRR values and the two
// gradients the user style paints. System colour values (0x80000000 + index) are not resolved
// here; they are split as plain numbers.
namespace modGradient {

struct ColorParts {
    int red = 0;
    int green = 0;
    int blue = 0;
};

// Red, green and blue are bytes 0, 1 and 2 of the value.
PRISMBAR_EXPORT ColorParts SplitColor(quint32 colour);

// Signed arithmetic: green and blue divide with truncation toward zero before masking, which
// matters only for system colour values.
PRISMBAR_EXPORT int RedOf(qint32 colour);
PRISMBAR_EXPORT int GreenOf(qint32 colour);
PRISMBAR_EXPORT int BlueOf(qint32 colour);

// Each part clamped to 0..255.
PRISMBAR_EXPORT quint32 MakeColor(qint16 red, qint16 green, qint16 blue);

// Solid fill of the rectangle; without a brush one is made from the colour for this call.
PRISMBAR_EXPORT bool FillWithColor(prismbar::PictureSurface& dc, const QRect& rect, quint32 colour,
                                   const QBrush* brush = nullptr);

// Paints columns first..last (-1: first column, last column of the drawing scale), from colour at
// the first to colour at the last. Returns false when the gradient could not be computed (a single
// column, or a width beyond 16 bits); what was painted until then stays.
PRISMBAR_EXPORT bool PaintLinearGradient(prismbar::PictureSurface& picture, quint32 fromColour,
                                         quint32 toColour, qint16 firstColumn = -1, qint16 lastColumn = -1);

// Paints rows 0..H (H the drawing scale height) along half a cosine wave: the edge colour at the
// top and bottom, the middle colour half-way. Returns false for a picture without height.
PRISMBAR_EXPORT bool PaintCosineGradient(prismbar::PictureSurface& picture, quint32 edgeColour,
                                         quint32 middleColour);

// The constant the cosine gradient multiplies with; it lies just below 2 pi, and the quarter-way
// rows depend on that.
inline constexpr double kTwoPi = 6.28318530717958;

}  // namespace modGradient
