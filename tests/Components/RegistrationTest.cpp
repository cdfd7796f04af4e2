// The library as the form designer sees it: opened as a module, each component unit's
// Register routine found by its unit's name and called in the package's order, and the
// palette that results; and the same library in plain run-time use, which fills no palette.
#include "DockPanel.h"

#include "../Platform/Ui/UiTestSupport.h"
#include "Platform/Modules/Modules.h"
#include "Platform/Rtl/Streaming.h"
#include "Platform/Rtl/TypInfo.h"
#include "Platform/Ui/Bitmaps.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace kv::platform;

namespace {

// What the palette holds right after the library and its units were loaded, before main.
const size_t paletteAtLoad = PaletteEntries().size();

struct UnitRow {
  const char* unit;
  std::vector<const char*> classes;
  const char* page;
};

// The package's units in registration order, with their classes and pages, written out by
// hand. Two units come with their own class library bases and join the table when present.
std::vector<UnitRow> registrationTable() {
  std::vector<UnitRow> rows{
      {"KVWindow", {"TKVWindow"}, "Korvalis"},
      {"DropDownListView", {"TDropDownListView"}, "Korvalis"},
      {"DockPanel", {"TDockPanel"}, "Korvalis"},
      {"Animbtn", {"TAnimBtn"}, "Zus\xC3\xA4tzlich"},
      {"Window", {"TWindow"}, "Korvalis"},
      {"Prnprev", {"TPrintPreview"}, "Eigene"},
      {"ExStringGrid", {"TExStringGrid"}, "Dolvane"},
  };
#if __has_include("PrnRichEdit.h")
  rows.push_back({"PrnRichEdit", {"TPrnRichEdit"}, "Eigene"});
#endif
  rows.push_back({"KVControls",
                  {"TKVCheckBox", "TKVDateTimePicker", "TKVEdit", "TKVRadioButton", "TDensityEdit",
                   "TTempEdit", "TTimedSpeedButton"},
                  "Korvalis"});
#if __has_include("ExtDBGrid.h")
  rows.push_back({"ExtDBGrid", {"TExtDBGrid"}, "Korvalis"});
#endif
  rows.push_back({"VnkSingleInst", {"TVarnekSingleInstance"}, "Korvalis"});
  rows.push_back({"KVGeneralPurposeWindow", {"TKVGeneralPurposeWindow"}, "Korvalis"});
  return rows;
}

#if __has_include("ExtDBGrid.h")
constexpr bool kHaveDBGrid = true;
#else
constexpr bool kHaveDBGrid = false;
#endif
#if __has_include("PrnRichEdit.h")
constexpr bool kHaveRichEdit = true;
#else
constexpr bool kHaveRichEdit = false;
#endif
constexpr bool kAllUnitsPresent = kHaveDBGrid && kHaveRichEdit;

class RegistrationTest : public ::testing::Test {
protected:
  void TearDown() override {
    ClearPalette();
    unloadModule(module_);
  }
  ModuleHandle openLibrary() {
    module_ = loadModule((kvtest::buildDir() / "lib" / "libKV3Components.so").string());
    return module_;
  }
  ModuleHandle module_ = nullptr;
};

} // namespace

TEST_F(RegistrationTest, RunTimeUseCallsNoRegisterRoutine) {
  EXPECT_EQ(paletteAtLoad, 0u);
  // An application creates the components by class name from its form files; the classes are
  // known to the class registry from the moment the library is loaded.
  for (const UnitRow& row : registrationTable())
    for (const char* name : row.classes) {
      const TClassInfo* info = GetClass(name);
      ASSERT_NE(info, nullptr) << name;
      ASSERT_TRUE(info->CreateComponent) << name;
    }
  auto* panel = new DockPanel::TDockPanel(nullptr);
  TComponent::Free(panel);
  EXPECT_TRUE(PaletteEntries().empty());
}

TEST_F(RegistrationTest, DesignerFindsEveryRegisterRoutineAndFillsThePalette) {
  ASSERT_NE(openLibrary(), nullptr) << moduleError();
  std::vector<TPaletteEntry> expected;
  for (const UnitRow& row : registrationTable()) {
    const std::string entry = std::string(row.unit) + "_Register";
    auto* reg = reinterpret_cast<void (*)()>(findExport(module_, entry.c_str()));
    ASSERT_NE(reg, nullptr) << entry;
    const size_t before = PaletteEntries().size();
    reg();
    // One palette entry per class, each from its own call, in the unit's order.
    ASSERT_EQ(PaletteEntries().size(), before + row.classes.size()) << row.unit;
    for (const char* name : row.classes)
      expected.push_back(TPaletteEntry{row.page, name});
  }
  const auto& palette = PaletteEntries();
  ASSERT_EQ(palette.size(), expected.size());
  for (size_t i = 0; i < palette.size(); ++i) {
    EXPECT_EQ(palette[i].Page, expected[i].Page) << i;
    EXPECT_EQ(palette[i].ClassName, expected[i].ClassName) << i;
  }

  std::map<std::string, std::vector<std::string>> pages;
  for (const TPaletteEntry& e : palette)
    pages[e.Page].push_back(e.ClassName);
  std::vector<std::string> korvalis{"TKVWindow",    "TDropDownListView", "TDockPanel",       "TWindow",
                                    "TKVCheckBox",  "TKVDateTimePicker", "TKVEdit",          "TKVRadioButton",
                                    "TDensityEdit", "TTempEdit",         "TTimedSpeedButton"};
  if (kHaveDBGrid) korvalis.push_back("TExtDBGrid");
  korvalis.push_back("TVarnekSingleInstance");
  korvalis.push_back("TKVGeneralPurposeWindow");
  std::vector<std::string> eigene{"TPrintPreview"};
  if (kHaveRichEdit) eigene.push_back("TPrnRichEdit");
  if (kAllUnitsPresent) {
    EXPECT_EQ(palette.size(), 18u);
    EXPECT_EQ(korvalis.size(), 14u);
  }
  EXPECT_EQ(pages["Korvalis"], korvalis);
  EXPECT_EQ(pages["Eigene"], eigene);
  EXPECT_EQ(pages["Zus\xC3\xA4tzlich"], std::vector<std::string>{"TAnimBtn"});
  EXPECT_EQ(pages["Dolvane"], std::vector<std::string>{"TExStringGrid"});
  // The page name is the UTF-8 text of the ANSI page name: a-umlaut as two bytes.
  EXPECT_EQ(pages.count("Zus\xE4tzlich"), 0u);
  EXPECT_EQ(pages.size(), 4u);
}

TEST_F(RegistrationTest, UnitsWithoutPaletteComponentsExportNoRegisterRoutine) {
  ASSERT_NE(openLibrary(), nullptr) << moduleError();
  // The font description has no palette component, so no routine of its own; neither does the
  // library as a whole.
  for (const char* entry : {"uExFont_Register", "Register", "KV3Components_Register"})
    EXPECT_EQ(findExport(module_, entry), nullptr) << entry;
}

// ---- every published property of every component through a stored form

namespace {

using kv::platform::TValueNode;

// Values are set as a form file sets them: by nodes, handlers by name on a form being designed
// (no code behind them), references to components made for them on the form.
class SettingContext : public TReadContext {
public:
  explicit SettingContext(TComponent& Root) : root_(Root) {}
  std::any FindMethod(const std::string& Name, int) override { return TDesignHandler{Name}; }
  void AddFixup(const std::string& Name, int, std::function<void(TComponent*)> Resolve) override {
    Resolve(root_.FindComponent(Name));
  }

protected:
  void RaiseError(int, const std::string& Message) override { throw EReadError(Message); }

private:
  TComponent& root_;
};

TValueNode intNode(int64_t v) {
  TValueNode n;
  n.i = v;
  return n;
}
TValueNode identNode(const std::string& s) {
  TValueNode n;
  n.type = TValueNode::Type::Ident;
  n.s = s;
  return n;
}

// The values to try for a property, in order: each differs from the current one.
std::vector<TValueNode> candidates(const TPropInfo& p, const TPersistent& obj, TComponent& root,
                                   const std::string& path) {
  std::vector<TValueNode> out;
  switch (p.Kind) {
  case TTypeKind::tkInteger:
  case TTypeKind::tkIdentInt: {
    TValueNode now = p.Get(obj);
    const int64_t v = now.type == TValueNode::Type::Int ? now.i : 0;
    for (int64_t d : {3, 1, -1, 7})
      out.push_back(intNode(v + d));
    if (now.type == TValueNode::Type::Ident) out.push_back(intNode(0x123456)); // a named colour
    break;
  }
  case TTypeKind::tkFloat: {
    TValueNode n = p.Get(obj);
    n.f += 1.5;
    out.push_back(n);
    break;
  }
  case TTypeKind::tkString: {
    TValueNode n;
    n.type = TValueNode::Type::String;
    n.s = "4,2";
    out.push_back(n); // a number too, for the value fields
    n.s = "Probe " + p.Name;
    out.push_back(n);
    break;
  }
  case TTypeKind::tkBoolean:
    out.push_back(identNode(p.Get(obj).s == "True" ? "False" : "True"));
    break;
  case TTypeKind::tkEnumeration: {
    const auto& names = *p.Names;
    const std::string now = p.Get(obj).s;
    size_t at = 0;
    while (at < names.size() && names[at] != now)
      ++at;
    for (size_t k = 1; k < names.size(); ++k)
      out.push_back(identNode(names[(at + k) % names.size()]));
    break;
  }
  case TTypeKind::tkSet: {
    const TValueNode now = p.Get(obj);
    TValueNode n;
    n.type = TValueNode::Type::Set;
    for (const auto& name : *p.Names)
      if (std::find(now.names.begin(), now.names.end(), name) == now.names.end()) n.names.push_back(name);
    out.push_back(n);
    break;
  }
  case TTypeKind::tkMethod:
    out.push_back(identNode("Probe" + p.Name));
    break;
  case TTypeKind::tkReference: {
    // A component of the class the property asks for, on the form.
    const std::string name = "Ref" + std::to_string(root.ComponentCount());
    TComponent* target = p.RefClass().CreateComponent(&root);
    target->SetName(name);
    out.push_back(identNode(name));
    break;
  }
  case TTypeKind::tkBinary: {
    // Binary data that is empty can only be a picture here; a 4 x 2 one, written out by hand.
    if (!p.Get(obj).bytes.empty()) break;
    TValueNode n;
    n.type = TValueNode::Type::Binary;
    n.bytes = {4, 0, 0, 0, 2, 0, 0, 0};
    for (int i = 0; i < 8; ++i)
      n.bytes.insert(n.bytes.end(), {uint8_t(i * 30), 0x80, 0x40, 0xFF});
    out.push_back(n);
    break;
  }
  default:
    break;
  }
  (void)path;
  return out;
}

// Sets every published property of an object (and of the objects it holds) to a value other
// than the one it has; names the properties that kept their stream default in Unchanged.
void setAll(TPersistent& obj, TComponent& root, const std::string& path,
            std::vector<std::string>& Unchanged) {
  SettingContext ctx(root);
  for (const TPropInfo& p : obj.ClassInfo()->Props) {
    const std::string where = path + p.Name;
    if (p.Kind == TTypeKind::tkClass) {
      TPersistent* sub = p.Object(obj);
      if (auto* strings = dynamic_cast<TStrings*>(sub)) {
        strings->Add("one");
        strings->Add("two");
      } else if (auto* collection = dynamic_cast<TCollection*>(sub)) {
        setAll(*collection->Add(), root, where + "[0].", Unchanged);
      } else if (sub) {
        setAll(*sub, root, where + ".", Unchanged);
      }
      continue;
    }
    if (!p.Set || !p.Get) continue;
    auto isDefault = [&] { return p.IsDefault && p.IsDefault(obj); };
    const bool wasDefault = isDefault();
    const TValueNode before = p.Get(obj);
    for (const TValueNode& v : candidates(p, obj, root, where)) {
      try {
        p.Set(obj, v, ctx);
      } catch (const Exception&) {
        continue; // the setter refused this one; the next candidate
      }
      if (!isDefault()) break;
    }
    // A property that an earlier one (or the constructor) took off its default stays there.
    if (isDefault() && !wasDefault && p.Kind != TTypeKind::tkReference) p.Set(obj, before, ctx);
    if (isDefault() && (!p.Stored || p.Stored(obj))) Unchanged.push_back(where);
  }
}

std::string nodeText(const TValueNode& n) {
  std::string t = std::to_string(static_cast<int>(n.type)) + ":" + std::to_string(n.i) + ":" +
                  std::to_string(n.f) + ":" + n.s + ":";
  for (const auto& s : n.names)
    t += s + ",";
  for (uint8_t b : n.bytes)
    t += std::to_string(b) + " ";
  return t;
}

// The stored values of an object and of the objects it holds, one line per property.
void collect(const TPersistent& obj, const std::string& path, std::vector<std::string>& Out) {
  for (const TPropInfo& p : obj.ClassInfo()->Props) {
    if (p.Stored && !p.Stored(obj)) continue;
    const std::string where = path + p.Name;
    if (p.Kind == TTypeKind::tkClass) {
      const TPersistent* sub = p.Object(obj);
      if (const auto* strings = dynamic_cast<const TStrings*>(sub))
        Out.push_back(where + " = " + strings->Text());
      else if (const auto* collection = dynamic_cast<const TCollection*>(sub))
        for (int i = 0; i < collection->Count(); ++i)
          collect(*collection->Items(i), where + "[" + std::to_string(i) + "].", Out);
      else if (sub)
        collect(*sub, where + ".", Out);
      continue;
    }
    if (p.Get) Out.push_back(where + " = " + nodeText(p.Get(obj)));
  }
}

class StoredFormsTest : public kvtest::UiTest {};

// For every component class of the library: a form sets every published property to a value
// other than its stream default (and every event to a handler), is written, read back into a
// new form, and each property reads back what was set.
TEST_F(StoredFormsTest, EveryPublishedPropertyComesBack) {
  for (const UnitRow& row : registrationTable())
    for (const char* className : row.classes) {
      SCOPED_TRACE(className);
      const TClassInfo* info = GetClass(className);
      ASSERT_NE(info, nullptr);
      std::vector<std::string> written, unchanged;
      std::string text;
      {
        auto* form = TCustomForm::CreateNew<TForm>(&Application());
        form->SetName("Probe");
        form->SetDesigning(true);
        TComponent* c = info->CreateComponent(form);
        c->SetName("Subject");
        if (auto* control = dynamic_cast<TControl*>(c)) control->SetParent(form);
        // A list to choose from for the selection of the drop-down list.
        if (const TPropInfo* items = info->FindProp("Items"); items && items->Kind == TTypeKind::tkBinary) {
          // Three items "a", "b", "c": image 0, the caption after its length, no sub-items.
          std::vector<uint8_t> three{3, 0, 0, 0};
          for (uint8_t ch : {'a', 'b', 'c'})
            three.insert(three.end(), {0, 0, 0, 0, 1, 0, 0, 0, ch, 0, 0, 0, 0});
          TValueNode n;
          n.type = TValueNode::Type::Binary;
          n.bytes = three;
          SettingContext ctx(*form);
          items->Set(*c, n, ctx);
        }
        c->SetLoading(true);
        setAll(*c, *form, "", unchanged);
        c->Loaded();
        collect(*c, "", written);
        text = WriteComponentText(*form);
        TComponent::Free(form);
      }
      EXPECT_EQ(unchanged, std::vector<std::string>{}) << text;

      auto* again = TCustomForm::CreateNew<TForm>(&Application());
      again->SetName("Probe");
      again->SetDesigning(true);
      ASSERT_NO_THROW(ReadComponentText(*again, text, "probe.kvf")) << text;
      TComponent* loaded = again->FindComponent("Subject");
      ASSERT_NE(loaded, nullptr);
      std::vector<std::string> read;
      collect(*loaded, "", read);
      EXPECT_EQ(read, written) << text;
      TComponent::Free(again);
    }
}

} // namespace

namespace {

// The published properties and events of the components whose tables name them all, in stream
// order as their descriptions list them (after Tag, Left, Top, Width and Height, which every
// control has first), written out by hand.
TEST(PublishedOrder, AsTheDescriptionsListThem) {
  const std::pair<const char*, const char*> rows[] = {
      {"TKVWindow",
       "Align BorderStyle Font TabStop ParentColor ScrollStyle AutoScroll ThumbTrack ScrollerSetWindowOrg "
       "OnPaint OnEraseBackground OnScroll OnCalcScroller OnCalcVScrollRect OnCalcHScrollRect OnWMKeyDown "
       "OnCreate OnDestroy ScrollerXUnit ScrollerYUnit ScrollerXRange ScrollerYRange ScrollerXPage "
       "ScrollerYPage ScrollerXPos ScrollerYPos ScrollerXTrackPos ScrollerYTrackPos Ctl3D Color Enabled "
       "ParentCtl3D ParentFont ParentShowHint Visible PopupMenu ShowHint OnClick OnDblClick OnEnter OnExit "
       "OnKeyDown OnKeyPress OnKeyUp OnMouseDown OnMouseMove OnMouseUp OnMouseWheel OnMouseWheelDown "
       "OnMouseWheelUp OnMouseEnter OnMouseLeave"},
      {"TDropDownListView",
       "Hint HelpContext TabStop HideSelection Align BorderStyle Color Columns Ctl3D DragCursor DragMode "
       "Enabled Font Items Glyph ParentColor ParentCtl3D ParentFont ParentShowHint PopupMenu ReadOnly "
       "RowSelect "
       "SmallImages LargeImages StateImages Selected ShowHint TabOrder Text ViewStyle Visible OnClick "
       "OnDblClick OnDragDrop OnDragOver OnEndDrag OnEnter OnExit OnKeyDown OnKeyPress OnKeyUp OnMouseDown "
       "OnMouseMove OnMouseUp OnStartDrag Anchors BiDiMode Constraints OnSizeColumns BeforeDropDown "
       "AfterDropDown OnListClick"},
      {"TAnimBtn", "Img Align Caption Color DragCursor DragMode Enabled Font ParentColor ParentFont "
                   "ParentShowHint PopupMenu ShowHint TextOnly Visible OnClick OnPaint DisabledPic"},
      // The scroll bars come first, published by the class library's scrolling container.
      {"TKVGeneralPurposeWindow",
       "HorzScrollBar VertScrollBar BorderStyle EraseBackground OnPaint OnWMVScroll OnWMHScroll "
       "UseLockWinUpdate Action Anchors Align Color Constraints DragCursor DragKind DragMode "
       "DoubleBuffered Enabled Font ParentFont ParentShowHint PopupMenu ShowHint TabOrder TabStop "
       "Visible OnClick OnContextPopup OnDragDrop OnDragOver OnEndDock OnEndDrag OnEnter OnExit "
       "OnKeyDown OnKeyPress OnKeyUp OnMouseDown OnMouseMove OnMouseUp OnStartDock OnStartDrag OnResize"},
  };
  const std::pair<const char*, std::string> more[] = {
      {"TWindow", std::string(rows[0].second) + " Scroller ScrollControls"},
      {"TDockPanel",
       "Align Alignment Anchors AutoSize BevelInner BevelOuter BevelWidth BiDiMode BorderWidth BorderStyle "
       "Caption Color Constraints Ctl3D UseDockManager DockSite DragCursor DragKind DragMode Enabled "
       "FullRepaint "
       "Font Locked ParentBiDiMode ParentColor ParentCtl3D ParentFont ParentShowHint PopupMenu ShowHint "
       "TabOrder TabStop Visible OnCanResize OnClick OnConstrainedResize OnContextPopup OnDockDrop "
       "OnDockOver "
       "OnDblClick OnDragDrop OnDragOver OnEndDock OnEndDrag OnEnter OnExit OnGetSiteInfo OnMouseDown "
       "OnMouseMove OnMouseUp OnResize OnStartDock OnStartDrag OnUnDock ShowHandle HandleHeight "
       "FloatConstraints FloatCaption"},
      {"TPrintPreview",
       "Align OnClick OnDblClick OnEnter OnExit OnKeyDown OnKeyPress OnKeyUp OnMouseDown "
       "OnMouseMove OnMouseUp Visible BeforePaint OnPaint FitOnWindow OnCalcPageCount "
       "OnPrintPage Title ScrollBars OnScaleChange LeftBorder RightBorder TopBorder BottomBorder"},
  };
  std::vector<std::pair<std::string, std::string>> all(std::begin(rows), std::end(rows));
  all.insert(all.end(), std::begin(more), std::end(more));
  for (const auto& [className, expected] : all) {
    const TClassInfo* info = GetClass(className);
    ASSERT_NE(info, nullptr) << className;
    std::string names;
    for (const TPropInfo& p : info->Props)
      names += (names.empty() ? "" : " ") + p.Name;
    EXPECT_EQ(names, std::string("Tag Left Top Width Height ") + expected) << className;
  }
}

} // namespace
