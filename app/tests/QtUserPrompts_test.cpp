#include "QtUserPrompts.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace marlin {
namespace {

const QString kFilter = QStringLiteral("Reelplay Files (*.sft);;All files (*)");
// A dotted address leaves the name with a "suffix" that is no ending at all.
const QString kSuggested = QStringLiteral("127.0.0.201_trace2@2026-12-7 13_03_22");

class SaveDialogTest : public ::testing::Test {
protected:
    // What the name box shows once the dialog is up.
    std::string shownName(const QString& proposed) {
        QtUserPrompts::prepareSaveDialog(dialog, kFilter, dir.filePath(proposed));
        dialog.show();
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        return edit ? edit->text().toStdString() : "<no name box>";
    }
    std::string acceptedAfterTyping(const QString& typed) {
        dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(typed);
        return QtUserPrompts::acceptedFileName(dialog).toStdString();
    }

    QTemporaryDir dir;
    QFileDialog dialog{nullptr, QStringLiteral("select file to generate")};
};

TEST_F(SaveDialogTest, TheProposedNameIsShownWholeWithOrWithoutItsEnding) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(shownName(kSuggested), kSuggested.toStdString());
    EXPECT_EQ(shownName(kSuggested + QStringLiteral(".sft")),
              (kSuggested + QStringLiteral(".sft")).toStdString());
    EXPECT_EQ(dialog.directory().absolutePath(), QDir(dir.path()).absolutePath());
    EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("Reelplay Files (*.sft)"));
}

TEST_F(SaveDialogTest, AnAcceptedNameGetsTheFiltersEndingOnce) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    shownName(kSuggested + QStringLiteral(".sft"));
    EXPECT_EQ(acceptedAfterTyping(kSuggested),
              dir.filePath(kSuggested + QStringLiteral(".sft")).toStdString());
    EXPECT_EQ(acceptedAfterTyping(QStringLiteral("night.SFT")),
              dir.filePath(QStringLiteral("night.SFT")).toStdString());
    // "All files" takes the name as typed.
    dialog.selectNameFilter(QStringLiteral("All files (*)"));
    EXPECT_EQ(acceptedAfterTyping(QStringLiteral("notes.txt")),
              dir.filePath(QStringLiteral("notes.txt")).toStdString());
}

}  // namespace
}  // namespace marlin
