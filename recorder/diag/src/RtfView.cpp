#include <marlin/diag/RtfView.h>

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include <marlin/diag/RTFGen.h>

namespace marlin {

namespace {

Qt::Alignment ToQt(RtfAlignment alignment) {
    switch (alignment) {
        case RtfAlignment::Right:
            return Qt::AlignRight | Qt::AlignAbsolute;
        case RtfAlignment::Center:
            return Qt::AlignHCenter;
        case RtfAlignment::Justify:
            return Qt::AlignJustify;
        case RtfAlignment::Left:
        default:
            return Qt::AlignLeft | Qt::AlignAbsolute;
    }
}

QColor ToQt(const RtfColor& color) {
    return QColor(color.Red, color.Green, color.Blue);
}

QTextCharFormat ToQt(const RtfCharFormat& format) {
    QTextCharFormat qt;
    qt.setFontWeight(format.Bold ? QFont::Bold : QFont::Normal);
    qt.setFontItalic(format.Italic);
    qt.setFontUnderline(format.Underline);
    qt.setFontPointSize(format.FontSize / 2.0);
    if (format.Foreground) {
        qt.setForeground(ToQt(*format.Foreground));
    }
    if (format.Highlight) {
        qt.setBackground(ToQt(*format.Highlight));
    }
    return qt;
}

}  // namespace

RtfView::RtfView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(false);
    setUndoRedoEnabled(false);
    // The caret shows where the last flush ended, as in any read-only text box.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void RtfView::SetFontName(const std::string& name) {
    QFont font = document()->defaultFont();
    font.setFamily(QString::fromStdString(name));
    document()->setDefaultFont(font);
}

void RtfView::SetPlainText(const std::string& text) {
    setPlainText(QString::fromStdString(text));
    // Keep the document text in step with what is shown.
    std::string rtf = "{";
    for (const char c : RTFGen::RtfEscape(text)) {
        if (c == '\n') {
            rtf += "\\par ";
        } else if (c != '\r') {
            rtf += c;
        }
    }
    rtf_ = rtf + "}";
}

std::string RtfView::PlainText() const {
    return toPlainText().toStdString();
}

void RtfView::SetRtfText(const std::string& rtf) {
    rtf_ = rtf;
    ShowDocument(RtfReader::Parse(rtf));
}

std::string RtfView::RtfText() const {
    return rtf_;
}

void RtfView::ShowDocument(const RtfParsedDocument& parsed) {
    QTextDocument* doc = document();
    doc->clear();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    bool first = true;
    for (const RtfParagraph& paragraph : parsed.Paragraphs) {
        QTextBlockFormat blockFormat;
        blockFormat.setAlignment(ToQt(paragraph.Alignment));
        if (first) {
            cursor.setBlockFormat(blockFormat);
            first = false;
        } else {
            cursor.insertBlock(blockFormat);
        }
        // An empty paragraph still takes the size of the text around it.
        cursor.setBlockCharFormat(paragraph.Runs.empty() ? QTextCharFormat()
                                                         : ToQt(paragraph.Runs.front().Format));
        for (const RtfRun& run : paragraph.Runs) {
            cursor.insertText(QString::fromUtf8(run.Text.data(), static_cast<qsizetype>(run.Text.size())),
                              ToQt(run.Format));
        }
    }
    cursor.endEditBlock();
}

void RtfView::SetSelStart(std::size_t position) {
    QTextCursor cursor(document());
    const int end = std::max(0, document()->characterCount() - 1);
    const bool atEnd = position >= static_cast<std::size_t>(end);
    cursor.setPosition(atEnd ? end : static_cast<int>(position));
    setTextCursor(cursor);
    ensureCursorVisible();
    if (atEnd) {
        // Down to the document's bottom margin, so the last line is fully in view.
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }
}

void RtfView::Refresh() {
    viewport()->update();
}

}  // namespace marlin
