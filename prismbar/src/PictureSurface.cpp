#include "prismbar/PictureSurface.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace prismbar {

PictureSurface::PictureSurface(QSize imageSize, QSizeF scaleSize) {
    resize(imageSize, scaleSize);
}

void PictureSurface::resize(QSize imageSize, QSizeF scaleSize) {
    imageSize = imageSize.expandedTo(QSize(0, 0));
    scale_ = scaleSize.isEmpty() ? QSizeF(imageSize) : scaleSize;
    if (imageSize == image_.size()) {
        return;
    }
    QImage old = image_;
    image_ = QImage(imageSize, QImage::Format_RGB32);
    clear();
    if (!old.isNull() && !image_.isNull()) {
        QPainter painter(&image_);
        painter.drawImage(QPoint(0, 0), old);
    }
}

void PictureSurface::setBackColor(QRgb colour) {
    back_ = colour;
    clear();
}

void PictureSurface::setPicture(const QImage& picture) {
    picture_ = picture;
    clear();
}

void PictureSurface::takeImageAsPicture() {
    picture_ = image_;
}

void PictureSurface::clear() {
    if (image_.isNull()) {
        return;
    }
    image_.fill(back_);
    if (!picture_.isNull()) {
        QPainter painter(&image_);
        painter.drawImage(QPoint(0, 0), picture_);
    }
}

qint64 PictureSurface::pointColor(int x, int y) const {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) {
        return -1;
    }
    return fromRgb(reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x]);
}

bool PictureSurface::fillRect(const QRect& rect, quint32 colour) {
    if (image_.isNull()) {
        return false;
    }
    const QRect r = rect.normalized().intersected(image_.rect());
    const QRgb rgb = toRgb(colour);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
        std::fill(line + r.left(), line + r.right() + 1, rgb);
    }
    return true;
}

void PictureSurface::drawLine(QPoint from, QPoint to) {
    if (image_.isNull()) {
        return;
    }
    const QRgb rgb = toRgb(lineColour_);
    if (from.x() == to.x() || from.y() == to.y()) {
        // The bar only ever draws straight lines: fill them directly.
        fillRect(QRect(from, to).normalized(), lineColour_);
        return;
    }
    // Bresenham for the general case.
    int x0 = from.x(), y0 = from.y();
    const int x1 = to.x(), y1 = to.y();
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        if (image_.rect().contains(x0, y0)) {
            reinterpret_cast<QRgb*>(image_.scanLine(y0))[x0] = rgb;
        }
        if (x0 == x1 && y0 == y1) {
            break;
        }
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

QRgb PictureSurface::toRgb(quint32 colour) {
    return qRgb(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

quint32 PictureSurface::fromRgb(QRgb rgb) {
    return quint32(qRed(rgb)) | (quint32(qGreen(rgb)) << 8) | (quint32(qBlue(rgb)) << 16);
}

}  // namespace prismbar
