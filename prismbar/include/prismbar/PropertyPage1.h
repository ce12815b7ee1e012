#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>

#include "prismbar/prismbar_export.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// The control's property page, "Main Settings": MAX, Value, Styling, UserStyle, Enabled and
// Percentage of the first selected control. A host shows it, hands it the selection, and applies it
// when the user confirms; each property is applied on its own, so one that cannot be converted
// leaves only itself unchanged. Elements carry their design names as object names (txtmax,
// txtValue, Combo1, Combo2, chkEnabled, chkPercentage, ...).
class PRISMBAR_EXPORT PropertyPage1 : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool changed READ isChanged WRITE setChanged NOTIFY changedChanged)

public:
    static constexpr const char* kClassId = "{86D2DA27-9E3C-11D6-94FA-0040F41E0EC7}";

    // How the page reads and writes a property of a selected control by name. The defaults bind
    // late to a KXprogressBar (its own conversions) and fall back to Qt properties for other
    // objects. A writer returns false when the control refused the value.
    using PropertyReader = std::function<QVariant(QObject* control, const QString& name)>;
    using PropertyWriter = std::function<bool(QObject* control, const QString& name, const QVariant& value)>;

    explicit PropertyPage1(QWidget* parent = nullptr);

    void setPropertyReader(PropertyReader reader);
    void setPropertyWriter(PropertyWriter writer);

    // The host's selection changed: load the values of the first control.
    void setSelectedControls(const QList<QObject*>& controls);
    QList<QObject*> selectedControls() const;

    // Writes the page's values to the first selected control.
    void ApplyChanges();

    bool isChanged() const { return changed_; }
    void setChanged(bool changed);

    static const QStringList& stylingItems();
    static const QStringList& userStyleItems();

signals:
    void changedChanged(bool changed);

protected:
    void changeEvent(QEvent* event) override;

private:
    struct LabelPlace {
        QLabel* label;
        QRect design;
    };

    void fitLabels();
    void SelectionChanged();
    void markChanged();
    QVariant readProperty(QObject* control, const QString& name) const;
    bool writeProperty(QObject* control, const QString& name, const QVariant& value) const;

    QLabel* lblmax_ = nullptr;
    QLineEdit* txtmax_ = nullptr;
    QLabel* lblValue_ = nullptr;
    QLineEdit* txtValue_ = nullptr;
    QLabel* label1_ = nullptr;
    QComboBox* combo1_ = nullptr;
    QLabel* label2_ = nullptr;
    QComboBox* combo2_ = nullptr;
    QCheckBox* chkEnabled_ = nullptr;
    QCheckBox* chkPercentage_ = nullptr;

    QList<LabelPlace> labelPlaces_;
    QList<QPointer<QObject>> selection_;
    PropertyReader reader_;
    PropertyWriter writer_;
    bool changed_ = false;
    bool loading_ = false;
};
