// What the RTF generator needs of a rich-text display control: it takes a whole
// RTF document at once and can put the caret at its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace marlin {

class RtfControl {
public:
    virtual ~RtfControl() = default;

    virtual void SetFontName(const std::string& name) = 0;
    virtual void SetPlainText(const std::string& text) = 0;
    virtual std::string PlainText() const = 0;
    // Replaces the whole content with the document.
    virtual void SetRtfText(const std::string& rtf) = 0;
    virtual std::string RtfText() const = 0;
    // Puts the caret at the character position, at most the end of the text, and
    // scrolls it into view.
    virtual void SetSelStart(std::size_t position) = 0;
    virtual void Refresh() = 0;

    // The font size (RTF half-points) that RtfBegin chose for this control's document.
    std::int16_t RtfFontSize() const { return rtfFontSize_; }
    void SetRtfFontSize(std::int16_t size) { rtfFontSize_ = size; }

private:
    std::int16_t rtfFontSize_ = 20;
};

}  // namespace marlin
