#include "Platform/Volumes/Volumes.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace kv::platform;

TEST(RealVolumes, RootOfAPathAndItsSpace) {
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
  EXPECT_FALSE(v.setLabel(root, "PKBACK# 001"));
  EXPECT_FALSE(v.format(root));
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
