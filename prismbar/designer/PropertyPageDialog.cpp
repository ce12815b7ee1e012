#include "PropertyPageDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "prismbar/KXprogressBar.h"

PropertyPageDialog::PropertyPageDialog(KXprogressBar* bar, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Property Pages"));
    page_ = new PropertyPage1(this);
    page_->setMinimumSize(page_->size());
    buttons_ =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(page_);
    layout->addWidget(buttons_);

    QPushButton* apply = buttons_->button(QDialogButtonBox::Apply);
    apply->setEnabled(false);
    connect(page_, &PropertyPage1::changedChanged, apply, &QPushButton::setEnabled);
    connect(apply, &QPushButton::clicked, page_, &PropertyPage1::ApplyChanges);
    connect(buttons_, &QDialogButtonBox::accepted, this, [this] {
        if (page_->isChanged()) {
            page_->ApplyChanges();
        }
        accept();
    });
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    page_->setSelectedControls({bar});
}

void PropertyPageDialog::setPropertyWriter(PropertyPage1::PropertyWriter writer) {
    page_->setPropertyWriter(std::move(writer));
}
