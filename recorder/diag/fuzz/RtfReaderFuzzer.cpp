// Feeds arbitrary bytes to the RTF reader, and checks that any plain text written
// by the generator reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <marlin/diag/RTFGen.h>
#include <marlin/diag/RtfReader.h>

namespace {

namespace RTFGen = marlin::RTFGen;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const marlin::RtfParsedDocument doc = marlin::RtfReader::Parse(input);
    Check(!doc.Paragraphs.empty());
    // Output stays proportional to the input.
    Check(doc.PlainText().size() <= size * 3 + 3);
    Check(doc.ColorTable.size() <= size + 1);
    for (const auto& paragraph : doc.Paragraphs) {
        for (const auto& run : paragraph.Runs) {
            Check(!run.Text.empty());
            Check(run.Format.FontSize >= marlin::RtfReader::kMinFontSize &&
                  run.Format.FontSize <= marlin::RtfReader::kMaxFontSize);
        }
    }

    // Printable ASCII through the generator comes back as it went in.
    std::string text;
    for (const char c : input) {
        if (c >= 0x20 && c < 0x7F) {
            text += c;
        }
    }
    const bool flags = size > 0 && (data[0] & 1);
    const std::string document = RTFGen::RtfDocument(
        std::string(RTFGen::kColorTable) +
            RTFGen::RtfRun(text, flags, flags, !flags, flags, RTFGen::kRed, size % 4, RTFGen::kWhite),
        20);
    const marlin::RtfParsedDocument back = marlin::RtfReader::Parse(document);
    Check(back.PlainText() == text + (flags ? "\n" : ""));
    return 0;
}
