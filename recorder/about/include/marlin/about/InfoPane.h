#pragma once

#include <QString>

#include <cstdint>

namespace marlin::about {

// Formatting of one appended run of text. Colours are 0x00BBGGRR values; a
// highlight outside the palette (the default -1) means "no highlight".
struct InfoRunFormat {
    bool newParagraph = false;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::int32_t foreColor = 0x000000;
    int alignment = 0;  // 0 left, 1 right, 2 centred
    std::int32_t highlightColor = -1;
    bool flush = true;
};

// A rich-text pane that is filled run by run. The About window's panes
// implement it on top of the RTF generator; tests record the runs.
class InfoPane {
public:
    virtual ~InfoPane() = default;

    // Starts a new document in the given font; the size is in half-points.
    virtual void begin(const QString& fontName, int fontSize) = 0;
    virtual void addText(const QString& text, const InfoRunFormat& format) = 0;
    virtual void setCaret(int position) = 0;
};

}  // namespace marlin::about
