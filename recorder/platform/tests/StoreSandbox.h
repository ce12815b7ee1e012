#pragma once

#include <gtest/gtest.h>

#include "marlin/testing/TempDir.h"
using marlin::testing::TempDir;
#include <marlin/platform/RegistryStore.h>

// Points both registry stores at files of a fresh temporary folder for one test. A process-wide
// sandbox (StoreSandbox.cpp) also moves them through the environment, so no test ever reaches the
// real system or user configuration.
class StoreTest : public ::testing::Test {
protected:
    using Store = marlin::platform::RegistryStore;

    void SetUp() override {
        machinePath = dir.file("etc/marlin/registry.reg");
        userPath = dir.file("home/.config/marlin/registry.reg");
        Store::setStorePath(Store::kLocalMachine, machinePath);
        Store::setStorePath(Store::kCurrentUser, userPath);
    }
    void TearDown() override {
        Store::setStorePath(Store::kLocalMachine, "");
        Store::setStorePath(Store::kCurrentUser, "");
    }

    TempDir dir;
    std::string machinePath;
    std::string userPath;
};
