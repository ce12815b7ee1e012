#include "ExportModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace marlin::cli {

namespace {
constexpr const char* kModuleName = "marlin-cli-export.so";
}

std::unique_ptr<ExportSink> loadModuleSink(const ExportOptions& options, std::string& error) {
    // Loaded once and never unloaded: the sinks it makes carry its code.
    static void* module = nullptr;
    static std::string tried;
    if (!module) {
        std::error_code ec;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
        for (const auto& candidate : {self / kModuleName, self.parent_path() / "lib" / kModuleName}) {
            module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (module) break;
            tried += "\n  " + candidate.string() + ": " + ::dlerror();
        }
    }
    if (!module) {
        error = "the export module could not be loaded:" + tried;
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
        error = std::string("the export module was built without ") +
                (options.format == ExportFormat::Hdf5 ? "the HDF5 library" : "Qt's image code");
    }
    return sink;
}

}  // namespace marlin::cli
