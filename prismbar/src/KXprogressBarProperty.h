#pragma once

#include <QString>
#include <QVariant>

#include <optional>
#include <span>

#include "prismbar/KXprogressBar.h"

// One row for each property of the control, in the order a stored property set lists them.
// Everything said about a property by name (its dispatch identifier, help text, stored default, and
// how a late-bound or stored value reaches it) is said here once; late binding (KXprogressBarDispatch)
// and persistence (KXprogressBarPersistence) walk these rows. Q_PROPERTY in the header gives Qt's
// property system the same names, and a test keeps the two in step.
struct KXprogressBarProperty {
    // The type a loosely typed value is converted to before it reaches the property.
    enum class Kind { Long, Bool, Colour, Picture, Font };

    const char* name;
    qint32 dispId;
    const char* help;  // nullptr: the property browser shows none
    Kind kind;
    bool zeroOrOne;    // the element holding the property accepts only 0 and 1
    QVariant stored;   // what a stored set lacking the name stands for (Font: the host's font)
    bool omitDefault;  // a value equal to that default is left out of a stored set
    // The value as late binding returns it and a stored set keeps it.
    QVariant (*get)(const KXprogressBar& bar);
    // A converted value through the property's setter, with its repaint and change signals.
    void (*put)(KXprogressBar& bar, const QVariant& value);
    // A converted value from a stored set, when it goes into the state without the setter
    // (ReadProperties lays the bar out once at its end); nullptr: through put.
    void (*load)(KXprogressBar& bar, const QVariant& value);

    static std::span<const KXprogressBarProperty> all();
    // Names are compared without regard to case.
    static const KXprogressBarProperty* byName(const QString& name);
    static const KXprogressBarProperty* byDispId(qint32 dispId);

    // The value converted to the property's type; nothing when it cannot be.
    std::optional<QVariant> convert(const QVariant& value) const;
    bool accepts(const QVariant& converted) const;
    QVariant defaultFor(const KXprogressBar& bar) const;
};
