#include "Platform/Volumes/Volumes.h"
#include "TestSupport.h"
#include "UDisksMock.h"

#include <gtest/gtest.h>

using namespace kv::platform;

namespace {
// A system bus that is not there: nothing reaches the machine's own disk service.
const char* const NoBus = "unix:path=/nonexistent/korvalis-test-bus";
} // namespace

TEST(RealVolumes, RootOfAPathAndItsSpace) {
  kvtest::ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", NoBus);
  RealVolumes v;
  kvtest::TempDir dir;
  const std::string root = v.volumeRoot((dir / "not-yet.zip").string());
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(root.back(), '/');
  EXPECT_EQ(v.volumeRoot("/"), "/");
  EXPECT_NE(v.driveType(root), DriveType::NoRootDir);
  EXPECT_EQ(v.driveType("/no/such/mount"), DriveType::NoRootDir);
  auto space = v.space(root);
  ASSERT_TRUE(space);
  EXPECT_LE(space->freeBytes, space->totalBytes);
}

TEST(RealVolumes, VolumesTheDiskServiceReportsMountedAreItsRemovableDisks) {
  kvtest::TempDir dir;
  kvtest::UDisksMock mock(dir.path(), {{"stick", "OLD"}, {"blank", ""}});
  ASSERT_TRUE(mock.ready()) << mock.log();
  RealVolumes v;
  const std::string kernelRoot = v.volumeRoot(dir.str());
  struct Case {
    const char* disk; // in the drive, "" for none
    std::string path;
    std::string root;
    DriveType type;
    std::optional<std::string> label;
  };
  const Case cases[] = {
      {"stick", mock.drive() + "sub/KorvBak.zip", mock.drive(), DriveType::Removable, "OLD"},
      {"stick", mock.drive(), mock.drive(), DriveType::Removable, "OLD"},
      {"blank", mock.drive() + "KorvBak.zip", mock.drive(), DriveType::Removable, ""},
      // An empty drive is no volume: its folder belongs to the volume around it.
      {"", mock.drive() + "KorvBak.zip", kernelRoot, DriveType::NoRootDir, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.disk) + " " + c.path);
    ASSERT_TRUE(mock.insert(c.disk));
    EXPECT_EQ(v.volumeRoot(c.path), c.root);
    EXPECT_EQ(v.driveType(mock.drive()), c.type);
    EXPECT_EQ(v.label(mock.drive()), c.label);
  }
}

TEST(RealVolumes, LabelsAndFormatsThroughTheDiskService) {
  struct Case {
    const char* what;
    std::string refusal;             // the mock's reason for refusing, "" when it does as asked
    bool noService;                  // no bus at all
    bool labelled;                   // setLabel's answer
    FormatResult formatted;          // formatVolume's answer
    std::string labelWhy, formatWhy; // part of the reasons given
  };
  const std::string refusal = "Not authorized to perform operation";
  const Case cases[] = {
      {"as asked", "", false, true, FormatResult::Done, "", ""},
      {"refused", refusal, false, false, FormatResult::Refused, refusal, refusal},
      // Without the service its drive is no volume at all.
      {"no service", "", true, false, FormatResult::Refused, "cannot be reached",
       "is not the root of a removable volume"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kvtest::TempDir dir;
    kvtest::UDisksMock mock(dir.path(), {{"stick", "MY STICK"}}, c.refusal);
    ASSERT_TRUE(mock.ready()) << mock.log();
    ASSERT_TRUE(mock.insert("stick"));
    kvtest::writeFile(mock.drive() + "old.txt", "old");
    std::unique_ptr<kvtest::ScopedEnv> gone;
    if (c.noService) gone = std::make_unique<kvtest::ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", NoBus);
    RealVolumes v;
    EXPECT_EQ(v.setLabel(mock.drive(), "PKBACK# 001"), c.labelled);
    EXPECT_NE(v.lastFailure().find(c.labelWhy), std::string::npos) << v.lastFailure();
    EXPECT_EQ(v.lastFailure().empty(), c.labelled) << v.lastFailure();
    gone.reset();
    EXPECT_EQ(v.label(mock.drive()), c.labelled ? "PKBACK# 001" : "MY STICK");
    if (c.noService) gone = std::make_unique<kvtest::ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", NoBus);
    EXPECT_EQ(v.formatVolume(mock.drive()), c.formatted);
    EXPECT_NE(v.lastFailure().find(c.formatWhy), std::string::npos) << v.lastFailure();
    gone.reset();
    // Formatted: empty, with its label kept and mounted where it was; otherwise untouched.
    EXPECT_EQ(std::filesystem::exists(mock.drive() + "old.txt"), c.formatted != FormatResult::Done);
    EXPECT_EQ(v.volumeRoot(mock.drive() + "x.zip"), mock.drive());
    EXPECT_EQ(v.label(mock.drive()), c.labelled ? "PKBACK# 001" : "MY STICK");
  }
  // Only removable volumes are formatted.
  kvtest::ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", NoBus);
  RealVolumes v;
  kvtest::TempDir fixed;
  EXPECT_EQ(v.formatVolume(v.volumeRoot(fixed.str())), FormatResult::Refused);
  EXPECT_FALSE(v.format(v.volumeRoot(fixed.str())));
}

TEST(SimulatedVolumes, DisksKeepTheirFilesAndLabelsWhileOut) {
  kvtest::TempDir dir;
  SimulatedVolumes v;
  const std::string a = (dir / "a").string();
  v.addDrive(a);
  v.addDisk("one", 1000, "PKBACK# 001");
  v.addDisk("two", 500, "");
  EXPECT_EQ(v.driveType(a), DriveType::Removable);
  EXPECT_EQ(v.volumeRoot(a + "/x/y.zip"), a + "/");
  EXPECT_FALSE(v.label(a)); // empty drive: not ready
  EXPECT_FALSE(v.space(a));
  ASSERT_TRUE(v.insert(a, "one"));
  EXPECT_FALSE(v.insert(a, "two")); // the drive is full
  kvtest::writeFile(a + "/part.zip", std::string(100, 'p'));
  EXPECT_EQ(v.space(a)->freeBytes, 900u);
  ASSERT_TRUE(v.eject(a));
  EXPECT_FALSE(std::filesystem::exists(a + "/part.zip"));
  ASSERT_TRUE(v.insert(a, "two"));
  EXPECT_TRUE(v.setLabel(a, "PKBACK# 002"));
  EXPECT_EQ(*v.label(a), "PKBACK# 002");
  v.eject(a);
  ASSERT_TRUE(v.insert(a, "one"));
  EXPECT_EQ(kvtest::readFile(a + "/part.zip"), std::string(100, 'p'));
  EXPECT_EQ(*v.label(a), "PKBACK# 001");
  EXPECT_TRUE(v.format(a));
  EXPECT_FALSE(std::filesystem::exists(a + "/part.zip"));
  EXPECT_EQ(*v.label(a), "");
  v.eject(a);
}
