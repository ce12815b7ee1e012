#pragma once
// Where the recorder's own files live: the program's folder, the user's home and config folders.

#include <filesystem>
#include <string>

namespace marlin {

class ProgramPaths {
public:
    // The running program's own file (empty if unknown).
    static std::filesystem::path executablePath();
    // Folder of the running program, without a trailing separator (empty if unknown).
    static std::string executableDir();
    // The user's home folder (empty if unknown).
    static std::string homeDir();
    // The user's configuration folder for this program ($XDG_CONFIG_HOME/marlin or
    // ~/.config/marlin; %APPDATA%\Marlin on Windows). Not created here.
    static std::string userConfigDir();
    // True when a file can be created or replaced in `dir`.
    static bool isWritableDir(const std::string& dir);
    // Joins folder and name with the platform's separator.
    static std::string join(const std::string& dir, const std::string& name);
};

}  // namespace marlin
