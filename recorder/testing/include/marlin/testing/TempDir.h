#pragma once
// A fresh folder per test under the system's temporary folder, removed with everything in it at
// the end, and the file helpers the tests use with it.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>

namespace marlin::testing {

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("marlin-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    // Writes a file in the folder and returns its path.
    std::string write(const std::string& name, std::span<const std::uint8_t> bytes) const {
        const std::string p = file(name);
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    std::string write(const std::string& name, const std::string& text) const {
        const std::string p = file(name);
        writeFile(p, text);
        return p;
    }
    static std::string read(const std::string& p) { return readFile(p); }

private:
    std::filesystem::path path_;
};

}  // namespace marlin::testing
