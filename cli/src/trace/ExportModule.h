#pragma once
// The hdf5 and png formats each live in a module of their own (marlin-cli-hdf5, marlin-cli-png)
// that marlin-cli loads only when that format is asked for: their libraries (HDF5, Qt) would
// otherwise be loaded at every start, which costs more than `info` on a file of a hundred megabytes
// takes, and Qt alone takes longer to load than an hdf5 export of ten megabytes.

#include <memory>
#include <string>

#include "ExportSink.h"

// The module's one entry; it returns nullptr for a format it was built without.
extern "C" marlin::cli::ExportSink* marlin_cli_create_export_sink(int format, const marlin::cli::ExportOptions* options);

namespace marlin::cli {

// Loads the format's module beside the program (or in ../lib) and makes the sink; nullptr with
// `error`.
std::unique_ptr<ExportSink> loadModuleSink(const ExportOptions& options, std::string& error);

}  // namespace marlin::cli
