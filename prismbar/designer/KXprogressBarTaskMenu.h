#pragma once

#include <QObject>
#include <QPointer>
#include <QtDesigner/QDesignerTaskMenuExtension>

class QAction;
class KXprogressBar;

// Context-menu entries of a KXprogressBar on a Designer form: the property page ("Main
// Settings...", also the double-click action) and the about box.
class KXprogressBarTaskMenu : public QObject, public QDesignerTaskMenuExtension {
    Q_OBJECT
    Q_INTERFACES(QDesignerTaskMenuExtension)

public:
    KXprogressBarTaskMenu(KXprogressBar* bar, QObject* parent);

    QAction* preferredEditAction() const override;
    QList<QAction*> taskActions() const override;

private:
    void editProperties();
    void showAbout();

    QPointer<KXprogressBar> bar_;
    QAction* editAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
};
