#pragma once

#include <QDialog>

#include "prismbar/PropertyPage1.h"

class QDialogButtonBox;
class KXprogressBar;

// Frames the control's property page with OK, Apply and Cancel, as a host's designer does.
class PropertyPageDialog : public QDialog {
    Q_OBJECT

public:
    explicit PropertyPageDialog(KXprogressBar* bar, QWidget* parent = nullptr);

    void setPropertyWriter(PropertyPage1::PropertyWriter writer);

private:
    PropertyPage1* page_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};
