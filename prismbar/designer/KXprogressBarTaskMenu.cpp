#include "KXprogressBarTaskMenu.h"

#include <QAction>
#include <QtDesigner/QDesignerFormWindowCursorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>

#include "PropertyPageDialog.h"
#include "prismbar/KXprogressBar.h"
#include "prismbar/PropertyValue.h"

KXprogressBarTaskMenu::KXprogressBarTaskMenu(KXprogressBar* bar, QObject* parent)
    : QObject(parent), bar_(bar) {
    editAction_ = new QAction(tr("Main Settings..."), this);
    connect(editAction_, &QAction::triggered, this, &KXprogressBarTaskMenu::editProperties);
    aboutAction_ = new QAction(tr("About Prismbar..."), this);
    connect(aboutAction_, &QAction::triggered, this, &KXprogressBarTaskMenu::showAbout);
}

QAction* KXprogressBarTaskMenu::preferredEditAction() const {
    return editAction_;
}

QList<QAction*> KXprogressBarTaskMenu::taskActions() const {
    return {editAction_, aboutAction_};
}

void KXprogressBarTaskMenu::editProperties() {
    if (!bar_) {
        return;
    }
    PropertyPageDialog dialog(bar_);
    if (QDesignerFormWindowInterface* form = QDesignerFormWindowInterface::findFormWindow(bar_)) {
        // Through the form's cursor, so Designer records the change, offers undo and saves it.
        dialog.setPropertyWriter([form](QObject* control, const QString& name, const QVariant& value) {
            auto* bar = qobject_cast<KXprogressBar*>(control);
            if (!bar) {
                return false;
            }
            QVariant converted;
            if (name == QLatin1String("Percentage") || name == QLatin1String("Enabled")) {
                const auto v = prismbar::PropertyValue::toBool(value);
                if (!v) {
                    return false;
                }
                converted = *v;
            } else {
                const auto v = prismbar::PropertyValue::toLong(value);
                if (!v) {
                    return false;
                }
                converted = int(*v);
            }
            form->cursor()->setWidgetProperty(bar, name, converted);
            return true;
        });
    }
    dialog.exec();
}

void KXprogressBarTaskMenu::showAbout() {
    if (bar_) {
        bar_->ShowAbout();
    }
}
