#include "prismbar/TextPropertyBag.h"

#include <QBuffer>
#include <QByteArray>
#include <QLocale>
#include <QPixmap>
#include <QRegularExpression>

#include <cmath>

#include "prismbar/PropertyValue.h"

namespace prismbar {

PropertyBag::~PropertyBag() = default;

namespace {

QString quote(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '"':
                out += QLatin1String("\\\"");
                break;
            case '\\':
                out += QLatin1String("\\\\");
                break;
            case '\n':
                out += QLatin1String("\\n");
                break;
            case '\r':
                out += QLatin1String("\\r");
                break;
            case '\t':
                out += QLatin1String("\\t");
                break;
            default:
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

// Reads a quoted text starting at text[pos] == '"'; pos ends after the closing quote.
std::optional<QString> unquote(const QString& text, qsizetype& pos) {
    if (pos >= text.size() || text[pos] != QLatin1Char('"')) {
        return std::nullopt;
    }
    QString out;
    for (++pos; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c == QLatin1Char('"')) {
            ++pos;
            return out;
        }
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++pos >= text.size()) {
            return std::nullopt;
        }
        switch (text[pos].unicode()) {
            case '"':
                out += QLatin1Char('"');
                break;
            case '\\':
                out += QLatin1Char('\\');
                break;
            case 'n':
                out += QLatin1Char('\n');
                break;
            case 'r':
                out += QLatin1Char('\r');
                break;
            case 't':
                out += QLatin1Char('\t');
                break;
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

QString formatNumber(double v) {
    QString text = QLocale::c().toString(v, 'g', 17);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e'))) {
        text += QLatin1String(".0");
    }
    return text;
}

QString formatFont(const QFont& font) {
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 0.75;
    return QLatin1String("font:") + quote(font.family()) + QLatin1Char(',') +
           QLocale::c().toString(points, 'g', 6) + QLatin1Char(',') + QString::number(int(font.weight())) +
           QLatin1Char(',') + QString::number(font.italic() ? 1 : 0) + QLatin1Char(',') +
           QString::number(font.underline() ? 1 : 0) + QLatin1Char(',') +
           QString::number(font.strikeOut() ? 1 : 0);
}

std::optional<QFont> parseFont(const QString& text, QString* error) {
    qsizetype pos = 0;
    const auto family = unquote(text, pos);
    if (!family) {
        if (error) {
            *error = QStringLiteral("a font begins with its family in double quotes");
        }
        return std::nullopt;
    }
    const QStringList fields = text.mid(pos).split(QLatin1Char(','));
    // fields[0] is what stands between the family and the first comma: nothing.
    if (fields.size() != 6 || !fields[0].trimmed().isEmpty()) {
        if (error) {
            *error = QStringLiteral("a font needs family, points, weight, italic, underline and strike-out");
        }
        return std::nullopt;
    }
    bool okSize = false, okWeight = false, okItalic = false, okUnder = false, okStrike = false;
    const double points = QLocale::c().toDouble(fields[1].trimmed(), &okSize);
    const int weight = fields[2].trimmed().toInt(&okWeight);
    const int italic = fields[3].trimmed().toInt(&okItalic);
    const int underline = fields[4].trimmed().toInt(&okUnder);
    const int strike = fields[5].trimmed().toInt(&okStrike);
    if (!okSize || !okWeight || !okItalic || !okUnder || !okStrike || !(points > 0) || points > 1000 ||
        weight < 1 || weight > 1000) {
        if (error) {
            *error = QStringLiteral("the font's size or style numbers are not valid");
        }
        return std::nullopt;
    }
    QFont font(*family);
    font.setPointSizeF(points);
    font.setWeight(QFont::Weight(weight));
    font.setItalic(italic != 0);
    font.setUnderline(underline != 0);
    font.setStrikeOut(strike != 0);
    return font;
}

}  // namespace

QString TextPropertyBag::formatValue(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::SChar:
        case QMetaType::Long:
        case QMetaType::LongLong:
            return QString::number(value.toLongLong());
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::UChar:
        case QMetaType::ULong:
        case QMetaType::ULongLong: {
            const qulonglong v = value.toULongLong();
            if (v <= 0xFFFFFFFFull) {
                return QLatin1String("&H") + QString::number(v, 16).toUpper();
            }
            return QString::number(v);
        }
        case QMetaType::Double:
        case QMetaType::Float: {
            const double v = value.toDouble();
            return std::isfinite(v) ? formatNumber(v) : quote(QString::number(v));
        }
        case QMetaType::QImage:
        case QMetaType::QPixmap: {
            const QImage image = PropertyValue::toImage(value).value_or(QImage());
            if (image.isNull()) {
                return QStringLiteral("image:");
            }
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return QLatin1String("image:") + QString::fromLatin1(png.toBase64());
        }
        case QMetaType::QFont:
            return formatFont(value.value<QFont>());
        default:
            if (value.metaType().flags().testFlag(QMetaType::IsEnumeration)) {
                return QString::number(value.toInt());
            }
            return quote(value.toString());
    }
}

std::optional<QVariant> TextPropertyBag::parseValue(const QString& rawText, QString* error) {
    const QString text = rawText.trimmed();
    auto fail = [error](const QString& why) -> std::optional<QVariant> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    if (text.isEmpty()) {
        return fail(QStringLiteral("the value is missing"));
    }
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        return QVariant(true);
    }
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        return QVariant(false);
    }
    if (text.startsWith(QLatin1Char('"'))) {
        qsizetype pos = 0;
        const auto s = unquote(text, pos);
        if (!s || pos != text.size()) {
            return fail(QStringLiteral("the quoted text is not closed properly"));
        }
        return QVariant(*s);
    }
    if (text.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        static const QRegularExpression hex(QStringLiteral("^&[Hh]([0-9A-Fa-f]{1,8})$"));
        const auto m = hex.match(text);
        if (!m.hasMatch()) {
            return fail(QStringLiteral("a hexadecimal value has 1 to 8 digits after &H"));
        }
        return QVariant(uint(m.captured(1).toUInt(nullptr, 16)));
    }
    if (text.startsWith(QLatin1String("image:"))) {
        const QByteArray data = text.mid(6).toLatin1();
        if (data.isEmpty()) {
            return QVariant(QImage());
        }
        const auto decoded = QByteArray::fromBase64Encoding(data, QByteArray::AbortOnBase64DecodingErrors);
        QImage image;
        if (!decoded || !image.loadFromData(*decoded, "PNG")) {
            return fail(QStringLiteral("the picture is not a base64-encoded PNG image"));
        }
        return QVariant(image);
    }
    if (text.startsWith(QLatin1String("font:"))) {
        QString why;
        const auto font = parseFont(text.mid(5), &why);
        if (!font) {
            return fail(why);
        }
        return QVariant(*font);
    }
    static const QRegularExpression whole(QStringLiteral("^[-+]?[0-9]+$"));
    if (whole.match(text).hasMatch()) {
        bool ok = false;
        const qlonglong v = text.toLongLong(&ok);
        if (!ok) {
            return fail(QStringLiteral("the number is too large"));
        }
        if (v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max()) {
            return QVariant(int(v));
        }
        return QVariant(v);
    }
    static const QRegularExpression real(
        QStringLiteral("^[-+]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][-+]?[0-9]+)?$"));
    if (real.match(text).hasMatch()) {
        bool ok = false;
        const double v = QLocale::c().toDouble(text, &ok);
        if (ok && std::isfinite(v)) {
            return QVariant(v);
        }
    }
    return fail(QStringLiteral("\"%1\" is not a value (use True/False, a number, &H..., \"text\", "
                               "image:... or font:...)")
                    .arg(text.left(40)));
}

std::optional<TextPropertyBag> TextPropertyBag::fromText(const QString& text, QString* error) {
    static const QRegularExpression nameRe(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    TextPropertyBag bag;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        auto fail = [&](const QString& why) -> std::optional<TextPropertyBag> {
            if (error) {
                *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            }
            return std::nullopt;
        };
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            return fail(QStringLiteral("expected \"Name = value\""));
        }
        const QString name = line.left(eq).trimmed();
        if (!nameRe.match(name).hasMatch()) {
            return fail(QStringLiteral("\"%1\" is not a property name").arg(name));
        }
        if (bag.contains(name)) {
            return fail(QStringLiteral("\"%1\" is given twice").arg(name));
        }
        QString why;
        const auto value = parseValue(line.mid(eq + 1), &why);
        if (!value) {
            return fail(QStringLiteral("%1: %2").arg(name, why));
        }
        bag.entries_.push_back({name, *value});
    }
    return bag;
}

QString TextPropertyBag::toText() const {
    QString out;
    for (const Entry& e : entries_) {
        out += e.name + QLatin1String(" = ") + formatValue(e.value) + QLatin1Char('\n');
    }
    return out;
}

QVariant TextPropertyBag::readProperty(const QString& name, const QVariant& defaultValue) const {
    const int i = indexOf(name);
    return i >= 0 ? entries_[size_t(i)].value : defaultValue;
}

void TextPropertyBag::writeProperty(const QString& name, const QVariant& value,
                                    const QVariant& defaultValue) {
    if (defaultValue.isValid() && PropertyValue::sameValue(value, defaultValue)) {
        remove(name);
        return;
    }
    const int i = indexOf(name);
    if (i >= 0) {
        entries_[size_t(i)].value = value;
    } else {
        entries_.push_back({name, value});
    }
}

QStringList TextPropertyBag::names() const {
    QStringList out;
    for (const Entry& e : entries_) {
        out << e.name;
    }
    return out;
}

void TextPropertyBag::remove(const QString& name) {
    const int i = indexOf(name);
    if (i >= 0) {
        entries_.erase(entries_.begin() + i);
    }
}

int TextPropertyBag::indexOf(const QString& name) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            return int(i);
        }
    }
    return -1;
}

}  // namespace prismbar
