// A rich-text control that records what the generator does to it.
#pragma once

#include <string>
#include <vector>

#include <marlin/diag/RtfControl.h>

namespace marlin::testing {

class FakeRtfControl : public RtfControl {
public:
    void SetFontName(const std::string& name) override { calls.push_back("font:" + name); }
    void SetPlainText(const std::string& text) override {
        calls.push_back("text:" + text);
        plain = text;
    }
    std::string PlainText() const override { return plain; }
    void SetRtfText(const std::string& text) override {
        calls.push_back("rtf:" + text);
        rtf = text;
    }
    std::string RtfText() const override { return rtf; }
    void SetSelStart(std::size_t position) override { calls.push_back("sel:" + std::to_string(position)); }
    void Refresh() override { calls.push_back("refresh"); }

    std::vector<std::string> calls;
    std::string plain;
    std::string rtf;
};

}  // namespace marlin::testing
