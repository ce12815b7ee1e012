#include "GalleryWindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSlider>
#include <QVBoxLayout>

#include "prismbar/KXprogressBar.h"

namespace {

QPixmap samplePicture() {
    // Diagonal stripes, so that a picture is told apart from a gradient at a glance.
    QImage image(400, 24, QImage::Format_RGB32);
    image.fill(QColor(40, 60, 120));
    QPainter painter(&image);
    painter.setPen(QPen(QColor(120, 170, 240), 4));
    for (int x = -24; x < image.width(); x += 12) {
        painter.drawLine(x, 24, x + 24, 0);
    }
    return QPixmap::fromImage(image);
}

}  // namespace

GalleryWindow::GalleryWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Prismbar gallery"));
    auto* outer = new QVBoxLayout(this);
    grid_ = new QGridLayout;
    grid_->setColumnStretch(1, 1);
    outer->addLayout(grid_);

    auto* styleNormal = addSample(QStringLiteral("Normal (ForeColor blue)"));
    styleNormal->setForeColor(0xC08000);
    styleNormal->setStyling(KXprogressBar::Normal);
    styleNormal->styling();  // a Normal bar shows its colour once its style has been looked at
    addSample(QStringLiteral("GreenRed"))->setStyling(KXprogressBar::GreenRed);
    addSample(QStringLiteral("RedGreen"))->setStyling(KXprogressBar::RedGreen);
    auto* userH = addSample(QStringLiteral("User, Horizontal"));
    userH->setUserLeftColor(0x0000FF);
    userH->setUserRightColor(0xFF0000);
    userH->setUserStyle(KXprogressBar::Horizontal);
    userH->setStyling(KXprogressBar::User);
    auto* userV = addSample(QStringLiteral("User, Vertical"));
    userV->setUserLeftColor(0x404040);
    userV->setUserRightColor(0xFFFFFF);
    userV->setUserStyle(KXprogressBar::Vertical);
    userV->setStyling(KXprogressBar::User);
    auto* picture = addSample(QStringLiteral("Picture"));
    picture->setStyling(KXprogressBar::Picture);
    picture->setSkinPicture(samplePicture());
    auto* flat = addSample(QStringLiteral("Fixed border, Flat"));
    flat->setAppearance(KXprogressBar::Flat);
    auto* threeD = addSample(QStringLiteral("Fixed border, 3D"));
    threeD->setAppearance(KXprogressBar::ThreeD);
    auto* none = addSample(QStringLiteral("No border"));
    none->setBorderStyle(KXprogressBar::None);
    auto* noText = addSample(QStringLiteral("Percentage hidden, dark blind"));
    noText->setPercentage(false);
    noText->setBackColor(0x303030);
    auto* disabled = addSample(QStringLiteral("Disabled"));
    disabled->setEnabled(false);

    auto* controls = new QHBoxLayout;
    moving_ = new QCheckBox(QStringLiteral("Move"), this);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(-10, 160);  // past both ends, to see the clamping
    controls->addWidget(moving_);
    controls->addWidget(new QLabel(QStringLiteral("Value:"), this));
    controls->addWidget(slider_, 1);
    outer->addLayout(controls);

    connect(slider_, &QSlider::valueChanged, this, &GalleryWindow::setValue);
    connect(moving_, &QCheckBox::toggled, this, &GalleryWindow::setMoving);
    connect(&timer_, &QTimer::timeout, this, &GalleryWindow::step);
    timer_.setInterval(40);
    slider_->setValue(50);
    moving_->setChecked(true);
}

KXprogressBar* GalleryWindow::addSample(const QString& caption) {
    auto* bar = new KXprogressBar(this);
    addBar(caption, bar);
    return bar;
}

void GalleryWindow::addBar(const QString& caption, KXprogressBar* bar) {
    bar->setParent(this);
    bar->setMinimumSize(bar->sizeHint());
    grid_->addWidget(new QLabel(caption, this), rows_, 0);
    grid_->addWidget(bar, rows_, 1);
    ++rows_;
    bars_.append(bar);
}

void GalleryWindow::setValue(int value) {
    for (KXprogressBar* bar : bars_) {
        bar->setValue(value);
    }
    if (slider_->value() != value) {
        slider_->setValue(value);
    }
}

void GalleryWindow::setMoving(bool moving) {
    if (moving_->isChecked() != moving) {
        moving_->setChecked(moving);
    }
    if (moving) {
        timer_.start();
    } else {
        timer_.stop();
    }
}

void GalleryWindow::step() {
    setValue(slider_->value() >= 100 ? 0 : slider_->value() + 1);
}
