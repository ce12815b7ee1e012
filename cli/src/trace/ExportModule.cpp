#include "ExportModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace marlin::cli {

std::unique_ptr<ExportSink> loadModuleSink(const ExportOptions& options, std::string& error) {
    const bool hdf5 = options.format == ExportFormat::Hdf5;
    const char* const moduleName = hdf5 ? "marlin-cli-hdf5.so" : "marlin-cli-png.so";
    // Each loaded once and never unloaded: the sinks it makes carry its code.
    static void* modules[2] = {nullptr, nullptr};
    static std::string tried[2];
    const int slot = hdf5 ? 0 : 1;
    void*& module = modules[slot];
    if (!module) {
        tried[slot].clear();
        std::error_code ec;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
        // Beside the program or in ../lib in a build tree; in the package's own library folder
        // once installed.
        const std::filesystem::path installed = std::filesystem::path(MARLIN_CLI_MODULE_DIR) / moduleName;
        for (const auto& candidate : {self / moduleName, self.parent_path() / "lib" / moduleName, installed}) {
            module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (module) break;
            tried[slot] += "\n  " + candidate.string() + ": " + ::dlerror();
        }
    }
    if (!module) {
        error = std::string("the export module ") + moduleName + " could not be loaded:" + tried[slot];
        return nullptr;
    }
    using Create = ExportSink* (*)(int, const ExportOptions*);
    const auto create = reinterpret_cast<Create>(::dlsym(module, "marlin_cli_create_export_sink"));
    if (!create) {
        error = "the export module lacks its entry point";
        return nullptr;
    }
    std::unique_ptr<ExportSink> sink(create(static_cast<int>(options.format), &options));
    if (!sink) {
        error = std::string("the export module ") + moduleName + " was built without " +
                (hdf5 ? "the HDF5 library" : "Qt's image code");
    }
    return sink;
}

}  // namespace marlin::cli
