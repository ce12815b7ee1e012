#include "prismbar/SystemColors.h"

namespace prismbar::SystemColors {

QColor resolve(quint32 colour, const QPalette& palette, QPalette::ColorGroup group) {
    if (!isSystemColor(colour)) {
        return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
    }
    // The platform's system colour indices, mapped onto the roles of a Qt palette.
    switch (colour & 0x00FFFFFFu) {
        case 0:   // scroll bar
        case 15:  // button face
            return palette.color(group, QPalette::Button);
        case 1:   // desktop
        case 12:  // application work space
        case 16:  // button shadow
            return palette.color(group, QPalette::Dark);
        case 2:   // active caption
        case 13:  // highlight
        case 27:  // active caption gradient
        case 29:  // menu highlight
            return palette.color(group, QPalette::Highlight);
        case 3:   // inactive caption
        case 28:  // inactive caption gradient
            return palette.color(QPalette::Inactive, QPalette::Mid);
        case 4:   // menu
        case 10:  // active border
        case 11:  // inactive border
        case 30:  // menu bar
            return palette.color(group, QPalette::Window);
        case 5:  // window
            return palette.color(group, QPalette::Base);
        case 6:   // window frame
        case 21:  // dark 3-D shadow
            return palette.color(group, QPalette::Shadow);
        case 7:  // menu text
            return palette.color(group, QPalette::WindowText);
        case 8:  // window text
            return palette.color(group, QPalette::Text);
        case 9:   // caption text
        case 14:  // highlighted text
            return palette.color(group, QPalette::HighlightedText);
        case 17:  // grey text
            return palette.color(QPalette::Disabled, QPalette::Text);
        case 18:  // button text
            return palette.color(group, QPalette::ButtonText);
        case 19:  // inactive caption text
            return palette.color(QPalette::Inactive, QPalette::HighlightedText);
        case 20:  // button highlight
            return palette.color(group, QPalette::Light);
        case 22:  // 3-D light
            return palette.color(group, QPalette::Midlight);
        case 23:  // tooltip text
            return palette.color(group, QPalette::ToolTipText);
        case 24:  // tooltip background
            return palette.color(group, QPalette::ToolTipBase);
        case 26:  // hot-tracked item
            return palette.color(group, QPalette::Link);
        default:
            return QColor(Qt::black);
    }
}

}  // namespace prismbar::SystemColors
