#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QSizeF>

#include "prismbar/prismbar_export.h"

namespace prismbar {

// A drawing surface with a persistent image, the way the bar and its off-screen scales use one:
// a drawing scale in pixels (the inner width and height), solid rectangle fills, reading the colour
// of one point, one-pixel lines in a current line colour, a background colour and a picture that
// shows from the top-left corner under everything drawn.
//
// Colours crossing this interface are 0x00BBGGRR values. The image may be larger than the drawing
// scale (a scale picture whose frame covers its last columns); reads and draws are clipped to the
// image, not to the scale.
class PRISMBAR_EXPORT PictureSurface {
public:
    PictureSurface() = default;
    explicit PictureSurface(QSize imageSize, QSizeF scaleSize = QSizeF());

    // New image size; the drawn content stays at the top-left, new area shows background and picture.
    // An empty scale size means "the same as the image".
    void resize(QSize imageSize, QSizeF scaleSize = QSizeF());
    QSize imageSize() const { return image_.size(); }
    double scaleWidth() const { return scale_.width(); }
    double scaleHeight() const { return scale_.height(); }

    // Setting the background colour clears the drawn image to it (the picture stays).
    void setBackColor(QRgb colour);
    QRgb backColor() const { return back_; }

    // The picture shows unscaled from the top-left corner; assigning one clears what was drawn.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    bool hasPicture() const { return !picture_.isNull(); }
    // The persistent image becomes the picture, so it survives later clears.
    void takeImageAsPicture();

    // Redraws background and picture, dropping what was drawn.
    void clear();

    // 0x00BBGGRR of the point, or -1 for a point outside the image.
    qint64 pointColor(int x, int y) const;

    bool fillRect(const QRect& rect, quint32 colour);

    void setLineColor(quint32 colour) { lineColour_ = colour; }
    quint32 lineColor() const { return lineColour_; }
    // One-pixel line including both end points, clipped to the image.
    void drawLine(QPoint from, QPoint to);

    const QImage& image() const { return image_; }

    static QRgb toRgb(quint32 colour);
    static quint32 fromRgb(QRgb rgb);

private:
    QImage image_;
    QImage picture_;
    QSizeF scale_;
    QRgb back_ = qRgb(255, 255, 255);
    quint32 lineColour_ = 0;
};

}  // namespace prismbar
