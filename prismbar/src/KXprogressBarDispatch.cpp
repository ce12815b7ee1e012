// Late binding: hosts that know the control only by dispatch identifiers or names.
#include "prismbar/KXprogressBar.h"

#include "KXprogressBarProperty.h"

namespace {

// The control's one method; everything else it dispatches is a property.
constexpr qint32 kShowAboutId = KXprogressBar::DispShowAbout;
constexpr const char* kShowAboutName = "ShowAbout";

}  // namespace

qint32 KXprogressBar::dispatchIdOf(const QString& name) {
    if (const KXprogressBarProperty* p = KXprogressBarProperty::byName(name)) {
        return p->dispId;
    }
    if (name.compare(QLatin1String(kShowAboutName), Qt::CaseInsensitive) == 0) {
        return kShowAboutId;
    }
    return DispUnknown;
}

QString KXprogressBar::nameOfDispatchId(qint32 dispId) {
    if (const KXprogressBarProperty* p = KXprogressBarProperty::byDispId(dispId)) {
        return QString::fromLatin1(p->name);
    }
    return dispId == kShowAboutId ? QString::fromLatin1(kShowAboutName) : QString();
}

KXprogressBar::DispatchResult KXprogressBar::getProperty(qint32 dispId, QVariant& result) {
    const KXprogressBarProperty* p = KXprogressBarProperty::byDispId(dispId);
    if (!p) {
        return DispatchResult::MemberNotFound;
    }
    if (dispId == DispStyling) {
        styling();  // reading the style through its getter has its effect on a left-over picture
    }
    result = p->get(*this);
    return DispatchResult::Ok;
}

KXprogressBar::DispatchResult KXprogressBar::putProperty(qint32 dispId, const QVariant& value) {
    const KXprogressBarProperty* p = KXprogressBarProperty::byDispId(dispId);
    if (!p) {
        return DispatchResult::MemberNotFound;
    }
    const std::optional<QVariant> converted = p->convert(value);
    if (!converted) {
        return DispatchResult::TypeMismatch;
    }
    if (!p->accepts(*converted)) {
        return DispatchResult::InvalidValue;
    }
    p->put(*this, *converted);
    return DispatchResult::Ok;
}

KXprogressBar::DispatchResult KXprogressBar::invoke(qint32 dispId) {
    if (dispId != kShowAboutId) {
        return DispatchResult::MemberNotFound;
    }
    ShowAbout();
    return DispatchResult::Ok;
}

KXprogressBar::DispatchResult KXprogressBar::getPropertyByName(const QString& name, QVariant& result) {
    return getProperty(dispatchIdOf(name), result);
}

KXprogressBar::DispatchResult KXprogressBar::putPropertyByName(const QString& name, const QVariant& value) {
    return putProperty(dispatchIdOf(name), value);
}

QString KXprogressBar::helpText(const QString& property) {
    const KXprogressBarProperty* p = KXprogressBarProperty::byName(property);
    return p && p->help ? QString::fromLatin1(p->help) : QString();
}
