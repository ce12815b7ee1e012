#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "marlin/testing/TempDir.h"
using marlin::testing::TempDir;
#include <marlin/platform/RegistryStore.h>

namespace {

class Sandbox : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<TempDir>();
        ::setenv(marlin::platform::RegistryStore::kMachineStoreVariable, dir_->file("machine.reg").c_str(), 1);
        ::setenv(marlin::platform::RegistryStore::kUserStoreVariable, dir_->file("user.reg").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", dir_->file("xdg").c_str(), 1);
        ::setenv("HOME", dir_->file("home").c_str(), 1);
    }
    void TearDown() override { dir_.reset(); }

private:
    std::unique_ptr<TempDir> dir_;
};

[[maybe_unused]] ::testing::Environment* const sandbox = ::testing::AddGlobalTestEnvironment(new Sandbox);

}  // namespace
