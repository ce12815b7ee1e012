#pragma once

#include <QColor>
#include <QPalette>
#include <QtGlobal>

#include "prismbar/prismbar_export.h"

namespace prismbar {

// Colour values are 0x00BBGGRR for a direct colour, or 0x80000000 plus an index for one of the
// platform's system colours (button face, button text, window, ...). A system colour is resolved
// against a palette only where a standard element is painted.
namespace SystemColors {

inline constexpr quint32 kSystemFlag = 0x80000000u;
inline constexpr quint32 kButtonFace = 0x8000000Fu;
inline constexpr quint32 kButtonText = 0x80000012u;

inline bool isSystemColor(quint32 colour) {
    return (colour & kSystemFlag) != 0;
}

// The colour to paint for a colour value. Unknown system indices paint black.
PRISMBAR_EXPORT QColor resolve(quint32 colour, const QPalette& palette,
                               QPalette::ColorGroup group = QPalette::Active);

}  // namespace SystemColors
}  // namespace prismbar
