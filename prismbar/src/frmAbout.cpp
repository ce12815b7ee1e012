#include "prismbar/frmAbout.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include <marlin/product.h>

#include "prismbar/PictureSurface.h"
#include "prismbar/Version.h"
#include "prismbar/modGradient.h"

namespace {

// Design positions are in twips; 15 twips are one pixel at 96 dots per inch.
constexpr int px(int twips) {
    return twips / 15;
}

QPixmap logo() {
    prismbar::PictureSurface surface(QSize(32, 32));
    modGradient::PaintLinearGradient(surface, 0x0000FF00u, 0x000000FFu);
    return QPixmap::fromImage(surface.image());
}

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Info"));
    setFixedSize(px(4935), px(1665));

    image1_ = new QLabel(this);
    image1_->setObjectName(QStringLiteral("Image1"));
    image1_->setPixmap(logo());
    image1_->setGeometry(8, 8, 32, 32);

    label1_ = new QLabel(QStringLiteral("Prismbar"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    QFont bold(QStringLiteral("MS Sans Serif"));
    bold.setPointSizeF(8.25);
    bold.setBold(true);
    label1_->setFont(bold);
    label1_->move(52, 8);
    label1_->adjustSize();

    lblVersion_ = new QLabel(this);
    lblVersion_->setObjectName(QStringLiteral("lblVersion"));
    lblVersion_->move(52, 28);

    lblCopy_ = new QLabel(this);
    lblCopy_->setObjectName(QStringLiteral("lblCopy"));
    lblCopy_->move(52, 46);

    label2_ = new QLabel(this);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(QStringLiteral(MARLIN_MAKER_HOME_URL)));
    label2_->setTextFormat(Qt::RichText);
    label2_->setOpenExternalLinks(true);
    label2_->move(52, 64);
    label2_->adjustSize();

    command1_ = new QPushButton(QStringLiteral("OK"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(px(3720), px(1200), px(975), px(375));
    command1_->setDefault(true);
    connect(command1_, &QPushButton::clicked, this, &QDialog::accept);

    Form_Load();
}

void frmAbout::Form_Load() {
    const QVersionNumber version = prismbar::libraryVersion();
    lblVersion_->setText(QStringLiteral("Version: %1.%2.%3")
                             .arg(version.majorVersion())
                             .arg(version.minorVersion())
                             .arg(version.microVersion()));
    lblVersion_->adjustSize();
    lblCopy_->setText(
        QStringLiteral("Copyright \u00A9 %1. All rights reserved.").arg(QStringLiteral(MARLIN_MAKER_NAME)));
    lblCopy_->adjustSize();
}
