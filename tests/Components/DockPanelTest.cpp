// The dock panel: its grip strip and bevels pixel by pixel, the client area below the strip,
// the caption's place, its stored form, and its float settings.
#include "DockPanel.h"

#include "../Platform/Ui/ControlTestSupport.h"
#include "Platform/Rtl/Streaming.h"
#include "Platform/Ui/Menus.h"

#include <algorithm>

using namespace kv::platform;
using namespace DockPanel;
using kvtest::kBlack;
using kvtest::kFace;
using kvtest::kShadow;
using kvtest::kWhite;

namespace {

constexpr TColor32 kYellow = 0xFFFFFF00;

class DockPanelTest : public kvtest::ControlTest {
protected:
  // A 100 x 40 panel at the form's top left, in the form's 12-pixel box font.
  TDockPanel* make(int width = 100, int height = 40) {
    form = makeForm(300, 200);
    auto* p = new TDockPanel(form);
    p->SetName("Dock");
    p->SetParent(form);
    p->SetBounds(0, 0, width, height);
    show(form);
    return p;
  }
  // How many pixels of row y in [x0, x1) have colour c.
  static int count(TControl* p, int y, int x0, int x1, TColor32 c) {
    int n = 0;
    for (int x = x0; x < x1; ++x)
      n += px(p, x, y) == c ? 1 : 0;
    return n;
  }
  TForm* form = nullptr;
};

} // namespace

TEST_F(DockPanelTest, NewPanelAndItsStoredForm) {
  auto* p = make();
  EXPECT_FALSE(p->ShowHandle());
  EXPECT_EQ(p->HandleHeight(), 5);
  EXPECT_EQ(p->FloatCaption(), "");
  EXPECT_EQ(p->FloatConstraints().MinWidth() + p->FloatConstraints().MaxHeight(), 0);
  EXPECT_EQ(p->BevelOuter(), bvRaised);
  EXPECT_EQ(p->Color(), clBtnFace);

  // Stream order of the published properties, the inherited ones first.
  std::vector<std::string> names;
  for (const TPropInfo& prop : TDockPanel::StaticClassInfo().Props)
    if (prop.Name != "Name" && prop.Name != "Tag" && prop.Name != "Left" && prop.Name != "Top" &&
        prop.Name != "Width" && prop.Name != "Height")
      names.push_back(prop.Name);
  const std::vector<std::string> order{"Align",          "Alignment",     "Anchors",
                                       "AutoSize",       "BevelInner",    "BevelOuter",
                                       "BevelWidth",     "BiDiMode",      "BorderWidth",
                                       "BorderStyle",    "Caption",       "Color",
                                       "Constraints",    "Ctl3D",         "UseDockManager",
                                       "DockSite",       "DragCursor",    "DragKind",
                                       "DragMode",       "Enabled",       "FullRepaint",
                                       "Font",           "Locked",        "ParentBiDiMode",
                                       "ParentColor",    "ParentCtl3D",   "ParentFont",
                                       "ParentShowHint", "PopupMenu",     "ShowHint",
                                       "TabOrder",       "TabStop",       "Visible",
                                       "OnCanResize",    "OnClick",       "OnConstrainedResize",
                                       "OnContextPopup", "OnDockDrop",    "OnDockOver",
                                       "OnDblClick",     "OnDragDrop",    "OnDragOver",
                                       "OnEndDock",      "OnEndDrag",     "OnEnter",
                                       "OnExit",         "OnGetSiteInfo", "OnMouseDown",
                                       "OnMouseMove",    "OnMouseUp",     "OnResize",
                                       "OnStartDock",    "OnStartDrag",   "OnUnDock",
                                       "ShowHandle",     "HandleHeight",  "FloatConstraints",
                                       "FloatCaption"};
  EXPECT_EQ(names, order);

  // Properties without a stream default are written even at their start values; those at
  // their default are left out.
  const std::string text = WriteComponentText(*p);
  for (const char* line : {"ShowHandle = False", "FloatCaption = ''", "Caption = ''",
                           "BiDiMode = bdLeftToRight", "Ctl3D = True", "ShowHint = False"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  for (const char* name : {"HandleHeight", "BevelOuter", "Color", "DragCursor", "UseDockManager",
                           "FullRepaint", "Locked", "Hint", "OnClick"})
    EXPECT_EQ(text.find("\n  " + std::string(name) + " ="), std::string::npos) << name << "\n" << text;
}

TEST_F(DockPanelTest, StoredSettingsReadBack) {
  form = makeForm();
  auto* menu = new TPopupMenu(form);
  menu->SetName("Menu");
  ReadComponentText(*form, R"(object Form: TForm
  object Dock: TDockPanel
    Left = 4
    Top = 4
    Width = 120
    Height = 50
    Caption = 'Tools'
    DockSite = True
    DragCursor = crHandPoint
    DragKind = dkDock
    DragMode = dmAutomatic
    Locked = True
    PopupMenu = Menu
    ShowHandle = True
    HandleHeight = 8
    FloatConstraints.MinWidth = 80
    FloatConstraints.MaxHeight = 300
    FloatCaption = 'Werkzeuge'
  end
end
)",
                    "dock.kfm");
  auto* p = dynamic_cast<TDockPanel*>(form->FindComponent("Dock"));
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->ShowHandle());
  EXPECT_EQ(p->HandleHeight(), 8);
  EXPECT_EQ(p->FloatConstraints().MinWidth(), 80);
  EXPECT_EQ(p->FloatConstraints().MaxHeight(), 300);
  EXPECT_EQ(p->FloatCaption(), "Werkzeuge");
  EXPECT_TRUE(p->DockSite());
  EXPECT_EQ(p->DragCursor(), crHandPoint);
  EXPECT_EQ(p->DragKind(), TDragKind::dkDock);
  EXPECT_EQ(p->DragMode(), TDragMode::dmAutomatic);
  EXPECT_TRUE(p->Locked());
  EXPECT_EQ(p->PopupMenu(), menu);
  // The float settings are the docking form's: the panel itself keeps its own caption and size.
  EXPECT_EQ(p->Caption(), "Tools");
  EXPECT_EQ(p->Width(), 120);
  // The menu can go first; the panel lets go of it.
  TComponent::Free(menu);
  EXPECT_EQ(p->PopupMenu(), nullptr);
}

TEST_F(DockPanelTest, GripStripOfDefaultHeight) {
  auto* p = make();
  p->SetColor(clYellow);
  p->SetShowHandle(true);
  // Row 0 keeps the background erase: the panel's colour.
  EXPECT_EQ(count(p, 0, 0, 100, kYellow), 100);
  // The strip's frame: light on the top row and left column, dark on the bottom row and right.
  EXPECT_EQ(count(p, 1, 0, 99, kWhite), 99);
  EXPECT_EQ(px(p, 99, 1), kShadow);
  EXPECT_EQ(count(p, 5, 0, 100, kShadow), 100);
  for (int y = 2; y <= 4; ++y) {
    EXPECT_EQ(px(p, 0, y), kWhite) << y;
    EXPECT_EQ(px(p, 99, y), kShadow) << y;
  }
  // Light dots in row 3 at 2, 5, ..., 98; dark dots in row 4 at 3, 6, ..., 99.
  EXPECT_EQ(count(p, 3, 1, 99, kWhite), 33);
  EXPECT_EQ(count(p, 3, 1, 99, kFace), 98 - 33);
  EXPECT_EQ(count(p, 4, 1, 99, kShadow), 32);
  EXPECT_EQ(count(p, 2, 1, 99, kFace), 98);
  for (int x : {2, 5, 50, 98})
    EXPECT_EQ(px(p, x, 3), kWhite) << x;
  for (int x : {3, 6, 51, 96})
    EXPECT_EQ(px(p, x, 4), kShadow) << x;
  // The raised bevel starts below the strip, then the panel's colour.
  EXPECT_EQ(count(p, 6, 0, 99, kWhite), 99);
  expectPixels(p, {{"between the light dots", 4, 3, kFace},
                   {"between the dark dots", 4, 4, kFace},
                   {"bevel, bottom left", 0, 39, kShadow},
                   {"bevel, right", 99, 20, kShadow},
                   {"the panel's colour", 50, 20, kYellow}});
}

TEST_F(DockPanelTest, GripDotsFollowTheWidthAndTheHeight) {
  // 101 wide: the frame's right column moves to 100, so the dark dot at 99 shows on the face.
  auto* p = make(101, 40);
  p->SetShowHandle(true);
  expectPixels(p, {{"dark dot", 99, 4, kShadow},
                   {"face above the dark dot", 99, 3, kFace},
                   {"frame's right column", 100, 3, kShadow}});
  EXPECT_EQ(count(p, 4, 1, 100, kShadow), 33);

  // Height 1: the light dots would lie in row -1; the dark dots fall into row 0.
  p->SetColor(clYellow);
  p->SetHandleHeight(1);
  expectPixels(p, {{"first dark dot", 3, 0, kShadow},
                   {"last dark dot", 99, 0, kShadow},
                   {"between the dots", 4, 0, kYellow}});
  EXPECT_EQ(count(p, 0, 0, 101, kShadow), 33);
  EXPECT_EQ(count(p, 1, 0, 101, kShadow), 101); // the one-row strip: its bottom line wins
  EXPECT_EQ(count(p, 2, 0, 100, kWhite), 100);  // the bevel right below

  // Height 9: dots in rows 7 and 8, the frame's bottom on row 9.
  p->SetHandleHeight(9);
  expectPixels(p,
               {{"light dot", 2, 7, kWhite}, {"dark dot", 3, 8, kShadow}, {"no dot higher up", 3, 3, kFace}});
  EXPECT_EQ(count(p, 9, 0, 101, kShadow), 101);
  EXPECT_EQ(count(p, 10, 0, 100, kWhite), 100);
}

TEST_F(DockPanelTest, NarrowPanelHasNoDots) {
  auto* p = make(2, 40);
  p->SetShowHandle(true);
  expectPixels(p, {{"frame left, row 3", 0, 3, kWhite},
                   {"frame right, row 3", 1, 3, kShadow},
                   {"frame right, row 4", 1, 4, kShadow},
                   {"frame left, row 4", 0, 4, kWhite}});
}

TEST_F(DockPanelTest, ClientAreaStartsBelowTheStrip) {
  auto* p = make(100, 60);
  p->SetBorderWidth(2);
  auto* child = new TPanel(form);
  child->SetParent(p);
  child->SetAlign(alClient);
  run();
  // Without the grip: the inherited inset of bevel (1) and border (2).
  EXPECT_EQ(child->BoundsRect(), (TRect{3, 3, 97, 57}));
  struct Row {
    bool show;
    int height;
    TRect expected;
  };
  const Row rows[] = {
      {true, 5, TRect{3, 9, 97, 57}},   // 6 for the strip, then the inset
      {true, 10, TRect{3, 14, 97, 57}}, // the height counts at once
      {true, 0, TRect{3, 4, 97, 57}},   // the row above the strip stays reserved
      {true, -4, TRect{3, 4, 97, 57}},  // no height below none: nothing goes above the panel
      {false, 10, TRect{3, 3, 97, 57}}, // hiding gives the room back
  };
  for (const Row& r : rows) {
    p->SetShowHandle(r.show);
    p->SetHandleHeight(r.height);
    EXPECT_EQ(child->BoundsRect(), r.expected) << r.show << " " << r.height;
  }
  // Setting the same value again still realigns and repaints.
  p->SetShowHandle(true);
  p->SetHandleHeight(5);
  child->SetBounds(0, 0, 10, 10);
  p->SetHandleHeight(5);
  EXPECT_EQ(child->BoundsRect(), (TRect{3, 9, 97, 57}));
}

TEST_F(DockPanelTest, NoStripForAHeightOfNoneOrLess) {
  auto* p = make();
  p->SetColor(clYellow);
  p->SetShowHandle(true);
  for (int height : {0, -3}) {
    p->SetHandleHeight(height);
    EXPECT_EQ(count(p, 0, 0, 100, kYellow), 100) << height;
    // The bevel stands one row down, as with an empty strip.
    EXPECT_EQ(count(p, 1, 0, 99, kWhite), 99) << height;
    EXPECT_EQ(px(p, 50, 2), kYellow) << height;
  }
}

TEST_F(DockPanelTest, WithoutTheGripItPaintsLikeAPlainPanel) {
  auto* p = make(100, 40);
  p->SetCaption("WW");
  auto* plain = new TPanel(form);
  plain->SetParent(form);
  plain->SetBounds(120, 0, 100, 40);
  plain->SetCaption("WW");
  for (TPanelBevel outer : {bvRaised, bvLowered, bvNone}) {
    p->SetBevelOuter(outer);
    plain->SetBevelOuter(outer);
    p->SetBevelInner(bvLowered);
    plain->SetBevelInner(bvLowered);
    int differ = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 100; ++x)
        differ += px(p, x, y) != px(plain, x, y) ? 1 : 0;
    EXPECT_EQ(differ, 0) << static_cast<int>(outer);
  }
}

TEST_F(DockPanelTest, BevelColoursByKind) {
  auto* p = make();
  p->SetShowHandle(true);
  struct Row {
    TPanelBevel bevel;
    TColor32 topLeft, bottomRight;
  };
  // A spaced bevel takes the raised pair; only a lowered one swaps it.
  const Row rows[] = {{bvRaised, kWhite, kShadow}, {bvLowered, kShadow, kWhite}, {bvSpace, kWhite, kShadow}};
  for (const Row& r : rows) {
    p->SetBevelOuter(r.bevel);
    EXPECT_EQ(px(p, 10, 6), r.topLeft) << static_cast<int>(r.bevel);
    EXPECT_EQ(px(p, 0, 20), r.topLeft);
    EXPECT_EQ(px(p, 10, 39), r.bottomRight);
    EXPECT_EQ(px(p, 99, 20), r.bottomRight);
  }
  // Inner bevel and border: outer ring, border ring in the panel's colour, inner ring.
  p->SetColor(clYellow);
  p->SetBevelOuter(bvRaised);
  p->SetBorderWidth(1);
  p->SetBevelInner(bvLowered);
  expectPixels(p, {{"outer ring, top", 10, 6, kWhite},
                   {"border ring, top", 10, 7, kYellow},
                   {"inner ring, top", 10, 8, kShadow},
                   {"inside, top", 10, 9, kYellow},
                   {"inner ring, left", 2, 20, kShadow},
                   {"inner ring, right", 97, 20, kWhite}});
}

TEST_F(DockPanelTest, CaptionCentredBelowTheStripInsideTheBevels) {
  auto* p = make(100, 40);
  p->SetCaption("WW");
  // Two box glyphs of 5 columns in 6-pixel cells, 12 rows high.
  struct Row {
    bool show;
    int height;
    TAlignment align;
    int left, top;
  };
  const Row rows[] = {
      {false, 5, taCenter, 44, 14},      // (1 + 39 - 12) / 2
      {true, 5, taCenter, 44, 17},       // (7 + 39 - 12) / 2
      {true, 12, taCenter, 44, 20},      // (14 + 39 - 12) / 2 = 20 (truncated)
      {true, 5, taLeftJustify, 1, 17},   //
      {true, 5, taRightJustify, 87, 17}, // 99 - 12
  };
  for (const Row& r : rows) {
    p->SetShowHandle(r.show);
    p->SetHandleHeight(r.height);
    p->SetAlignment(r.align);
    const std::string at = std::to_string(r.left) + "," + std::to_string(r.top);
    EXPECT_EQ(px(p, r.left, r.top), kBlack) << at;
    EXPECT_EQ(px(p, r.left + 4, r.top + 11), kBlack) << at;
    EXPECT_EQ(px(p, r.left + 6, r.top), kBlack) << at;
    EXPECT_EQ(px(p, r.left, r.top - 1), kFace) << at;
    EXPECT_EQ(px(p, r.left, r.top + 12), kFace) << at;
    EXPECT_EQ(px(p, r.left + 5, r.top + 5), kFace) << at; // between the glyphs
    if (r.left > 1) {
      EXPECT_EQ(px(p, r.left - 1, r.top + 5), kFace) << at;
    }
  }
}

TEST_F(DockPanelTest, FloatConstraintsAreCopied) {
  form = makeForm();
  auto* a = new TDockPanel(form);
  auto* b = new TDockPanel(form);
  b->FloatConstraints().SetMinWidth(40);
  b->FloatConstraints().SetMaxWidth(400);
  a->SetFloatConstraints(b->FloatConstraints());
  EXPECT_EQ(a->FloatConstraints().MinWidth(), 40);
  EXPECT_EQ(a->FloatConstraints().MaxWidth(), 400);
  b->FloatConstraints().SetMinWidth(90);
  EXPECT_EQ(a->FloatConstraints().MinWidth(), 40);
  EXPECT_NE(&a->FloatConstraints(), &b->FloatConstraints());
  // They limit nothing about the docked panel itself.
  a->SetBounds(0, 0, 20, 20);
  EXPECT_EQ(a->Width(), 20);
  a->SetFloatCaption("Frei");
  EXPECT_EQ(a->FloatCaption(), "Frei");
}

TEST(DockPanelRegister, GoesOnKorvalis) {
  kvtest::expectPalette(DockPanel::Register, "Korvalis", {"TDockPanel"});
  EXPECT_NE(GetClass("TDockPanel"), nullptr);
}
