#pragma once
// A recording session over the fake bus, window and stopwatch, writing into a temporary folder.

#include <gtest/gtest.h>

#include <chrono>

#include "marlin/testing/ExampleTime.h"
#include "marlin/testing/FakeBus.h"
#include "marlin/testing/FakeHostProbe.h"
#include "FakeWindow.h"
#include "marlin/core/RecordingSession.h"
#include "marlin/testing/TempDir.h"

namespace marlin::testing {

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        window.settings.fileName = dir.file("trace.sft");
        window.settings.address = "analyzer";
        session.setClock(&exampleTime);
    }

    // Stops the recording once `count` readings are written.
    void stopAfter(int count) {
        window.onEvents = [this, count](std::chrono::milliseconds) {
            if (session.readingCount() >= count && session.readyFlag() && !session.stopFlag())
                session.StopRec_Click();
        };
    }

    TempDir dir;
    FakeStopwatch stopwatch;
    FakeWindow window{stopwatch};
    FakeBus bus;
    FakeHostProbe probe;
    RecordingSession session{window, bus, probe, stopwatch};
};

}  // namespace marlin::testing
