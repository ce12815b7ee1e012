#include <marlin/platform/RegistryTextFormat.h>

#include <gtest/gtest.h>

namespace marlin::platform {

using namespace marlin::platform;

namespace {

const std::vector<RegistryRootName> kMachineRoots = {{"HKEY_LOCAL_MACHINE", ""},
                                                     {"HKLM", ""},
                                                     {"HKEY_CLASSES_ROOT", "SOFTWARE\\Classes"},
                                                     {"HKCR", "SOFTWARE\\Classes"}};

std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

}  // namespace

TEST(RegistryTextFormatTest, EveryTypeSurvivesARoundTrip) {
    RegistryKey root;
    RegistryKey& k = root.create("SOFTWARE\\Quazar\\Marlin");
    k.setValue("", kRegSz, bytes(std::string("default\0", 8)));
    k.setValue("Path \"quoted\"", kRegSz, bytes(std::string("C:\\Program Files\\Q\\\0", 20)));
    k.setValue("Count", kRegDword, {0x2A, 0, 0, 0x80});
    k.setValue("Big", kRegDwordBigEndian, {0, 0, 1, 2});
    k.setValue("Expand", kRegExpandSz, bytes(std::string("%PATH%;x\0", 9)));
    k.setValue("Multi", kRegMultiSz, bytes(std::string("a\0b\0\0", 5)));
    k.setValue("Lines", kRegSz, bytes(std::string("one\r\ntwo\0", 9)));  // cannot be a quoted text
    k.setValue("NoEnd", kRegSz, bytes("unterminated"));                  // nor can this
    k.setValue("Empty", kRegSz, {});
    k.setValue("Blob", kRegBinary, std::vector<std::uint8_t>(100, 0xAB));  // wraps over several lines
    k.setValue("ShortDword", kRegDword, {1, 2});
    k.setValue("Q", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8});
    root.create("SOFTWARE\\Empty key");
    root.setValue("AtRoot", kRegSz, bytes(std::string("r\0", 2)));

    const std::string text = RegistryTextFormat::format(root, "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(text.rfind("REGEDIT4\n\n", 0), 0u);
    EXPECT_NE(text.find("\"Count\"=dword:8000002a\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Path \\\"quoted\\\"\"=\"C:\\\\Program Files\\\\Q\\\\\"\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,50,41,54,48,25,3b,78,00\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty key]\n"), std::string::npos);

    const RegistryParseResult back = RegistryTextFormat::parse(text, kMachineRoots);
    EXPECT_TRUE(back.problems.empty()) << back.problems.front();
    EXPECT_EQ(RegistryTextFormat::format(back.root, "HKEY_LOCAL_MACHINE"), text);
    const RegistryKey* k2 = back.root.find("software\\QUAZAR\\marlin");
    ASSERT_NE(k2, nullptr);
    ASSERT_EQ(k2->values().size(), k.values().size());
    for (std::size_t i = 0; i < k.values().size(); ++i) {
        EXPECT_EQ(k2->values()[i].name, k.values()[i].name);
        EXPECT_EQ(k2->values()[i].type, k.values()[i].type) << k.values()[i].name;
        EXPECT_EQ(k2->values()[i].data, k.values()[i].data) << k.values()[i].name;
    }
    EXPECT_NE(back.root.find("SOFTWARE\\Empty key"), nullptr);
    EXPECT_NE(back.root.value("AtRoot"), nullptr);
}

TEST(RegistryTextFormatTest, ReadsAFileWrittenByHand) {
    const std::string text =
        "REGEDIT4\r\n"
        "; settings of the bus-trace tool\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tools\\Spy]\r\n"
        "\"InstDir\" = \"C:\\Tools\\Spy\\\\\"\r\n"  // single backslashes inside, as people type paths
        "\"Level\"=DWORD:1f\r\n"
        "\"Bytes\"=hex:01, 2,\\\r\n"
        "    ff\r\n"
        "@=\"x\"\r\n"
        "[HKCR\\.sft]\r\n"
        "@=\"Marlin.Trace\"\r\n"
        "[hklm\\software\\tools\\SPY]\r\n"
        "\"Level\"=dword:00000002\r\n";
    const RegistryParseResult r = RegistryTextFormat::parse(text, kMachineRoots);
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    const RegistryKey* spy = r.root.find("SOFTWARE\\Tools\\Spy");
    ASSERT_NE(spy, nullptr);
    EXPECT_EQ(spy->value("InstDir")->data, bytes(std::string("C:\\Tools\\Spy\\\0", 14)));
    // The later line of the same key and value wins, as on import.
    EXPECT_EQ(spy->value("level")->data, (std::vector<std::uint8_t>{2, 0, 0, 0}));
    EXPECT_EQ(spy->value("Bytes")->data, (std::vector<std::uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(spy->value("")->data, bytes(std::string("x\0", 2)));
    ASSERT_NE(r.root.find("SOFTWARE\\Classes\\.sft"), nullptr);
}

TEST(RegistryTextFormatTest, ReadsUtf16FilesOfTheNewerHeader) {
    const std::string utf8 =
        "Windows Registry Editor Version "
        "5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"N\xC3\xA4me\"=\"\xE2\x82\xAC\"\r\n"
        "\"E\"=hex(2):25,00,41,00,25,00,00,00\r\n\"M\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n";
    std::string utf16 = "\xFF\xFE";
    for (unsigned char c :
         std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"N")) {
        utf16 += static_cast<char>(c);
        utf16 += '\0';
    }
    utf16 += std::string("\xE4\x00", 2);  // a-umlaut
    for (unsigned char c : std::string("me\"=\"")) {
        utf16 += static_cast<char>(c);
        utf16 += '\0';
    }
    utf16 += std::string("\xAC\x20", 2);  // euro sign
    for (unsigned char c : std::string("\"\r\n\"E\"=hex(2):25,00,41,00,25,00,00,00\r\n")) {
        utf16 += static_cast<char>(c);
        utf16 += '\0';
    }
    for (const std::string& text : {utf8, utf16}) {
        const RegistryParseResult r = RegistryTextFormat::parse(text, kMachineRoots);
        EXPECT_TRUE(r.problems.empty()) << r.problems.front();
        const RegistryKey* k = r.root.find("K");
        ASSERT_NE(k, nullptr);
        ASSERT_NE(k->value("N\xC3\xA4me"), nullptr);
        EXPECT_EQ(k->value("N\xC3\xA4me")->data, bytes(std::string("\xE2\x82\xAC\0", 4)));
        EXPECT_EQ(k->value("E")->data, bytes(std::string("%A%\0", 4)));
    }
    const RegistryParseResult r = RegistryTextFormat::parse(utf8, kMachineRoots);
    EXPECT_EQ(r.root.find("K")->value("M")->data, bytes(std::string("a\0b\0\0", 5)));
}

TEST(RegistryTextFormatTest, DeletionLinesApply) {
    const std::string text =
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"x\"=\"1\"\n\"y\"=\"2\"\n\"x\"=-\n[-HKEY_LOCAL_MACHINE\\A\\B]"
        "\n"
        "[HKEY_LOCAL_MACHINE\\C]\n\"z\"=\"3\"\n";
    const RegistryParseResult r = RegistryTextFormat::parse(text, kMachineRoots);
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(r.root.find("A\\B"), nullptr);
    EXPECT_NE(r.root.find("A"), nullptr);
    EXPECT_NE(r.root.find("C")->value("z"), nullptr);
}

TEST(RegistryTextFormatTest, NamesTheLinesItCannotRead) {
    const std::string text =
        "[HKEY_LOCAL_MACHINE\\A]\n"  // 1: no header
        "\"ok\"=\"1\"\n"             // 2
        "\"bad\"=dword:123456789\n"  // 3: nine digits
        "\"bad2\"=hex:1,zz\n"        // 4
        "garbage\n"                  // 5
        "[HKEY_CURRENT_USER\\B]\n"   // 6: not this store's root
        "\"orphan\"=\"x\"\n"         // 7: value outside a key
        "[HKEY_LOCAL_MACHINE\\C\n"   // 8: no closing bracket
        "[HKEY_LOCAL_MACHINE\\D]\n"  // 9
        "\"q\"=\"open\n"             // 10: text not closed
        "\"t\"=hex(zz):00\n";        // 11
    const RegistryParseResult r = RegistryTextFormat::parse(text, kMachineRoots);
    std::vector<std::string> lines;
    for (const auto& p : r.problems) lines.push_back(p.substr(0, p.find(':')));
    EXPECT_EQ(lines, (std::vector<std::string>{"line 1", "line 3", "line 4", "line 5", "line 6", "line 7",
                                               "line 8", "line 10", "line 11"}));
    // What could be read is kept.
    EXPECT_NE(r.root.find("A")->value("ok"), nullptr);
    EXPECT_EQ(r.root.find("A")->value("bad"), nullptr);
}

namespace {

std::string nestedKeyLine(std::string_view root, std::size_t levels) {
    std::string line = "[" + std::string(root);
    for (std::size_t i = 0; i < levels; ++i) line += "\\k";
    return line + "]\n";
}

}  // namespace

TEST(RegistryTextFormatTest, KeysDeeperThanTheRegistryAllowsAreUnreadableLines) {
    // 200,000 levels once overflowed the stack; 512 is as deep as the registry nests.
    const std::string text = "REGEDIT4\n" + nestedKeyLine("HKEY_LOCAL_MACHINE", 200000) + "\"v\"=\"1\"\n" +
                             nestedKeyLine("HKEY_LOCAL_MACHINE", 512) + "\"v\"=\"2\"\n" +
                             nestedKeyLine("HKEY_CLASSES_ROOT", 511) + "\"v\"=\"3\"\n" +
                             nestedKeyLine("HKEY_LOCAL_MACHINE", 513);
    const RegistryParseResult r = RegistryTextFormat::parse(text, kMachineRoots);
    std::vector<std::string> lines;
    for (const auto& p : r.problems) lines.push_back(p.substr(0, p.find(':')));
    // The deep keys and the value under the first: HKEY_CLASSES_ROOT lies two levels down.
    EXPECT_EQ(lines, (std::vector<std::string>{"line 2", "line 3", "line 6", "line 7", "line 8"}));
    std::string deepest;
    for (int i = 0; i < 512; ++i) deepest += "k\\";
    EXPECT_NE(r.root.find(deepest), nullptr);
    EXPECT_EQ(r.root.find(deepest + "k"), nullptr);
}

TEST(RegistryTextFormatTest, ManyValuesAndLongContinuedValuesReadBackWhole) {
    RegistryKey root;
    RegistryKey& key = root.create("Big");
    for (int i = 0; i < 2000; ++i) key.setValue("v" + std::to_string(i), kRegDword, {1, 0, 0, 0});
    key.setValue("V17", kRegSz, bytes(std::string("again\0", 6)));  // same name, other case
    key.setValue("blob", kRegBinary, std::vector<std::uint8_t>(100000, 0x5A));
    EXPECT_TRUE(key.removeValue("v3"));
    const std::string text = RegistryTextFormat::format(root, "HKEY_LOCAL_MACHINE");
    const RegistryParseResult back = RegistryTextFormat::parse(text, kMachineRoots);
    ASSERT_TRUE(back.problems.empty());
    const RegistryKey* read = back.root.find("Big");
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->values().size(), 2000u);
    EXPECT_EQ(read->values()[3].name, "v4");
    EXPECT_EQ(read->value("v17")->type, kRegSz);
    EXPECT_EQ(read->value("V1999")->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(read->value("BLOB")->data, std::vector<std::uint8_t>(100000, 0x5A));
    EXPECT_EQ(read->value("v3"), nullptr);
}

}  // namespace marlin::platform
