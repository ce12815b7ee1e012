#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Platform facts for the About window and the support report: the version record of a file, a
// readable description of the operating system, its main folders, and opening a document or an
// address with the program the desktop associates with it.
//
// Version records come from the version resource of Windows program files (.exe, .dll, .ocx,
// .sys), read by our own parser on every platform. Native programs and shared libraries of this
// platform have no such resource; they get the same record from their file name's version numbers.
namespace marlin::platform::VersionInfo {

using FileTime = std::optional<std::chrono::system_clock::time_point>;

struct FileVersionRecord {
    std::string Comments;
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string LegalTrademarks;
    std::string OriginalFileName;
    std::string ProductName;
    std::string ProductVersion;
    std::string PrivateBuild;
    std::string SpecialBuild;
    std::string FlagsText;
    std::string OsText;
    std::string TypeText;
    std::string SubtypeText;
    std::string VersionAndType;
    std::string Label;
    FileTime DateCreated;
    FileTime DateLastAccessed;
    FileTime DateLastModified;
};

// The version record of the file at `path`. Never fails: a missing file gives the not-found text
// in VersionAndType, a file without version data an empty record, a damaged one what could be read.
FileVersionRecord GetFileVersionRecord(const std::string& path);

// The version record of a Windows program file held in memory (no file dates).
FileVersionRecord GetVersionRecordFromImage(std::span<const std::uint8_t> image);

// "Debian GNU/Linux 12 (bookworm), 6.1.0-18-amd64, build 1" here; the Windows name table there.
std::string GetWindowsVersionText();
// The system's configuration folder here, the Windows folder there.
std::string GetWindowsDir();
// The folder of the system's own shared libraries here, the system folder there.
std::string GetSystemDir();
// Opens a document or an address with its associated program. Above 32 means the request went
// out; 2 for an empty text, 31 when there is no program to open it with, 0 when out of resources.
// Off Windows the opener is xdg-open, or the program named by MARLIN_OPEN_COMMAND when set.
int OpenDocument(const std::string& text);

// Queried text of "\StringFileInfo\<languageCodePage>\<keyName>" of raw version data; "" if absent.
std::string QueryVersionString(std::span<const std::uint8_t> versionData, std::string_view keyName,
                               std::string_view languageCodePage);
std::uint32_t HiWord(std::uint32_t value);
std::uint32_t LoWord(std::uint32_t value);

// The pieces of the record, exposed for their tables.
std::string FlagsText(std::uint32_t flags);
std::string OsText(std::uint32_t fileOs);
std::string TypeText(std::uint32_t fileType);
std::string SubtypeText(std::uint32_t fileType, std::uint32_t fileSubtype);
std::string VersionText(std::uint32_t high, std::uint32_t low);
std::string TranslationKey(std::uint16_t language, std::uint16_t codePage);
// The not-found text for a path, trimmed of blanks, line breaks and zero characters at both ends.
std::string NotFoundText(std::string_view path);
// The version numbers a file name carries: "libz.so.1.2.13" gives 1, 2, 13; "python3.11" 3, 11.
std::vector<std::uint32_t> VersionFromFileName(std::string_view fileName);

// The operating-system description from the Windows version record (platform id 0, 1 or 2).
std::string WindowsVersionText(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                               std::uint32_t build, std::string_view servicePack);
// The same shape from this system's facts: the contents of os-release, the kernel release and the
// kernel version ("#1 SMP ..."), whose build number follows the "#".
std::string PosixVersionText(std::string_view osRelease, std::string_view kernelRelease,
                             std::string_view kernelVersion);

}  // namespace marlin::platform::VersionInfo
