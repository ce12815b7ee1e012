#pragma once

#include <marlin/about/InfoPane.h>

#include <QString>

namespace marlin::about {

// The plain-text support report that the About window puts on the clipboard.
// Lines end with CR LF; labels are filled to 22 characters so the values line
// up in a mail or a text editor. addInfoLine() writes the same line to one of
// the window's panes, where labels are filled to 20 characters.
class SupportReport {
public:
    static constexpr int kReportLabelWidth = 22;
    static constexpr int kPaneLabelWidth = 20;
    static inline const QString kLineEnd = QStringLiteral("\r\n");

    // Fills text with blanks on the right up to width; a longer text stays whole.
    static QString fill(const QString& text, int width);
    // Cuts or fills text to exactly width characters.
    static QString fitExactly(const QString& text, int width);
    // Removes blanks at both ends (only blanks, as the report's own labels use).
    static QString trimBlanks(const QString& text);

    // Starts the report afresh with its head: the section title and the
    // product, version and date lines.
    void beginGlobalSetup(const QString& product, const QString& version, const QString& date);

    void addLine(const QString& label, const QString& value);
    void addHeading(const QString& label, const QString& value);

    // One line of a pane and of the report together.
    void addInfoLine(InfoPane& pane, const QString& label, const QString& value, bool isHeading);

    const QString& text() const { return text_; }
    void clear() { text_.clear(); }

private:
    QString text_;
};

}  // namespace marlin::about
