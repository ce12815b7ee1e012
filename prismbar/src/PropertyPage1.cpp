#include "prismbar/PropertyPage1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <optional>

#include "prismbar/KXprogressBar.h"
#include "prismbar/PropertyValue.h"

namespace {

constexpr int px(int twips) {
    return twips / 15;
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

// The number an item text stands for: the items begin with it.
int leadingNumber(const QString& item) {
    return item.section(QLatin1Char(' '), 0, 0).toInt();
}

}  // namespace

const QStringList& PropertyPage1::stylingItems() {
    static const QStringList items{QStringLiteral("0 - Normal"), QStringLiteral("1 - GreenRed"),
                                   QStringLiteral("2 - RedGreen"), QStringLiteral("4 - User"),
                                   QStringLiteral("5 - Picture")};
    return items;
}

const QStringList& PropertyPage1::userStyleItems() {
    static const QStringList items{QStringLiteral("0 - Horizontal"), QStringLiteral("1 - Vertical")};
    return items;
}

PropertyPage1::PropertyPage1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PropertyPage1"));
    setWindowTitle(QStringLiteral("Main Settings"));
    resize(px(5925), px(3495));

    auto label = [this](const char* name, const QString& text, QRect geometry) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        labelPlaces_.push_back({l, geometry});
        return l;
    };
    auto lineEdit = [this](const char* name, QRect geometry) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(geometry);
        return e;
    };
    auto combo = [this](const char* name, const QStringList& items, QRect geometry) {
        auto* c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);  // a value may be typed; only exact item texts apply
        c->setInsertPolicy(QComboBox::NoInsert);
        c->addItems(items);
        c->setCurrentIndex(-1);
        c->setGeometry(geometry);
        return c;
    };
    auto check = [this](const char* name, const QString& text, QRect geometry) {
        auto* c = new QCheckBox(text, this);
        c->setObjectName(QLatin1String(name));
        c->setGeometry(geometry);
        return c;
    };

    lblmax_ = label("lblmax", QStringLiteral("Max:"), twipsRect(120, 120, 345, 195));
    txtmax_ = lineEdit("txtmax", twipsRect(120, 370, 2700, 330));
    lblValue_ = label("lblValue", QStringLiteral("Value:"), twipsRect(90, 765, 450, 195));
    txtValue_ = lineEdit("txtValue", twipsRect(120, 1020, 2700, 330));
    label1_ = label("Label1", QStringLiteral("Styling:"), twipsRect(120, 1440, 510, 195));
    combo1_ = combo("Combo1", stylingItems(), twipsRect(120, 1680, 2655, 315));
    label2_ = label("Label2", QStringLiteral("UserStyle:"), twipsRect(120, 2280, 720, 195));
    combo2_ = combo("Combo2", userStyleItems(), twipsRect(120, 2520, 2655, 315));
    chkEnabled_ = check("chkEnabled", QStringLiteral("Enabled"), twipsRect(3000, 360, 2700, 285));
    chkPercentage_ = check("chkPercentage", QStringLiteral("Percentage"), twipsRect(3000, 960, 2700, 285));

    setTabOrder(txtmax_, txtValue_);
    setTabOrder(txtValue_, combo1_);
    setTabOrder(combo1_, combo2_);
    setTabOrder(combo2_, chkEnabled_);
    setTabOrder(chkEnabled_, chkPercentage_);

    fitLabels();

    connect(txtmax_, &QLineEdit::textChanged, this, &PropertyPage1::markChanged);
    connect(txtValue_, &QLineEdit::textChanged, this, &PropertyPage1::markChanged);
    connect(combo1_, &QComboBox::currentTextChanged, this, &PropertyPage1::markChanged);
    connect(combo2_, &QComboBox::currentTextChanged, this, &PropertyPage1::markChanged);
    connect(chkEnabled_, &QCheckBox::clicked, this, &PropertyPage1::markChanged);
    connect(chkPercentage_, &QCheckBox::clicked, this, &PropertyPage1::markChanged);
}

void PropertyPage1::fitLabels() {
    // The design places were measured for one font; a host's font (Qt Designer's, a larger
    // system font) would cut the captions off. A caption too large for its place grows to the
    // right, where the page has room, and about its middle in height; it never shrinks.
    for (const LabelPlace& place : labelPlaces_) {
        const QSize needed = place.label->sizeHint();
        QRect rect = place.design;
        rect.setWidth(std::max(rect.width(), std::min(needed.width(), width() - rect.left())));
        if (needed.height() > rect.height()) {
            const int grow = needed.height() - rect.height();
            rect.adjust(0, -grow / 2, 0, grow - grow / 2);
        }
        place.label->setGeometry(rect);
    }
}

void PropertyPage1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) fitLabels();
}

void PropertyPage1::setPropertyReader(PropertyReader reader) {
    reader_ = std::move(reader);
}

void PropertyPage1::setPropertyWriter(PropertyWriter writer) {
    writer_ = std::move(writer);
}

void PropertyPage1::setSelectedControls(const QList<QObject*>& controls) {
    selection_.clear();
    for (QObject* c : controls) {
        selection_.append(c);
    }
    SelectionChanged();
}

QList<QObject*> PropertyPage1::selectedControls() const {
    QList<QObject*> out;
    for (const auto& c : selection_) {
        if (c) {
            out.append(c.data());
        }
    }
    return out;
}

void PropertyPage1::setChanged(bool changed) {
    if (changed_ == changed) {
        return;
    }
    changed_ = changed;
    emit changedChanged(changed);
}

void PropertyPage1::markChanged() {
    if (!loading_) {
        setChanged(true);
    }
}

void PropertyPage1::SelectionChanged() {
    if (selection_.isEmpty() || !selection_.first()) {
        return;
    }
    QObject* control = selection_.first().data();
    // Loading the controls is not an edit.
    loading_ = true;
    auto readLong = [&](const char* name) -> std::optional<qint32> {
        const QVariant v = readProperty(control, QLatin1String(name));
        if (!v.isValid()) {
            return std::nullopt;  // the control has no such property: leave the element alone
        }
        return prismbar::PropertyValue::toLong(v);
    };
    if (const auto v = readLong("Percentage")) {
        chkPercentage_->setChecked((*v & 1) == 1);
    }
    if (const auto v = readLong("Enabled")) {
        chkEnabled_->setChecked((*v & 1) == 1);
    }
    if (const auto v = readLong("Value")) {
        txtValue_->setText(QString::number(*v));
    }
    if (const auto v = readLong("MAX")) {
        txtmax_->setText(QString::number(*v));
    }
    if (const auto v = readLong("Styling")) {
        for (int i = 0; i < combo1_->count(); ++i) {
            if (leadingNumber(combo1_->itemText(i)) == *v) {
                combo1_->setCurrentIndex(i);
                break;
            }
        }
    }
    if (const auto v = readLong("UserStyle"); v && (*v == 0 || *v == 1)) {
        combo2_->setCurrentIndex(*v);
    }
    loading_ = false;
    setChanged(false);
}

void PropertyPage1::ApplyChanges() {
    if (selection_.isEmpty() || !selection_.first()) {
        return;
    }
    QObject* control = selection_.first().data();
    // Each step stands alone: a value that is refused does not stop the ones after it.
    writeProperty(control, QStringLiteral("Percentage"), chkPercentage_->checkState() == Qt::Checked);
    writeProperty(control, QStringLiteral("Enabled"), chkEnabled_->checkState() == Qt::Checked);
    writeProperty(control, QStringLiteral("Value"), txtValue_->text());
    writeProperty(control, QStringLiteral("MAX"), txtmax_->text());
    if (const qsizetype i = stylingItems().indexOf(combo1_->currentText()); i >= 0) {
        writeProperty(control, QStringLiteral("Styling"), leadingNumber(stylingItems()[i]));
    }
    if (const qsizetype i = userStyleItems().indexOf(combo2_->currentText()); i >= 0) {
        writeProperty(control, QStringLiteral("UserStyle"), int(i));
    }
    setChanged(false);
}

QVariant PropertyPage1::readProperty(QObject* control, const QString& name) const {
    if (reader_) {
        return reader_(control, name);
    }
    if (auto* bar = qobject_cast<KXprogressBar*>(control)) {
        QVariant v;
        bar->getPropertyByName(name, v);
        return v;
    }
    return control->property(name.toLatin1().constData());
}

bool PropertyPage1::writeProperty(QObject* control, const QString& name, const QVariant& value) const {
    if (writer_) {
        return writer_(control, name, value);
    }
    if (auto* bar = qobject_cast<KXprogressBar*>(control)) {
        return bar->putPropertyByName(name, value) == KXprogressBar::DispatchResult::Ok;
    }
    return control->setProperty(name.toLatin1().constData(), value);
}
