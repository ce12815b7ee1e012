#include "prismbar/PropertyValue.h"

#include <QColor>
#include <QLocale>
#include <QPixmap>

#include <cmath>
#include <limits>

#include "Rounding.h"

namespace prismbar::PropertyValue {

namespace {

// A number written as text: decimal (with fraction or exponent) or "&H" hexadecimal, which is a
// 32-bit pattern (so "&HFFFFFFFF" is -1 as a signed number).
std::optional<double> numberFromText(QString text) {
    text = text.trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    if (text.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        QString digits = text.mid(2);
        if (digits.endsWith(QLatin1Char('&'))) {
            digits.chop(1);
        }
        bool ok = false;
        const qulonglong v = digits.toULongLong(&ok, 16);
        if (!ok || digits.size() > 8) {
            return std::nullopt;
        }
        return double(qint32(quint32(v)));
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

std::optional<double> toNumber(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::UnknownType:
            return 0.0;
        case QMetaType::Bool:
            return value.toBool() ? -1.0 : 0.0;
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::SChar:
        case QMetaType::Long:
        case QMetaType::LongLong:
            return double(value.toLongLong());
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::UChar:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            return double(value.toULongLong());
        case QMetaType::Double:
        case QMetaType::Float: {
            const double v = value.toDouble();
            return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
        }
        case QMetaType::QString:
        case QMetaType::QByteArray:
            return numberFromText(value.toString());
        default:
            if (value.canConvert<int>() && value.metaType().flags().testFlag(QMetaType::IsEnumeration)) {
                return double(value.toInt());
            }
            return std::nullopt;
    }
}

}  // namespace

std::optional<qint32> toLong(const QVariant& value) {
    const auto n = toNumber(value);
    if (!n) {
        return std::nullopt;
    }
    return detail::roundHalfEven<qint32>(*n);
}

std::optional<bool> toBool(const QVariant& value) {
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
            return true;
        }
        if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    const auto n = toNumber(value);
    if (!n) {
        return std::nullopt;
    }
    return *n != 0;
}

std::optional<quint32> toColor(const QVariant& value) {
    if (value.typeId() == QMetaType::QColor) {
        const QColor c = value.value<QColor>();
        if (!c.isValid()) {
            return std::nullopt;
        }
        return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
    }
    const auto n = toNumber(value);
    if (!n) {
        return std::nullopt;
    }
    const auto whole = detail::roundHalfEven<qint64>(*n);
    if (!whole || *whole < std::numeric_limits<qint32>::min() ||
        *whole > qint64(std::numeric_limits<quint32>::max())) {
        return std::nullopt;
    }
    return quint32(*whole);
}

std::optional<QImage> toImage(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::UnknownType:
            return QImage();
        case QMetaType::QImage:
            return value.value<QImage>();
        case QMetaType::QPixmap:
            return value.value<QPixmap>().toImage();
        default:
            return std::nullopt;
    }
}

std::optional<QFont> toFont(const QVariant& value) {
    if (value.typeId() == QMetaType::QFont) {
        return value.value<QFont>();
    }
    return std::nullopt;
}

bool sameValue(const QVariant& a, const QVariant& b) {
    const bool aPicture = a.typeId() == QMetaType::QImage || a.typeId() == QMetaType::QPixmap;
    const bool bPicture = b.typeId() == QMetaType::QImage || b.typeId() == QMetaType::QPixmap;
    if (aPicture || bPicture) {
        const auto ia = toImage(a);
        const auto ib = toImage(b);
        if (!ia || !ib) {
            return false;
        }
        if (ia->isNull() || ib->isNull()) {
            return ia->isNull() && ib->isNull();
        }
        return ia->convertToFormat(QImage::Format_ARGB32) == ib->convertToFormat(QImage::Format_ARGB32);
    }
    if (a.typeId() == QMetaType::QFont || b.typeId() == QMetaType::QFont) {
        return a.typeId() == b.typeId() && a.value<QFont>() == b.value<QFont>();
    }
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString) {
        return a.typeId() == b.typeId() && a.toString() == b.toString();
    }
    if (a.typeId() == QMetaType::Bool || b.typeId() == QMetaType::Bool) {
        return a.typeId() == b.typeId() && a.toBool() == b.toBool();
    }
    if (!a.isValid() || !b.isValid()) {
        return a.isValid() == b.isValid();
    }
    const auto na = toNumber(a);
    const auto nb = toNumber(b);
    if (na && nb) {
        // A colour stored as 0x8000000F and as -2147483633 is the same value.
        const auto ca = toColor(a);
        const auto cb = toColor(b);
        if (ca && cb && std::floor(*na) == *na && std::floor(*nb) == *nb) {
            return *ca == *cb;
        }
        return *na == *nb;
    }
    return a == b;
}

}  // namespace prismbar::PropertyValue
