// The entry of an export module: marlin-cli-hdf5 or marlin-cli-png, as the build chooses.
#include "ExportModule.h"

extern "C" __attribute__((visibility("default"))) marlin::cli::ExportSink* marlin_cli_create_export_sink(
    int format, const marlin::cli::ExportOptions* options) {
    using marlin::cli::ExportFormat;
    switch (static_cast<ExportFormat>(format)) {
#ifdef MARLIN_EXPORT_MODULE_HDF5
        case ExportFormat::Hdf5:
            return marlin::cli::makeHdf5Sink(*options).release();
#endif
#ifdef MARLIN_EXPORT_MODULE_PNG
        case ExportFormat::Png:
            return marlin::cli::makePngSink(*options).release();
#endif
        default:
            return nullptr;
    }
}
