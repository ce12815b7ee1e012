#include "KXprogressBarPlugin.h"

#include <QIcon>
#include <QPixmap>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerTaskMenuExtension>
#include <QtDesigner/QExtensionManager>

#include "KXprogressBarTaskMenuFactory.h"
#include "prismbar/KXprogressBar.h"

KXprogressBarPlugin::KXprogressBarPlugin(QObject* parent) : QObject(parent) {}

QString KXprogressBarPlugin::name() const {
    return QStringLiteral("KXprogressBar");
}

QString KXprogressBarPlugin::group() const {
    return QStringLiteral("Prismbar");
}

QString KXprogressBarPlugin::toolTip() const {
    return QStringLiteral("Progressbar using gradient colors");
}

QString KXprogressBarPlugin::whatsThis() const {
    return QStringLiteral(
        "A progress bar painted with a colour scale, a user gradient or a picture, "
        "with the percentage centred on it.");
}

QString KXprogressBarPlugin::includeFile() const {
    return QStringLiteral("prismbar/KXprogressBar.h");
}

QIcon KXprogressBarPlugin::icon() const {
    KXprogressBar sample;
    sample.resize(22, 22);
    sample.Resize();
    return QIcon(QPixmap::fromImage(sample.renderToImage()));
}

bool KXprogressBarPlugin::isContainer() const {
    return false;
}

QWidget* KXprogressBarPlugin::createWidget(QWidget* parent) {
    return new KXprogressBar(parent);
}

bool KXprogressBarPlugin::isInitialized() const {
    return initialized_;
}

void KXprogressBarPlugin::initialize(QDesignerFormEditorInterface* core) {
    if (initialized_) {
        return;
    }
    if (core && core->extensionManager()) {
        QExtensionManager* manager = core->extensionManager();
        manager->registerExtensions(new KXprogressBarTaskMenuFactory(manager),
                                    Q_TYPEID(QDesignerTaskMenuExtension));
    }
    initialized_ = true;
}

QString KXprogressBarPlugin::domXml() const {
    return QStringLiteral(
        "<ui language=\"c++\">\n"
        " <widget class=\"KXprogressBar\" name=\"KXprogressBar1\">\n"
        "  <property name=\"geometry\">\n"
        "   <rect><x>0</x><y>0</y><width>295</width><height>17</height></rect>\n"
        "  </property>\n"
        " </widget>\n"
        "</ui>\n");
}
