#include <marlin/base/AtomicFile.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "marlin/testing/TempDir.h"
using marlin::testing::TempDir;

using marlin::AtomicFile;

TEST(AtomicFileTest, WritesReadsAndCreatesFolders) {
    TempDir dir;
    const std::string path = dir.file("a/b/store.reg");
    ASSERT_EQ(AtomicFile::write(path, "first"), 0);
    std::string content;
    ASSERT_EQ(AtomicFile::read(path, content), 0);
    EXPECT_EQ(content, "first");
    ASSERT_EQ(AtomicFile::write(path, "second"), 0);
    ASSERT_EQ(AtomicFile::read(path, content), 0);
    EXPECT_EQ(content, "second");
    EXPECT_FALSE(std::filesystem::exists(AtomicFile::temporaryPath(path)));
    EXPECT_EQ(AtomicFile::read(dir.file("missing"), content), ENOENT);
}

TEST(AtomicFileTest, ReplaceLeavesMissingFoldersMissing) {
    TempDir dir;
    EXPECT_EQ(AtomicFile::replace(dir.file("a/store.reg"), "new"), ENOENT);
    EXPECT_FALSE(std::filesystem::exists(dir.file("a")));
}

TEST(AtomicFileTest, AFailedWriteLeavesTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("store.reg");
    ASSERT_EQ(AtomicFile::write(path, "old"), 0);
    // The temporary name is taken by a folder, so the new content has nowhere to go.
    std::filesystem::create_directory(AtomicFile::temporaryPath(path));
    EXPECT_NE(AtomicFile::write(path, "new"), 0);
    EXPECT_EQ(TempDir::read(path), "old");
    // A parent that is a file.
    dir.write("plain", std::string("x"));
    EXPECT_EQ(AtomicFile::write(dir.file("plain/store.reg"), "new"), ENOTDIR);
}

TEST(AtomicFileTest, AProcessKilledInTheMiddleOfAWriteLeavesTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("store.reg");
    const std::string oldContent(3 * AtomicFile::kPieceSize, 'o');
    ASSERT_EQ(AtomicFile::write(path, oldContent), 0);
    const std::string newContent(8 * AtomicFile::kPieceSize, 'n');

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Dies the hard way once half of the new content is out.
        AtomicFile::write(path, newContent, [&](std::size_t written) {
            if (written >= newContent.size() / 2) ::kill(::getpid(), SIGKILL);
        });
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(WTERMSIG(status), SIGKILL);

    EXPECT_EQ(TempDir::read(path), oldContent);
    // The half-written temporary file is there, and the next write simply replaces it.
    EXPECT_EQ(std::filesystem::file_size(AtomicFile::temporaryPath(path)), newContent.size() / 2);
    ASSERT_EQ(AtomicFile::write(path, "after"), 0);
    EXPECT_EQ(TempDir::read(path), "after");
}
