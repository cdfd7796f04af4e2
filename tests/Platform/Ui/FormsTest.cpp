#include "UiTestSupport.h"

using namespace kv::platform;

namespace {

std::vector<std::string> events;

// A windowed control that reports what reaches it.
class TProbe : public TCustomControl {
  KV_CLASS_INFO(TProbe)
public:
  explicit TProbe(TComponent* owner) : TCustomControl(owner) {
    ++alive;
    SetTabStop(true);
  }
  ~TProbe() override { --alive; }
  static inline int alive = 0;
  bool throwInPaint = false;
  void WndProc(TMessage& m) override {
    const char* what = nullptr;
    switch (m.Msg) {
    case CN_KEYDOWN:
      what = "CN_KEYDOWN";
      break;
    case CN_CHAR:
      what = "CN_CHAR";
      break;
    case CN_KEYUP:
      what = "CN_KEYUP";
      break;
    case CM_MOUSEENTER:
      what = "enter";
      break;
    case CM_MOUSELEAVE:
      what = "leave";
      break;
    default:
      break;
    }
    if (what) events.push_back(Name() + " " + what);
    TCustomControl::WndProc(m);
  }

protected:
  void Paint() override {
    Canvas().Brush().SetColor(clRed);
    Canvas().FillRect(Rect(1, 1, 5, 5));
    Canvas().TextOut(2, 3, Name());
    if (throwInPaint) throw EInvalidOperation("paint failed");
  }
};
const TClassInfo& TProbe::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TProbe, TCustomControl>("TProbe")
                                     .With(published::Align)
                                     .With(published::Anchors)
                                     .With(published::Color(clWindow))
                                     .With(published::TabOrder)
                                     .With(published::OnClick)
                                     .With(published::OnKeyDown)
                                     .With(published::OnKeyPress)
                                     .With(published::OnKeyUp)
                                     .Build();
  return info;
}

class TDot : public TGraphicControl {
  KV_CLASS_INFO(TDot)
public:
  using TGraphicControl::TGraphicControl;
  std::vector<std::string> moves;
  void MouseMove(TShiftState s, int x, int y) override {
    moves.push_back(std::to_string(x) + "," + std::to_string(y));
    TGraphicControl::MouseMove(s, x, y);
  }

protected:
  void Paint() override { Canvas().Ellipse(0, 0, Width(), Height()); }
};
const TClassInfo& TDot::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TDot, TGraphicControl>("TDot").With(published::OnClick).Build();
  return info;
}

class FormsTest : public kvtest::UiTest {
protected:
  void SetUp() override {
    kvtest::UiTest::SetUp();
    events.clear();
    RegisterClasses({&TProbe::StaticClassInfo(), &TDot::StaticClassInfo()});
  }
  static TPoint screenOf(TControl* c, int x, int y) { return c->ClientToScreen(TPoint{x, y}); }
};

TEST_F(FormsTest, FreeingAFormFreesWhatItOwnsAndOwnedChildrenMayGoFirst) {
  auto* form = TCustomForm::CreateNew<TForm>(nullptr);
  auto* panel = new TProbe(form);
  panel->SetParent(form);
  auto* inner = new TProbe(form); // owned by the form, parented to the panel
  inner->SetParent(panel);
  auto* other = new TProbe(form);
  other->SetParent(panel);
  auto* timer = new TTimer(form);
  (void)timer;
  form->Show();
  EXPECT_EQ(TProbe::alive, 3);
  TComponent::Free(inner);
  EXPECT_EQ(panel->ControlCount(), 1);
  EXPECT_EQ(form->ComponentCount(), 3);
  TComponent::Free(panel); // a parent takes its remaining children along
  EXPECT_EQ(TProbe::alive, 0);
  EXPECT_EQ(form->ComponentCount(), 1);
  TComponent::Free(form);
  EXPECT_EQ(WindowCount(), 0u);
}

TEST_F(FormsTest, HandleIsCreatedOnFirstNeedAndChildWithoutParentFails) {
  TProbe orphan(nullptr);
  orphan.SetName("Orphan");
  EXPECT_FALSE(orphan.HandleAllocated());
  try {
    orphan.Handle();
    FAIL();
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), "Control 'Orphan' has no parent window");
  }
  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  auto* p = new TProbe(form);
  p->SetParent(form);
  EXPECT_FALSE(p->HandleAllocated());
  const HWND h = p->Handle();
  EXPECT_TRUE(form->HandleAllocated());
  EXPECT_EQ(GetParent(h), form->Handle());
  p->RecreateWnd();
  EXPECT_NE(p->Handle(), h);
  EXPECT_FALSE(IsWindow(h));
}

TEST_F(FormsTest, AlignAnchorsAndConstraints) {
  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  form->SetBorderStyle(TBorderStyle::bsNone);
  form->SetBounds(0, 0, 200, 100);
  auto* top = new TProbe(form);
  top->SetBounds(0, 0, 10, 30);
  top->SetAlign(alTop);
  top->SetParent(form);
  auto* client = new TProbe(form);
  client->SetAlign(alClient);
  client->SetParent(form);
  auto* left = new TProbe(form);
  left->SetBounds(0, 50, 20, 10);
  left->SetAlign(alLeft);
  left->SetParent(form);
  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 200, 30));
  EXPECT_EQ(left->BoundsRect(), Rect(0, 30, 20, 100));
  EXPECT_EQ(client->BoundsRect(), Rect(20, 30, 200, 100));
  auto* anchored = new TProbe(client);
  anchored->SetParent(client);
  anchored->SetBounds(100, 10, 50, 20); // 30 from the right edge of a 180 wide client
  anchored->SetAnchors(TAnchors{akRight, akBottom});
  auto* stretched = new TProbe(client);
  stretched->SetParent(client);
  stretched->SetBounds(10, 40, 100, 10);
  stretched->SetAnchors(TAnchors{akLeft, akRight});
  stretched->Constraints().SetMaxWidth(120);
  form->SetBounds(0, 0, 250, 150);
  EXPECT_EQ(client->BoundsRect(), Rect(20, 30, 250, 150));
  EXPECT_EQ(anchored->BoundsRect(), Rect(150, 60, 200, 80));
  EXPECT_EQ(stretched->Width(), 120); // would be 150; the constraint holds it
}

TEST_F(FormsTest, PaintGoesThroughEraseThenPaintThenGraphicChildrenAndEndPaintIsReached) {
  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  form->SetBorderStyle(TBorderStyle::bsNone);
  form->SetBounds(0, 0, 100, 100);
  auto* probe = new TProbe(form);
  probe->SetName("P");
  probe->SetBounds(10, 10, 60, 60);
  probe->SetColor(clYellow);
  probe->SetParent(form);
  auto* dot = new TDot(form);
  dot->SetBounds(5, 6, 8, 8);
  dot->SetParent(probe);
  form->Show();
  Application().ProcessMessages();
  auto* surface = static_cast<RecordingSurface*>(GetWindowSurface(probe->Handle()));
  const auto& log = surface->log();
  auto at = [&](const std::string& prefix) {
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  };
  const int erase = at("fillRect 0,0,60,60 brush=" + colorText(clYellow));
  const int paint = at("fillRect 1,1,5,5 brush=" + colorText(clRed));
  const int text = at("textOut 2,3 'P'");
  const int child = at("ellipse 0,0,8,8");
  const int childOrigin = at("setWindowOrg -5,-6");
  ASSERT_GE(erase, 0);
  EXPECT_LT(erase, paint);
  EXPECT_LT(paint, text);
  EXPECT_LT(text, childOrigin);
  EXPECT_LT(childOrigin, child);
  EXPECT_TRUE(GetUpdateRegion(probe->Handle()).empty());

  // A failing Paint still ends the paint: the region is validated, the exception reaches the box.
  std::vector<std::string> boxes;
  SetExceptionBoxHook([&](const std::string&, const std::string& m) { boxes.push_back(m); });
  probe->throwInPaint = true;
  probe->Invalidate();
  presenter->after(5, [] { Application().Terminate(); });
  Application().Run();
  EXPECT_EQ(boxes, (std::vector<std::string>{"paint failed."}));
  EXPECT_TRUE(GetUpdateRegion(probe->Handle()).empty());
  SetExceptionBoxHook([](const std::string&, const std::string&) {});
}

TEST_F(FormsTest, KeysArriveInWindowsOrderAndDialogKeysMoveTheFocus) {
  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  auto* first = new TProbe(form);
  first->SetName("First");
  first->SetParent(form);
  auto* second = new TProbe(form);
  second->SetName("Second");
  second->SetParent(form);
  for (TProbe* p : {first, second}) {
    p->OnKeyDown.Bind([p](TObject*, uint16_t& k, TShiftState) {
      events.push_back(p->Name() + " down " + std::to_string(k));
    });
    p->OnKeyPress.Bind(
        [p](TObject*, char& c) { events.push_back(p->Name() + " press " + std::string(1, c)); });
    p->OnKeyUp.Bind([p](TObject*, uint16_t& k, TShiftState) {
      events.push_back(p->Name() + " up " + std::to_string(k));
    });
    p->OnEnter.Bind([p](TObject*) { events.push_back(p->Name() + " enter"); });
    p->OnExit.Bind([p](TObject*) { events.push_back(p->Name() + " exit"); });
  }
  form->Show();
  ASSERT_EQ(GetFocus(), first->Handle());
  events.clear();
  HeadlessPresenter::typeText("A");
  HeadlessPresenter::key(VK_TAB);
  Application().ProcessMessages();
  const std::vector<std::string> expected = {
      "First CN_KEYDOWN", "First CN_KEYDOWN", "First down 16",   "First CN_KEYDOWN",
      "First down 65",    "First CN_CHAR",    "First press A",   "First CN_KEYUP",
      "First up 65",      "First CN_KEYUP",   "First up 16",     "First CN_KEYDOWN",
      "First exit",       "Second enter",     "Second CN_KEYUP", "Second up 9"};
  // (shift goes down first; the tab is taken as a dialog key: no key down, no character)
  std::vector<std::string> got;
  for (const auto& e : events)
    if (e.find("enter") == std::string::npos || e.find(" enter") != std::string::npos) got.push_back(e);
  got.erase(std::remove(got.begin(), got.end(), "First CN_KEYDOWN"), got.end());
  std::vector<std::string> want = expected;
  want.erase(std::remove(want.begin(), want.end(), "First CN_KEYDOWN"), want.end());
  EXPECT_EQ(got, want);
  EXPECT_EQ(std::count(events.begin(), events.end(), "First CN_KEYDOWN"), 3);
  EXPECT_EQ(GetFocus(), second->Handle());
}

TEST_F(FormsTest, CaptureRoutesMouseWhileEnterAndLeaveFollowThePointer) {
  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  form->SetBorderStyle(TBorderStyle::bsNone);
  form->SetBounds(0, 0, 300, 100);
  auto* a = new TProbe(form);
  a->SetName("A");
  a->SetBounds(10, 10, 50, 50);
  a->SetParent(form);
  auto* b = new TProbe(form);
  b->SetName("B");
  b->SetBounds(100, 10, 50, 50);
  b->SetParent(form);
  auto* dot = new TDot(form);
  dot->SetBounds(200, 10, 20, 20);
  dot->SetParent(form);
  std::vector<std::string> moves;
  for (TProbe* p : {a, b})
    p->OnMouseMove.Bind([p, &moves](TObject*, TShiftState, int x, int y) {
      moves.push_back(p->Name() + " " + std::to_string(x) + "," + std::to_string(y));
    });
  form->Show();
  HeadlessPresenter::mouseMove(screenOf(a, 5, 5));
  Application().ProcessMessages();
  a->SetMouseCapture(true);
  HeadlessPresenter::mouseMove(screenOf(b, 5, 5));
  Application().ProcessMessages();
  a->SetMouseCapture(false);
  HeadlessPresenter::mouseMove(screenOf(b, 6, 6));
  Application().ProcessMessages();
  EXPECT_EQ(moves, (std::vector<std::string>{"A 5,5", "A 95,5", "B 6,6"}));
  EXPECT_EQ(events, (std::vector<std::string>{"A enter", "A leave", "B enter"}));

  // A graphic control captures through its parent's window and sees points outside itself.
  int clicks = 0;
  dot->OnClick.Bind([&](TObject*) { ++clicks; });
  HeadlessPresenter::mouseMove(screenOf(dot, 2, 2));
  HeadlessPresenter::mouseDown(screenOf(dot, 2, 2));
  HeadlessPresenter::mouseMove(screenOf(dot, 40, -5));
  HeadlessPresenter::mouseUp(screenOf(dot, 40, -5));
  Application().ProcessMessages();
  EXPECT_EQ(dot->moves, (std::vector<std::string>{"2,2", "40,-5"}));
  EXPECT_EQ(clicks, 0); // released outside
  HeadlessPresenter::click(screenOf(dot, 3, 3));
  Application().ProcessMessages();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(GetCapture(), 0u);
}

// ---- a form from a form file, run by the application loop

class TMainForm : public TForm {
  KV_CLASS_INFO(TMainForm)
public:
  using TForm::TForm;
  TTimer* AutoTimer = nullptr;
  TProbe* Probe1 = nullptr;
  void FormCreate(TObject*) { events.push_back("FormCreate@" + std::to_string(GetTickCount())); }
  void FormShow(TObject*) {
    events.push_back("FormShow@" + std::to_string(GetTickCount()));
    AutoTimer->SetEnabled(true);
  }
  void AutoTimerTimer(TObject*) {
    AutoTimer->SetEnabled(false);
    events.push_back("AutoTimerTimer@" + std::to_string(GetTickCount()));
    Application().Terminate();
  }
  void FormDestroy(TObject*) { events.push_back("FormDestroy"); }
  void Loaded() override {
    TForm::Loaded();
    events.push_back("Loaded " + Name());
  }
};
const TClassInfo& TMainForm::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TMainForm, TForm>("TMainForm")
                                     .Field("AutoTimer", &TMainForm::AutoTimer)
                                     .Field("Probe1", &TMainForm::Probe1)
                                     .Method("FormCreate", &TMainForm::FormCreate)
                                     .Method("FormShow", &TMainForm::FormShow)
                                     .Method("AutoTimerTimer", &TMainForm::AutoTimerTimer)
                                     .Method("FormDestroy", &TMainForm::FormDestroy)
                                     .Build();
  return info;
}

const char* kMainForm = R"(object MainForm: TMainForm
  Left = 0
  Top = 0
  Caption = 'Korvalis database backup/restore'
  BorderStyle = bsDialog
  ClientHeight = 260
  ClientWidth = 482
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Position = poScreenCenter
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  OnShow = FormShow
  object Probe1: TProbe
    Left = 8
    Top = 8
    Width = 100
    Height = 20
    TabOrder = 0
  end
  object AutoTimer: TTimer
    Enabled = False
    OnTimer = AutoTimerTimer
  end
end
)";

TEST_F(FormsTest, HeadlessRunOfAFormFileWithAOneShotTimer) {
  RegisterClass(TMainForm::StaticClassInfo());
  RegisterFormResource("TMainForm", kMainForm, "uMainForm.kfm");
  TMainForm* MainForm = nullptr;
  Application().CreateForm(MainForm);
  ASSERT_NE(MainForm, nullptr);
  EXPECT_EQ(Application().MainForm(), MainForm);
  ASSERT_NE(MainForm->AutoTimer, nullptr);
  EXPECT_EQ(MainForm->AutoTimer->Interval(), 1000u); // the class default
  EXPECT_EQ(MainForm->Caption(), "Korvalis database backup/restore");
  Application().Run();
  EXPECT_TRUE(Application().Terminated());
  Application().Run(); // returns at once once terminated
  ResetApplication();
  EXPECT_EQ(events, (std::vector<std::string>{"Loaded MainForm", "FormCreate@0", "FormShow@0",
                                              "AutoTimerTimer@1000", "FormDestroy"}));
}

TEST_F(FormsTest, FormClientSizePositionAndWrittenFormFile) {
  RegisterClass(TMainForm::StaticClassInfo());
  RegisterFormResource("TMainForm", kMainForm, "uMainForm.kfm");
  TMainForm* MainForm = nullptr;
  Application().CreateForm(MainForm);
  MainForm->Show();
  TRect client, window;
  GetClientRect(MainForm->Handle(), &client);
  GetWindowRect(MainForm->Handle(), &window);
  EXPECT_EQ(client, Rect(0, 0, 482, 260));
  // A dialog frame of 3 pixels and a caption of 19, centred on the 1024 x 768 screen.
  EXPECT_EQ(window.Width(), 488);
  EXPECT_EQ(window.Height(), 285);
  EXPECT_EQ(window.Left, (1024 - 488) / 2);
  EXPECT_EQ(window.Top, (768 - 285) / 2);
  const std::string text = WriteComponentText(*MainForm);
  EXPECT_NE(text.find("  BorderStyle = bsDialog\n  ClientHeight = 260\n  ClientWidth = 482\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("Font.Height"), std::string::npos); // equal to the stream default
  EXPECT_EQ(text.find("Interval"), std::string::npos);
  EXPECT_NE(text.find("    OnTimer = AutoTimerTimer\n"), std::string::npos);
  EXPECT_NE(text.find("  object Probe1: TProbe\n    Left = 8\n"), std::string::npos);
}

TEST_F(FormsTest, ModalFormReturnsItsResultAndDisablesTheOthers) {
  auto* main = TCustomForm::CreateNew<TForm>(&Application());
  Application().SetMainForm(main);
  main->Show();
  auto* dialog = TCustomForm::CreateNew<TForm>(&Application());
  bool mainDisabled = false;
  presenter->after(50, [&] {
    mainDisabled = !IsWindowEnabled(main->Handle());
    dialog->SetModalResult(mrOk);
  });
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_TRUE(mainDisabled);
  EXPECT_TRUE(IsWindowEnabled(main->Handle()));
  EXPECT_FALSE(dialog->Visible());
  EXPECT_THROW(
      {
        dialog->Show();
        dialog->ShowModal();
      },
      EInvalidOperation);
  // Closing the main form ends the application.
  main->Close();
  EXPECT_TRUE(Application().Terminated());
}

TEST_F(FormsTest, ScreenCursorAndTitle) {
  Screen().SetCursor(crHourGlass);
  EXPECT_EQ(Screen().Cursor(), crHourGlass);
  EXPECT_EQ(Screen().Width(), 1024);
  Application().SetTitle("KVBackup");
  std::string caption, message;
  SetExceptionBoxHook([&](const std::string& c, const std::string& m) {
    caption = c;
    message = m;
  });
  Application().HandleException(EConvertError("'x' is not a valid integer value"));
  EXPECT_EQ(caption, "KVBackup");
  EXPECT_EQ(message, "'x' is not a valid integer value.");
  message.clear();
  Application().HandleException(EAbort("quiet"));
  EXPECT_EQ(message, "");
  SetExceptionBoxHook([](const std::string&, const std::string&) {});
}

} // namespace
