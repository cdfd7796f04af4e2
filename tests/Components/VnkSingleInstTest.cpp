#include "VnkSingleInst.h"

#include "../Platform/Ui/UiTestSupport.h"
#include "DesktopTestSupport.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv::platform;
using VnkSingleInst::TVarnekSingleInstance;

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// A desktop without a screen: each window of ours has the id 0xA00000 + its handle there, and
// requests to bring a window to the front are written down.
class SimulatedDesktop : public HeadlessPresenter {
public:
  uint64_t desktopWindowId(HWND Wnd) override { return IsWindow(Wnd) ? 0xA00000 + Wnd : 0; }
  bool activateDesktopWindow(uint64_t DesktopId, uint32_t ProcessId) override {
    raised.emplace_back(DesktopId, ProcessId);
    return true;
  }
  std::vector<std::pair<uint64_t, uint32_t>> raised;
};

class SingleInstanceTest : public kvtest::UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    auto d = std::make_unique<SimulatedDesktop>();
    desktop = d.get();
    Application().SetPresenter(std::move(d));
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
  // A block as a first process with this id and window leaves it, held by the returned object.
  std::unique_ptr<SharedMemory> firstProcess(uint32_t instance, uint32_t window) {
    auto first = SharedMemory::CreateOrOpen(exeName, 8);
    EXPECT_TRUE(first && !first->AlreadyExisted());
    auto view = first->Map(8);
    for (int i = 0; i < 4; ++i) {
      view->Data()[i] = static_cast<uint8_t>(instance >> (8 * i));
      view->Data()[4 + i] = static_cast<uint8_t>(window >> (8 * i));
    }
    return first;
  }
  std::string exeName;
  TForm* form = nullptr;
  SimulatedDesktop* desktop = nullptr;
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
  EXPECT_EQ(le32(view->Data() + 4), 0xA00000 + form->Handle()); // the form's window on the desktop
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

// A later start brings the first one's window to the front and ends; a handler instead gets
// the first's process and a handle of its window that SetForegroundWindow takes here.
TEST_F(SingleInstanceTest, LaterStartHandsOverToTheFirst) {
  using Raised = std::vector<std::pair<uint64_t, uint32_t>>;
  const struct {
    bool handler;
    uint32_t window;
    Raised raised;
    bool terminated;
  } cases[] = {
      {false, 0xC00007, {{0xC00007, 4242}}, true},
      {false, 0, {}, true}, // a first without a form (or a desktop): nothing to raise
      {true, 0xC00007, {{0xC00007, 4242}}, false},
      {true, 0, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.handler << " " << c.window);
    ResetApplication();
    auto d = std::make_unique<SimulatedDesktop>();
    desktop = d.get();
    Application().SetPresenter(std::move(d));
    Application().Initialize();
    auto first = firstProcess(4242, c.window);
    auto* guard = new TVarnekSingleInstance(TForm::CreateNew<TForm>(&Application()));
    std::vector<std::pair<uint32_t, HWND>> told;
    if (c.handler)
      guard->OnAlreadyRunning.Bind([&](TObject*, uint32_t inst, HWND wnd) {
        told.emplace_back(inst, wnd);
        EXPECT_FALSE(IsWindow(wnd)); // not a window of ours
        EXPECT_EQ(SetForegroundWindow(wnd), wnd != 0);
      });
    guard->Loaded();
    EXPECT_EQ(desktop->raised, c.raised);
    EXPECT_EQ(Application().Terminated(), c.terminated);
    EXPECT_EQ(told.size(), c.handler ? 1u : 0u);
    if (!told.empty()) {
      EXPECT_EQ(told[0].first, 4242u);
    }
    TComponent::Free(guard);
  }
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
  EXPECT_EQ(le32(view->Data() + 4), 0xA00000 + form->Handle());
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
  kvtest::expectPalette(VnkSingleInst::Register, "Korvalis", {"TVarnekSingleInstance"});
  EXPECT_EQ(GetClass("ESingleInstError"), nullptr);
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
  // Without a desktop there is no window to hand over.
  EXPECT_EQ(hello, "FIRST " + std::to_string(first.pid) + " 0");

  EXPECT_EQ(runOnce(b, {"plain"}), "TERMINATED");
  EXPECT_EQ(runOnce(b, {"handler"}), "HANDLER " + std::to_string(first.pid) + " none");
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

// ---- two real processes on a desktop

// An X server without a window manager: the window in front is the one on top of the screen's
// stack of windows (xwininfo lists them from the top), and it has the keyboard focus.
class SingleInstanceOnTheDesktop : public ::testing::Test {
protected:
  void SetUp() override {
    if (!kvtest::haveTool("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* tool : {"xdotool", "xwininfo"})
      ASSERT_TRUE(kvtest::haveTool(tool)) << tool << " is not installed";
    display = std::make_unique<kvtest::desktop::VirtualDisplay>(dir / "xvfb.log", "800x600x24");
    ASSERT_TRUE(display->ready()) << kvtest::readFile(dir / "xvfb.log");
  }
  void start(kvtest::desktop::Child& child, const kvtest::fs::path& exe, const std::string& mode,
             const std::string& out) {
    ASSERT_TRUE(child.start({exe.string(), "--desktop", mode},
                            {{"DISPLAY", display->name()},
                             {"WAYLAND_DISPLAY", ""},
                             {"GDK_BACKEND", "x11"},
                             {"GSETTINGS_BACKEND", "memory"},
                             {"NO_AT_BRIDGE", "1"}},
                            dir / out));
  }
  // The program's first line, waiting for it.
  std::string line(const std::string& out) {
    std::string text;
    kvtest::desktop::waitUntil(
        [&] {
          text = kvtest::readFile(dir / out);
          return text.find('\n') != std::string::npos;
        },
        std::chrono::seconds(20));
    return text.substr(0, text.find('\n'));
  }
  kvtest::CommandResult x(const std::string& command) {
    return kvtest::run("DISPLAY=" + display->name() + " timeout 20 " + command);
  }
  uint64_t windowNamed(const std::string& title) {
    const auto found = x("xdotool search --sync --name " + kvtest::shellQuote("^" + title + "$"));
    return found.exitCode == 0 ? std::stoull(found.out) : 0;
  }
  // The top-level windows from the top of the stack down.
  std::vector<uint64_t> stack() {
    std::vector<uint64_t> ids;
    std::istringstream in(x("xwininfo -root -children").out);
    for (std::string l; std::getline(in, l);)
      if (const auto at = l.find("0x"); at != std::string::npos && l.find("\"Guarded ") != std::string::npos)
        ids.push_back(std::stoull(l.substr(at), nullptr, 16));
    return ids;
  }
  bool inFront(uint64_t window) {
    return kvtest::desktop::waitUntil(
        [&] {
          const auto s = stack();
          return !s.empty() && s[0] == window &&
                 x("xdotool getwindowfocus").out == std::to_string(window) + "\n";
        },
        std::chrono::seconds(10));
  }

  kvtest::TempDir dir{"vnkdesktop"};
  std::unique_ptr<kvtest::desktop::VirtualDisplay> display;
};

TEST_F(SingleInstanceOnTheDesktop, SecondStartRaisesTheFirstAndEnds) {
  const auto helper = kvtest::buildDir() / "bin" / "VnkSingleInstHelper";
  const std::string name = "KvDesk" + std::to_string(getpid());
  for (const char* sub : {"a", "b", "c"})
    kvtest::fs::create_directory(dir / sub);
  kvtest::fs::create_symlink(helper, dir / "a" / name);
  kvtest::fs::create_symlink(helper, dir / "b" / name);
  kvtest::fs::create_symlink(helper, dir / "c" / (name + "x")); // another program

  kvtest::desktop::Child first, cover;
  start(first, dir / "a" / name, "plain", "first.out");
  const std::string hello = line("first.out");
  ASSERT_EQ(hello.rfind("FIRST ", 0), 0u) << hello;
  const uint64_t window = windowNamed("Guarded " + name);
  ASSERT_NE(window, 0u);
  // The block names the first process and its form's window as the X server knows it.
  {
    const int fd = shm_open(SharedMemory::SystemNameFor(name).c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    uint8_t block[8] = {};
    EXPECT_EQ(read(fd, block, 8), 8);
    close(fd);
    EXPECT_EQ("FIRST " + std::to_string(le32(block)) + " " + std::to_string(window), hello);
    EXPECT_EQ(le32(block + 4), window);
  }
  const pid_t firstPid = static_cast<pid_t>(std::stoul(hello.substr(6)));

  // Another program's window comes over it, at the same place.
  start(cover, dir / "c" / (name + "x"), "plain", "cover.out");
  const uint64_t covering = windowNamed("Guarded " + name + "x");
  ASSERT_TRUE(inFront(covering)) << x("xwininfo -root -children").out;

  // A second start of the first program, from another folder: the first comes to the front,
  // the second ends with 0.
  {
    kvtest::desktop::Child second;
    start(second, dir / "b" / name, "plain", "second.out");
    EXPECT_EQ(second.wait(std::chrono::seconds(20)), 0);
    EXPECT_EQ(line("second.out"), "TERMINATED");
    EXPECT_TRUE(inFront(window)) << x("xwininfo -root -children").out;
  }
  // A handler gets a window that it can bring to the front itself.
  x("xdotool windowraise " + std::to_string(covering) + " windowfocus " + std::to_string(covering));
  ASSERT_TRUE(inFront(covering));
  {
    kvtest::desktop::Child second;
    start(second, dir / "b" / name, "handler", "handler.out");
    EXPECT_EQ(second.wait(std::chrono::seconds(20)), 0);
    EXPECT_EQ(line("handler.out"), "HANDLER " + std::to_string(firstPid) + " front");
    EXPECT_TRUE(inFront(window));
  }

  // A first instance killed outright: the next start runs as the first.
  kill(firstPid, SIGKILL);
  first.wait(std::chrono::seconds(10));
  kvtest::desktop::Child again;
  start(again, dir / "b" / name, "plain", "again.out");
  EXPECT_EQ(line("again.out").rfind("FIRST ", 0), 0u) << kvtest::readFile(dir / "again.out");
  const uint64_t shown = windowNamed("Guarded " + name);
  EXPECT_NE(shown, 0u);
  // Closed by the desktop, the programs end and give their names back.
  x("xdotool windowclose " + std::to_string(shown));
  x("xdotool windowclose " + std::to_string(covering));
  EXPECT_EQ(again.wait(std::chrono::seconds(15)), 0);
  EXPECT_EQ(cover.wait(std::chrono::seconds(15)), 0);
  EXPECT_LT(shm_open(SharedMemory::SystemNameFor(name).c_str(), O_RDONLY, 0), 0);
}

} // namespace
