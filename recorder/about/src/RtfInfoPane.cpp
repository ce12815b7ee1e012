#include <marlin/about/RtfInfoPane.h>

#include <marlin/diag/RTFGen.h>

#include <algorithm>

namespace marlin::about {

void RtfInfoPane::begin(const QString& fontName, int fontSize) {
    RTFGen::RtfBegin(view_, accumulator_, fontName.toStdString(), static_cast<std::int16_t>(fontSize));
}

void RtfInfoPane::addText(const QString& text, const InfoRunFormat& format) {
    RTFGen::RtfAddText(view_, accumulator_, text.toStdString(), format.newParagraph, format.bold,
                       format.italic, format.underline, format.foreColor, format.alignment,
                       format.highlightColor, format.flush);
}

void RtfInfoPane::setCaret(int position) {
    view_.SetSelStart(static_cast<std::size_t>(std::max(0, position)));
}

}  // namespace marlin::about
