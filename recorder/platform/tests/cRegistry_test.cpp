#include <marlin/platform/cRegistry.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "StoreSandbox.h"

namespace marlin::platform {

namespace {

class cRegistryTest : public StoreTest {
protected:
    // The type and bytes stored under a root, a key and a value name.
    std::pair<std::uint32_t, std::vector<std::uint8_t>> stored(std::int32_t root, const std::string& key,
                                                               const std::string& name) {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        if (Store::queryValue(root, key, name, type, data) != 0) return {0xFFFFFFFFu, {}};
        return {type, data};
    }
    std::string storedText(std::int32_t root, const std::string& key, const std::string& name = "") {
        auto [type, data] = stored(root, key, name);
        if (type != 1 || data.empty()) return "<missing>";
        return std::string(data.begin(), data.end() - 1);
    }
    cRegistry reg;
};

std::vector<std::uint8_t> zeroTerminated(const std::string& s) {
    std::vector<std::uint8_t> b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

template <typename F>
RegistryError raised(F&& f) {
    try {
        f();
    } catch (const RegistryError& e) {
        return e;
    }
    ADD_FAILURE() << "nothing was raised";
    return RegistryError(0, "", "");
}

}  // namespace

TEST_F(cRegistryTest, ANewObjectAddressesNoRoot) {
    EXPECT_EQ(reg.ClassKey(), 0);
    EXPECT_EQ(reg.ValueType(), 0);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(reg.Default()));
    EXPECT_FALSE(reg.KeyExists());
    EXPECT_TRUE(std::holds_alternative<std::monostate>(reg.Value()));
}

TEST_F(cRegistryTest, TextsWithTwoPercentSignsApartBecomeExpandable) {
    reg.ClassKey(cRegistry::kCurrentUser);
    reg.SectionKey("Env");
    reg.ValueType(cRegistry::kRegSz);
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"%PATH%;x", 2}, {"100%", 1}, {"%%", 1}, {"%a%", 2}, {"a%%b%", 2}, {"plain", 1}, {"", 1}};
    for (const auto& [text, type] : cases) {
        reg.ValueKey(text);
        reg.Value(RegValue(std::string(text)));
        const auto [t, data] = stored(cRegistry::kCurrentUser, "Env", text);
        EXPECT_EQ(t, type) << text;
        EXPECT_EQ(data, zeroTerminated(text)) << text;
    }
    // Set as expandable, a plain text is still written as a plain one.
    reg.ValueType(cRegistry::kRegExpandSz);
    reg.ValueKey("x");
    reg.Value(RegValue(std::string("no vars")));
    EXPECT_EQ(stored(cRegistry::kCurrentUser, "Env", "x").first, 1u);
}

TEST_F(cRegistryTest, ReadingByType) {
    ::setenv("MARLIN_TEST_DIR", "/data", 1);
    Store::setValue(Store::kCurrentUser, "T", "sz", 1, zeroTerminated("text"));
    Store::setValue(Store::kCurrentUser, "T", "only terminator", 1, {0});
    Store::setValue(Store::kCurrentUser, "T", "empty", 1, {});
    Store::setValue(Store::kCurrentUser, "T", "expand", 2,
                    zeroTerminated("%MARLIN_TEST_DIR%\\x %UNDEFINED_X%"));
    Store::setValue(Store::kCurrentUser, "T", "multi", 7, {'a', 0, 'b', 0, 0});
    Store::setValue(Store::kCurrentUser, "T", "dword", 4, {0xFE, 0xFF, 0xFF, 0xFF});
    Store::setValue(Store::kCurrentUser, "T", "big", 5, {0, 0, 1, 2});
    Store::setValue(Store::kCurrentUser, "T", "bin", 3, {9, 8, 7});
    Store::setValue(Store::kCurrentUser, "T", "none", 0, {1});

    reg.ClassKey(cRegistry::kCurrentUser);
    reg.SectionKey("T");
    auto read = [&](const char* name) {
        reg.ValueKey(name);
        return reg.Value();
    };
    EXPECT_EQ(std::get<std::string>(read("sz")), "text");
    EXPECT_EQ(reg.ValueType(), 1);
    EXPECT_EQ(std::get<std::string>(read("only terminator")), "");
    EXPECT_EQ(std::get<std::string>(read("empty")), "");
    EXPECT_EQ(std::get<std::string>(read("expand")), "/data\\x %UNDEFINED_X%");
    EXPECT_EQ(reg.ValueType(), 2);
    EXPECT_EQ(std::get<std::string>(read("multi")), std::string("a\0b\0", 4));
    EXPECT_EQ(std::get<std::int32_t>(read("dword")), -2);
    EXPECT_EQ(std::get<std::int32_t>(read("big")), 258);
    EXPECT_EQ(reg.ValueType(), 5);
    EXPECT_EQ(std::get<std::vector<std::uint8_t>>(read("bin")), (std::vector<std::uint8_t>{9, 8, 7}));
    EXPECT_EQ(std::get<std::vector<std::uint8_t>>(read("none")), (std::vector<std::uint8_t>{1}));

    // Missing values and keys give Default, and leave ValueType as it was.
    reg.Default(RegValue(std::int32_t{77}));
    reg.ValueType(3);
    EXPECT_EQ(std::get<std::int32_t>(read("missing")), 77);
    reg.SectionKey("Nope");
    EXPECT_EQ(std::get<std::int32_t>(read("sz")), 77);
    EXPECT_EQ(reg.ValueType(), 3);
}

TEST_F(cRegistryTest, WritingNumbersAndBytes) {
    reg.ClassKey(cRegistry::kLocalMachine);
    reg.SectionKey("N");
    reg.ValueType(cRegistry::kRegDword);
    reg.ValueKey("i32");
    reg.Value(RegValue(std::int32_t{-5}));
    EXPECT_EQ(stored(cRegistry::kLocalMachine, "N", "i32"),
              std::make_pair(4u, std::vector<std::uint8_t>{0xFB, 0xFF, 0xFF, 0xFF}));
    reg.ValueType(cRegistry::kRegDwordBigEndian);  // written as an ordinary number
    reg.ValueKey("i16");
    reg.Value(RegValue(std::int16_t{258}));
    EXPECT_EQ(stored(cRegistry::kLocalMachine, "N", "i16"),
              std::make_pair(4u, std::vector<std::uint8_t>{2, 1, 0, 0}));
    reg.ValueKey("whole double");
    reg.Value(RegValue(3.0));
    EXPECT_EQ(stored(cRegistry::kLocalMachine, "N", "whole double").second,
              (std::vector<std::uint8_t>{3, 0, 0, 0}));

    // Not a whole 32-bit number: nothing is written, and the caller hears of it.
    for (const RegValue& bad : {RegValue(2.5), RegValue(std::string("12")), RegValue(5e9)}) {
        reg.ValueKey("bad");
        const RegistryError e = raised([&] { reg.Value(bad); });
        EXPECT_EQ(e.number(), cRegistry::kErrWriteValue);
        EXPECT_EQ(stored(cRegistry::kLocalMachine, "N", "bad").first, 0xFFFFFFFFu);
    }

    reg.ValueType(cRegistry::kRegBinary);
    reg.ValueKey("bytes");
    reg.Value(RegValue(std::vector<std::uint8_t>{0, 1, 2, 255}));
    EXPECT_EQ(stored(cRegistry::kLocalMachine, "N", "bytes"),
              std::make_pair(3u, std::vector<std::uint8_t>{0, 1, 2, 255}));
    const RegistryError notBytes = raised([&] { reg.Value(RegValue(std::string("x"))); });
    EXPECT_EQ(notBytes.number(), 26001);
    EXPECT_EQ(notBytes.description(), "Application-defined or object-defined error");
}

TEST_F(cRegistryTest, WriteFailuresCarryNumberSourceAndMessage) {
    reg.ClassKey(cRegistry::kLocalMachine);
    reg.SectionKey("S\\T");
    reg.ValueKey("v");
    reg.ValueType(7);  // multi-strings are not written by this class
    RegistryError e = raised([&] { reg.Value(RegValue(std::string("abc"))); });
    EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x800469A9u));
    EXPECT_EQ(e.description(),
              "Failed to set registry value Key: '-2147483646',Section: 'S\\T',Key: 'v' to value: 'abc'");
    EXPECT_EQ(e.source(), "marlin_platform_tests.cRegistry");
    reg.ValueType(0);
    EXPECT_EQ(raised([&] { reg.Value(RegValue(std::int32_t{1})); }).number(), cRegistry::kErrWriteValue);

    // The key cannot be created: 26001 with the same message.
    reg.ClassKey(cRegistry::kUsers);
    reg.ValueType(1);
    e = raised([&] { reg.Value(RegValue(true)); });
    EXPECT_EQ(e.number(), 26001);
    EXPECT_EQ(e.description(),
              "Failed to set registry value Key: '-2147483645',Section: 'S\\T',Key: 'v' to value: 'True'");
}

TEST_F(cRegistryTest, KeysAndValuesCreatedListedAndDeleted) {
    reg.ClassKey(cRegistry::kCurrentUser);
    reg.SectionKey("Software\\Quazar\\Marlin");
    EXPECT_FALSE(reg.KeyExists());
    EXPECT_TRUE(reg.CreateKey());
    EXPECT_TRUE(reg.KeyExists());
    reg.ValueType(1);
    for (const char* name : {"b", "a", ""}) {
        reg.ValueKey(name);
        reg.Value(RegValue(std::string("x")));
    }
    std::vector<std::string> names{"stale"};
    std::int32_t count = -1;
    EXPECT_TRUE(reg.EnumerateValues(names, count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(names, (std::vector<std::string>{"b", "a", ""}));

    reg.SectionKey("Software\\Quazar\\Marlin\\Sub2");
    reg.CreateKey();
    reg.SectionKey("Software\\Quazar\\Marlin\\Sub1");
    reg.CreateKey();
    reg.SectionKey("Software\\Quazar\\Marlin");
    EXPECT_TRUE(reg.EnumerateSections(names, count));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(names, (std::vector<std::string>{"Sub1", "Sub2"}));

    reg.SectionKey("Software\\Nothing");
    EXPECT_TRUE(reg.EnumerateValues(names, count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(reg.EnumerateSections(names, count));
    EXPECT_EQ(count, 0);

    reg.SectionKey("Software\\Quazar\\Marlin");
    reg.ValueKey("a");
    EXPECT_TRUE(reg.DeleteValue());
    RegistryError e = raised([&] { reg.DeleteValue(); });
    EXPECT_EQ(e.number(), 26001);
    EXPECT_EQ(e.description(),
              "Failed to delete registry Key: '-2147483647',Section: 'Software\\Quazar\\Marlin',Key: 'a");
    reg.SectionKey("Software\\Missing");
    e = raised([&] { reg.DeleteValue(); });
    EXPECT_EQ(e.description(),
              "Failed to open key '-2147483647',Section: 'Software\\Missing' for delete access");

    reg.SectionKey("Software\\Quazar\\Marlin");
    e = raised([&] { reg.DeleteKey(); });  // has subkeys
    EXPECT_EQ(e.number(), 26001);
    EXPECT_EQ(e.description(),
              "Failed to delete registry Key: '-2147483647',Section: 'Software\\Quazar\\Marlin");
    reg.SectionKey("Software\\Quazar\\Marlin\\Sub1");
    EXPECT_TRUE(reg.DeleteKey());
    EXPECT_FALSE(reg.KeyExists());

    reg.ClassKey(0);
    e = raised([&] { reg.CreateKey(); });
    EXPECT_EQ(e.number(), 26001);
    EXPECT_EQ(e.description(), "Failed to create registry Key: 'Software\\Quazar\\Marlin\\Sub1");
}

TEST_F(cRegistryTest, ExeAssociationQuotesThePathOnce) {
    const std::pair<std::string, std::string> paths[] = {
        {"  /opt/marlin/marlin  ", "\"/opt/marlin/marlin\""},
        {"\"/opt/my tools/marlin\"", "\"/opt/my tools/marlin\""},
        {"", "\""}};
    for (const auto& [path, quoted] : paths) {
        reg.CreateEXEAssociation(path, "Marlin.Trace", "Marlin trace file", "sft");
        EXPECT_EQ(storedText(cRegistry::kClassesRoot, "Marlin.Trace\\shell\\open\\command"),
                  quoted + " \"%1\"")
            << path;
    }
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, ".sft"), "Marlin.Trace");
    EXPECT_EQ(storedText(cRegistry::kLocalMachine, "SOFTWARE\\Classes\\.sft"), "Marlin.Trace");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "Marlin.Trace"), "Marlin trace file");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "Marlin.Trace\\shell\\open"), "&Open");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "Marlin.Trace\\shell\\print"), "<missing>");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "Marlin.Trace\\DefaultIcon"), "<missing>");
    // Left at the machine root and the last key written.
    EXPECT_EQ(reg.ClassKey(), cRegistry::kLocalMachine);
    EXPECT_EQ(reg.SectionKey(), "Marlin.Trace\\shell\\open\\command");
}

TEST_F(cRegistryTest, ExeAssociationWithEveryVerb) {
    reg.CreateEXEAssociation("/bin/m", "M.File", "M file", "mf", "", true, "", true, "", true, "", 2);
    const std::string p = "\"/bin/m\"";
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\open"), "&Open");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\print"), "&Print");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\print\\command"), p + " /p \"%1\"");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\add"), "&Install mf");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\add\\command"), p + " /a \"%1\"");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\new"), "&New");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\new\\command"), p + " /n \"%1\"");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\DefaultIcon"), p + ",2");
    reg.CreateEXEAssociation("/bin/m", "M.File", "M file", "mf", "Show", true, "Out", false, "", true,
                             "Add it", 0);
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\open"), "Show");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\print"), "Out");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\add"), "Add it");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\DefaultIcon"), p + ",0");
}

TEST_F(cRegistryTest, AdditionalAssociations) {
    const std::string before = TempDir::read(machinePath);
    const std::vector<RegValue> four = {RegValue(std::string("edit")), RegValue(std::string("&Edit")),
                                        RegValue(std::string("ed %1")), RegValue(std::string("x"))};
    RegistryError e = raised([&] { reg.CreateAdditionalEXEAssociations("M.File", four); });
    EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x800469ACu));
    EXPECT_EQ(
        e.description(),
        "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");
    EXPECT_EQ(TempDir::read(machinePath), before);

    const std::vector<RegValue> items = {RegValue(std::string("edit")),      RegValue(std::string("&Edit")),
                                         RegValue(std::string("ed \"%1\"")), RegValue(std::string("view")),
                                         RegValue(std::string("&View")),     RegValue(std::int32_t{7})};
    e = raised([&] { reg.CreateAdditionalEXEAssociations("M.File", items); });
    EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x800469ADu));
    EXPECT_EQ(e.description(), "Error - attempt to create additional associations before class defined.");

    reg.CreateEXEAssociation("/bin/m", "M.File", "M file", "mf");
    reg.CreateAdditionalEXEAssociations("M.File", items);
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\edit"), "&Edit");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\edit\\command"), "ed \"%1\"");
    EXPECT_EQ(storedText(cRegistry::kLocalMachine, "SOFTWARE\\Classes\\M.File\\shell\\view"), "&View");
    EXPECT_EQ(storedText(cRegistry::kClassesRoot, "M.File\\shell\\view\\command"), "7");
}

TEST_F(cRegistryTest, SwapLongAndExpandEnvString) {
    EXPECT_EQ(cRegistry::SwapLong(0x01020304), 0x04030201);
    EXPECT_EQ(cRegistry::SwapLong(0x00000102), 0x02010000);
    EXPECT_EQ(cRegistry::SwapLong(static_cast<std::int32_t>(0xFF000000u)), 0xFF);
    ::setenv("MARLIN_A", "1", 1);
    ::unsetenv("MARLIN_NOT_SET");
    EXPECT_EQ(cRegistry::ExpandEnvString("%MARLIN_A%%MARLIN_A%"), "11");
    EXPECT_EQ(cRegistry::ExpandEnvString("100%"), "100%");
    EXPECT_EQ(cRegistry::ExpandEnvString("%%"), "%%");
    EXPECT_EQ(cRegistry::ExpandEnvString("%MARLIN_NOT_SET%MARLIN_A%"), "%MARLIN_NOT_SET1");
    EXPECT_EQ(cRegistry::ExpandEnvString("a%MARLIN_A"), "a%MARLIN_A");
}

}  // namespace marlin::platform
