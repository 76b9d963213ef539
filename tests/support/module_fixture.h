// A stand-in host with the module loaded and its handler activated at
// version 2, for tests that drive the module the way the host does.
#pragma once

#include "plugin/identity.h"
#include "standin/standin.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace testsupport {

// The shipped plug-in and its test build (counting, failure-injecting
// allocator) sit beside the test executables.
inline const char* kProductModule = "vrim_s.p";
inline const char* kProbeModule = "vrim_s_test.p";

inline std::unique_ptr<standin::ModuleFile> openModule(const char* path) {
    std::string error;
    auto module = standin::ModuleFile::open(path, error);
    EXPECT_NE(module, nullptr) << error;
    return module;
}

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        module = openModule(kProbeModule);
        ASSERT_NE(module, nullptr);
        probe = module->memoryProbe();
        ASSERT_NE(probe, nullptr);
        ASSERT_EQ(handler.activate(*module, host, vrim::kServerName), 0);
    }

    // Fails the Nth allocation from now on (1-based); 0 switches failing off.
    void failAllocation(int64_t n) {
        probe->allocations = 0;
        probe->failAt = n;
    }

    standin::Host host;
    std::unique_ptr<standin::ModuleFile> module;
    MemoryProbe* probe = nullptr;
    standin::Handler handler;
};

} // namespace testsupport
