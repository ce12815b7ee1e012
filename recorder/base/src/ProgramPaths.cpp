#include <marlin/base/ProgramPaths.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace marlin {

std::filesystem::path ProgramPaths::executablePath() {
#ifdef _WIN32
    // Grows the buffer until the whole name fits: the program may sit deeper than MAX_PATH.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::filesystem::path(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
#else
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe;
#endif
}

std::string ProgramPaths::executableDir() {
    const auto exe = executablePath();
    if (exe.empty()) return {};
    try {
        return exe.parent_path().string();
    } catch (const std::exception&) {
        return {};  // a folder name the narrow code page cannot spell
    }
}

std::string ProgramPaths::homeDir() {
#ifdef _WIN32
    if (const char* p = std::getenv("USERPROFILE"); p && *p) return p;
    return {};
#else
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
#endif
}

std::string ProgramPaths::userConfigDir() {
#ifdef _WIN32
    if (const char* p = std::getenv("APPDATA"); p && *p) return join(p, "Marlin");
    return {};
#else
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return join(x, "marlin");
    const auto home = homeDir();
    if (home.empty()) return {};
    return join(join(home, ".config"), "marlin");
#endif
}

bool ProgramPaths::isWritableDir(const std::string& dir) {
    if (dir.empty()) return false;
#ifdef _WIN32
    return _access(dir.c_str(), 2) == 0;
#else
    return access(dir.c_str(), W_OK | X_OK) == 0;
#endif
}

std::string ProgramPaths::join(const std::string& dir, const std::string& name) {
#ifdef _WIN32
    constexpr char sep = '\\';
#else
    constexpr char sep = '/';
#endif
    if (dir.empty()) return name;
    if (dir.back() == '/' || dir.back() == sep) return dir + name;
    return dir + sep + name;
}

}  // namespace marlin
