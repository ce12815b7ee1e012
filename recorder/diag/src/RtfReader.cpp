#include <marlin/diag/RtfReader.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include <marlin/base/Utf8.h>

namespace marlin {

namespace {

constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kLineSeparator = 0x2028;

// Length of the valid UTF-8 sequence at the start of s, 0 if there is none.
std::size_t Utf8SequenceLength(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (s.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

enum class Destination { Text, ColorTable, Skip };

struct GroupState {
    RtfCharFormat format;  // colours of the format are resolved from the indexes below
    int foreIndex = 0;
    int highlightIndex = 0;
    RtfAlignment alignment = RtfAlignment::Left;
    Destination destination = Destination::Text;
    int unicodeSkip = 1;
};

// Destinations whose text is not part of what the view shows.
bool IsSkippedDestination(std::string_view word) {
    static constexpr std::array<std::string_view, 22> kSkipped = {
        "fonttbl",   "stylesheet",        "info",    "pict",      "object",    "header",    "headerl",
        "headerr",   "headerf",           "footer",  "footerl",   "footerr",   "footerf",   "fldinst",
        "listtable", "listoverridetable", "rsidtbl", "generator", "themedata", "datastore", "xmlnstbl",
        "filetbl"};
    return std::find(kSkipped.begin(), kSkipped.end(), word) != kSkipped.end();
}

class Parser {
public:
    explicit Parser(std::string_view input) : in_(input) { document_.Paragraphs.emplace_back(); }

    RtfParsedDocument Run() {
        while (pos_ < in_.size()) {
            const char c = in_[pos_];
            if (c == '{') {
                ++pos_;
                OpenGroup();
            } else if (c == '}') {
                ++pos_;
                CloseGroup();
            } else if (c == '\\') {
                ++pos_;
                ControlSequence();
            } else {
                ++pos_;
                TextByte(c);
            }
        }
        FlushBytes();
        if (document_.Paragraphs.back().Runs.empty()) {
            document_.Paragraphs.back().Alignment = state_.alignment;
        }
        return std::move(document_);
    }

private:
    void OpenGroup() {
        FlushBytes();
        skipPending_ = 0;
        ignorableNext_ = false;
        if (static_cast<int>(stack_.size()) >= RtfReader::kMaxGroupDepth) {
            ++overflowDepth_;
            return;
        }
        stack_.push_back(state_);
    }

    void CloseGroup() {
        FlushBytes();
        skipPending_ = 0;
        ignorableNext_ = false;
        if (overflowDepth_ > 0) {
            --overflowDepth_;
            return;
        }
        if (stack_.empty()) {
            return;  // a stray closing brace
        }
        if (state_.destination == Destination::ColorTable) {
            CommitColor(false);
        }
        state_ = stack_.back();
        stack_.pop_back();
    }

    void TextByte(char c) {
        if (c == '\r' || c == '\n') {
            return;
        }
        if (skipPending_ > 0) {
            --skipPending_;
            return;
        }
        if (state_.destination == Destination::ColorTable) {
            if (c == ';') {
                CommitColor(true);
            }
            return;
        }
        if (state_.destination != Destination::Text) {
            return;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t') {
            return;
        }
        bytes_ += c;
    }

    void ControlSequence() {
        if (pos_ >= in_.size()) {
            return;
        }
        const char c = in_[pos_];
        if (IsLetter(c)) {
            ControlWord();
            return;
        }
        ++pos_;
        if (c == '\'') {
            HexByte();
            return;
        }
        if (c == '\\' || c == '{' || c == '}') {
            TextByte(c);
            return;
        }
        FlushBytes();
        if (skipPending_ > 0) {
            --skipPending_;
            return;
        }
        switch (c) {
            case '*':
                ignorableNext_ = true;
                break;
            case '~':
                AppendCodePoint(0x00A0);
                break;
            case '_':
                AppendCodePoint(0x2011);
                break;
            case '\r':
            case '\n':
                Paragraph();
                break;
            default:
                break;  // \- (optional hyphen), \: and symbols we do not show
        }
    }

    void HexByte() {
        int value = 0;
        int digits = 0;
        while (digits < 2 && pos_ < in_.size() && HexValue(in_[pos_]) >= 0) {
            value = value * 16 + HexValue(in_[pos_]);
            ++pos_;
            ++digits;
        }
        if (digits == 2) {
            if (skipPending_ > 0) {
                --skipPending_;
                return;
            }
            if (state_.destination == Destination::Text) {
                bytes_ += static_cast<char>(value);
            }
        }
    }

    void ControlWord() {
        const std::size_t start = pos_;
        while (pos_ < in_.size() && IsLetter(in_[pos_])) {
            ++pos_;
        }
        const std::string_view word = in_.substr(start, pos_ - start);
        bool hasParam = false;
        long long param = 0;
        bool negative = false;
        if (pos_ + 1 < in_.size() && in_[pos_] == '-' && IsDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        int digits = 0;
        while (pos_ < in_.size() && IsDigit(in_[pos_])) {
            if (digits < 10) {
                param = param * 10 + (in_[pos_] - '0');
            }
            ++digits;
            ++pos_;
        }
        if (digits > 0) {
            hasParam = true;
            param = std::clamp(negative ? -param : param, -2147483648LL, 2147483647LL);
        }
        if (pos_ < in_.size() && in_[pos_] == ' ') {
            ++pos_;
        }
        FlushBytes();
        const bool ignorable = ignorableNext_;
        ignorableNext_ = false;
        if (skipPending_ > 0) {
            --skipPending_;
            return;
        }
        Apply(word, hasParam, static_cast<int>(param), ignorable);
    }

    void Apply(std::string_view word, bool hasParam, int param, bool ignorable) {
        const bool on = !hasParam || param != 0;
        RtfCharFormat& format = state_.format;
        if (state_.destination == Destination::Skip) {
            return;
        }
        if (state_.destination == Destination::ColorTable) {
            const int component = std::clamp(param, 0, 255);
            if (word == "red") {
                pendingColor_.Red = static_cast<std::uint8_t>(component);
                colorGiven_ = true;
            } else if (word == "green") {
                pendingColor_.Green = static_cast<std::uint8_t>(component);
                colorGiven_ = true;
            } else if (word == "blue") {
                pendingColor_.Blue = static_cast<std::uint8_t>(component);
                colorGiven_ = true;
            }
            return;
        }
        if (word == "colortbl") {
            state_.destination = Destination::ColorTable;
            document_.ColorTable.clear();
            pendingColor_ = {};
            colorGiven_ = false;
        } else if (ignorable || IsSkippedDestination(word)) {
            state_.destination = Destination::Skip;
        } else if (word == "par" || word == "sect" || word == "page") {
            Paragraph();
        } else if (word == "pard") {
            state_.alignment = RtfAlignment::Left;
        } else if (word == "plain") {
            const RtfCharFormat plain;
            format = plain;
            state_.foreIndex = 0;
            state_.highlightIndex = 0;
        } else if (word == "b") {
            format.Bold = on;
        } else if (word == "i") {
            format.Italic = on;
        } else if (word == "ul") {
            format.Underline = on;
        } else if (word == "ulnone") {
            format.Underline = false;
        } else if (word == "fs") {
            format.FontSize = hasParam && param > 0
                                  ? std::clamp(param, RtfReader::kMinFontSize, RtfReader::kMaxFontSize)
                                  : RtfCharFormat{}.FontSize;
        } else if (word == "cf") {
            state_.foreIndex = hasParam ? param : 0;
        } else if (word == "highlight" || word == "cb") {
            state_.highlightIndex = hasParam ? param : 0;
        } else if (word == "ql") {
            state_.alignment = RtfAlignment::Left;
        } else if (word == "qr") {
            state_.alignment = RtfAlignment::Right;
        } else if (word == "qc") {
            state_.alignment = RtfAlignment::Center;
        } else if (word == "qj") {
            state_.alignment = RtfAlignment::Justify;
        } else if (word == "line") {
            AppendCodePoint(kLineSeparator);
        } else if (word == "tab") {
            AppendCodePoint(U'\t');
        } else if (word == "uc") {
            state_.unicodeSkip = hasParam ? std::clamp(param, 0, 16) : 1;
        } else if (word == "u" && hasParam) {
            AppendCodePoint(static_cast<char32_t>(param < 0 ? param + 65536 : param));
            skipPending_ = state_.unicodeSkip;
        } else if (word == "emdash") {
            AppendCodePoint(0x2014);
        } else if (word == "endash") {
            AppendCodePoint(0x2013);
        } else if (word == "bullet") {
            AppendCodePoint(0x2022);
        } else if (word == "lquote") {
            AppendCodePoint(0x2018);
        } else if (word == "rquote") {
            AppendCodePoint(0x2019);
        } else if (word == "ldblquote") {
            AppendCodePoint(0x201C);
        } else if (word == "rdblquote") {
            AppendCodePoint(0x201D);
        }
        // Any other word is formatting this view does not show.
    }

    void CommitColor(bool atSemicolon) {
        if (!atSemicolon && !colorGiven_) {
            return;  // nothing after the last ';'
        }
        if (colorGiven_) {
            document_.ColorTable.emplace_back(pendingColor_);
        } else {
            document_.ColorTable.emplace_back(std::nullopt);
        }
        pendingColor_ = {};
        colorGiven_ = false;
    }

    std::optional<RtfColor> TableColor(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= document_.ColorTable.size()) {
            return std::nullopt;
        }
        return document_.ColorTable[static_cast<std::size_t>(index)];
    }

    RtfCharFormat CurrentFormat() const {
        RtfCharFormat format = state_.format;
        format.Foreground = TableColor(state_.foreIndex);
        // Highlight 0 is "none" whatever the table holds there.
        format.Highlight = state_.highlightIndex > 0 ? TableColor(state_.highlightIndex) : std::nullopt;
        return format;
    }

    void AppendText(const std::string& utf8) {
        if (utf8.empty() || state_.destination != Destination::Text) {
            return;
        }
        // A paragraph takes the alignment in effect at its last text or at its mark.
        document_.Paragraphs.back().Alignment = state_.alignment;
        auto& runs = document_.Paragraphs.back().Runs;
        RtfCharFormat format = CurrentFormat();
        if (!runs.empty() && runs.back().Format == format) {
            runs.back().Text += utf8;
        } else {
            runs.push_back(RtfRun{utf8, std::move(format)});
        }
    }

    void AppendCodePoint(char32_t cp) {
        std::string text;
        appendUtf8(text, cp);
        AppendText(text);
    }

    void FlushBytes() {
        if (!bytes_.empty()) {
            AppendText(RtfReader::DecodeBytes(bytes_));
            bytes_.clear();
        }
    }

    void Paragraph() {
        if (state_.destination != Destination::Text) {
            return;
        }
        document_.Paragraphs.back().Alignment = state_.alignment;
        document_.Paragraphs.emplace_back();
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    GroupState state_;
    std::vector<GroupState> stack_;
    int overflowDepth_ = 0;
    bool ignorableNext_ = false;
    int skipPending_ = 0;
    std::string bytes_;
    RtfColor pendingColor_;
    bool colorGiven_ = false;
    RtfParsedDocument document_;
};

}  // namespace

std::string RtfParsedDocument::PlainText() const {
    std::string text;
    for (std::size_t i = 0; i < Paragraphs.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        for (const RtfRun& run : Paragraphs[i].Runs) {
            text += run.Text;
        }
    }
    return text;
}

RtfParsedDocument RtfReader::Parse(std::string_view rtf) {
    return Parser(rtf).Run();
}

std::string RtfReader::DecodeBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        if (const std::size_t length = Utf8SequenceLength(bytes.substr(i)); length > 0) {
            out.append(bytes.substr(i, length));
            i += length;
            continue;
        }
        appendUtf8(out, byte < 0xA0 ? kWindows1252High[byte - 0x80] : static_cast<char32_t>(byte));
        ++i;
    }
    return out;
}

}  // namespace marlin
