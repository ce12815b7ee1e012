#include "marlin/core/ProgramPaths.h"

#include <cstdlib>
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

std::string ProgramPaths::executableDir() {
#ifdef _WIN32
    char buf[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::filesystem::path(std::string(buf, n)).parent_path().string();
#else
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path().string();
#endif
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
