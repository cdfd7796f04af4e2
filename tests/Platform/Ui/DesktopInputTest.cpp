// What the desktop presenter hands the window system, checked without a display: key symbols
// to virtual keys and characters, characters typed by the keyboard's own layout, and the
// notifications that bring a window's picture on screen up to date.
#include "UiTestSupport.h"

#include "Platform/Ui/GtkFileChooser.h"
#include "Platform/Ui/GtkKeys.h"
#include "Platform/Ui/GtkPresenter.h"

#include "TestSupport.h"

#include <gdk/gdkkeysyms.h>

using namespace kv::platform;

namespace {

// Virtual-key codes from the Windows list of them, key symbols from the X keyboard's.
TEST(DesktopKeys, KeySymbolsGiveTheirVirtualKeys) {
  const struct {
    unsigned keyval;
    int vk;
  } cases[] = {
      {GDK_KEY_a, 0x41},
      {GDK_KEY_z, 0x5A},
      {GDK_KEY_Z, 0x5A},
      {GDK_KEY_0, 0x30},
      {GDK_KEY_9, 0x39},
      {GDK_KEY_KP_0, 0x60},
      {GDK_KEY_KP_9, 0x69},
      {GDK_KEY_F1, 0x70},
      {GDK_KEY_F12, 0x7B},
      {GDK_KEY_F24, 0x87},
      {GDK_KEY_BackSpace, 0x08},
      {GDK_KEY_Tab, 0x09},
      {GDK_KEY_ISO_Left_Tab, 0x09},
      {GDK_KEY_Return, 0x0D},
      {GDK_KEY_KP_Enter, 0x0D},
      {GDK_KEY_Escape, 0x1B},
      {GDK_KEY_space, 0x20},
      {GDK_KEY_Page_Up, 0x21},
      {GDK_KEY_Page_Down, 0x22},
      {GDK_KEY_End, 0x23},
      {GDK_KEY_Home, 0x24},
      {GDK_KEY_Left, 0x25},
      {GDK_KEY_Up, 0x26},
      {GDK_KEY_Right, 0x27},
      {GDK_KEY_Down, 0x28},
      {GDK_KEY_KP_Up, 0x26},
      {GDK_KEY_Insert, 0x2D},
      {GDK_KEY_Delete, 0x2E},
      {GDK_KEY_KP_Delete, 0x2E},
      {GDK_KEY_Shift_L, 0x10},
      {GDK_KEY_Shift_R, 0x10},
      {GDK_KEY_Control_R, 0x11},
      {GDK_KEY_Alt_L, 0x12},
      {GDK_KEY_Caps_Lock, 0x14},
      {GDK_KEY_Pause, 0x13},
      {GDK_KEY_Print, 0x2C},
      {GDK_KEY_KP_Multiply, 0x6A},
      {GDK_KEY_KP_Add, 0x6B},
      {GDK_KEY_KP_Subtract, 0x6D},
      {GDK_KEY_KP_Decimal, 0x6E},
      {GDK_KEY_KP_Divide, 0x6F},
      {GDK_KEY_Num_Lock, 0x90},
      {GDK_KEY_Scroll_Lock, 0x91},
      {GDK_KEY_Super_L, 0x5B},
      {GDK_KEY_Menu, 0x5D},
      {GDK_KEY_semicolon, 0xBA},
      {GDK_KEY_equal, 0xBB},
      {GDK_KEY_comma, 0xBC},
      {GDK_KEY_minus, 0xBD},
      {GDK_KEY_period, 0xBE},
      {GDK_KEY_slash, 0xBF},
      {GDK_KEY_grave, 0xC0},
      {GDK_KEY_bracketleft, 0xDB},
      {GDK_KEY_backslash, 0xDC},
      {GDK_KEY_bracketright, 0xDD},
      {GDK_KEY_apostrophe, 0xDE},
      {GDK_KEY_less, 0xE2},
      // Keys that Windows names only per layout, and dead keys, have none here.
      {GDK_KEY_adiaeresis, 0},
      {GDK_KEY_dead_acute, 0},
      {GDK_KEY_VoidSymbol, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(VirtualKeyOfKeyval(c.keyval), c.vk) << std::hex << c.keyval;
}

TEST(DesktopKeys, OnlyPrintableCharactersAreTyped) {
  const struct {
    unsigned keyval;
    std::string typed;
  } cases[] = {
      {GDK_KEY_a, "a"},
      {GDK_KEY_A, "A"},
      {GDK_KEY_space, " "},
      {GDK_KEY_exclam, "!"},
      {GDK_KEY_KP_5, "5"},
      {GDK_KEY_adiaeresis, "\xC3\xA4"}, // U+00E4 in UTF-8
      {GDK_KEY_EuroSign, "\xE2\x82\xAC"},
      {GDK_KEY_nobreakspace, "\xC2\xA0"},
      // Control keys type what the window system makes of their virtual keys.
      {GDK_KEY_Return, ""},
      {GDK_KEY_KP_Enter, ""},
      {GDK_KEY_BackSpace, ""},
      {GDK_KEY_Tab, ""},
      {GDK_KEY_Escape, ""},
      {GDK_KEY_Delete, ""},
      {GDK_KEY_Left, ""},
      {GDK_KEY_Shift_L, ""},
      {GDK_KEY_dead_acute, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TypedCharacters(c.keyval), c.typed) << std::hex << c.keyval;
}

class TKeyLog : public TCustomControl {
  KV_CLASS_INFO(TKeyLog)
public:
  using TCustomControl::TCustomControl;
  std::string typed;

protected:
  void KeyPress(char& Key) override { typed += Key; }
};
const TClassInfo& TKeyLog::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TKeyLog, TCustomControl>("TKeyLog").Build();
  return info;
}

// Records what the window system tells the desktop.
class NotedPresenter : public HeadlessPresenter {
public:
  std::vector<HWND> changed;
  int polls = 0;
  void windowChanged(HWND Wnd) override { changed.push_back(Wnd); }
  void pollInput() override { ++polls; }
};

class DesktopInputTest : public kvtest::UiTest {
protected:
  void SetUp() override {
    kvtest::UiTest::SetUp();
    auto p = std::make_unique<NotedPresenter>();
    noted = p.get();
    Application().SetPresenter(std::move(p));
    form = TCustomForm::CreateNew<TForm>(&Application());
    form->SetBounds(0, 0, 200, 100);
    log = new TKeyLog(form);
    log->SetBounds(10, 10, 50, 20);
    log->SetParent(form);
    form->Show();
    log->SetFocus();
    Application().ProcessMessages();
  }
  std::string typedBy(const std::function<void()>& keys) {
    log->typed.clear();
    keys();
    Application().ProcessMessages();
    return log->typed;
  }
  NotedPresenter* noted = nullptr;
  TForm* form = nullptr;
  TKeyLog* log = nullptr;
};

// The keyboard's own text counts over the US keyboard's guess from the virtual key; keys
// without text type nothing, and keys queued without text keep the US rule.
TEST_F(DesktopInputTest, KeysTypeTheCharactersTheirKeyboardSaid) {
  const struct {
    const char* why;
    std::function<void()> keys;
    std::string want;
  } cases[] = {
      {"a German keyboard's Z key, where a US one has Y",
       [] {
         QueueKeyInput(WM_KEYDOWN, 'Y', "z");
         QueueKeyInput(WM_KEYUP, 'Y');
       },
       "z"},
      {"a character of two bytes", [] { QueueKeyInput(WM_KEYDOWN, VK_OEM_7, "\xC3\xA4"); }, "\xC3\xA4"},
      {"a key without a virtual key", [] { QueueKeyInput(WM_KEYDOWN, 0, "\xE2\x82\xAC"); }, "\xE2\x82\xAC"},
      {"a dead key", [] { QueueKeyInput(WM_KEYDOWN, VK_OEM_6, ""); }, ""},
      {"the US rule without text", [] { QueueKeyInput(WM_KEYDOWN, 'Y'); }, "y"},
      {"text is used once: the next plain press of the key is the US one",
       [] {
         QueueKeyInput(WM_KEYDOWN, 'Q', "@");
         QueueKeyInput(WM_KEYDOWN, 'Q');
       },
       "@q"},
      {"a key up in between forgets the text",
       [] {
         QueueKeyInput(WM_KEYDOWN, 'E', "\xE2\x82\xAC");
         QueueKeyInput(WM_KEYUP, 'E');
         QueueKeyInput(WM_KEYDOWN, 'E');
       },
       "\xE2\x82\xAC"
       "e"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(typedBy(c.keys), c.want) << c.why;
}

// The picture on screen is the top-level window's: new pixels of a child window change it,
// and a hidden window's changes are nobody's business.
TEST_F(DesktopInputTest, ChildWindowsPaintingChangeTheirTopLevelWindow) {
  noted->changed.clear();
  log->Invalidate();
  Application().ProcessMessages();
  ASSERT_FALSE(noted->changed.empty());
  for (HWND h : noted->changed)
    EXPECT_EQ(h, form->Handle());

  form->Hide();
  noted->changed.clear();
  log->Invalidate();
  Application().ProcessMessages();
  EXPECT_TRUE(noted->changed.empty());
}

TEST_F(DesktopInputTest, RunningThePendingMessagesAsksTheDesktopForInput) {
  const int before = noted->polls;
  Application().ProcessMessages();
  Application().ProcessMessages();
  EXPECT_EQ(noted->polls, before + 2);
}

TEST(DesktopFileChooser, PatternsMatchRegardlessOfCase) {
  const struct {
    std::string pattern, want;
  } cases[] = {
      {"*.zip", "*.[zZ][iI][pP]"},
      {"*.DB", "*.[dD][bB]"},
      {"*.*", "*"},
      {"kv?_1.*", "[kK][vV]?_1.*"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CaseInsensitivePattern(c.pattern), c.want) << c.pattern;
}

TEST(DesktopOpen, WithoutADisplayThereIsNoDesktop) {
  kvtest::ScopedEnv noX("DISPLAY"), noWayland("WAYLAND_DISPLAY");
  EXPECT_EQ(GtkPresenter::open(), nullptr);
  EXPECT_FALSE(UseDesktopIfAvailable());
  EXPECT_FALSE(DesktopFileChooserAvailable());
  EXPECT_EQ(ChooseFileOnDesktop(FileDialogRequest{}), std::nullopt);
}

} // namespace
