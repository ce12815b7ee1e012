// The rich-text display control: a read-only text view that takes a whole RTF
// document, as the RTF generator writes it, and shows it with its formatting.
#pragma once

#include <QTextEdit>
#include <string>

#include <marlin/diag/RtfControl.h>
#include <marlin/diag/RtfReader.h>

namespace marlin {

class RtfView : public QTextEdit, public RtfControl {
    Q_OBJECT

public:
    explicit RtfView(QWidget* parent = nullptr);

    void SetFontName(const std::string& name) override;
    void SetPlainText(const std::string& text) override;
    std::string PlainText() const override;
    void SetRtfText(const std::string& rtf) override;
    std::string RtfText() const override;
    void SetSelStart(std::size_t position) override;
    void Refresh() override;

    // Puts a read document into the view; what SetRtfText does after reading.
    void ShowDocument(const RtfParsedDocument& document);

private:
    std::string rtf_;
};

}  // namespace marlin
