#include "prismbar/KXprogressBar.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>
#include <limits>

#include "KXprogressBarPrivate.h"
#include "Rounding.h"
#include "prismbar/PropertyBag.h"
#include "prismbar/SystemColors.h"
#include "prismbar/frmAbout.h"
#include "prismbar/modGradient.h"

using prismbar::PictureSurface;
using prismbar::detail::roundHalfEven;
namespace SystemColors = prismbar::SystemColors;

namespace {

template <typename First, typename Second>
void buildScale(PictureSurface& scale, First first, Second second) {
    scale.resize(QSize(KXprogressBarPrivate::kScaleColumns, KXprogressBarPrivate::kScaleRows),
                 QSizeF(KXprogressBarPrivate::kScaleDrawingWidth, KXprogressBarPrivate::kScaleRows));
    const int h = scale.imageSize().height();
    for (int i = 0; i <= 255; ++i) {
        modGradient::FillWithColor(scale, QRect(i, 0, 1, h), first(qint16(i)));
    }
    for (int s = 0; s <= 255; ++s) {
        modGradient::FillWithColor(scale, QRect(255 + s, 0, 1, h), second(qint16(s)));
    }
}

}  // namespace

KXprogressBar::KXprogressBar(QWidget* parent) : QWidget(parent), d(std::make_unique<KXprogressBarPrivate>()) {
    Initialize();
    InitProperties();
}

KXprogressBar::KXprogressBar(const prismbar::PropertyBag& bag, QWidget* parent)
    : QWidget(parent), d(std::make_unique<KXprogressBarPrivate>()) {
    Initialize();
    ReadProperties(bag);
}

KXprogressBar::~KXprogressBar() = default;

void KXprogressBar::Initialize() {
    setAttribute(Qt::WA_OpaquePaintEvent);  // drawControl covers every pixel
    d->gradient.resize(QSize(KXprogressBarPrivate::kGradientColumns, KXprogressBarPrivate::kGradientRows));
    d->gradientVert.resize(
        QSize(KXprogressBarPrivate::kGradientVertColumns, KXprogressBarPrivate::kGradientVertRows));
    applyForeColor();
    setMAX(100);
    fitBar();
    BuildGreenRedScale();
    BuildRedGreenScale();
    LayoutBar();
}

void KXprogressBar::InitProperties() {
    d->styling = Normal;
    setMAX(100);
    setValue(50);
    setStyling(GreenRed);
    setPercentColor(SystemColors::kButtonText);
    setPercentage(true);
    fitBar();
    d->borderStyle = Fixed;
    frameChanged();
    d->userStyle = Horizontal;
    BuildGreenRedScale();
    BuildRedGreenScale();
    LayoutBar();
}

// --- properties -----------------------------------------------------------------------------------

KXprogressBar::Appear KXprogressBar::appearance() const {
    return Appear(d->appearance);
}

void KXprogressBar::setAppearance(Appear appearance) {
    if (appearance != Flat && appearance != ThreeD) {
        return;  // the control's appearance knows only these two
    }
    d->appearance = appearance;
    frameChanged();
    PaintStyle();
    emit appearanceChanged(appearance);
    notify("Appearance");
}

QPixmap KXprogressBar::skinPicture() const {
    return QPixmap::fromImage(d->bar.picture());
}

void KXprogressBar::setSkinPicture(const QPixmap& picture) {
    d->bar.setPicture(picture.toImage());
    PaintStyle();
    emit skinPictureChanged(picture);
    notify("SkinPicture");
}

bool KXprogressBar::percentage() const {
    return d->percentVisible;
}

void KXprogressBar::setPercentage(bool visible) {
    d->percentVisible = visible;
    update();
    emit percentageChanged(visible);
    notify("Percentage");
}

KXprogressBar::Bord KXprogressBar::borderStyle() const {
    return Bord(d->borderStyle);
}

void KXprogressBar::setBorderStyle(Bord border) {
    if (border != None && border != Fixed) {
        return;  // the control's border knows only these two
    }
    d->borderStyle = border;
    frameChanged();
    emit borderStyleChanged(border);
    notify("BorderStyle");
}

bool KXprogressBar::isControlEnabled() const {
    return !testAttribute(Qt::WA_ForceDisabled);
}

uint KXprogressBar::foreColor() const {
    return d->foreColor;
}

void KXprogressBar::setForeColor(uint colour) {
    d->foreColor = colour;
    applyForeColor();
    PaintStyle();
    emit foreColorChanged(colour);
    notify("ForeColor");
}

uint KXprogressBar::percentColor() const {
    return d->percentColor;
}

void KXprogressBar::setPercentColor(uint colour) {
    d->percentColor = colour;
    PaintStyle();
    emit percentColorChanged(colour);
    notify("PercentColor");
}

uint KXprogressBar::backColor() const {
    return d->backColor;
}

void KXprogressBar::setBackColor(uint colour) {
    d->backColor = colour;
    update();
    emit backColorChanged(colour);
    notify("BackColor");
}

uint KXprogressBar::userRightColor() const {
    return d->userRightColor;
}

void KXprogressBar::setUserRightColor(uint colour) {
    d->userRightColor = colour;
    PaintStyle();
    emit userRightColorChanged(colour);
    notify("UserRightColor");
}

uint KXprogressBar::userLeftColor() const {
    return d->userLeftColor;
}

void KXprogressBar::setUserLeftColor(uint colour) {
    d->userLeftColor = colour;
    PaintStyle();
    emit userLeftColorChanged(colour);
    notify("UserLeftColor");
}

int KXprogressBar::value() const {
    return d->value;
}

void KXprogressBar::setValue(int value) {
    d->value = value;
    showValuePercentage(d->max);
    emit valueChanged(value);
    notify("Value");
}

int KXprogressBar::maximum() const {
    return d->max;
}

void KXprogressBar::setMAX(int max) {
    // The bar keeps showing the old percentage until Value is set again.
    d->max = max;
    emit maxChanged(max);
    notify("MAX");
}

KXprogressBar::UserGradient KXprogressBar::userStyle() const {
    return UserGradient(d->userStyle);
}

void KXprogressBar::setUserStyle(UserGradient userStyle) {
    d->userStyle = userStyle;
    PaintStyle();
    emit userStyleChanged(userStyle);
    notify("UserStyle");
}

KXprogressBar::Style KXprogressBar::styling() {
    if (d->styling == Normal) {
        // A picture left from another style goes once the style is looked at as Normal.
        d->bar.setPicture(QImage());
        update();
    }
    return Style(d->styling);
}

void KXprogressBar::setStyling(Style styling) {
    d->styling = styling;
    PaintStyle();
    emit stylingChanged(styling);
    notify("Styling");
}

void KXprogressBar::ShowAbout() {
    frmAbout box(this);
    box.exec();
}

// --- percentage, layout and painting --------------------------------------------------------------

void KXprogressBar::showValuePercentage(int divisor) {
    d->percentDivisor = divisor;
    // value x 100 must fit 32 bits and the divisor must not be 0; otherwise the bar shows 0 %.
    float p = 0;
    const qint64 product = qint64(d->value) * 100;
    if (product >= std::numeric_limits<qint32>::min() && product <= std::numeric_limits<qint32>::max() &&
        divisor != 0) {
        p = float(double(product) / double(divisor));
    }
    ShowPercent(p);
}

void KXprogressBar::ShowPercent(float percentage) {
    if (percentage > 100) {
        percentage = 100;
    }
    if (!(percentage >= 0)) {  // also NaN
        percentage = 0;
    }
    const auto fill = roundHalfEven<int>(double(percentage) * d->bar.scaleWidth() / 100.0);
    d->blind.moveLeft(fill.value_or(0));
    // Whole percent, halves away from zero.
    d->percentText = QString::number(qint64(std::round(percentage))) + QLatin1Char('%');
    centrePercentText();
    update();
}

void KXprogressBar::LayoutBar() {
    const QSize outer = d->bar.imageSize();
    d->blind = QRect(0, -1, outer.width(), outer.height() + 1);
    centrePercentText();
    update();
}

void KXprogressBar::centrePercentText() {
    // The label sizes itself to its text; it is centred on the bar in single precision.
    float width = 0;
    float height = d->percentHeight;
    const QString& text = d->percentText;
    const bool common = text.size() <= 4 && text.endsWith(QLatin1Char('%'));
    const int percent = common ? QStringView(text).chopped(1).toInt() : -1;
    if (common && percent >= 0 && percent <= 100 && d->percentWidths[size_t(percent)] >= 0 && height >= 0) {
        width = d->percentWidths[size_t(percent)];
    } else {
        const QFontMetricsF metrics(font());
        width = float(metrics.horizontalAdvance(text));
        height = d->percentHeight = float(metrics.height());
        if (common && percent >= 0 && percent <= 100) {
            d->percentWidths[size_t(percent)] = width;
        }
    }
    const float left = float(d->bar.scaleWidth()) / 2 - width / 2;
    const float top = float(d->bar.scaleHeight()) / 2 - height / 2;
    d->percentRect = QRectF(left, top, width, height);
}

void KXprogressBar::forgetTextMetrics() {
    d->percentWidths.fill(-1);
    d->percentHeight = -1;
}

void KXprogressBar::PaintStyle() {
    switch (d->styling) {
        case Normal:
            applyForeColor();  // clears the drawn image to the colour; a picture stays on top
            break;
        case GreenRed:
            StretchScaleToBar(d->scaleGreenRed, d->bar, 1);
            break;
        case RedGreen:
            StretchScaleToBar(d->scaleRedGreen, d->bar, 1);
            break;
        case User:
            if (d->userStyle == Horizontal) {
                // A failed gradient leaves the scratch picture as it was; the stretch still runs.
                modGradient::PaintLinearGradient(d->gradient, d->userLeftColor, d->userRightColor, -1, -1);
                StretchScaleToBar(d->gradient, d->bar, 1);
            } else if (d->userStyle == Vertical) {
                modGradient::PaintCosineGradient(d->gradientVert, d->userLeftColor, d->userRightColor);
                StretchScaleToBar(d->gradientVert, d->bar, 0);
            }
            break;
        case Picture:
            d->bar.setPicture(d->bar.picture());
            break;
        default:
            break;  // no such style: the bar stays as it is
    }
    update();
}

void KXprogressBar::StretchScaleToBar(const PictureSurface& source, PictureSurface& target, int orientation) {
    const auto height = roundHalfEven<int>(target.scaleHeight());
    const auto width = roundHalfEven<int>(target.scaleWidth());
    if (!height || !width) {
        return;
    }
    const int h = *height;
    const int w = *width;
    if (orientation == 1) {
        for (int x = 0; x <= w; ++x) {
            if (w != 0) {
                if (const auto sx = roundHalfEven<int>(double(x) * source.scaleWidth() / w)) {
                    const qint64 k = source.pointColor(*sx, 3);
                    if (k >= 0) {
                        target.setLineColor(quint32(k));
                    }
                }
            }
            target.drawLine(QPoint(x, 0), QPoint(x, h));
        }
    } else {
        for (int y = 0; y <= h; ++y) {
            if (h != 0) {
                if (const auto sy = roundHalfEven<int>(double(y) * source.scaleHeight() / h)) {
                    const qint64 k = source.pointColor(3, *sy);
                    if (k >= 0) {
                        target.setLineColor(quint32(k));
                    }
                }
            }
            target.drawLine(QPoint(0, y), QPoint(w, y));
        }
    }
    target.takeImageAsPicture();
    target.setLineColor(0);
}

void KXprogressBar::BuildRedGreenScale() {
    buildScale(
        d->scaleRedGreen, [](qint16 i) { return modGradient::MakeColor(255, i, 0); },
        [](qint16 s) { return modGradient::MakeColor(qint16(255 - s), 255, 0); });
}

void KXprogressBar::BuildGreenRedScale() {
    buildScale(
        d->scaleGreenRed, [](qint16 i) { return modGradient::MakeColor(i, 255, 0); },
        [](qint16 s) { return modGradient::MakeColor(255, qint16(255 - s), 0); });
}

void KXprogressBar::Resize() {
    fitBar();
    LayoutBar();
    PaintStyle();
    // After a resize the bar shows Value itself as the percentage.
    showValuePercentage(100);
}

void KXprogressBar::fitBar() {
    const int f = frameWidth();
    d->bar.resize((size() - QSize(2 * f, 2 * f)).expandedTo(QSize(0, 0)));
}

void KXprogressBar::frameChanged() {
    if (d->reading) {
        d->frameDirty = true;
        return;
    }
    const int f = frameWidth();
    if ((size() - QSize(2 * f, 2 * f)).expandedTo(QSize(0, 0)) != d->bar.imageSize()) {
        Resize();  // the inner area changed size, as a resize of the control would
    }
    updateGeometry();
    update();
}

void KXprogressBar::applyForeColor() {
    d->bar.setBackColor(SystemColors::resolve(d->foreColor, palette(), QPalette::Active).rgb());
}

QFont KXprogressBar::ambientFont() const {
    return parentWidget() ? parentWidget()->font() : QApplication::font();
}

void KXprogressBar::notify(const char* name) {
    if (!d->reading) {
        emit propertyChanged(QString::fromLatin1(name));
    }
}

void KXprogressBar::drawControl(QPainter& painter) const {
    painter.save();
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    const QPalette& pal = palette();
    const int w = width();
    const int h = height();
    const int f = frameWidth();
    if (f == 2) {
        // Sunken 3-D border: shadow above and left, light below and right.
        painter.fillRect(QRect(0, 0, w - 1, 1), pal.color(group, QPalette::Dark));
        painter.fillRect(QRect(0, 0, 1, h - 1), pal.color(group, QPalette::Dark));
        painter.fillRect(QRect(0, h - 1, w, 1), pal.color(group, QPalette::Light));
        painter.fillRect(QRect(w - 1, 0, 1, h), pal.color(group, QPalette::Light));
        painter.fillRect(QRect(1, 1, w - 3, 1), pal.color(group, QPalette::Shadow));
        painter.fillRect(QRect(1, 1, 1, h - 3), pal.color(group, QPalette::Shadow));
        painter.fillRect(QRect(1, h - 2, w - 2, 1), pal.color(group, QPalette::Midlight));
        painter.fillRect(QRect(w - 2, 1, 1, h - 2), pal.color(group, QPalette::Midlight));
    } else if (f == 1) {
        const QColor line = pal.color(group, QPalette::WindowText);
        painter.fillRect(QRect(0, 0, w, 1), line);
        painter.fillRect(QRect(0, h - 1, w, 1), line);
        painter.fillRect(QRect(0, 0, 1, h), line);
        painter.fillRect(QRect(w - 1, 0, 1, h), line);
    }
    if (!d->bar.image().isNull()) {
        const QPoint origin(f, f);
        painter.setClipRect(QRect(origin, d->bar.imageSize()), Qt::IntersectClip);
        painter.drawImage(origin, d->bar.image());
        painter.fillRect(d->blind.translated(origin), SystemColors::resolve(d->backColor, pal, group));
        if (d->percentVisible) {
            // The text stays readable above the blind.
            painter.setPen(SystemColors::resolve(d->percentColor, pal, group));
            painter.setFont(font());
            painter.drawText(d->percentRect.translated(origin),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                             d->percentText);
        }
    }
    painter.restore();
}

QImage KXprogressBar::renderToImage() const {
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    drawControl(painter);
    return image;
}

// --- element state --------------------------------------------------------------------------------

const PictureSurface& KXprogressBar::barSurface() const {
    return d->bar;
}

const PictureSurface& KXprogressBar::greenRedScale() const {
    return d->scaleGreenRed;
}

const PictureSurface& KXprogressBar::redGreenScale() const {
    return d->scaleRedGreen;
}

QRect KXprogressBar::barRect() const {
    const int f = frameWidth();
    return QRect(QPoint(f, f), d->bar.imageSize());
}

QRect KXprogressBar::blindRect() const {
    return d->blind;
}

QRectF KXprogressBar::percentTextRect() const {
    return d->percentRect;
}

QString KXprogressBar::percentText() const {
    return d->percentText;
}

int KXprogressBar::percentDivisor() const {
    return d->percentDivisor;
}

int KXprogressBar::frameWidth() const {
    if (d->borderStyle != Fixed) {
        return 0;
    }
    return d->appearance == ThreeD ? 2 : 1;
}

QSize KXprogressBar::sizeHint() const {
    return QSize(295, 17);  // the size a bar usually has on a host window
}

QSize KXprogressBar::minimumSizeHint() const {
    const int f = frameWidth();
    return QSize(2 * f + 8, 2 * f + 4);
}

// --- events ---------------------------------------------------------------------------------------

void KXprogressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawControl(painter);
}

void KXprogressBar::resizeEvent(QResizeEvent*) {
    Resize();
}

void KXprogressBar::changeEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::EnabledChange:
            PaintStyle();
            if (isControlEnabled() != d->ownEnabled) {
                d->ownEnabled = isControlEnabled();
                emit enabledChanged(d->ownEnabled);
                notify("Enabled");
            }
            break;
        case QEvent::FontChange:
            forgetTextMetrics();
            centrePercentText();
            update();
            emit fontChanged(font());
            notify("Font");
            break;
        case QEvent::PaletteChange:
            if (SystemColors::isSystemColor(d->foreColor)) {
                applyForeColor();
                PaintStyle();
            }
            update();
            break;
        default:
            break;
    }
    QWidget::changeEvent(event);
}
