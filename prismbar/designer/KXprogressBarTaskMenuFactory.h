#pragma once

#include <QtDesigner/QExtensionFactory>

// Gives every KXprogressBar on a form its context-menu entries.
class KXprogressBarTaskMenuFactory : public QExtensionFactory {
    Q_OBJECT

public:
    explicit KXprogressBarTaskMenuFactory(QExtensionManager* parent = nullptr);

protected:
    QObject* createExtension(QObject* object, const QString& iid, QObject* parent) const override;
};
