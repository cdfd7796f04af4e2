// The registry-tagged controls, the density and temperature fields (values, canonical texts,
// the key filter) and the repeating speed button, driven headless.
#include "KVControls.h"

#include "../Platform/Ui/UiTestSupport.h"

#include "Platform/Rtl/Streaming.h"

#include <limits>

using namespace kv::platform;
using namespace KVControls;

namespace {

class KVControlsTest : public kvtest::UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    saved_ = FormatSettings();
    useDecimalSeparator(',');
    form = TCustomForm::CreateNew<TForm>(&Application());
    form->SetBorderStyle(TBorderStyle::bsNone);
    form->SetBounds(0, 0, 300, 200);
  }
  void TearDown() override {
    SetFormatSettings(saved_);
    UiTest::TearDown();
  }
  // A ',' locale groups thousands with '.', a '.' locale with ','.
  void useDecimalSeparator(char dec) {
    TFormatSettings fs = saved_;
    fs.DecimalSeparator = dec;
    fs.ThousandSeparator = dec == ',' ? '.' : ',';
    SetFormatSettings(fs);
  }
  template <class T> T* add(int top = 10) {
    auto* c = new T(form);
    c->SetParent(form);
    c->SetTop(top);
    return c;
  }
  // Shows the form and holds the mouse down inside the control; answers where it is held.
  TPoint showAndHoldDown(TControl* c) {
    form->Show();
    Application().ProcessMessages();
    const TPoint inside = c->ClientToScreen(TPoint{5, 5});
    HeadlessPresenter::mouseDown(inside);
    Application().ProcessMessages();
    return inside;
  }
  void showAndFocus(TWinControl* c) {
    form->Show();
    Application().ProcessMessages();
    c->SetFocus();
    Application().ProcessMessages();
  }
  static void type(const std::string& s) {
    HeadlessPresenter::typeText(s);
    Application().ProcessMessages();
  }
  static void advance(uint64_t ms) {
    static_cast<VirtualClock&>(currentClock()).advance(ms);
    Application().ProcessMessages();
  }
  TForm* form = nullptr;

private:
  TFormatSettings saved_;
};

} // namespace

// A text is read with the locale's decimal separator; the other of '.' and ',' only where it
// groups thousands exactly as the field writes them. What no 32-bit count of hundredths holds
// is no value: 21474836,47 is the largest count, 2147483647.
TEST_F(KVControlsTest, DensityFollowsTheTypedTextInHundredths) {
  auto* d = add<TDensityEdit>();
  EXPECT_EQ(d->DensityVal(), -1);
  EXPECT_EQ(d->MaxLength(), 4);
  struct Row {
    char dec;
    std::string text;
    int value;
  };
  const Row rows[] = {
      {',', "1,25", 125},
      {',', "0,5", 50},
      {',', "abc", -1},
      {',', "", -1},
      {',', "1.25", -1},
      {',', "*,**", -1},
      {',', "2,345", 235},
      {',', "2,355", 236},
      {',', "1.234,50", 123450},
      {',', "1.234,5", -1},
      {',', "12.34", -1},
      {',', "0.125", -1},
      {',', "21474836,47", 2147483647},
      {',', "21474836,48", -1},
      {',', "99999999999", -1},
      {'.', "1.25", 125},
      {'.', "0,125", -1},
      {'.', "1,25", -1},
      {'.', "1,234.50", 123450},
      {'.', "1,234.5", -1},
      {'.', "*.**", -1},
      {'.', "21474836.48", -1},
      {'.', "-21474836.49", -1},
      {'.', "1e300", -1},
  };
  // 2.345 x 100 is 234.50000000000003 in doubles (Python agrees), so it rounds up; 2.355 x 100
  // is exactly 235.5 and goes to the even 236.
  for (const Row& r : rows) {
    useDecimalSeparator(r.dec);
    d->SetText(r.text);
    EXPECT_EQ(d->DensityVal(), r.value) << r.dec << " " << r.text;
  }
  useDecimalSeparator(',');
  d->SetText("1,25");
  EXPECT_DOUBLE_EQ(d->DensityValF(), 1.25);
}

TEST_F(KVControlsTest, DensityTextIsRewrittenOnLeavingTheField) {
  auto* d = add<TDensityEdit>(10);
  auto* other = add<TEdit>(50);
  int exits = 0;
  d->OnExit.Bind([&](TObject*) {
    ++exits;
    EXPECT_EQ(d->Text(), "1,2"); // still as typed while OnExit runs
  });
  showAndFocus(d);
  type("1,2");
  EXPECT_EQ(d->DensityVal(), 120);
  other->SetFocus();
  Application().ProcessMessages();
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(d->Text(), "1,20");
  d->OnExit.Clear();
  d->SetFocus();
  d->SetText("x");
  other->SetFocus();
  Application().ProcessMessages();
  EXPECT_EQ(d->Text(), "*,**");
  EXPECT_EQ(d->DensityVal(), -1);
}

// A value set by the program shows in the canonical form; one that no count of hundredths
// (tenths) holds, or no number, is no value with its stars, never the range's end or 0.
TEST_F(KVControlsTest, ValuesSetByTheProgram) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    char dec;
    double x;
    int density;
    std::string densityText;
    int tenths;
    std::string tempText;
  };
  const Row rows[] = {
      {',', 0.125, 12, "0,12", 1, "0,1"}, // Round(12.5) = 12, ties to even
      {',', 21.25, 2125, "21,25", 212, "21,2"},
      {',', 1234.56, 123456, "1.234,56", 12346, "1.234,6"},
      {'.', 1234.56, 123456, "1,234.56", 12346, "1,234.6"},
      {',', -3.0, -1, "*,**", -1, "**.*"}, // the stars read back as no value
      {',', nan, -1, "*,**", -1, "**.*"},
      {'.', nan, -1, "*.**", -1, "**.*"},
      {',', 3e7, -1, "*,**", 300000000, "30.000.000,0"},
      {'.', 3e8, -1, "*.**", -1, "**.*"},
      {'.', -3e8, -1, "*.**", -1, "**.*"},
  };
  auto* d = add<TDensityEdit>();
  auto* t = add<TTempEdit>(40);
  for (const Row& r : rows) {
    useDecimalSeparator(r.dec);
    d->SetDensityValF(r.x);
    t->SetTempVal(r.x);
    EXPECT_EQ(d->DensityVal(), r.density) << r.dec << " " << r.x;
    EXPECT_EQ(d->Text(), r.densityText) << r.dec << " " << r.x;
    EXPECT_EQ(t->TempTenths(), r.tenths) << r.dec << " " << r.x;
    EXPECT_EQ(t->Text(), r.tempText) << r.dec << " " << r.x;
    // The canonical text reads back as the value.
    if (r.density >= 0) {
      d->SetText(d->Text());
      EXPECT_EQ(d->DensityVal(), r.density) << r.densityText;
    }
  }
  useDecimalSeparator(',');
  d->SetDensityVal(-1);
  EXPECT_EQ(d->Text(), "*,**");
}

TEST_F(KVControlsTest, TemperatureInTenths) {
  auto* t = add<TTempEdit>();
  EXPECT_EQ(t->TempVal(), 0.0);
  EXPECT_EQ(t->Text(), "");
  EXPECT_EQ(t->MaxLength(), 4);
  struct Row {
    char dec;
    std::string text;
    int tenths;
  };
  const Row rows[] = {
      {',', "20,5", 205},       {',', "abc", -1},   {',', "20.5", -1}, {',', "214748364,7", 2147483647},
      {',', "214748364,8", -1}, {'.', "20.5", 205}, {'.', "0,5", -1},  {'.', "1,234.5", 12345},
      {'.', "1,234.50", -1}};
  for (const Row& r : rows) {
    useDecimalSeparator(r.dec);
    t->SetText(r.text);
    EXPECT_EQ(t->TempTenths(), r.tenths) << r.dec << " " << r.text;
  }
  useDecimalSeparator(',');
  t->SetTempVal(21.25);
  EXPECT_DOUBLE_EQ(t->TempVal(), 21.2);
}

TEST_F(KVControlsTest, KeyFilterPassesDigitsStarBackspaceAndOneSeparator) {
  struct Row {
    std::string typed, expected;
  };
  const Row rows[] = {
      {"1,2,3", "1,23"}, // the second separator is swallowed
      {"a1b", "1"},      // letters never pass
      {"**", "**"},      // '*' always passes
      {"12\b3", "13"},   // backspace always passes
      {"1.5", "15"},     // the point is not this locale's separator
      {"-1", "1"},       {"1 2", "12"},
  };
  for (const Row& r : rows) {
    for (int kind = 0; kind < 2; ++kind) {
      TCustomEdit* e = kind == 0 ? static_cast<TCustomEdit*>(add<TDensityEdit>()) : add<TTempEdit>();
      showAndFocus(e);
      std::string seen;
      static_cast<TWinControl*>(e)->OnKeyPress.Bind([&](TObject*, char& k) { seen += k; });
      type(r.typed);
      EXPECT_EQ(e->Text(), r.expected) << r.typed << " kind " << kind;
      EXPECT_EQ(seen, r.typed); // OnKeyPress saw every key once, before the filter
      TComponent::Free(e);
    }
  }
}

TEST_F(KVControlsTest, OnKeyPressCanSwallowAKeyFirst) {
  auto* d = add<TDensityEdit>();
  showAndFocus(d);
  d->OnKeyPress.Bind([](TObject*, char& k) {
    if (k == '5') k = 0;
  });
  type("152");
  EXPECT_EQ(d->Text(), "12");
}

TEST_F(KVControlsTest, RegistryTagNamesTheValueAfterTheControl) {
  auto* e = add<TKVEdit>();
  e->SetName("Edit1");
  EXPECT_TRUE(e->SaveToRegistry());
  EXPECT_EQ(e->GetRegValueName(), "Edit1");
  e->SetRegValueName("Customer");
  EXPECT_EQ(e->GetRegValueName(), "Customer");
  auto* c = add<TKVCheckBox>();
  c->SetName("Check");
  c->SetSaveToRegistry(false);
  EXPECT_FALSE(c->SaveToRegistry());
  EXPECT_EQ(c->GetRegValueName(), "Check");
  // No default: the tag is always written, after the parent's properties.
  const std::string text = WriteComponentText(*c);
  EXPECT_NE(text.find("SaveToRegistry = False"), std::string::npos) << text;
  EXPECT_NE(text.find("RegValueName = 'Check'"), std::string::npos);
  const auto& props = TKVRadioButton::StaticClassInfo().Props;
  ASSERT_GE(props.size(), 2u);
  EXPECT_EQ(props[props.size() - 2].Name, "SaveToRegistry");
  EXPECT_EQ(props.back().Name, "RegValueName");
  auto* p = add<TKVDateTimePicker>();
  p->SetName("Picker");
  EXPECT_EQ(p->GetRegValueName(), "Picker");
  EXPECT_EQ(TDensityEdit::StaticClassInfo().FindProp("SaveToRegistry") != nullptr, true);
  EXPECT_EQ(TTempEdit::StaticClassInfo().FindProp("SaveToRegistry"), nullptr);
}

TEST_F(KVControlsTest, HeldButtonRepeatsAfter400AndThenEvery100Milliseconds) {
  auto* b = add<TTimedSpeedButton>();
  b->SetLeft(10);
  int clicks = 0;
  b->OnClick.Bind([&](TObject*) { ++clicks; });
  const TPoint inside = showAndHoldDown(b);
  advance(399);
  EXPECT_EQ(clicks, 0);
  advance(1);
  EXPECT_EQ(clicks, 1);
  advance(100);
  EXPECT_EQ(clicks, 2);
  advance(100);
  EXPECT_EQ(clicks, 3);
  // Off the button: the repetition pauses, the timer keeps running.
  HeadlessPresenter::mouseMove(b->ClientToScreen(TPoint{100, 100}));
  Application().ProcessMessages();
  advance(300);
  EXPECT_EQ(clicks, 3);
  ASSERT_NE(b->RepeatTimer(), nullptr);
  EXPECT_TRUE(b->RepeatTimer()->Enabled());
  HeadlessPresenter::mouseMove(inside);
  Application().ProcessMessages();
  advance(100);
  EXPECT_EQ(clicks, 4);
  HeadlessPresenter::mouseUp(inside);
  Application().ProcessMessages();
  EXPECT_EQ(clicks, 5); // the ordinary click on release
  EXPECT_FALSE(b->RepeatTimer()->Enabled());
  advance(500);
  EXPECT_EQ(clicks, 5);
}

TEST_F(KVControlsTest, ButtonWithoutTheTimerIsAPlainSpeedButton) {
  auto* b = add<TTimedSpeedButton>();
  b->TimeBtnState = TTimeBtnState{};
  int clicks = 0;
  b->OnClick.Bind([&](TObject*) { ++clicks; });
  const TPoint inside = showAndHoldDown(b);
  advance(1000);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(b->RepeatTimer(), nullptr);
  HeadlessPresenter::mouseUp(inside);
  Application().ProcessMessages();
  EXPECT_EQ(clicks, 1);
}

TEST_F(KVControlsTest, AFailingRepeatedClickStopsTheRepetition) {
  auto* b = add<TTimedSpeedButton>();
  b->OnClick.Bind([&](TObject*) { throw EInvalidOperation("refused"); });
  showAndHoldDown(b);
  static_cast<VirtualClock&>(currentClock()).advance(400);
  try {
    Application().ProcessMessages();
  } catch (const EInvalidOperation&) {
  }
  ASSERT_NE(b->RepeatTimer(), nullptr);
  EXPECT_FALSE(b->RepeatTimer()->Enabled());
}

// A button of a group that is down is not pressed by that: it repeats only while held with the
// pointer over it, and its repeated clicks leave it down.
TEST_F(KVControlsTest, AStickyGroupButtonRepeatsOnlyUnderThePointerAndStaysDown) {
  auto* b = add<TTimedSpeedButton>();
  b->SetGroupIndex(1);
  b->SetAllowAllUp(true);
  b->SetDown(true);
  int clicks = 0;
  b->OnClick.Bind([&](TObject*) { ++clicks; });
  const TPoint inside = showAndHoldDown(b);
  advance(400);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(b->Down());
  HeadlessPresenter::mouseMove(b->ClientToScreen(TPoint{100, 100}));
  Application().ProcessMessages();
  advance(500);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(b->Down());
  HeadlessPresenter::mouseMove(inside);
  Application().ProcessMessages();
  advance(100);
  EXPECT_EQ(clicks, 2);
  EXPECT_TRUE(b->Down());
}

TEST(KVControlsRegister, SevenControlsOnKorvalisInOrder) {
  const std::initializer_list<std::string> expected = {"TKVCheckBox",      "TKVDateTimePicker", "TKVEdit",
                                                       "TKVRadioButton",   "TDensityEdit",      "TTempEdit",
                                                       "TTimedSpeedButton"};
  kvtest::expectPalette(KVControls::Register, "Korvalis", expected);
  for (const std::string& name : expected)
    EXPECT_NE(GetClass(name), nullptr) << name;
}
