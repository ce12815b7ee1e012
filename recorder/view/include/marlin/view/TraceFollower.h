#pragma once
// Follows one trace file into a ViewModel: each poll() reads what was added since the last one
// (the whole file the first time), starts the model afresh when the file was emptied and written
// again, and serves the model's requests for other readings. Only complete sections ever reach
// the model; a section still being written is left for the next poll.

#include <marlin/reader/TraceReader.h>
#include <marlin/view/ViewModel.h>

#include <functional>
#include <string>
#include <vector>

namespace marlin::view {

class TraceFollower {
public:
    TraceFollower(ViewModel& model, std::string path);

    // Called now and then during a long poll (opening a large file), from the polling thread.
    void setProgress(std::function<void()> progress) { progress_ = std::move(progress); }

    reader::UpdateStatus poll();
    // Loads the readings the model asked for (a selected one, the window of the holds); true if any.
    bool serveRequests();

    const reader::TraceReader& reader() const { return reader_; }
    const std::string& path() const { return reader_.path(); }

private:
    ViewModel& model_;
    reader::TraceReader reader_;
    std::function<void()> progress_;
    std::vector<float> values_;
    std::uint64_t fed_ = 0;  // sections given to the model
};

}  // namespace marlin::view
