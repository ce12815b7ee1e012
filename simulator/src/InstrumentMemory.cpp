// Mass memory: trace exports stored as files, file transfer, delete and catalog.

#include <algorithm>
#include <cmath>

#include <marlin/product.h>

#include "BlockFormat.h"
#include "Instrument.h"
#include "InstrumentCommands.h"
#include "ScpiErrors.h"
#include "ScpiValues.h"

namespace marlin::sim {
using namespace instrument_detail;

namespace {

// The second field of an identity text ("QUAZAR,ANALYZER-SIM,..."), the instrument's model.
std::string modelOf(const std::string& identity) {
    const std::size_t first = identity.find(',');
    if (first == std::string::npos) return identity;
    const std::size_t second = identity.find(',', first + 1);
    return identity.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

const char* modeExportName(Instrument::TraceMode mode) {
    switch (mode) {
        case Instrument::TraceMode::Write:
            return "Clear/Write";
        case Instrument::TraceMode::MaxHold:
            return "Max Hold";
        case Instrument::TraceMode::MinHold:
            return "Min Hold";
        case Instrument::TraceMode::Average:
            return "Average";
        case Instrument::TraceMode::View:
            return "View";
    }
    return "Clear/Write";
}

}  // namespace

std::string Instrument::fileKey(std::string_view name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return upper(name);
}

// ---- Mass memory -----------------------------------------------------------------------------

void Instrument::storeTrace(Call& call) {
    const std::optional<double> n = numberParameter(call, 0, 0, 1, kTraceCount, 1);
    if (!n) return;
    const std::optional<std::string> name = stringParameter(call, 1);
    if (!name) return;
    if (fileKey(*name).empty()) {
        pushError(scpi::kIllegalParameterValue);
        return;
    }
    freshenContinuous();
    const Trace& t = traces_[static_cast<std::size_t>(std::lround(*n) - 1)];
    TraceExport e;
    e.type = modelOf(identity_);
    e.version = MARLIN_VERSION_TEXT;
    e.date = hooks_.date();
    e.startHz = startHz();
    e.stopHz = stopHz();
    e.centerHz = (startHz() + stopHz()) / 2.0;
    e.spanHz = stopHz() - startHz();
    e.refLevelDbm = refLevelDbm_;
    e.rbwHz = rbwHz_.value_or(autoRbw());
    e.vbwHz = vbwHz_.value_or(std::min(3.0 * e.rbwHz, kMaxRbwHz));
    e.sweepTimeS = sweepTime_;
    e.traceMode = modeExportName(t.mode);
    e.detector = "Auto Peak";
    for (const DetectorName& d : kDetectors) {
        if (detector_ == d.reply) e.detector = d.exportName;
    }
    e.values = t.values;
    storeFile(fileKey(*name), e.text());
}

// Files count against the device's own limits and the simulator's memory as a whole; a file
// that does not fit is not stored, and the old one of that name stays.
void Instrument::storeFile(const std::string& key, std::string content) {
    const auto old = files_.find(key);
    const std::size_t oldSize = old == files_.end() ? 0 : old->second.size();
    if ((old == files_.end() && files_.size() >= limits_.storedFilesPerDevice) ||
        filesShare_.held() - oldSize + content.size() > limits_.storedBytesPerDevice) {
        pushError(scpi::kMediaFull);
        return;
    }
    if (!filesShare_.grow(content.size())) {
        pushError(scpi::kOutOfMemory);
        return;
    }
    filesShare_.shrink(oldSize);
    files_[key] = std::move(content);
}

void Instrument::memoryData(Call& call) {
    const std::optional<std::string> name = stringParameter(call, 0);
    if (!name) return;
    if (call.query()) {
        const auto it = files_.find(fileKey(*name));
        if (it == files_.end()) {
            pushError(scpi::kFileNameNotFound);
            return;
        }
        std::string unit = BlockFormat::header(it->second.size());
        call.blockOffset = unit.size();
        call.blockLength = it->second.size();
        call.block = true;
        unit += it->second;
        call.reply(std::move(unit));
        return;
    }
    std::string_view data;
    std::size_t consumed = 0;
    const std::string& block = call.param(1);
    if (!BlockFormat::parse(block, data, consumed) || consumed != block.size()) {
        pushError(scpi::kDataTypeError);
        return;
    }
    storeFile(fileKey(*name), std::string(data));
}

void Instrument::memoryDelete(Call& call) {
    const std::optional<std::string> name = stringParameter(call, 0);
    if (!name) return;
    const auto it = files_.find(fileKey(*name));
    if (it == files_.end()) {
        pushError(scpi::kFileNameNotFound);
        return;
    }
    filesShare_.shrink(it->second.size());
    files_.erase(it);
}

void Instrument::memoryCatalog(Call& call) {
    std::string list;
    for (const auto& [name, content] : files_) {
        if (!list.empty()) list += ',';
        list += '"' + name + "\"," + std::to_string(content.size());
    }
    call.reply(list.empty() ? std::string("\"\"") : list);
}

}  // namespace marlin::sim
