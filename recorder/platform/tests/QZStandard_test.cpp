#include <marlin/platform/QZStandard.h>

#include <gtest/gtest.h>

#include "StoreSandbox.h"

namespace marlin::platform {

using QZStandardTest = StoreTest;

TEST_F(QZStandardTest, WritesNumbersAndTrimmedTextsAndReadsThemBack) {
    const std::string key = "SOFTWARE\\Tools\\Spy\\Options";
    EXPECT_EQ(
        QZStandard::WriteRegistryValue(QZStandard::kHkeyCurrentUser, key, "Log Enabled", std::int32_t{1}), 0);
    EXPECT_EQ(QZStandard::WriteRegistryValue(QZStandard::kHkeyCurrentUser, key, "History Depth",
                                             std::int32_t{99999}),
              0);
    EXPECT_EQ(QZStandard::WriteRegistryValue(QZStandard::kHkeyCurrentUser, key, "Log File Name",
                                             "  /tmp/a b.spy  "),
              0);
    EXPECT_EQ(QZStandard::LastRegistryStatus(), 0);

    EXPECT_EQ(std::get<std::int32_t>(
                  QZStandard::ReadRegistryValue(QZStandard::kHkeyCurrentUser, key, "History Depth")),
              99999);
    EXPECT_EQ(std::get<std::string>(
                  QZStandard::ReadRegistryValue(QZStandard::kHkeyCurrentUser, key, "log file name")),
              "/tmp/a b.spy");
    const std::string text = TempDir::read(userPath);
    EXPECT_NE(text.find("\"Log Enabled\"=dword:00000001\n\"History Depth\"=dword:0001869f\n"
                        "\"Log File Name\"=\"/tmp/a b.spy\"\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(QZStandard::RegistryDataText(
                  QZStandard::ReadRegistryValue(QZStandard::kHkeyCurrentUser, key, "Log Enabled")),
              "1");
}

TEST_F(QZStandardTest, OtherTypesAndMissingValuesReadAsEmptyText) {
    using Store = marlin::platform::RegistryStore;
    Store::setValue(Store::kLocalMachine, "K", "negative", 4, {0xFF, 0xFF, 0xFF, 0xFF});
    Store::setValue(Store::kLocalMachine, "K", "embedded", 1, {'a', 'b', 0, 'c', 0});
    Store::setValue(Store::kLocalMachine, "K", "unterminated", 1, {'a', 'b'});
    Store::setValue(Store::kLocalMachine, "K", "expand", 2, {'%', 'x', '%', 0});
    Store::setValue(Store::kLocalMachine, "K", "binary", 3, {1, 2});
    Store::setValue(Store::kLocalMachine, "K", "short dword", 4, {1, 2});
    auto read = [](const char* name) {
        return QZStandard::ReadRegistryValue(QZStandard::kHkeyLocalMachine, "K", name);
    };
    EXPECT_EQ(std::get<std::int32_t>(read("negative")), -1);
    EXPECT_EQ(std::get<std::string>(read("embedded")), "ab");
    EXPECT_EQ(std::get<std::string>(read("unterminated")), "ab");
    EXPECT_EQ(std::get<std::string>(read("expand")), "");
    EXPECT_EQ(std::get<std::string>(read("binary")), "");
    EXPECT_EQ(std::get<std::string>(read("short dword")), "");
    EXPECT_EQ(QZStandard::LastRegistryStatus(), 0);
    EXPECT_EQ(std::get<std::string>(read("missing")), "");
    EXPECT_EQ(QZStandard::LastRegistryStatus(), 2);
    EXPECT_EQ(
        std::get<std::string>(QZStandard::ReadRegistryValue(QZStandard::kHkeyLocalMachine, "Nope", "x")), "");
    EXPECT_EQ(std::get<std::string>(QZStandard::ReadRegistryValue(0, "K", "negative")), "");
    EXPECT_EQ(QZStandard::LastRegistryStatus(), 6);
}

}  // namespace marlin::platform
