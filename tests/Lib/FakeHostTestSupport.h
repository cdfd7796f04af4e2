// The two fake host applications, loaded for each test: one that exports every service
// function and records each call, one that exports a single function. The library is bound
// to no host when the test ends.
#pragma once

#include "uKVHostAppImport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

namespace kvtest {

class FakeHostTest : public ::testing::Test {
protected:
  void SetUp() override {
    fake = dlopen(KV_FAKE_HOST, RTLD_NOW | RTLD_LOCAL);
    single = dlopen(KV_SINGLE_HOST, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(fake, nullptr) << dlerror();
    ASSERT_NE(single, nullptr) << dlerror();
  }
  void TearDown() override {
    uKVHostAppImport::ConnectHostApp(0);
    if (fake) dlclose(fake);
    if (single) dlclose(single);
  }
  // What the full host recorded of the calls it got.
  std::string fakeLog() { return reinterpret_cast<const char* (*)()>(dlsym(fake, "FakeHostLog"))(); }

  void* fake = nullptr;
  void* single = nullptr;
};

} // namespace kvtest
