// Saving and restoring the control through a property set, in the order of the property rows.
#include "prismbar/KXprogressBar.h"

#include "KXprogressBarPrivate.h"
#include "KXprogressBarProperty.h"
#include "prismbar/PropertyBag.h"
#include "prismbar/TextPropertyBag.h"

const QStringList& KXprogressBar::persistenceNames() {
    static const QStringList names = [] {
        QStringList out;
        for (const KXprogressBarProperty& p : KXprogressBarProperty::all()) {
            out << QString::fromLatin1(p.name);
        }
        return out;
    }();
    return names;
}

void KXprogressBar::ReadProperties(const prismbar::PropertyBag& bag) {
    // Each value is applied on its own: a missing one takes its default, one that cannot be
    // converted leaves its property as it is.
    d->reading = true;
    for (const KXprogressBarProperty& p : KXprogressBarProperty::all()) {
        const QVariant stored = bag.readProperty(QString::fromLatin1(p.name), p.defaultFor(*this));
        const std::optional<QVariant> v = p.convert(stored);
        if (v && p.accepts(*v)) {
            (p.load ? p.load : p.put)(*this, *v);
        }
    }
    d->reading = false;
    if (d->frameDirty) {
        d->frameDirty = false;
        frameChanged();
    }
    centrePercentText();
    update();
}

KXprogressBar* KXprogressBar::fromStoredText(const QString& text, QWidget* parent, QString* error) {
    const auto bag = prismbar::TextPropertyBag::fromText(text, error);
    if (!bag) {
        return nullptr;
    }
    return new KXprogressBar(*bag, parent);
}

QString KXprogressBar::storedText() const {
    prismbar::TextPropertyBag bag;
    WriteProperties(bag);
    return bag.toText();
}

void KXprogressBar::WriteProperties(prismbar::PropertyBag& bag) const {
    for (const KXprogressBarProperty& p : KXprogressBarProperty::all()) {
        bag.writeProperty(QString::fromLatin1(p.name), p.get(*this),
                          p.omitDefault ? p.defaultFor(*this) : QVariant());
    }
}
