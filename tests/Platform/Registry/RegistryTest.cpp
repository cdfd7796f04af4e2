#include "Platform/Registry/Registry.h"
#include "Platform/Registry/RegistryStore.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace kv::platform;

namespace {

// Each test gets its own settings folder, so stores never leak between tests.
class RegistryTest : public ::testing::Test {
protected:
  kvtest::TempDir dir{"kvreg"};
  kvtest::ScopedEnv env{"KV_CONFIG_DIR", dir.str()};
};

std::string kvreg() { return (kvtest::buildDir() / "bin" / "kvreg").string(); }

} // namespace

TEST_F(RegistryTest, KeyPathsAndValueNamesIgnoreCaseAndSeparators) {
  RegistryStore store;
  store.writeValue("\\Software\\Dolvane\\Korvalis30\\BR", "BackupFile", RegValue::string("/srv/a.zip"));
  struct Row {
    const char* key;
    const char* name;
  } rows[] = {
      {"\\Software\\Dolvane\\Korvalis30\\BR", "BackupFile"},
      {"\\software\\dolvane\\korvalis30\\br", "backupfile"},
      {"SOFTWARE\\DOLVANE\\KORVALIS30\\BR", "BACKUPFILE"},
      {"\\\\Software\\\\Dolvane\\Korvalis30\\BR\\", "BackupFile"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    const auto value = store.readValue(row.key, row.name);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data, "/srv/a.zip");
  }
  // A write under another spelling replaces the value and keeps the first spelling of key and name.
  store.writeValue("\\software\\dolvane\\Korvalis30\\br", "BACKUPFILE", RegValue::string("/srv/b.zip"));
  EXPECT_EQ(store.valueNames("\\Software\\Dolvane\\Korvalis30\\BR"), std::vector<std::string>{"BackupFile"});
  EXPECT_EQ(store.subKeyNames("\\SOFTWARE\\dolvane\\korvalis30"), std::vector<std::string>{"BR"});
  EXPECT_EQ(store.readValue("Software\\Dolvane\\Korvalis30\\BR", "BackupFile")->data, "/srv/b.zip");
  // Parents exist; a similar but different key does not.
  EXPECT_TRUE(store.keyExists("\\software"));
  EXPECT_TRUE(store.keyExists("\\Software\\Dolvane"));
  EXPECT_FALSE(store.keyExists("\\Software\\Dolvan"));
  EXPECT_FALSE(store.readValue("\\Software\\Dolvane\\Korvalis30\\BR", "BackupFil"));
}

TEST_F(RegistryTest, ValuesOfEveryTypeSurviveTheStoreFile) {
  const std::string awkward = std::string("a b\tc\nd%e\r[x]=\x01\x7f\xc3\xbc ", 20);
  const std::string bytes("\x00\xff\x10 %\n", 6);
  {
    RegistryStore store;
    store.writeValue("\\K", "s", RegValue::string(awkward));
    store.writeValue("\\K", "", RegValue::string("default value"));
    store.writeValue("\\K", "name with blanks %20", RegValue::string(""));
    store.writeValue("\\K", "d", RegValue::dword(0xFFFFFFFFu));
    store.writeValue("\\K", "b", RegValue::binary(bytes));
    store.writeValue("\\K\\sub key [1]", "x", RegValue::dword(0));
  }
  RegistryStore again; // a new reader of the same file
  EXPECT_EQ(*again.readValue("\\K", "s"), RegValue::string(awkward));
  EXPECT_EQ(*again.readValue("\\K", ""), RegValue::string("default value"));
  EXPECT_EQ(*again.readValue("\\K", "NAME WITH BLANKS %20"), RegValue::string(""));
  EXPECT_EQ(*again.readValue("\\K", "d"), RegValue::dword(0xFFFFFFFFu));
  EXPECT_EQ(*again.readValue("\\K", "b"), RegValue::binary(bytes));
  EXPECT_EQ(*again.readValue("\\k\\SUB KEY [1]", "X"), RegValue::dword(0));
  EXPECT_EQ(again.valueNames("\\K"), (std::vector<std::string>{"s", "", "name with blanks %20", "d", "b"}));
  EXPECT_TRUE(again.deleteValue("\\K", "S"));
  EXPECT_FALSE(again.deleteValue("\\K", "s"));
  EXPECT_TRUE(again.deleteKey("\\k"));
  EXPECT_FALSE(again.keyExists("\\K\\sub key [1]"));
  EXPECT_FALSE(again.deleteKey("\\K"));
}

TEST_F(RegistryTest, StoreFollowsTheSettingsFolder) {
  RegistryStore(/*root*/ "HKEY_CURRENT_USER").writeValue("\\A", "v", RegValue::string("one"));
  EXPECT_TRUE(std::filesystem::exists(dir / "registry" / "HKEY_CURRENT_USER.reg"));
  kvtest::TempDir other("kvreg2");
  kvtest::ScopedEnv otherEnv("KV_CONFIG_DIR", other.str());
  RegistryStore elsewhere;
  EXPECT_FALSE(elsewhere.readValue("\\A", "v"));
  EXPECT_FALSE(
      std::filesystem::exists(other / "registry" / "HKEY_CURRENT_USER.reg")); // reading creates nothing
  elsewhere.writeValue("\\A", "v", RegValue::string("two"));
  EXPECT_EQ(RegistryStore("HKEY_CURRENT_USER", dir / "registry").readValue("\\A", "v")->data, "one");
}

TEST_F(RegistryTest, WritesReplaceTheFileAndLeaveNoTemporaryFiles) {
  RegistryStore store;
  store.writeValue("\\A", "v", RegValue::string("one"));
  // A temporary file left by a writer that crashed before its rename changes nothing.
  kvtest::writeFile(dir / "registry" / "HKEY_CURRENT_USER.reg.tmpdeadbf", "KVREGISTRY 1\n[A]\ns v half");
  store.writeValue("\\A", "w", RegValue::string("two"));
  EXPECT_EQ(store.readValue("\\A", "v")->data, "one");
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir / "registry")) {
    const auto name = e.path().filename().string();
    if (name != "HKEY_CURRENT_USER.reg.tmpdeadbf") ++entries;
    EXPECT_TRUE(name == "HKEY_CURRENT_USER.reg" || name == "HKEY_CURRENT_USER.reg.lock" ||
                name == "HKEY_CURRENT_USER.reg.tmpdeadbf")
        << name;
  }
  EXPECT_EQ(entries, 2);
}

TEST_F(RegistryTest, DamagedStoreIsReportedAndNeverOverwritten) {
  const auto file = dir / "registry" / "HKEY_CURRENT_USER.reg";
  std::filesystem::create_directories(file.parent_path());
  const char* damaged[] = {
      "not a store\n",
      "KVREGISTRY 1\n[A]\ns v value",        // cut short: no final line feed
      "KVREGISTRY 1\ns v before any key\n",  // value outside a key
      "KVREGISTRY 1\n[A]\nd v 4294967296\n", // integer too big
      "KVREGISTRY 1\n[A]\nb v 0g\n",         // bad hex
      "KVREGISTRY 1\n[A]\ns v bad%2\n",      // cut escape
      "KVREGISTRY 1\n[A]\nx v 1\n",          // unknown type
  };
  for (const char* text : damaged) {
    SCOPED_TRACE(text);
    kvtest::writeFile(file, text);
    RegistryStore store;
    EXPECT_THROW(store.readValue("\\A", "v"), RegistryStoreError);
    EXPECT_THROW(store.writeValue("\\A", "v", RegValue::string("x")), RegistryStoreError);
    EXPECT_EQ(kvtest::readFile(file), text);
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("\\A", true));
  }
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValues = 200;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      int status = 0;
      try {
        RegistryStore store;
        for (int i = 0; i < kValues; ++i)
          store.writeValue("\\Software\\Race", "p" + std::to_string(c) + "_" + std::to_string(i),
                           RegValue::dword(static_cast<uint32_t>(i)));
      } catch (...) {
        status = 1;
      }
      _exit(status);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryStore store;
  EXPECT_EQ(store.valueNames("\\Software\\Race").size(), 2u * kValues);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kValues; ++i) {
      const auto value =
          store.readValue("\\software\\race", "P" + std::to_string(c) + "_" + std::to_string(i));
      ASSERT_TRUE(value) << c << " " << i;
      EXPECT_EQ(value->integer, static_cast<uint32_t>(i));
    }
}

TEST_F(RegistryTest, RegistryObjectOpensKeysLikeTheClassLibrary) {
  TRegistry reg;
  EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
  EXPECT_FALSE(reg.OpenKey("\\Software\\Dolvane", false));
  EXPECT_FALSE(reg.OpenKeyReadOnly("\\Software\\Dolvane"));
  EXPECT_FALSE(reg.HasCurrentKey());
  ASSERT_TRUE(reg.OpenKey("\\Software\\Dolvane", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Dolvane");
  // Relative paths go below the open key, absolute ones from the root.
  ASSERT_TRUE(reg.OpenKey("Korvalis30\\BR", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Dolvane\\Korvalis30\\BR");
  EXPECT_TRUE(reg.KeyExists("\\software\\dolvane\\korvalis30"));
  EXPECT_FALSE(reg.KeyExists("Korvalis30")); // relative to ...\BR
  reg.WriteString("BackupFile", "/srv/save/KorvBak.zip");
  reg.WriteInteger("Count", -5);
  reg.WriteBool("Flag", true);
  const unsigned char bytes[] = {1, 2, 0, 255};
  reg.WriteBinaryData("Blob", bytes, 4);
  reg.CloseKey();

  ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\DOLVANE\\KORVALIS30\\BR"));
  EXPECT_TRUE(reg.ValueExists("backupfile"));
  EXPECT_EQ(reg.ReadString("BACKUPFILE"), "/srv/save/KorvBak.zip");
  EXPECT_EQ(reg.ReadInteger("count"), -5);
  EXPECT_TRUE(reg.ReadBool("flag"));
  unsigned char back[8] = {};
  EXPECT_EQ(reg.ReadBinaryData("blob", back, sizeof back), 4);
  EXPECT_EQ(back[3], 255);
  EXPECT_EQ(reg.GetDataType("Count"), TRegDataType::rdInteger);
  EXPECT_EQ(reg.GetDataType("none"), TRegDataType::rdUnknown);
  kv::platform::TStringList names;
  reg.GetValueNames(names);
  EXPECT_EQ(names.Text(), "BackupFile\nCount\nFlag\nBlob\n");
  // A key opened read-only cannot be written.
  EXPECT_THROW(reg.WriteString("BackupFile", "x"), ERegistryException);
  EXPECT_FALSE(reg.DeleteValue("BackupFile"));
  reg.CloseKey();
  EXPECT_FALSE(reg.ValueExists("BackupFile")); // no key open
  EXPECT_THROW(reg.WriteString("BackupFile", "x"), ERegistryException);
}

TEST_F(RegistryTest, MissingValuesAndWrongTypesRaiseWhatTheClassRaises) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\K", true));
  reg.WriteString("Text", "12");
  reg.WriteInteger("Number", 12);
  reg.WriteString("Empty", "");
  struct Row {
    const char* what;
    std::function<void()> call;
    const char* message; // nullptr: no exception
  } rows[] = {
      {"string missing", [&] { EXPECT_EQ(reg.ReadString("None"), ""); }, nullptr},
      {"string empty", [&] { EXPECT_EQ(reg.ReadString("Empty"), ""); }, nullptr},
      {"string of integer", [&] { reg.ReadString("Number"); }, "Invalid data type for 'Number'"},
      {"integer missing", [&] { reg.ReadInteger("None"); }, "Failed to get data for 'None'"},
      {"integer of string", [&] { reg.ReadInteger("Text"); }, "Invalid data type for 'Text'"},
      {"bool of string", [&] { reg.ReadBool("Text"); }, "Invalid data type for 'Text'"},
      {"binary of string",
       [&] {
         char b[4];
         reg.ReadBinaryData("Text", b, 4);
       },
       "Invalid data type for 'Text'"},
      {"binary missing",
       [&] {
         char b[4];
         reg.ReadBinaryData("None", b, 4);
       },
       "Failed to get data for 'None'"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    if (!row.message) {
      row.call();
      continue;
    }
    try {
      row.call();
      ADD_FAILURE() << "no exception";
    } catch (const ERegistryException& e) {
      EXPECT_EQ(e.Message(), row.message);
    }
  }
  EXPECT_TRUE(reg.DeleteValue("text"));
  EXPECT_FALSE(reg.ValueExists("Text"));
  EXPECT_TRUE(reg.DeleteKey("\\K"));
  EXPECT_FALSE(reg.HasCurrentKey());
}

TEST_F(RegistryTest, KvregRoundTrip) {
  const auto set = kvtest::run(kvreg() + " set '\\Software\\Dolvane\\Korvalis30\\cfg' ape " +
                               kvtest::shellQuote("a value with blanks & ümlauts"));
  EXPECT_EQ(set.exitCode, 0) << set.err;
  const auto get = kvtest::run(kvreg() + " get '\\software\\dolvane\\korvalis30\\CFG' APE");
  EXPECT_EQ(get.exitCode, 0) << get.err;
  EXPECT_EQ(get.out, "a value with blanks & ümlauts\n");
  // What the program wrote, the store reads, and the other way round.
  EXPECT_EQ(RegistryStore().readValue("\\Software\\Dolvane\\Korvalis30\\cfg", "ape")->data,
            "a value with blanks & ümlauts");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Dolvane\\Korvalis30\\cfg\\sub", true));
  reg.WriteInteger("n", 42);
  const auto list = kvtest::run(kvreg() + " list '\\Software\\Dolvane\\Korvalis30\\cfg'");
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_EQ(list.out, "sub\\\nape=a value with blanks & ümlauts\n");
  EXPECT_EQ(kvtest::run(kvreg() + " get '\\Software\\Dolvane\\Korvalis30\\cfg\\sub' n").out, "42\n");

  struct Row {
    const char* args;
    int exitCode;
  } rows[] = {
      {"get '\\Software\\Dolvane\\Korvalis30\\cfg' missing", 1},
      {"get '\\No\\Such\\Key' ape", 1},
      {"list '\\No\\Such\\Key'", 1},
      {"", 2},
      {"get onlykey", 2},
      {"set k n", 2},
      {"frobnicate a b", 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args);
    const auto r = kvtest::run(kvreg() + " " + row.args);
    EXPECT_EQ(r.exitCode, row.exitCode);
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(r.err.empty());
  }
  // A store that cannot be read is a failure of its own.
  kvtest::writeFile(dir / "registry" / "HKEY_CURRENT_USER.reg", "garbage\n");
  EXPECT_EQ(kvtest::run(kvreg() + " get '\\Software' x").exitCode, 3);
}
