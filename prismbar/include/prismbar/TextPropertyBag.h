#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

#include "prismbar/PropertyBag.h"
#include "prismbar/prismbar_export.h"

namespace prismbar {

// A property set kept in memory, with a text form that a host can store in its window description.
//
// The text form holds one "Name = value" line per property, in the order written; blank lines and
// lines starting with '#' are ignored. Values:
//   True / False                       Boolean
//   -12, 100                           whole number
//   1.5, 8.25e0                        number with a fraction
//   &H8000000F                         32-bit hexadecimal (colour values are written this way)
//   "text"                             text, with \" \\ \n \r \t escapes
//   image:<base64 PNG>                 picture
//   font:"Family",8.25,400,0,0,0       font: family, points, weight, italic, underline, strike-out
class PRISMBAR_EXPORT TextPropertyBag : public PropertyBag {
public:
    TextPropertyBag() = default;

    // Parses the text form. A malformed line or a name given twice rejects the whole text, with the
    // line number and the reason in *error; nothing is half-read.
    static std::optional<TextPropertyBag> fromText(const QString& text, QString* error = nullptr);
    QString toText() const;

    QVariant readProperty(const QString& name, const QVariant& defaultValue = QVariant()) const override;
    void writeProperty(const QString& name, const QVariant& value,
                       const QVariant& defaultValue = QVariant()) override;

    bool contains(const QString& name) const { return indexOf(name) >= 0; }
    QStringList names() const;
    int count() const { return int(entries_.size()); }
    void remove(const QString& name);

    // One value in the text form, and back; used by the text form and by hosts that store single
    // values elsewhere.
    static QString formatValue(const QVariant& value);
    static std::optional<QVariant> parseValue(const QString& text, QString* error = nullptr);

private:
    struct Entry {
        QString name;
        QVariant value;
    };
    int indexOf(const QString& name) const;

    std::vector<Entry> entries_;
};

}  // namespace prismbar
