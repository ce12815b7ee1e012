#pragma once

#include <marlin/about/InfoPane.h>

#include <marlin/diag/RtfView.h>

#include <string>

namespace marlin::about {

// A pane of the About window: a rich-text view filled through the RTF
// generator, with the document's accumulator that belongs to it.
class RtfInfoPane : public InfoPane {
public:
    explicit RtfInfoPane(marlin::RtfView& view) : view_(view) {}

    void begin(const QString& fontName, int fontSize) override;
    void addText(const QString& text, const InfoRunFormat& format) override;
    void setCaret(int position) override;

    const std::string& accumulator() const { return accumulator_; }

private:
    marlin::RtfView& view_;
    std::string accumulator_;
};

}  // namespace marlin::about
