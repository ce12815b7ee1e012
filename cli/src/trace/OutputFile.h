#pragma once
// A file written through a large buffer, whose errors name the file the user asked for.

#include <cstdio>
#include <memory>
#include <string>

namespace marlin::cli {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // `path` is opened (created or emptied); messages name `shownName`.
    bool open(const std::string& path, const std::string& shownName, std::string& error);
    bool write(const void* data, std::size_t size, std::string& error);
    // Writes at `offset` without moving the append position (for headers completed at the end).
    bool writeAt(long long offset, const void* data, std::size_t size, std::string& error);
    bool close(std::string& error);

private:
    bool fail(const char* what, std::string& error);
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;  // given to stdio: without one it ignores the size asked for
    std::string name_;
};

}  // namespace marlin::cli
