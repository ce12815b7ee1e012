#include "KXprogressBarTaskMenuFactory.h"

#include <QtDesigner/QDesignerTaskMenuExtension>

#include "KXprogressBarTaskMenu.h"
#include "prismbar/KXprogressBar.h"

KXprogressBarTaskMenuFactory::KXprogressBarTaskMenuFactory(QExtensionManager* parent)
    : QExtensionFactory(parent) {}

QObject* KXprogressBarTaskMenuFactory::createExtension(QObject* object, const QString& iid,
                                                       QObject* parent) const {
    if (iid != QLatin1String(Q_TYPEID(QDesignerTaskMenuExtension))) {
        return nullptr;
    }
    if (auto* bar = qobject_cast<KXprogressBar*>(object)) {
        return new KXprogressBarTaskMenu(bar, parent);
    }
    return nullptr;
}
