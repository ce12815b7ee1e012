#pragma once

#include <QDialog>

#include "prismbar/prismbar_export.h"

class QLabel;
class QPushButton;

// The control's about box ("Info"): product name, library version, legal notice, the maker's web
// address and logo. Its elements carry their design names as object names (Label1, lblVersion,
// lblCopy, Label2, Image1, Command1).
class PRISMBAR_EXPORT frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);

private:
    void Form_Load();

    QLabel* label1_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QLabel* lblCopy_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* image1_ = nullptr;
    QPushButton* command1_ = nullptr;
};
