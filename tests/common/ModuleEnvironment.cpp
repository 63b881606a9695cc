// Linked into every test program that uses the module DLL: loads it before the first test, so
// tests may create the module's classes through the core from their first line.
#include "TestSupport.h"

namespace {

struct ModuleEnvironment : ::testing::Environment {
  void SetUp() override { vmdxtest::ModuleHandle(); }
};

[[maybe_unused]] ::testing::Environment* const kModuleEnvironment =
    ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

}  // namespace
