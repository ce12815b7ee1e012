#pragma once

#include <QFont>
#include <QImage>
#include <QVariant>

#include <optional>

#include "prismbar/prismbar_export.h"

namespace prismbar {

// Conversions of loosely typed values (late-bound calls, property pages, stored property sets)
// to the types of the control's properties. Each returns nothing when the value cannot be
// converted, so that the caller can leave the property unchanged.
namespace PropertyValue {

// 32-bit integer: whole numbers in range, fractions rounded half to even, True as -1, text holding
// a number (decimal, or hexadecimal after "&H"), and an empty value as 0.
PRISMBAR_EXPORT std::optional<qint32> toLong(const QVariant& value);

// Any non-zero number is true; text "True"/"False" in any case, or a number.
PRISMBAR_EXPORT std::optional<bool> toBool(const QVariant& value);

// A 32-bit colour value; negative numbers are taken as their 32-bit pattern (system colours).
PRISMBAR_EXPORT std::optional<quint32> toColor(const QVariant& value);

// An image or pixmap; an empty value is "no picture" (a null image).
PRISMBAR_EXPORT std::optional<QImage> toImage(const QVariant& value);

PRISMBAR_EXPORT std::optional<QFont> toFont(const QVariant& value);

// Equality as a property set sees it: numbers by value (a colour as signed or unsigned 32 bits
// is the same colour), images by their pixels, no picture equal to no picture.
PRISMBAR_EXPORT bool sameValue(const QVariant& a, const QVariant& b);

}  // namespace PropertyValue
}  // namespace prismbar
