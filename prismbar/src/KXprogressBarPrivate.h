#pragma once

#include <array>

#include <QRect>
#include <QRectF>
#include <QString>

#include "prismbar/PictureSurface.h"
#include "prismbar/SystemColors.h"

// State of one KXprogressBar. The element names of the control's design are kept in the comments
// so that the drawing code reads like the design it follows.
class KXprogressBarPrivate {
public:
    // Scale pictures are 511 columns wide; their drawing scale, the width the bar samples across, is
    // 506 columns (the frame of the scale picture covers the rest).
    static constexpr int kScaleColumns = 511;
    static constexpr double kScaleDrawingWidth = 506;
    static constexpr int kScaleRows = 12;
    // Resolution of the user gradients before they are stretched over the bar.
    static constexpr int kGradientColumns = 256;
    static constexpr int kGradientRows = 8;
    static constexpr int kGradientVertColumns = 8;
    static constexpr int kGradientVertRows = 64;

    prismbar::PictureSurface bar;            // PicHoriz
    prismbar::PictureSurface scaleGreenRed;  // PicScale
    prismbar::PictureSurface scaleRedGreen;  // PicScale2
    prismbar::PictureSurface gradient;       // picGradient
    prismbar::PictureSurface gradientVert;   // picGradientVert

    uint foreColor = prismbar::SystemColors::kButtonFace;     // background of PicHoriz
    uint backColor = 0xFFFFFF;                                // FraBlindX
    uint percentColor = prismbar::SystemColors::kButtonText;  // lblPercX text
    uint userLeftColor = 0xFFFFFF;                            // Lcolor
    uint userRightColor = 0x000000;                           // Rcolor

    int styling = 0;
    int userStyle = 0;
    int value = 0;
    int max = 0;
    int percentDivisor = 0;
    int appearance = 1;
    int borderStyle = 1;

    bool percentVisible = true;  // lblPercX visibility
    bool ownEnabled = true;
    QString percentText = QStringLiteral("0%");
    QRectF percentRect;  // lblPercX, in bar coordinates
    // Text widths of "0%" to "100%" in the current font, measured once each: Value may be set
    // very often and only ever shows one of these texts. Negative: not measured yet.
    std::array<float, 101> percentWidths = [] {
        std::array<float, 101> unmeasured;
        unmeasured.fill(-1);
        return unmeasured;
    }();
    float percentHeight = -1;
    QRect blind;  // FraBlindX, in bar coordinates

    bool reading = false;  // inside ReadProperties: frame changes wait for its end
    bool frameDirty = false;
};
