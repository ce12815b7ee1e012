#include <marlin/platform/VersionInfo.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <marlin/platform/ByteSource.h>
#include <marlin/platform/ElfImage.h>
#include <marlin/platform/FileByteSource.h>
#include <marlin/platform/PeImage.h>
#include <marlin/platform/VersionResource.h>

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace marlin::platform::VersionInfo {

namespace {

constexpr std::array<const char*, 11> kStringNames = {
    "Comments",         "CompanyName", "FileDescription", "InternalName", "LegalCopyright", "LegalTrademarks",
    "OriginalFileName", "ProductName", "PrivateBuild",    "SpecialBuild", "Label"};

std::string* stringField(FileVersionRecord& r, std::size_t index) {
    std::string* fields[] = {&r.Comments,         &r.CompanyName,    &r.FileDescription,
                             &r.InternalName,     &r.LegalCopyright, &r.LegalTrademarks,
                             &r.OriginalFileName, &r.ProductName,    &r.PrivateBuild,
                             &r.SpecialBuild,     &r.Label};
    return fields[index];
}

// Fills the record from version data; false when the data carry no translation table, in which
// case only the fixed part's fields are set.
bool fillFromVersionData(std::span<const std::uint8_t> data, FileVersionRecord& r) {
    const VersionResource resource(data);
    if (const auto fixed = resource.fixedInfo()) {
        r.FileVersion = VersionText(fixed->fileVersionMS, fixed->fileVersionLS);
        r.ProductVersion = VersionText(fixed->productVersionMS, fixed->productVersionLS);
        r.FlagsText = FlagsText(fixed->fileFlags);
        r.OsText = OsText(fixed->fileOS);
        r.TypeText = TypeText(fixed->fileType);
        r.SubtypeText = SubtypeText(fixed->fileType, fixed->fileSubtype);
    }
    const auto translation = resource.firstTranslation();
    if (!translation) return false;
    const std::string key = TranslationKey(translation->first, translation->second);
    for (std::size_t i = 0; i < kStringNames.size(); ++i) {
        *stringField(r, i) = resource.queryString(key, kStringNames[i]).value_or("");
    }
    return true;
}

std::string finishVersionAndType(const FileVersionRecord& r) {
    return r.FileVersion + " (type: " + r.TypeText + ")";
}

std::string fileName(const std::filesystem::path& p) {
    return p.filename().string();
}

bool nameLooksLikeLibrary(std::string_view name) {
    const auto so = name.find(".so");
    return so != std::string_view::npos && (so + 3 == name.size() || name[so + 3] == '.');
}

void fillFileTimes(const std::string& path, FileVersionRecord& r) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return;
    auto convert = [](const FILETIME& ft) {
        const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        // 100 ns ticks since 1601-01-01.
        const auto sinceUnix =
            std::chrono::microseconds(static_cast<std::int64_t>(ticks / 10) - 11644473600000000LL);
        return std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceUnix));
    };
    r.DateCreated = convert(data.ftCreationTime);
    r.DateLastAccessed = convert(data.ftLastAccessTime);
    r.DateLastModified = convert(data.ftLastWriteTime);
#else
    auto convert = [](std::int64_t sec, std::int64_t nsec) {
        return std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::seconds(sec) +
                                                                            std::chrono::nanoseconds(nsec)));
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    r.DateLastAccessed = convert(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    r.DateLastModified = convert(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    // The creation time where the file system keeps one; otherwise the status-change time, the
    // nearest it offers.
    r.DateCreated = convert(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
#if defined(STATX_BTIME)
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME)) {
        r.DateCreated = convert(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    }
#endif
#endif
}

std::string trimmed(std::string_view s, std::string_view what) {
    const auto first = s.find_first_not_of(what);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(what);
    return std::string(s.substr(first, last - first + 1));
}

}  // namespace

std::uint32_t HiWord(std::uint32_t value) {
    return value >> 16;
}
std::uint32_t LoWord(std::uint32_t value) {
    return value & 0xFFFF;
}

std::string VersionText(std::uint32_t high, std::uint32_t low) {
    return std::to_string(HiWord(high)) + "." + std::to_string(LoWord(high)) + "." +
           std::to_string(HiWord(low)) + "." + std::to_string(LoWord(low));
}

std::string FlagsText(std::uint32_t flags) {
    static constexpr const char* kWords[] = {"Debug ",   "PreRel ", "Patched ",
                                             "Private ", "Info ",   "Special "};
    std::string text;
    for (unsigned bit = 0; bit < 6; ++bit) {
        if (flags & (1u << bit)) text += kWords[bit];
    }
    return text;
}

std::string OsText(std::uint32_t fileOs) {
    switch (fileOs) {
        case 0x10001:
            return "DOS-Win16";
        case 0x10004:
            return "DOS-Win32";
        case 0x20002:
            return "OS/2-16 PM-16";
        case 0x30003:
            return "OS/2-16 PM-32";
        case 0x40004:
            return "NT-Win32";
        default:
            return "Unknown";
    }
}

std::string TypeText(std::uint32_t fileType) {
    switch (fileType) {
        case 1:
            return "Application";
        case 2:
            return "DLL";
        case 3:
            return "Device Driver";
        case 4:
            return "Font";
        case 5:
            return "Virtual Device Driver";
        case 7:
            return "Static-Link Library";
        default:
            return "Unknown";
    }
}

std::string SubtypeText(std::uint32_t fileType, std::uint32_t fileSubtype) {
    if (fileType == 3) {
        static constexpr const char* kDrivers[] = {"Unknown",      "Printer drv", "Keyboard drv",
                                                   "Language drv", "Display drv", "Mouse drv",
                                                   "Network drv",  "System drv",  "Installable",
                                                   "Sound drv",    "Comm drv",    "Versioned Printer drv"};
        return fileSubtype < std::size(kDrivers) ? kDrivers[fileSubtype] : "";
    }
    if (fileType == 4) {
        switch (fileSubtype) {
            case 1:
                return "Raster Font";
            case 2:
                return "Vector Font";
            case 3:
                return "TrueType Font";
            default:
                return "";
        }
    }
    return "";
}

std::string TranslationKey(std::uint16_t language, std::uint16_t codePage) {
    char key[9];
    std::snprintf(key, sizeof key, "%04X%04X", language, codePage);
    return key;
}

std::string NotFoundText(std::string_view path) {
    return "File " + trimmed(path, std::string_view(" \r\n\0", 4)) + " not found!";
}

std::vector<std::uint32_t> VersionFromFileName(std::string_view name) {
    auto parseRun = [](std::string_view run) {
        std::vector<std::uint32_t> numbers;
        std::size_t pos = 0;
        while (pos < run.size()) {
            std::size_t end = pos;
            std::uint64_t n = 0;
            while (end < run.size() && run[end] >= '0' && run[end] <= '9' && n <= 0xFFFFFFFFull) {
                n = n * 10 + static_cast<std::uint64_t>(run[end] - '0');
                ++end;
            }
            if (end == pos || n > 0xFFFFFFFFull) break;
            numbers.push_back(static_cast<std::uint32_t>(n));
            if (end >= run.size() || run[end] != '.') break;
            pos = end + 1;
        }
        return numbers;
    };
    // A shared library's numbers follow ".so." ("libz.so.1.2.13").
    const auto so = name.find(".so.");
    if (so != std::string_view::npos) return parseRun(name.substr(so + 4));
    // Otherwise the run of numbers that ends the name, without a ".so" ("libfoo-2.3.so", "python3.11").
    std::string_view stem = name;
    if (stem.size() > 3 && stem.substr(stem.size() - 3) == ".so") stem.remove_suffix(3);
    std::size_t start = stem.size();
    while (start > 0 && ((stem[start - 1] >= '0' && stem[start - 1] <= '9') || stem[start - 1] == '.'))
        --start;
    while (start < stem.size() && stem[start] == '.') ++start;
    return parseRun(stem.substr(start));
}

std::string QueryVersionString(std::span<const std::uint8_t> versionData, std::string_view keyName,
                               std::string_view languageCodePage) {
    return VersionResource(versionData).queryString(languageCodePage, keyName).value_or("");
}

FileVersionRecord GetVersionRecordFromImage(std::span<const std::uint8_t> image) {
    FileVersionRecord r;
    const SpanByteSource source(image);
    const auto data = PeImage::versionResource(source);
    if (!data || data->size() <= 1) return r;
    if (fillFromVersionData(*data, r)) r.VersionAndType = finishVersionAndType(r);
    return r;
}

FileVersionRecord GetFileVersionRecord(const std::string& path) {
    FileVersionRecord r;
    std::error_code ec;
    // A name with a zero character in it cannot name a file.
    if (path.find('\0') != std::string::npos || !std::filesystem::is_regular_file(path, ec)) {
        r.VersionAndType = NotFoundText(path);
        return r;
    }
    const FileByteSource source(path);
    if (!source.isOpen()) return r;

    const std::filesystem::path canonical = std::filesystem::canonical(path, ec);
    const std::string name = fileName(path);
    const std::string realName = ec ? name : fileName(canonical);
    if (const auto elf =
            ElfImage::kind(source, nameLooksLikeLibrary(name) || nameLooksLikeLibrary(realName))) {
        if (*elf == ElfImage::Kind::Other) return r;
        // The real file's name carries the full version ("libz.so.1" points at "libz.so.1.2.13").
        std::vector<std::uint32_t> numbers = VersionFromFileName(realName);
        if (numbers.empty()) numbers = VersionFromFileName(name);
        numbers.resize(4, 0);
        std::string version;
        for (std::size_t i = 0; i < 4; ++i) version += (i ? "." : "") + std::to_string(numbers[i]);
        r.FileVersion = r.ProductVersion = version;
        r.OsText = OsText(0);
        r.TypeText = *elf == ElfImage::Kind::Program ? "Application" : "DLL";
        fillFileTimes(path, r);
        r.VersionAndType = finishVersionAndType(r);
        return r;
    }

    const auto data = PeImage::versionResource(source);
    if (!data || data->size() <= 1) return r;
    if (!fillFromVersionData(*data, r)) return r;
    fillFileTimes(path, r);
    r.VersionAndType = finishVersionAndType(r);
    return r;
}

std::string WindowsVersionText(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                               std::uint32_t build, std::string_view servicePack) {
    if (platformId == 0) return "Win32s on Windows 3.1";
    if (platformId != 1 && platformId != 2) return "";
    std::string name;
    if (platformId == 1) {
        if (minor == 0)
            name = "Windows 95";
        else if (minor == 10)
            name = "Windows 98";
        else if (minor == 90)
            name = "Windows Me";
    } else {
        if (minor == 0 && major == 4)
            name = "Windows NT 4.0";
        else if (minor == 0 && major == 5)
            name = "Windows 2000";
        else if (minor == 1)
            name = "Windows XP / .NET Server";
        else if (minor == 51)
            name = "Windows NT 3.51";
    }
    const std::string_view sp = servicePack.substr(0, servicePack.find('\0'));
    return trimmed(name + ", " + std::string(sp) + ", build " + std::to_string(build), " ");
}

std::string PosixVersionText(std::string_view osRelease, std::string_view kernelRelease,
                             std::string_view kernelVersion) {
    std::string pretty, plain, version;
    std::istringstream lines{std::string(osRelease)};
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        const std::string key = line.substr(0, eq);
        if (key == "PRETTY_NAME")
            pretty = value;
        else if (key == "NAME")
            plain = value;
        else if (key == "VERSION")
            version = value;
    }
    std::string name = pretty;
    if (name.empty()) name = trimmed(plain + " " + version, " ");
    if (name.empty()) name = "Linux";

    // The kernel version reads "#<build> SMP ..."; a differently shaped one gives its first number.
    std::string build;
    std::size_t at = kernelVersion.find('#');
    at = at == std::string_view::npos ? kernelVersion.find_first_of("0123456789") : at + 1;
    while (at < kernelVersion.size() && kernelVersion[at] >= '0' && kernelVersion[at] <= '9')
        build += kernelVersion[at++];
    return trimmed(name + ", " + std::string(kernelRelease) + ", build " + build, " ");
}

std::string GetWindowsVersionText() {
#ifdef _WIN32
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    if (!GetVersionExA(&info)) return "";
    return WindowsVersionText(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                              std::string_view(info.szCSDVersion, sizeof info.szCSDVersion));
#else
    std::string osRelease;
    for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream in(file);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        osRelease = text.str();
        break;
    }
    struct utsname u {};
    if (::uname(&u) != 0) return PosixVersionText(osRelease, "", "");
    return PosixVersionText(osRelease, u.release, u.version);
#endif
}

std::string GetWindowsDir() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1];
    const UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
#else
    return "/etc";
#endif
}

std::string GetSystemDir() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryA(buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
#else
    // The folder the C library was loaded from is where the system keeps its own libraries
    // ("/usr/lib/x86_64-linux-gnu" on a multiarch system).
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&::getpid), &info) != 0 && info.dli_fname &&
        info.dli_fname[0] == '/') {
        std::error_code ec;
        std::filesystem::path lib = std::filesystem::canonical(info.dli_fname, ec);
        if (!ec) return lib.parent_path().string();
    }
    return "/usr/lib";
#endif
}

int OpenDocument(const std::string& text) {
    if (text.empty() || text.find('\0') != std::string::npos) return 2;
#ifdef _WIN32
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, nullptr, text.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return static_cast<int>(result);
#else
    const char* configured = std::getenv("MARLIN_OPEN_COMMAND");
    const std::string opener = configured && *configured ? configured : "xdg-open";
    // The opener would take a leading "-" for an option of its own.
    std::string argument = text.front() == '-' ? "./" + text : text;
    char* argv[] = {const_cast<char*>(opener.c_str()), argument.data(), nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, opener.c_str(), nullptr, nullptr, argv, environ);
    if (rc != 0) return rc == ENOENT || rc == EACCES ? 31 : 0;
    // The opener may run as long as the document stays open; collect it when it ends.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return 42;
#endif
}

}  // namespace marlin::platform::VersionInfo
