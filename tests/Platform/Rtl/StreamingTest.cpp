#include "Platform/Rtl/Streaming.h"
#include "Platform/Rtl/TypInfo.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace kv::platform;

namespace {

enum class TShape { stCircle, stSquare, stTriangle };
KV_ENUM_NAMES(TShape, "stCircle", "stSquare", "stTriangle")
enum class TOption { opA, opB, opC };
KV_ENUM_NAMES(TOption, "opA", "opB", "opC")

const TIdentMap& shades() {
  static const TIdentMap m = {{0, "shBlack"}, {0xFFFFFF, "shWhite"}};
  return m;
}

std::vector<std::string> loadedLog;

class TOrigin : public TPersistent {
  KV_CLASS_INFO(TOrigin)
public:
  int X = 0, Y = 0;
};
const TClassInfo& TOrigin::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TOrigin, TPersistent>("TOrigin")
                                     .Int("X", &TOrigin::X, &TOrigin::X, 0)
                                     .Int("Y", &TOrigin::Y, &TOrigin::Y, 0)
                                     .Build();
  return info;
}

class TColumn : public TCollectionItem {
  KV_CLASS_INFO(TColumn)
public:
  explicit TColumn(TCollection* c) : TCollectionItem(c) {}
  std::string Caption;
  int Width = 50;
};
const TClassInfo& TColumn::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TColumn, TCollectionItem>("TColumn")
                                     .Str("Caption", &TColumn::Caption, &TColumn::Caption, std::string())
                                     .Int("Width", &TColumn::Width, &TColumn::Width, 50)
                                     .Build();
  return info;
}

class TWidget : public TComponent {
  KV_CLASS_INFO(TWidget)
public:
  explicit TWidget(TComponent* owner) : TComponent(owner) {}
  ~TWidget() override {
    if (parent_)
      parent_->children_.erase(std::find(parent_->children_.begin(), parent_->children_.end(), this));
    for (TWidget* c : children_)
      c->parent_ = nullptr;
  }
  int Count = 0;
  double Ratio = 1.0;
  std::string Label;
  bool Active = true;
  TShape Shape = TShape::stCircle;
  TSet<TOption> Options;
  int Shade = 0;
  int Mark = 0;
  int64_t Big = 0;
  TStringList Lines;
  TCollection Columns{TColumn::StaticClassInfo(), this};
  TOrigin Origin;
  TWidget* Buddy = nullptr;
  std::vector<uint8_t> Data;
  TNotifyEvent OnChange;
  TEvent<TObject*, int&> OnCount;

  bool HasParent() const override { return parent_ != nullptr; }
  TComponent* GetParentComponent() const override { return parent_; }
  void SetParentComponent(TComponent* value) override {
    if (auto* w = dynamic_cast<TWidget*>(value)) {
      parent_ = w;
      w->children_.push_back(this);
    }
  }
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override {
    for (TWidget* c : children_)
      if (c->Owner() == root) proc(c);
  }
  void Loaded() override {
    TComponent::Loaded();
    loadedLog.push_back(Name());
  }

private:
  TWidget* parent_ = nullptr;
  std::vector<TWidget*> children_;
};

const TClassInfo& TWidget::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TWidget, TComponent>("TWidget")
          .Int("Count", &TWidget::Count, &TWidget::Count, 0)
          .Float("Ratio", &TWidget::Ratio, &TWidget::Ratio, 1.0)
          .Str("Label", &TWidget::Label, &TWidget::Label, std::string())
          .Bool("Active", &TWidget::Active, &TWidget::Active, true)
          .Enum<TShape>("Shape", &TWidget::Shape, &TWidget::Shape, TShape::stCircle)
          .Set<TOption>("Options", &TWidget::Options, &TWidget::Options, TSet<TOption>{})
          .IdentInt("Shade", shades(), &TWidget::Shade, &TWidget::Shade, 0)
          // A map built in the call: the table has to keep its own copy.
          .IdentInt("Mark", TIdentMap{{3, "mkThree"}}, &TWidget::Mark, &TWidget::Mark, 0)
          .Int("Big", &TWidget::Big, &TWidget::Big, NoDefault)
          .Object("Lines", [](const TWidget& w) { return &w.Lines; })
          .Object("Columns", [](const TWidget& w) { return &w.Columns; })
          .Object("Origin", [](const TWidget& w) { return &w.Origin; })
          .Ref<TWidget>("Buddy", &TWidget::Buddy, &TWidget::Buddy)
          .Binary("Data", &TWidget::Data, &TWidget::Data)
          .Event("OnChange", &TWidget::OnChange)
          .Event("OnCount", &TWidget::OnCount)
          .Build();
  return info;
}

// A descendant that redeclares Count (now always written) and adds a property.
class TBigWidget : public TWidget {
  KV_CLASS_INFO(TBigWidget)
public:
  using TWidget::TWidget;
  int Extra = 5;
};
const TClassInfo& TBigWidget::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TBigWidget, TWidget>("TBigWidget")
                                     .Int("Count", &TWidget::Count, &TWidget::Count, NoDefault)
                                     .Int("Extra", &TBigWidget::Extra, &TBigWidget::Extra, 5)
                                     .Build();
  return info;
}

class TRoot : public TComponent {
  KV_CLASS_INFO(TRoot)
public:
  explicit TRoot(TComponent* owner) : TComponent(owner) {}
  TWidget* First = nullptr;
  TWidget* Second = nullptr;
  std::vector<std::string> calls;
  void WidgetChange(TObject* sender) {
    calls.push_back("change " + static_cast<TComponent*>(sender)->Name());
  }
  void WidgetCount(TObject*, int& n) { n += 10; }
  void Loaded() override {
    TComponent::Loaded();
    loadedLog.push_back(Name());
  }
  void BeforeDestruction() override {
    TComponent::BeforeDestruction();
    loadedLog.push_back("before destruction " + Name());
  }
};
const TClassInfo& TRoot::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TRoot, TComponent>("TRoot")
                                     .Field("First", &TRoot::First)
                                     .Field("Second", &TRoot::Second)
                                     .Method("WidgetChange", &TRoot::WidgetChange)
                                     .Method("WidgetCount", &TRoot::WidgetCount)
                                     .Build();
  return info;
}

struct Registered {
  Registered() {
    RegisterClasses({&TWidget::StaticClassInfo(), &TBigWidget::StaticClassInfo(), &TRoot::StaticClassInfo()});
  }
};

const char* kForm = R"(object Root1: TRoot
  Tag = 7
  object First: TWidget
    Label = 'it''s'#13#10'two' + ' lines'
    Count = -3
    Ratio = 2.5E-1
    Active = False
    Shape = stTriangle
    Options = [opC, opA]
    Shade = shWhite
    Mark = mkThree
    Big = $1FFFFFFFF
    Lines = (
      'one'
      'two')
    Columns = <
      item
        Caption = 'Name'
        Width = 120
      end
      item
      end>
    Origin.X = 4
    Buddy = Second
    Data = {
      00FF10}
    OnChange = WidgetChange
    OnCount = WidgetCount
    object Inner: TBigWidget
      Extra = 6
    end
  end
  // a comment line
  object Second: TWidget
    Shade = 255
    Big = -$8000000000000000
    Buddy = First
  end
end
)";

// What the writer makes of kForm: defaults left out, properties in the class's order, the
// expected text written by hand.
const char* kWritten = R"(object Root1: TRoot
  Tag = 7
  object First: TWidget
    Count = -3
    Ratio = 0.25
    Label = 'it''s'#13#10'two lines'
    Active = False
    Shape = stTriangle
    Options = [opA, opC]
    Shade = shWhite
    Mark = mkThree
    Big = 8589934591
    Lines = (
      'one'
      'two')
    Columns = <
      item
        Caption = 'Name'
        Width = 120
      end
      item
      end>
    Origin.X = 4
    Buddy = Second
    Data = {
      00FF10}
    OnChange = WidgetChange
    OnCount = WidgetCount
    object Inner: TBigWidget
      Count = 0
      Big = 0
      Extra = 6
    end
  end
  object Second: TWidget
    Shade = 255
    Big = -9223372036854775808
    Buddy = First
  end
end
)";

TEST(FormFiles, ReadBindsFieldsHandlersReferencesAndCallsLoadedInCreationOrder) {
  static Registered once;
  loadedLog.clear();
  TRoot root(nullptr);
  ReadComponentText(root, kForm, "test.kfm");
  EXPECT_EQ(root.Name(), "Root1");
  EXPECT_EQ(root.Tag, 7);
  ASSERT_NE(root.First, nullptr);
  ASSERT_NE(root.Second, nullptr);
  TWidget& w = *root.First;
  EXPECT_EQ(w.Label, "it's\r\ntwo lines");
  EXPECT_EQ(w.Count, -3);
  EXPECT_DOUBLE_EQ(w.Ratio, 0.25);
  EXPECT_FALSE(w.Active);
  EXPECT_EQ(w.Shape, TShape::stTriangle);
  EXPECT_EQ(w.Options, (TSet<TOption>{TOption::opA, TOption::opC}));
  EXPECT_EQ(w.Shade, 0xFFFFFF);
  EXPECT_EQ(w.Mark, 3);
  EXPECT_EQ(w.Big, 0x1FFFFFFFFLL);
  EXPECT_EQ(w.Lines.Text(), "one\ntwo\n");
  ASSERT_EQ(w.Columns.Count(), 2);
  EXPECT_EQ(static_cast<TColumn*>(w.Columns.Items(0))->Caption, "Name");
  EXPECT_EQ(static_cast<TColumn*>(w.Columns.Items(1))->Width, 50);
  EXPECT_EQ(w.Origin.X, 4);
  EXPECT_EQ(w.Buddy, root.Second); // a reference to a component read later
  EXPECT_EQ(root.Second->Buddy, root.First);
  EXPECT_EQ(root.Second->Big, std::numeric_limits<int64_t>::min());
  EXPECT_EQ(w.Data, (std::vector<uint8_t>{0x00, 0xFF, 0x10}));
  w.OnChange(&w);
  int n = 1;
  w.OnCount(&w, n);
  EXPECT_EQ(n, 11);
  EXPECT_EQ(root.calls, (std::vector<std::string>{"change First"}));
  EXPECT_EQ(w.OnChange.HandlerName(), "WidgetChange");
  EXPECT_EQ(loadedLog, (std::vector<std::string>{"Root1", "First", "Inner", "Second"}));
  EXPECT_FALSE(w.IsLoading());
}

TEST(FormFiles, RoundTripKeepsValuesOmitsDefaultsAndKeepsStreamOrder) {
  static Registered once;
  TRoot a(nullptr);
  ReadComponentText(a, kForm, "test.kfm");
  const std::string first = WriteComponentText(a);
  EXPECT_EQ(first, kWritten);
  TRoot b(nullptr);
  ReadComponentText(b, first, "written.kfm");
  EXPECT_EQ(WriteComponentText(b), first);
  EXPECT_EQ(b.Second->Buddy, b.First);
}

TEST(FormFiles, ErrorsNameFileAndLine) {
  static Registered once;
  // Nesting beyond 256 levels (objects or collection items) is refused where it starts.
  std::string deepObjects = "object R: TRoot\n",
              deepItems = "object R: TRoot\n  object X: TWidget\n    Columns = <";
  for (int i = 0; i < 100000; ++i) {
    deepObjects += "object X: TWidget\n";
    deepItems += " item Columns = <";
  }
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"object R: TRoot\n  object X: TNoSuch\n  end\nend\n", "bad.kfm(2): Class TNoSuch not found"},
      {"object R: TRoot\n  object X: TWidget\n    Bogus = 1\n  end\nend\n",
       "bad.kfm(3): Property TWidget.Bogus does not exist"},
      {"object R: TRoot\n  object X: TWidget\n\n    OnChange = NoHandler\n  end\nend\n",
       "bad.kfm(4): Handler NoHandler not found in TRoot"},
      {"object R: TRoot\n  object X: TWidget\n    OnChange = WidgetCount\n  end\nend\n",
       "bad.kfm(3): Handler WidgetCount does not fit the event"},
      {"object R: TRoot\n  object X: TWidget\n    Buddy = R\n  end\nend\n",
       "bad.kfm(3): Component R has the wrong class"},
      {"object R: TRoot\n  object X: TWidget\n    Buddy = Nobody\n  end\nend\n",
       "bad.kfm(3): Component Nobody not found"},
      {"object R: TRoot\n  object X: TWidget\n    Label = 'open\n  end\nend\n",
       "bad.kfm(3): Unterminated string"},
      {"object R: TRoot\n  object X: TWidget\n    Shape = stOval\n  end\nend\n", "bad.kfm(3): "},
      {"object R: TRoot\n  object X: TWidget\n    Count = 'x'\n  end\nend\n", "bad.kfm(3): "},
      {"object R: TRoot\n  object X: TWidget\n    Count = 99999999999\n  end\nend\n", "bad.kfm(3): "},
      {"object R: TRoot\n  object X: TWidget\n", "bad.kfm(3): 'end' expected"},
      {"object R: TOther\nend\n", "bad.kfm(1): "},
      {"object R: TRoot\n  object X: TWidget\n  end\n  object X: TWidget\n  end\nend\n", "bad.kfm(4): "},
      {deepObjects, "bad.kfm(257): Objects nested too deeply"},
      {deepItems, "bad.kfm(3): Objects nested too deeply"},
  };
  for (const auto& c : cases) {
    TRoot root(nullptr);
    try {
      ReadComponentText(root, c.text, "bad.kfm");
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message().rfind(c.message, 0), 0u) << e.Message();
    }
  }
  // A root being designed keeps the name of a handler its class lacks (the event does nothing).
  TRoot designed(nullptr);
  designed.SetDesigning(true);
  ReadComponentText(designed, cases[2].text, "design.kfm");
  auto* x = dynamic_cast<TWidget*>(designed.FindComponent("X"));
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->OnChange.HandlerName(), "NoHandler");
  EXPECT_NO_THROW(x->OnChange(x));
}

TEST(FormFiles, RedeclaredPropertyKeepsItsPlaceAndNewDefault) {
  static Registered once;
  const TClassInfo& info = TBigWidget::StaticClassInfo();
  ASSERT_GE(info.Props.size(), 3u);
  EXPECT_EQ(info.Props[1].Name, "Count"); // after Tag, where the ancestor has it
  EXPECT_EQ(info.Props.back().Name, "Extra");
  EXPECT_EQ(GetClass("tbigwidget"), &info);
  EXPECT_THROW(FindClass("TMissing"), EClassNotFound);
}

TEST(FormFiles, CreatesTheRootByClassNameAndFindsRegisteredFormFiles) {
  static Registered once;
  RegisterFormResource("TRoot", "object R: TRoot\n  Tag = 3\nend\n", "root.kfm");
  std::string text, file;
  ASSERT_TRUE(FindFormResource("troot", text, file));
  EXPECT_EQ(file, "root.kfm");
  std::unique_ptr<TComponent> root(CreateComponentFromText(text, file, nullptr));
  EXPECT_EQ(root->ClassName(), "TRoot");
  EXPECT_EQ(root->Tag, 3);
  EXPECT_FALSE(FindFormResource("TNone", text, file));
  // A root that cannot be read is freed as components are, BeforeDestruction first.
  loadedLog.clear();
  EXPECT_THROW(CreateComponentFromText("object R: TRoot\n  Bogus = 1\nend\n", "bad.kfm", nullptr),
               EReadError);
  EXPECT_EQ(loadedLog, std::vector<std::string>{"before destruction R"});
}

TEST(Palette, FilledOnlyByRegisterComponents) {
  ClearPalette();
  EXPECT_TRUE(PaletteEntries().empty());
  RegisterComponents("Korvalis", {&TWidget::StaticClassInfo()});
  RegisterComponents("Zus\xE4tzlich", {&TBigWidget::StaticClassInfo()});
  ASSERT_EQ(PaletteEntries().size(), 2u);
  EXPECT_EQ(PaletteEntries()[1].Page, "Zus\xE4tzlich");
  EXPECT_EQ(PaletteEntries()[1].ClassName, "TBigWidget");
  ClearPalette();
}

} // namespace
