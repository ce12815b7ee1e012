#include <marlin/platform/VersionInfo.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "PeBuilder.h"
#include "marlin/testing/TempDir.h"
using marlin::testing::TempDir;

namespace marlin::platform {

using namespace VersionInfo;
using pe_builder::Bytes;

namespace {

pe_builder::VersionContent fullContent() {
    pe_builder::VersionContent content;
    content.fileVersionMS = 0x00030005;
    content.fileVersionLS = 0x00000001;
    content.productVersionMS = 0x0001000F;
    content.productVersionLS = 0x00010002;
    content.flags = 0x21;
    content.type = 2;
    content.translation = std::make_pair(std::uint16_t{0x0409}, std::uint16_t{0x04B0});
    content.strings = {{"Comments", "c"},
                       {"CompanyName", "Quazar"},
                       {"FileDescription", "bus"},
                       {"InternalName", "qz"},
                       {"LegalCopyright", "(c)"},
                       {"LegalTrademarks", "tm"},
                       {"OriginalFileName", "qz.dll"},
                       {"ProductName", "Marlin"},
                       {"PrivateBuild", "pb"},
                       {"SpecialBuild", "sb"},
                       {"Label", "lbl"}};
    return content;
}

}  // namespace

TEST(VersionInfoRecordTest, FillsEveryFieldFromAProgramFile) {
    TempDir dir;
    const std::string path =
        dir.write("qz.dll", pe_builder::peFile(pe_builder::versionResource(fullContent())));
    const FileVersionRecord r = GetFileVersionRecord(path);
    EXPECT_EQ(r.FileVersion, "3.5.0.1");
    EXPECT_EQ(r.ProductVersion, "1.15.1.2");
    EXPECT_EQ(r.FlagsText, "Debug Special ");
    EXPECT_EQ(r.OsText, "NT-Win32");
    EXPECT_EQ(r.TypeText, "DLL");
    EXPECT_EQ(r.SubtypeText, "");
    EXPECT_EQ(r.VersionAndType, "3.5.0.1 (type: DLL)");
    EXPECT_EQ(r.Comments, "c");
    EXPECT_EQ(r.CompanyName, "Quazar");
    EXPECT_EQ(r.FileDescription, "bus");
    EXPECT_EQ(r.InternalName, "qz");
    EXPECT_EQ(r.LegalCopyright, "(c)");
    EXPECT_EQ(r.LegalTrademarks, "tm");
    EXPECT_EQ(r.OriginalFileName, "qz.dll");
    EXPECT_EQ(r.ProductName, "Marlin");
    EXPECT_EQ(r.PrivateBuild, "pb");
    EXPECT_EQ(r.SpecialBuild, "sb");
    EXPECT_EQ(r.Label, "lbl");
    ASSERT_TRUE(r.DateLastModified);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(
        std::chrono::duration_cast<std::chrono::seconds>(r.DateLastModified->time_since_epoch()).count(),
        st.st_mtim.tv_sec);
    EXPECT_TRUE(r.DateCreated);
    EXPECT_TRUE(r.DateLastAccessed);
}

TEST(VersionInfoRecordTest, StringsComeFromTheTableOfTheFirstTranslation) {
    for (auto [lang, cp, key] :
         {std::make_tuple(0x0407, 0x04E4, "040704E4"), std::make_tuple(0x0409, 0xFDE9, "0409FDE9")}) {
        EXPECT_EQ(TranslationKey(static_cast<std::uint16_t>(lang), static_cast<std::uint16_t>(cp)), key);
        auto content = fullContent();
        content.translation =
            std::make_pair(static_cast<std::uint16_t>(lang), static_cast<std::uint16_t>(cp));
        content.tableKey = key;
        const auto r = GetVersionRecordFromImage(pe_builder::peFile(pe_builder::versionResource(content)));
        EXPECT_EQ(r.CompanyName, "Quazar") << key;
        // A table under another key is not the one the translation names.
        content.tableKey = "040904B0";
        EXPECT_EQ(
            GetVersionRecordFromImage(pe_builder::peFile(pe_builder::versionResource(content))).CompanyName,
            "");
    }
}

TEST(VersionInfoRecordTest, NoTranslationTableKeepsTheFixedPartOnly) {
    auto content = fullContent();
    content.translation.reset();
    TempDir dir;
    const auto r =
        GetFileVersionRecord(dir.write("a.exe", pe_builder::peFile(pe_builder::versionResource(content))));
    EXPECT_EQ(r.FileVersion, "3.5.0.1");
    EXPECT_EQ(r.ProductVersion, "1.15.1.2");
    EXPECT_EQ(r.FlagsText, "Debug Special ");
    EXPECT_EQ(r.OsText, "NT-Win32");
    EXPECT_EQ(r.TypeText, "DLL");
    EXPECT_EQ(r.VersionAndType, "");
    EXPECT_EQ(r.CompanyName, "");
    EXPECT_FALSE(r.DateLastModified);
}

TEST(VersionInfoRecordTest, DriverSubtypes) {
    auto content = fullContent();
    content.type = 3;
    content.subtype = 12;
    auto r = GetVersionRecordFromImage(pe_builder::peFile(pe_builder::versionResource(content)));
    EXPECT_EQ(r.TypeText, "Device Driver");
    EXPECT_EQ(r.SubtypeText, "");
    EXPECT_EQ(r.VersionAndType, "3.5.0.1 (type: Device Driver)");
    content.subtype = 11;
    r = GetVersionRecordFromImage(pe_builder::peFile(pe_builder::versionResource(content)));
    EXPECT_EQ(r.SubtypeText, "Versioned Printer drv");
}

TEST(VersionInfoRecordTest, MissingFileTextIsTrimmed) {
    TempDir dir;
    const std::string missing = dir.file("nothing.dll");
    EXPECT_EQ(GetFileVersionRecord(missing + "   ").VersionAndType, "File " + missing + " not found!");
    EXPECT_EQ(GetFileVersionRecord(missing + "\r\n").VersionAndType, "File " + missing + " not found!");
    EXPECT_EQ(GetFileVersionRecord("  " + missing + std::string(1, '\0')).VersionAndType,
              "File " + missing + " not found!");
    // A folder is not a file.
    const auto r = GetFileVersionRecord(dir.path().string());
    EXPECT_EQ(r.VersionAndType, "File " + dir.path().string() + " not found!");
    EXPECT_EQ(r.FileVersion, "");
}

TEST(VersionInfoRecordTest, FilesWithoutVersionDataGiveAnEmptyRecord) {
    TempDir dir;
    Bytes noResource = pe_builder::peFile(pe_builder::versionResource(fullContent()));
    noResource[0x40 + 24 + 96 + 16] = 0;  // resource directory address 0
    noResource[0x40 + 24 + 96 + 17] = 0;
    for (const auto& [name, bytes] :
         {std::make_pair("text.txt", Bytes{'h', 'i'}), std::make_pair("empty.dll", Bytes{}),
          std::make_pair("nores.dll", noResource)}) {
        const auto r = GetFileVersionRecord(dir.write(name, bytes));
        EXPECT_EQ(r.VersionAndType, "") << name;
        EXPECT_EQ(r.FileVersion, "") << name;
        EXPECT_FALSE(r.DateLastModified) << name;
    }
}

TEST(VersionInfoRecordTest, TruncatedFileNeverGivesMoreThanItHolds) {
    const Bytes file = pe_builder::peFile(pe_builder::versionResource(fullContent()));
    TempDir dir;
    for (std::size_t n : {std::size_t{0}, std::size_t{0x40}, std::size_t{0x150},
                          pe_builder::kVersionDataOffset + 10, file.size() - 1}) {
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
        const auto r = GetFileVersionRecord(dir.write("cut.dll", cut));
        if (n < pe_builder::kVersionDataOffset + 20) {
            EXPECT_EQ(r.VersionAndType, "") << n;
            EXPECT_EQ(r.CompanyName, "") << n;
        }
    }
}

TEST(VersionInfoRecordTest, NativeLibrariesAndProgramsGetTheirNumbersAndType) {
    TempDir dir;
    const std::string real = dir.write("libqz.so.2.7.13", pe_builder::elfFile(true, 3, false));
    std::filesystem::create_symlink("libqz.so.2.7.13", dir.file("libqz.so.2"));
    for (const std::string& p : {real, dir.file("libqz.so.2")}) {
        const auto r = GetFileVersionRecord(p);
        EXPECT_EQ(r.FileVersion, "2.7.13.0") << p;
        EXPECT_EQ(r.ProductVersion, "2.7.13.0");
        EXPECT_EQ(r.TypeText, "DLL");
        EXPECT_EQ(r.VersionAndType, "2.7.13.0 (type: DLL)");
        EXPECT_TRUE(r.DateLastModified);
    }
    // A position-independent program is a shared object with an interpreter.
    EXPECT_EQ(GetFileVersionRecord(dir.write("tool3.1", pe_builder::elfFile(true, 3, true))).VersionAndType,
              "3.1.0.0 (type: Application)");
    EXPECT_EQ(GetFileVersionRecord(dir.write("tool", pe_builder::elfFile(false, 2, false))).VersionAndType,
              "0.0.0.0 (type: Application)");
    EXPECT_EQ(GetFileVersionRecord(dir.write("obj.o", pe_builder::elfFile(true, 1, false))).VersionAndType,
              "");
    // A truncated ELF header is not a program.
    EXPECT_EQ(GetFileVersionRecord(dir.write("libcut.so.1", Bytes{0x7F, 'E', 'L', 'F', 2})).VersionAndType,
              "");
}

TEST(VersionInfoRecordTest, RealSystemLibraryHasARecord) {
    const std::string dir = GetSystemDir();
    ASSERT_FALSE(dir.empty());
    // The C library is where the system folder was found; its record names it a library.
    bool found = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("libc.so.", 0) != 0) continue;
        const auto r = GetFileVersionRecord(entry.path().string());
        EXPECT_EQ(r.TypeText, "DLL");
        EXPECT_NE(r.FileVersion, "0.0.0.0");
        found = true;
    }
    EXPECT_TRUE(found) << dir;
}

TEST(VersionInfoTextTest, Tables) {
    EXPECT_EQ(FlagsText(0), "");
    EXPECT_EQ(FlagsText(0x3F), "Debug PreRel Patched Private Info Special ");
    EXPECT_EQ(FlagsText(0xFFFFFFC2u), "PreRel ");  // taken as stored: unknown bits add nothing
    EXPECT_EQ(OsText(0x10001), "DOS-Win16");
    EXPECT_EQ(OsText(0x10004), "DOS-Win32");
    EXPECT_EQ(OsText(0x20002), "OS/2-16 PM-16");
    EXPECT_EQ(OsText(0x30003), "OS/2-16 PM-32");
    EXPECT_EQ(OsText(0x40004), "NT-Win32");
    EXPECT_EQ(OsText(4), "Unknown");
    const char* types[] = {"Unknown", "Application",           "DLL",     "Device Driver",
                           "Font",    "Virtual Device Driver", "Unknown", "Static-Link Library",
                           "Unknown"};
    for (std::uint32_t t = 0; t < 9; ++t) EXPECT_EQ(TypeText(t), types[t]) << t;
    EXPECT_EQ(SubtypeText(3, 0), "Unknown");
    EXPECT_EQ(SubtypeText(3, 10), "Comm drv");
    EXPECT_EQ(SubtypeText(4, 3), "TrueType Font");
    EXPECT_EQ(SubtypeText(4, 0), "");
    EXPECT_EQ(SubtypeText(2, 1), "");
    EXPECT_EQ(VersionText(0xFFFF0000u, 0x0000FFFFu), "65535.0.0.65535");
    EXPECT_EQ(HiWord(0xABCD1234u), 0xABCDu);
    EXPECT_EQ(LoWord(0xABCD1234u), 0x1234u);
    EXPECT_EQ(TranslationKey(0x0409, 0x04B0), "040904B0");
}

TEST(VersionInfoTextTest, QueryVersionStringOnRawData) {
    const Bytes data = pe_builder::versionResource(fullContent());
    EXPECT_EQ(QueryVersionString(data, "CompanyName", "040904B0"), "Quazar");
    EXPECT_EQ(QueryVersionString(data, "Nope", "040904B0"), "");
    EXPECT_EQ(QueryVersionString({}, "CompanyName", "040904B0"), "");
}

TEST(VersionInfoTextTest, LongVersionStringsAreKeptWhole) {
    auto content = fullContent();
    const std::string longText(600, 'x');
    content.strings = {{"Comments", longText}};
    EXPECT_EQ(GetVersionRecordFromImage(pe_builder::peFile(pe_builder::versionResource(content))).Comments,
              longText);
}

TEST(VersionInfoTextTest, VersionNumbersFromFileNames) {
    using V = std::vector<std::uint32_t>;
    EXPECT_EQ(VersionFromFileName("libz.so.1.2.13"), (V{1, 2, 13}));
    EXPECT_EQ(VersionFromFileName("libc.so.6"), (V{6}));
    EXPECT_EQ(VersionFromFileName("libfoo-2.3.so"), (V{2, 3}));
    EXPECT_EQ(VersionFromFileName("python3.11"), (V{3, 11}));
    EXPECT_EQ(VersionFromFileName("libx.so.1.2rc"), (V{1, 2}));
    EXPECT_EQ(VersionFromFileName("ls"), V{});
    EXPECT_EQ(VersionFromFileName("libx.so"), V{});
    EXPECT_EQ(VersionFromFileName("libx.so.99999999999"), V{});
}

TEST(VersionInfoTextTest, WindowsVersionTable) {
    EXPECT_EQ(WindowsVersionText(0, 3, 10, 1, ""), "Win32s on Windows 3.1");
    EXPECT_EQ(WindowsVersionText(1, 4, 0, 950, ""), "Windows 95, , build 950");
    EXPECT_EQ(WindowsVersionText(1, 4, 10, 0x040A08AE, " A "), "Windows 98,  A , build 67766446");
    EXPECT_EQ(WindowsVersionText(1, 4, 90, 3000, ""), "Windows Me, , build 3000");
    EXPECT_EQ(WindowsVersionText(2, 4, 0, 1381, "Service Pack 6"),
              "Windows NT 4.0, Service Pack 6, build 1381");
    EXPECT_EQ(WindowsVersionText(2, 5, 0, 2195, std::string_view("Service Pack 4\0junk", 19)),
              "Windows 2000, Service Pack 4, build 2195");
    EXPECT_EQ(WindowsVersionText(2, 5, 0, 2195, ""), "Windows 2000, , build 2195");
    EXPECT_EQ(WindowsVersionText(2, 5, 1, 2600, ""), "Windows XP / .NET Server, , build 2600");
    EXPECT_EQ(WindowsVersionText(2, 3, 51, 1057, ""), "Windows NT 3.51, , build 1057");
    EXPECT_EQ(WindowsVersionText(2, 6, 2, 9200, ""), ", , build 9200");
    EXPECT_EQ(WindowsVersionText(3, 10, 0, 1, ""), "");
}

TEST(VersionInfoTextTest, SystemDescriptionFromItsFacts) {
    const std::string osRelease =
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nVERSION=\"12 "
        "(bookworm)\"\n";
    EXPECT_EQ(PosixVersionText(osRelease, "6.1.0-18-amd64", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1"),
              "Debian GNU/Linux 12 (bookworm), 6.1.0-18-amd64, build 1");
    EXPECT_EQ(PosixVersionText("NAME=Alpine\r\nVERSION='3.19'\r\n", "6.6.1", "SMP 42"),
              "Alpine 3.19, 6.6.1, build 42");
    EXPECT_EQ(PosixVersionText("", "5.0", ""), "Linux, 5.0, build");
    const std::string live = GetWindowsVersionText();
    EXPECT_NE(live.find(", build "), std::string::npos) << live;
    EXPECT_EQ(GetWindowsDir(), "/etc");
}

TEST(VersionInfoOpenTest, ResultAboveThirtyTwoOnlyWhenTheOpenerStarts) {
    TempDir dir;
    ::setenv("MARLIN_OPEN_COMMAND", "true", 1);
    EXPECT_GT(OpenDocument("https://www.quazar.example/"), 32);
    EXPECT_EQ(OpenDocument(""), 2);
    ::setenv("MARLIN_OPEN_COMMAND", dir.file("no-such-opener").c_str(), 1);
    EXPECT_LE(OpenDocument("x"), 32);
    ::unsetenv("MARLIN_OPEN_COMMAND");
}

}  // namespace marlin::platform
