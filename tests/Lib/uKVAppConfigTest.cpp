#include "uKVAppConfig.h"
#include "uKVCrypto.h"

#include "Platform/Registry/Registry.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using uKVAppConfig::TKVConfig;
using uKVAppConfig::TKVConfigVersion;

namespace {

class AppConfigTest : public ::testing::Test {
protected:
  kvtest::TempDir dir{"kvcfg"};
  kvtest::ScopedEnv env{"KV_CONFIG_DIR", dir.str()};

  static std::string fixture(const std::string& name) {
    return (kvtest::sourceDir() / "tests" / "Lib" / "pe-fixtures" / name).string();
  }
  // Writes the value as an installation does: with kvreg, under the key's usual spelling.
  static void installApe(const std::string& text) {
    const auto kvreg = (kvtest::buildDir() / "bin" / "kvreg").string();
    const auto r =
        kvtest::run(kvreg + " set '\\Software\\Dolvane\\Korvalis30\\cfg' ape " + kvtest::shellQuote(text));
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  static std::vector<int> numbers(const TKVConfigVersion* v) {
    return {v->Major, v->Minor, v->Release, v->Build};
  }
};

} // namespace

TEST_F(AppConfigTest, MissingValueCreatesTheKeyAndGivesZeros) {
  kv::platform::RegistryStore store;
  ASSERT_FALSE(store.keyExists("\\Software\\Dolvane\\Korvalis30\\cfg"));
  TKVConfig config;
  EXPECT_EQ(config.Version, nullptr);
  TKVConfigVersion* version = config.GetAppVersion();
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(numbers(version), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_TRUE(store.keyExists("\\Software\\Dolvane\\Korvalis30\\cfg"));
  EXPECT_TRUE(store.valueNames("\\Software\\Dolvane\\Korvalis30\\cfg").empty());
  EXPECT_EQ(config.GetAppVersion(), version); // the same object again
}

TEST_F(AppConfigTest, VersionOfTheFileNamedByTheEncryptedValue) {
  struct Row {
    std::string ape;
    std::vector<int> expected; // Major, Minor, Release, Build
  } rows[] = {
      {uKVCrypto::KVEncryptString(fixture("multi32.exe")), {1, 2, 3, 45}},
      {uKVCrypto::KVEncryptString(fixture("partial64.dll")), {4, 5, 6, 7}},
      {uKVCrypto::KVEncryptString(fixture("noversion64.exe")), {0, 0, 0, 0}},
      {uKVCrypto::KVEncryptString((dir / "missing.exe").string()), {0, 0, 0, 0}},
      {fixture("multi32.exe"), {0, 0, 0, 0}}, // a plain name does not decrypt
      {"", {0, 0, 0, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.ape);
    installApe(row.ape);
    TKVConfig config;
    EXPECT_EQ(numbers(config.GetAppVersion()), row.expected);
  }
}

TEST_F(AppConfigTest, ReadsOnceForTheObjectsLife) {
  installApe(uKVCrypto::KVEncryptString(fixture("multi64.exe")));
  TKVConfig config;
  EXPECT_EQ(numbers(config.GetAppVersion()), (std::vector<int>{1, 2, 3, 45}));
  installApe(uKVCrypto::KVEncryptString(fixture("partial64.dll")));
  EXPECT_EQ(numbers(config.GetAppVersion()), (std::vector<int>{1, 2, 3, 45}));
  TKVConfig fresh;
  EXPECT_EQ(numbers(fresh.GetAppVersion()), (std::vector<int>{4, 5, 6, 7}));
}

TEST_F(AppConfigTest, ValueOfAnotherTypeRaisesTheRegistryException) {
  kv::platform::TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Dolvane\\Korvalis30\\cfg", true));
  reg.WriteInteger("ape", 5);
  TKVConfig config;
  EXPECT_THROW(config.GetAppVersion(), kv::platform::ERegistryException);
  EXPECT_EQ(config.Version, nullptr);
}
