#include "KXprogressBarProperty.h"

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPixmap>

#include <array>

#include "KXprogressBarPrivate.h"
#include "prismbar/PropertyValue.h"
#include "prismbar/SystemColors.h"

namespace PropertyValue = prismbar::PropertyValue;

std::span<const KXprogressBarProperty> KXprogressBarProperty::all() {
    using Bar = KXprogressBar;
    using K = Kind;
    static const std::array<KXprogressBarProperty, 15> rows{{
        {"MAX", Bar::DispMAX, "Set the maximal value of the progressbar", K::Long, false, 100, false,
         [](const Bar& b) -> QVariant { return b.d->max; },
         [](Bar& b, const QVariant& v) { b.setMAX(v.toInt()); }, nullptr},
        {"Value", Bar::DispValue, "Set the value of the progressbar in percentage (0-100)", K::Long, false,
         QVariant(), false, [](const Bar& b) -> QVariant { return b.d->value; },
         [](Bar& b, const QVariant& v) { b.setValue(v.toInt()); }, nullptr},
        {"BackColor", Bar::DispBackColor,
         "Returns/sets the background color used to display text and graphics in an object.", K::Colour,
         false, 0xFFFFFFu, true, [](const Bar& b) -> QVariant { return b.d->backColor; },
         [](Bar& b, const QVariant& v) { b.setBackColor(v.toUInt()); },
         [](Bar& b, const QVariant& v) { b.d->backColor = v.toUInt(); }},
        {"Enabled", Bar::DispEnabled,
         "Returns/sets a value that determines whether an object can respond to user-generated events.",
         K::Bool, false, true, false, [](const Bar& b) -> QVariant { return b.isControlEnabled(); },
         [](Bar& b, const QVariant& v) { b.setEnabled(v.toBool()); }, nullptr},
        {"BorderStyle", Bar::DispBorderStyle, "Returns/sets the border style for an object.", K::Long, true,
         1, true, [](const Bar& b) -> QVariant { return b.d->borderStyle; },
         [](Bar& b, const QVariant& v) { b.setBorderStyle(Bar::Bord(v.toInt())); },
         [](Bar& b, const QVariant& v) {
             b.d->borderStyle = v.toInt();
             b.frameChanged();
         }},
        {"Percentage", Bar::DispPercentage, nullptr, K::Bool, false, true, false,
         [](const Bar& b) -> QVariant { return b.d->percentVisible; },
         [](Bar& b, const QVariant& v) { b.setPercentage(v.toBool()); },
         [](Bar& b, const QVariant& v) { b.d->percentVisible = v.toBool(); }},
        {"Styling", Bar::DispStyling, nullptr, K::Long, false, 0, true,
         [](const Bar& b) -> QVariant { return b.d->styling; },
         [](Bar& b, const QVariant& v) { b.setStyling(Bar::Style(v.toInt())); },
         [](Bar& b, const QVariant& v) { b.d->styling = v.toInt(); }},
        {"ForeColor", Bar::DispForeColor, "Sets the FillColor of the progressbar, if the Style = 0 ",
         K::Colour, false, 0xFF0000u, true, [](const Bar& b) -> QVariant { return b.d->foreColor; },
         [](Bar& b, const QVariant& v) { b.setForeColor(v.toUInt()); },
         [](Bar& b, const QVariant& v) {
             b.d->foreColor = v.toUInt();
             b.applyForeColor();
         }},
        {"SkinPicture", Bar::DispSkinPicture,
         "Set your own picture; make sure, that the picturesize fits into the progressbar", K::Picture, false,
         QImage(), true, [](const Bar& b) -> QVariant { return b.d->bar.picture(); },
         [](Bar& b, const QVariant& v) { b.setSkinPicture(QPixmap::fromImage(v.value<QImage>())); },
         [](Bar& b, const QVariant& v) { b.d->bar.setPicture(v.value<QImage>()); }},
        {"PercentColor", Bar::DispPercentColor, nullptr, K::Colour, false,
         prismbar::SystemColors::kButtonText, false,
         [](const Bar& b) -> QVariant { return b.d->percentColor; },
         [](Bar& b, const QVariant& v) { b.setPercentColor(v.toUInt()); },
         [](Bar& b, const QVariant& v) { b.d->percentColor = v.toUInt(); }},
        {"Font", Bar::DispFont, "Returns a Font object.", K::Font, false, QVariant(), true,
         [](const Bar& b) -> QVariant { return b.font(); },
         [](Bar& b, const QVariant& v) { b.setFont(v.value<QFont>()); },
         [](Bar& b, const QVariant& v) {
             // A stored font equal to the host's means: follow the host's font.
             b.setFont(PropertyValue::sameValue(v, b.ambientFont()) ? QFont() : v.value<QFont>());
         }},
        {"Appearance", Bar::DispAppearance,
         "Returns/sets whether or not an object is painted at run time with 3-D effects.", K::Long, true, 1,
         true, [](const Bar& b) -> QVariant { return b.d->appearance; },
         [](Bar& b, const QVariant& v) { b.setAppearance(Bar::Appear(v.toInt())); },
         [](Bar& b, const QVariant& v) {
             b.d->appearance = v.toInt();
             b.frameChanged();
         }},
        {"UserLeftColor", Bar::DispUserLeftColor,
         "Returns/sets the left color of the progressbar; styling=4 is required!", K::Colour, false,
         0xFFFFFFu, true, [](const Bar& b) -> QVariant { return b.d->userLeftColor; },
         [](Bar& b, const QVariant& v) { b.setUserLeftColor(v.toUInt()); },
         [](Bar& b, const QVariant& v) { b.d->userLeftColor = v.toUInt(); }},
        {"UserRightColor", Bar::DispUserRightColor,
         "Returns/sets the right color of the progressbar; styling=4 is required!", K::Colour, false, 0u,
         true, [](const Bar& b) -> QVariant { return b.d->userRightColor; },
         [](Bar& b, const QVariant& v) { b.setUserRightColor(v.toUInt()); },
         [](Bar& b, const QVariant& v) { b.d->userRightColor = v.toUInt(); }},
        {"UserStyle", Bar::DispUserStyle, nullptr, K::Long, false, 0, true,
         [](const Bar& b) -> QVariant { return b.d->userStyle; },
         [](Bar& b, const QVariant& v) { b.setUserStyle(Bar::UserGradient(v.toInt())); },
         [](Bar& b, const QVariant& v) { b.d->userStyle = v.toInt(); }},
    }};
    return rows;
}

const KXprogressBarProperty* KXprogressBarProperty::byName(const QString& name) {
    for (const KXprogressBarProperty& p : all()) {
        if (name.compare(QLatin1String(p.name), Qt::CaseInsensitive) == 0) {
            return &p;
        }
    }
    return nullptr;
}

const KXprogressBarProperty* KXprogressBarProperty::byDispId(qint32 dispId) {
    for (const KXprogressBarProperty& p : all()) {
        if (p.dispId == dispId) {
            return &p;
        }
    }
    return nullptr;
}

std::optional<QVariant> KXprogressBarProperty::convert(const QVariant& value) const {
    auto wrap = [](const auto& v) { return v ? std::optional(QVariant::fromValue(*v)) : std::nullopt; };
    switch (kind) {
        case Kind::Long:
            return wrap(PropertyValue::toLong(value));
        case Kind::Bool:
            return wrap(PropertyValue::toBool(value));
        case Kind::Colour:
            return wrap(PropertyValue::toColor(value));
        case Kind::Picture:
            return wrap(PropertyValue::toImage(value));
        case Kind::Font:
            return wrap(PropertyValue::toFont(value));
    }
    return std::nullopt;
}

bool KXprogressBarProperty::accepts(const QVariant& converted) const {
    return !zeroOrOne || converted.toInt() == 0 || converted.toInt() == 1;
}

QVariant KXprogressBarProperty::defaultFor(const KXprogressBar& bar) const {
    return kind == Kind::Font ? QVariant(bar.ambientFont()) : stored;
}
