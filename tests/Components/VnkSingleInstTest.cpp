#include "VnkSingleInst.h"

#include "../Platform/Ui/UiTestSupport.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv::platform;
using VnkSingleInst::TVarnekSingleInstance;

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

class SingleInstanceTest : public kvtest::UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    static int serial = 0;
    // A program name of this test alone: tests run side by side.
    exeName = "kvguard-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".exe";
    const std::string path = "/opt/some where/" + exeName;
    const char* argv[] = {path.c_str()};
    SetCommandLine(1, argv);
    form = TForm::CreateNew<TForm>(&Application());
  }
  void TearDown() override {
    UiTest::TearDown();
    SetCommandLine(0, nullptr);
  }
  std::string exeName;
  TForm* form = nullptr;
};

TEST_F(SingleInstanceTest, FirstProcessWritesItsFormThroughTheOwnerChain) {
  auto* dataModule = new TComponent(form);
  auto* guard = new TVarnekSingleInstance(dataModule);
  guard->Loaded();
  ASSERT_NE(guard->Mapping(), nullptr);
  EXPECT_FALSE(guard->Mapping()->AlreadyExisted());
  EXPECT_FALSE(Application().Terminated());

  auto other = SharedMemory::CreateOrOpen(exeName, 8);
  ASSERT_TRUE(other && other->AlreadyExisted());
  auto view = other->Map(8);
  ASSERT_TRUE(view);
  EXPECT_EQ(le32(view->Data()), static_cast<uint32_t>(getpid()));
  EXPECT_EQ(le32(view->Data() + 4), form->Handle());
}

TEST_F(SingleInstanceTest, NoFormLeavesWindowZeroForTheNextStart) {
  auto* guard = new TVarnekSingleInstance(nullptr);
  guard->Loaded();
  auto keep = SharedMemory::CreateOrOpen(exeName, 8); // keeps the name taken
  TComponent::Free(guard);

  auto* later = new TVarnekSingleInstance(form);
  std::vector<std::pair<uint32_t, HWND>> told;
  later->OnAlreadyRunning.Bind([&](TObject* s, uint32_t inst, HWND wnd) {
    EXPECT_EQ(s, later);
    told.emplace_back(inst, wnd);
  });
  later->Loaded();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].first, static_cast<uint32_t>(getpid()));
  EXPECT_EQ(told[0].second, 0u);
  EXPECT_FALSE(Application().Terminated()); // the handler decides
}

TEST_F(SingleInstanceTest, WithoutHandlerTheLaterStartTerminates) {
  auto first = SharedMemory::CreateOrOpen(exeName, 8);
  ASSERT_TRUE(first && !first->AlreadyExisted());
  auto* guard = new TVarnekSingleInstance(form);
  guard->Loaded();
  EXPECT_TRUE(Application().Terminated());
}

TEST_F(SingleInstanceTest, DesignTimeCreatesNothing) {
  auto* guard = new TVarnekSingleInstance(form);
  guard->SetDesigning(true);
  guard->Loaded();
  EXPECT_EQ(guard->Mapping(), nullptr);
  auto probe = SharedMemory::CreateOrOpen(exeName, 8);
  EXPECT_FALSE(probe->AlreadyExisted());
}

TEST_F(SingleInstanceTest, OnlyOneGuardPerProcess) {
  auto* first = new TVarnekSingleInstance(form);
  try {
    new TVarnekSingleInstance(form);
    FAIL() << "a second guard was allowed";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Only one instance of TVarnekSingleInstance is allowed "
                           "(Source\\Components\\VnkSingleInst, line 101)");
  }
  EXPECT_EQ(VnkSingleInst::CurrentGuard(), first); // the refused one did not unregister it
  TComponent::Free(first);
  EXPECT_EQ(VnkSingleInst::CurrentGuard(), nullptr);
  auto* again = new TVarnekSingleInstance(form);
  EXPECT_EQ(VnkSingleInst::CurrentGuard(), again);
}

TEST_F(SingleInstanceTest, BlockOfTheWrongSizeIsLeftAlone) {
  auto small = SharedMemory::CreateOrOpen(exeName, 4); // another program's block of that name
  auto* guard = new TVarnekSingleInstance(form);
  int told = 0;
  guard->OnAlreadyRunning.Bind([&](TObject*, uint32_t, HWND) { ++told; });
  guard->Loaded(); // reading 8 bytes of a 4-byte block would be fatal; it runs as if first
  EXPECT_EQ(told, 0);
  EXPECT_FALSE(Application().Terminated());
  EXPECT_EQ(small->Size(), 4u);
}

TEST_F(SingleInstanceTest, BlockLeftByADeadProcessIsTakenOver) {
  // What a crashed first instance leaves: the object, with nobody holding it.
  const std::string sys = SharedMemory::SystemNameFor(exeName);
  const int fd = shm_open(sys.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 8), 0);
  const uint8_t junk[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(write(fd, junk, 8), 8);
  close(fd);

  auto* guard = new TVarnekSingleInstance(form);
  int told = 0;
  guard->OnAlreadyRunning.Bind([&](TObject*, uint32_t, HWND) { ++told; });
  guard->Loaded();
  EXPECT_EQ(told, 0);
  auto probe = SharedMemory::CreateOrOpen(exeName, 8);
  auto view = probe->Map(8);
  EXPECT_EQ(le32(view->Data()), static_cast<uint32_t>(getpid()));
  EXPECT_EQ(le32(view->Data() + 4), form->Handle());
}

TEST_F(SingleInstanceTest, LastHolderRemovesTheName) {
  const std::string sys = SharedMemory::SystemNameFor(exeName);
  {
    auto a = SharedMemory::CreateOrOpen(exeName, 8);
    auto b = SharedMemory::CreateOrOpen(exeName, 8);
    EXPECT_TRUE(b->AlreadyExisted());
    a.reset();
    const int fd = shm_open(sys.c_str(), O_RDONLY, 0);
    EXPECT_GE(fd, 0); // b still holds it
    if (fd >= 0) close(fd);
  }
  EXPECT_LT(shm_open(sys.c_str(), O_RDONLY, 0), 0);
  EXPECT_LT(shm_open((sys + ".lock").c_str(), O_RDONLY, 0), 0);
}

TEST_F(SingleInstanceTest, Registration) {
  ClearPalette();
  VnkSingleInst::Register();
  ASSERT_EQ(PaletteEntries().size(), 1u);
  EXPECT_EQ(PaletteEntries()[0].Page, "Korvalis");
  EXPECT_EQ(PaletteEntries()[0].ClassName, "TVarnekSingleInstance");
  EXPECT_EQ(GetClass("ESingleInstError"), nullptr);
  ClearPalette();
}

// ---- two real processes

struct Running {
  pid_t pid = -1;
  int out = -1;
};

Running start(const std::string& exe, const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const auto& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  return Running{pid, fds[0]};
}

std::string firstLine(const Running& r) {
  std::string line;
  char c;
  while (line.find('\n') == std::string::npos) {
    pollfd p{r.out, POLLIN, 0};
    if (poll(&p, 1, 20000) <= 0) break;
    if (read(r.out, &c, 1) != 1) break;
    line += c;
  }
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

int finish(Running& r) {
  int status = 0;
  waitpid(r.pid, &status, 0);
  close(r.out);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string runOnce(const std::string& exe, const std::vector<std::string>& args) {
  Running r = start(exe, args);
  const std::string line = firstLine(r);
  EXPECT_EQ(finish(r), 0);
  return line;
}

TEST(SingleInstanceProcesses, SecondStartHandsOverToTheFirst) {
  const auto helper = kvtest::buildDir() / "bin" / "VnkSingleInstHelper";
  ASSERT_TRUE(kvtest::fs::exists(helper)) << helper;
  kvtest::TempDir dir("vnkguard");
  const std::string name = "KvGuard" + std::to_string(getpid());
  for (const char* sub : {"a", "b", "c"})
    kvtest::fs::create_directory(dir / sub);
  kvtest::fs::create_symlink(helper, dir / "a" / name);
  kvtest::fs::create_symlink(helper, dir / "b" / name); // the same program in another folder
  kvtest::fs::create_symlink(helper, dir / "c" / (name + "x"));
  const std::string a = (dir / "a" / name).string(), b = (dir / "b" / name).string(),
                    other = (dir / "c" / (name + "x")).string(), stop = (dir / "stop").string();

  Running first = start(a, {"plain", stop});
  const std::string hello = firstLine(first);
  ASSERT_EQ(hello.rfind("FIRST ", 0), 0u) << hello;
  const std::string firstIds = hello.substr(6);
  EXPECT_EQ(firstIds.substr(0, firstIds.find(' ')), std::to_string(first.pid));

  EXPECT_EQ(runOnce(b, {"plain"}), "TERMINATED");
  EXPECT_EQ(runOnce(b, {"handler"}), "HANDLER " + firstIds);
  EXPECT_EQ(runOnce(other, {"plain"}).rfind("FIRST ", 0), 0u); // another program's block

  kvtest::writeFile(stop, "");
  EXPECT_EQ(finish(first), 0);
  EXPECT_EQ(runOnce(b, {"plain"}).rfind("FIRST ", 0), 0u); // the name went with the first

  // A first instance that is killed leaves its block behind; the next start is first all the same.
  kvtest::fs::remove(stop);
  Running crashed = start(a, {"plain", stop});
  ASSERT_EQ(firstLine(crashed).rfind("FIRST ", 0), 0u);
  kill(crashed.pid, SIGKILL);
  finish(crashed);
  EXPECT_EQ(runOnce(b, {"plain"}).rfind("FIRST ", 0), 0u);
}

} // namespace
