#pragma once

#include <QString>
#include <QVariant>

#include "prismbar/prismbar_export.h"

namespace prismbar {

// A named property set through which a host saves and restores a control. Names are compared
// without regard to case.
class PRISMBAR_EXPORT PropertyBag {
public:
    virtual ~PropertyBag();

    // The stored value, or defaultValue when the name is absent.
    virtual QVariant readProperty(const QString& name, const QVariant& defaultValue = QVariant()) const = 0;

    // Stores the value. A value equal to defaultValue is left out (and drops an earlier entry of
    // that name); an invalid defaultValue means "no default": the value is always stored.
    virtual void writeProperty(const QString& name, const QVariant& value,
                               const QVariant& defaultValue = QVariant()) = 0;
};

}  // namespace prismbar
