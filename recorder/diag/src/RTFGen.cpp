#include <marlin/diag/RTFGen.h>

namespace marlin::RTFGen {

int PaletteIndex(std::int32_t color) {
    switch (color) {
        case kBlack:
            return 1;
        case kRed:
            return 2;
        case kGreen:
            return 3;
        case kBlue:
            return 4;
        case kLightGrey:
            return 5;
        case kDarkGreen:
            return 6;
        case kOrange:
            return 7;
        case kWhite:
            return 8;
        default:
            return 0;
    }
}

std::string RtfEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (c == '\\' || c == '{' || c == '}') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string RtfRun(std::string_view text, bool newParagraph, bool bold, bool italic, bool underline,
                   std::int32_t foreColor, std::int32_t alignment, std::int32_t highlightColor) {
    std::string run = "{";
    if (bold) {
        run += "\\b";
    }
    if (italic) {
        run += "\\i";
    }
    if (underline) {
        run += "\\ul";
    }
    const int fore = PaletteIndex(foreColor);
    run += "\\cf" + std::to_string(fore == 0 ? 1 : fore);
    if (const int highlight = PaletteIndex(highlightColor); highlight != 0) {
        run += "\\highlight" + std::to_string(highlight);
    }
    switch (alignment) {
        case kAlignLeft:
            run += "\\ql";
            break;
        case kAlignRight:
            run += "\\qr";
            break;
        case kAlignCenter:
            run += "\\qc";
            break;
        default:
            break;
    }
    run += ' ';
    run += RtfEscape(text);
    if (newParagraph) {
        run += "\\par";
    }
    run += '}';
    return run;
}

std::string RtfDocument(std::string_view accumulator, std::int16_t fontSize) {
    std::string document = "{\\plain\\fs" + std::to_string(fontSize);
    document += accumulator;
    document += '}';
    return document;
}

void RtfBegin(RtfControl& control, std::string& accumulator, const std::string& fontName,
              std::int16_t fontSize) {
    control.SetFontName(fontName);
    control.SetRtfFontSize(fontSize);
    accumulator.assign(kColorTable);
    control.SetPlainText({});
    control.SetRtfText({});
    control.SetRtfText(accumulator);
}

void RtfAddText(RtfControl& control, std::string& accumulator, std::string_view text,
                bool newParagraph, bool bold, bool italic, bool underline, std::int32_t foreColor,
                std::int32_t alignment, std::int32_t highlightColor, bool flush) {
    accumulator += RtfRun(text, newParagraph, bold, italic, underline, foreColor, alignment, highlightColor);
    if (flush) {
        RtfFlush(control, accumulator, control.RtfFontSize());
    }
}

void RtfFlush(RtfControl& control, const std::string& accumulator, std::int16_t fontSize) {
    control.SetRtfText(RtfDocument(accumulator, fontSize));
    // The RTF text is never shorter than the plain text, so this lands at the end.
    control.SetSelStart(control.RtfText().size());
    control.Refresh();
}

}  // namespace marlin::RTFGen
