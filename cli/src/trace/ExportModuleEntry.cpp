// The entry of the marlin-cli-export module (hdf5 and png).
#include "ExportModule.h"

extern "C" __attribute__((visibility("default"))) marlin::cli::ExportSink* marlin_cli_create_export_sink(
    int format, const marlin::cli::ExportOptions* options) {
    using marlin::cli::ExportFormat;
    switch (static_cast<ExportFormat>(format)) {
        case ExportFormat::Hdf5:
            return marlin::cli::makeHdf5Sink(*options).release();
        case ExportFormat::Png:
            return marlin::cli::makePngSink(*options).release();
        default:
            return nullptr;
    }
}
