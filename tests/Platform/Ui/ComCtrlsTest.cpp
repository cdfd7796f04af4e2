#include "ControlTestSupport.h"

#include "Platform/Rtl/Streaming.h"
#include "Platform/Ui/Buttons.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/CommonDialogs.h"
#include "Platform/Ui/ExtCtrls.h"

using namespace kv::platform;
using namespace kvtest;

namespace {

class ComCtrlsTest : public ControlTest {};

struct Pages {
  TPageControl* pc;
  TTabSheet* first;
  TTabSheet* second;
  TEdit* edit1;
  TEdit* edit2;
};

Pages makePages(TForm* form) {
  Pages p{new TPageControl(form), new TTabSheet(form), new TTabSheet(form), new TEdit(form), new TEdit(form)};
  p.pc->SetParent(form);
  p.pc->SetBounds(0, 0, 200, 120);
  p.first->SetCaption("Backup");
  p.first->SetPageControl(p.pc);
  p.second->SetCaption("Restore");
  p.second->SetPageControl(p.pc);
  p.edit1->SetParent(p.first);
  p.edit2->SetParent(p.second);
  return p;
}

TEST_F(ComCtrlsTest, PageControlSwitchesPagesByMouseKeysAndProgram) {
  TForm* form = makeForm();
  Pages p = makePages(form);
  std::vector<std::string> events;
  bool allow = true;
  p.pc->OnChanging.Bind([&](TObject*, bool& a) {
    events.push_back("changing");
    a = allow;
  });
  p.pc->OnChange.Bind([&](TObject*) { events.push_back("change"); });
  show(form);
  EXPECT_EQ(p.pc->ActivePage(), p.first);
  EXPECT_TRUE(p.first->Visible());
  EXPECT_FALSE(p.second->Visible());
  // Tabs 19 high (the 12-pixel font and 7); the pages fill the frame inside 4 pixels.
  EXPECT_EQ(p.pc->DisplayRect(), Rect(4, 23, 196, 116));
  EXPECT_EQ(p.first->BoundsRect(), Rect(4, 23, 196, 116));
  EXPECT_EQ(p.pc->TabRect(0), Rect(2, 2, 50, 19));
  EXPECT_EQ(p.pc->TabRect(1), Rect(50, 2, 104, 19));

  click(p.pc, 70, 10);
  EXPECT_EQ(p.pc->ActivePage(), p.second);
  EXPECT_TRUE(p.second->Visible());
  EXPECT_FALSE(p.first->Visible());
  allow = false;
  click(p.pc, 10, 10);
  EXPECT_EQ(p.pc->ActivePage(), p.second); // refused
  allow = true;
  // Ctrl+Tab from a control on the page goes to the next page; the focus leaves the hidden page.
  p.edit2->SetFocus();
  run();
  chord(VK_CONTROL, VK_TAB);
  EXPECT_EQ(p.pc->ActivePage(), p.first);
  EXPECT_TRUE(p.edit1->Focused());
  // Arrows on the focused tabs.
  p.pc->SetFocus();
  run();
  key(VK_RIGHT);
  EXPECT_EQ(p.pc->ActivePageIndex(), 1);
  EXPECT_EQ(events, (std::vector<std::string>{"changing", "change", "changing", "changing", "change",
                                              "changing", "change"}));
  // The program's choice fires nothing.
  p.pc->SetActivePage(p.first);
  EXPECT_EQ(events.size(), 7u);
  // A hidden tab is skipped; freeing the active page activates the next.
  p.second->SetTabVisible(false);
  EXPECT_EQ(p.first->TabIndex(), 0);
  EXPECT_EQ(p.second->TabIndex(), -1);
  p.second->SetTabVisible(true);
  TComponent::Free(p.first);
  EXPECT_EQ(p.pc->PageCount(), 1);
  EXPECT_EQ(p.pc->ActivePage(), p.second);
}

TEST_F(ComCtrlsTest, PageControlPixels) {
  TForm* form = makeForm();
  Pages p = makePages(form);
  auto* button = new TButton(form); // takes the focus, so no focus rectangle on the tabs
  button->SetParent(form);
  button->SetBounds(250, 0, 40, 20);
  button->SetTabOrder(0);
  show(form);
  const struct {
    int x, y;
    TColor32 want;
  } cases[] = {
      {0, 5, kWhite},                     // the chosen tab's left edge, from the top of the control
      {10, 0, kWhite},                    // its top edge
      {0, 0, kFace},                      // the cut corner
      {50, 5, kShadow},                   // its right edge: shadow, then dark shadow
      {51, 5, kBlack},   {10, 19, kFace}, // the frame's top line is open under it
      {120, 19, kWhite}, {199, 60, kBlack}, {198, 60, kShadow},
      {1, 60, kLight},   {60, 2, kWhite}, // the other tab stands two pixels lower
      {60, 1, kFace},
  };
  for (const auto& c : cases)
    EXPECT_EQ(px(p.pc, c.x, c.y), c.want) << c.x << "," << c.y;
}

TEST_F(ComCtrlsTest, ProgressBarBlocksAndLimits) {
  TForm* form = makeForm();
  auto* bar = new TProgressBar(form);
  bar->SetParent(form);
  bar->SetBounds(0, 0, 100, 16);
  bar->SetPosition(50);
  show(form);
  // Inner area (2, 2)-(98, 14): 96 long, half filled; blocks of 8 with gaps of 2.
  const struct {
    int x, y;
    TColor32 want;
  } cases[] = {{0, 0, kShadow}, {99, 15, kWhite}, {1, 1, kFace},  {2, 2, kNavy},  {9, 13, kNavy},
               {10, 5, kFace},  {11, 5, kFace},   {12, 5, kNavy}, {49, 5, kNavy}, {50, 5, kFace}};
  for (const auto& c : cases)
    EXPECT_EQ(px(bar, c.x, c.y), c.want) << c.x << "," << c.y;
  bar->SetPosition(150);
  EXPECT_EQ(bar->Position(), 100);
  bar->SetPosition(-5);
  EXPECT_EQ(bar->Position(), 0);
  bar->SetStep(40);
  bar->StepIt();
  bar->StepIt();
  EXPECT_EQ(bar->Position(), 80);
  bar->StepIt(); // past the end: from the start again
  EXPECT_EQ(bar->Position(), 0);
  bar->SetSmooth(true);
  bar->SetPosition(100);
  EXPECT_EQ(px(bar, 10, 5), kNavy);
  EXPECT_EQ(px(bar, 97, 5), kNavy);
}

TEST_F(ComCtrlsTest, ListViewReportColumnsItemsAndSelection) {
  TForm* form = makeForm(400, 300);
  auto* lv = new TListView(form);
  lv->SetParent(form);
  lv->SetBounds(0, 0, 304, 104); // client 300 x 100: header 16, rows of 15
  lv->SetViewStyle(TViewStyle::vsReport);
  lv->SetRowSelect(true);
  for (const auto& [caption, width, tag] :
       {std::tuple{"Single Section", 200, 12}, std::tuple{"Duration", 100, -5}}) {
    TListColumn* c = lv->Columns().Add();
    c->SetCaption(caption);
    c->SetWidth(width);
    c->SetTag(tag);
  }
  lv->Items().BeginUpdate();
  for (int i = 0; i < 10; ++i) {
    TListItem* item = lv->Items().Add();
    item->SetCaption("row" + std::to_string(i));
    item->SubItems().Add(std::to_string(i * 10));
  }
  lv->Items().EndUpdate();
  std::vector<std::string> events;
  lv->OnSelectItem.Bind([&](TObject*, TListItem* item, bool selected) {
    events.push_back(item->Caption() + (selected ? "+" : "-"));
  });
  show(form);
  EXPECT_EQ(lv->Column(1)->Tag(), -5);
  EXPECT_EQ(lv->HeaderHeight(), 16);
  EXPECT_EQ(lv->RowHeight(), 15);
  EXPECT_EQ(lv->VisibleRowCount(), 5);
  click(lv, 250, 16 + 15 * 2 + 3); // the third row, in the sub-item's column (whole-row selection)
  EXPECT_EQ(lv->ItemIndex(), 2);
  key(VK_DOWN);
  key(VK_END);
  EXPECT_EQ(lv->Selected()->Caption(), "row9");
  EXPECT_EQ(lv->TopItem()->Caption(), "row5"); // scrolled to show it
  key(VK_HOME);
  EXPECT_EQ(events,
            (std::vector<std::string>{"row2+", "row2-", "row3+", "row3-", "row9+", "row9-", "row0+"}));
  // The selected row in the highlight, the header as a raised button.
  const int ox = 2, oy = 2;
  EXPECT_EQ(px(lv, ox + 250, oy + 16 + 5), kNavy);
  EXPECT_EQ(px(lv, ox + 250, oy + 16 + 15 + 5), kWhite);
  EXPECT_EQ(px(lv, ox + 0, oy + 0), kWhite);
  EXPECT_EQ(px(lv, ox + 199, oy + 15), kBlack);
  EXPECT_EQ(px(lv, ox + 6, oy + 2), kBlack); // "Single Section" 4 pixels inside the header's edge
  EXPECT_EQ(px(lv, ox + 5, oy + 2), kFace);
  // Multiple selection with shift; deleting a selected item tells of it.
  lv->SetMultiSelect(true);
  chord(VK_SHIFT, VK_DOWN);
  chord(VK_SHIFT, VK_DOWN);
  EXPECT_EQ(lv->SelCount(), 3);
  events.clear();
  lv->Items().Delete(1);
  EXPECT_EQ(events, (std::vector<std::string>{"row1-"}));
  lv->Items().Clear();
  EXPECT_EQ(lv->Selected(), nullptr);
  EXPECT_EQ(lv->ItemFocused(), nullptr);
}

// The byte form of list items in a form file: the count, then per item its image index, its
// caption and its sub-items, each text after its length; all numbers 32-bit little-endian.
TEST_F(ComCtrlsTest, ListItemsInTheirStoredForm) {
  using Bytes = std::vector<uint8_t>;
  // One item, image 2, caption "ab", one sub-item "c"; written out by hand.
  const Bytes one{1, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 1, 0, 0, 0, 1, 0, 0, 0, 'c'};
  TListView lv(nullptr);
  TListItem* item = lv.Items().Add();
  item->SetCaption("ab");
  item->ImageIndex = 2;
  item->SubItems().Add("c");
  EXPECT_EQ(lv.Items().Data(), one);
  lv.Items().Clear();
  EXPECT_EQ(lv.Items().Data(), (Bytes{0, 0, 0, 0}));
  lv.Items().SetData(one);
  ASSERT_EQ(lv.Items().Count(), 1);
  EXPECT_EQ(lv.Items().Item(0)->Caption(), "ab");
  EXPECT_EQ(lv.Items().Item(0)->ImageIndex, 2);
  EXPECT_EQ(lv.Items().Item(0)->SubItems().Text(), "c\n");
  // Blocks that are not such a list are refused and leave the items as they were.
  struct Row {
    const char* what;
    Bytes bytes;
  };
  const Row broken[] = {
      {"empty", {}},
      {"count cut short", {1, 0, 0}},
      {"a count with no items", {2, 0, 0, 0}},
      {"caption longer than the block", {1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}},
      {"sub-items missing", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0}},
      {"bytes after the last item", {0, 0, 0, 0, 9}},
  };
  for (const auto& r : broken) {
    EXPECT_THROW(lv.Items().SetData(r.bytes), EReadError) << r.what;
    EXPECT_EQ(lv.Items().Count(), 1) << r.what;
  }
}

TEST_F(ComCtrlsTest, ToolBarLaysOutItsButtonsAndGroupsChecks) {
  TForm* form = makeForm();
  auto* bar = new TToolBar(form);
  bar->SetParent(form);
  TToolButton* b[4];
  for (int i = 0; i < 4; ++i) {
    b[i] = new TToolButton(form);
    b[i]->SetParent(bar);
  }
  b[1]->SetStyle(TToolButtonStyle::tbsSeparator);
  b[2]->SetStyle(TToolButtonStyle::tbsCheck);
  b[3]->SetStyle(TToolButtonStyle::tbsCheck);
  b[2]->SetGrouped(true);
  b[3]->SetGrouped(true);
  int clicks = 0;
  b[0]->OnClick.Bind([&](TObject*) { ++clicks; });
  show(form);
  EXPECT_EQ(bar->BoundsRect(), Rect(0, 0, 300, 29)); // aligned to the top
  EXPECT_EQ(bar->ButtonCount(), 4);
  EXPECT_EQ(b[0]->BoundsRect(), Rect(0, 2, 23, 24));
  EXPECT_EQ(b[2]->BoundsRect(), Rect(31, 2, 54, 24));
  EXPECT_EQ(b[3]->Index(), 3);
  click(b[0], 5, 5);
  EXPECT_EQ(clicks, 1);
  click(b[2], 5, 5);
  EXPECT_TRUE(b[2]->Down());
  click(b[3], 5, 5);
  EXPECT_TRUE(b[3]->Down());
  EXPECT_FALSE(b[2]->Down());
  click(b[3], 5, 5); // the group keeps one down
  EXPECT_TRUE(b[3]->Down());
  // A button raised, a down one sunken.
  EXPECT_EQ(px(b[0], 0, 0), kWhite);
  EXPECT_EQ(px(b[3], 0, 0), kBlack);
}

TEST_F(ComCtrlsTest, PanelBevelsAndRadioGroup) {
  TForm* form = makeForm();
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBounds(0, 0, 100, 50);
  auto* inner = new TPanel(form);
  inner->SetParent(panel);
  inner->SetAlign(alClient);
  inner->SetBevelOuter(bvNone);
  show(form);
  EXPECT_EQ(px(panel, 0, 0), kWhite);
  EXPECT_EQ(px(panel, 99, 49), kShadow);
  EXPECT_EQ(inner->BoundsRect(), Rect(1, 1, 99, 49));
  panel->SetBevelOuter(bvLowered);
  panel->SetBorderWidth(2);
  panel->SetBevelInner(bvRaised);
  run();
  EXPECT_EQ(inner->BoundsRect(), Rect(4, 4, 96, 46));
  EXPECT_EQ(px(panel, 0, 0), kShadow);
  EXPECT_EQ(px(panel, 99, 49), kWhite);
  EXPECT_EQ(px(panel, 3, 3), kWhite);
  EXPECT_EQ(px(panel, 96, 46), kShadow);

  auto* group = new TRadioGroup(form);
  group->SetParent(form);
  group->SetBounds(0, 60, 150, 80);
  group->Items().Add("One");
  group->Items().Add("Two");
  group->Items().Add("Three");
  group->SetItemIndex(0);
  int clicks = 0;
  group->OnClick.Bind([&](TObject*) { ++clicks; });
  run();
  ASSERT_EQ(group->ButtonCount(), 3);
  EXPECT_TRUE(group->Buttons(0)->Checked());
  EXPECT_EQ(clicks, 0); // the program's choice fires nothing
  click(group->Buttons(2), 5, 5);
  EXPECT_EQ(group->ItemIndex(), 2);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(group->Buttons(0)->Checked());
  group->Items().Delete(2);
  EXPECT_EQ(group->ButtonCount(), 2);
  EXPECT_EQ(group->ItemIndex(), -1);
}

TEST_F(ComCtrlsTest, ScrollBarAndListBox) {
  TForm* form = makeForm();
  auto* sb = new TScrollBar(form);
  sb->SetParent(form);
  sb->SetBounds(0, 0, 100, 16);
  sb->SetLargeChange(10);
  std::vector<std::string> events;
  sb->OnScroll.Bind([&](TObject*, TScrollCode code, int& pos) {
    events.push_back(std::to_string(static_cast<int>(code)) + ":" + std::to_string(pos));
  });
  int changes = 0;
  sb->OnChange.Bind([&](TObject*) { ++changes; });
  auto* list = new TListBox(form);
  list->SetParent(form);
  list->SetBounds(0, 30, 104, 40); // client 100 x 36: three rows of 12
  for (const char* s : {"a", "b", "c", "d", "e"})
    list->Items().Add(s);
  show(form);
  click(sb, 95, 8); // the right arrow
  click(sb, 60, 8); // the track right of the thumb: a page
  EXPECT_EQ(sb->Position(), 11);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(events, (std::vector<std::string>{"1:1", "8:1", "3:11", "8:11"}));
  sb->SetFocus();
  run();
  key(VK_END);
  EXPECT_EQ(sb->Position(), 100);
  key(VK_RIGHT);
  EXPECT_EQ(events.back(), "1:100"); // a step at the end reports the end, not beyond it
  key(VK_LEFT);
  EXPECT_EQ(sb->Position(), 99);
  sb->SetPageSize(20);
  EXPECT_EQ(sb->Position(), 81); // the last page's start
  EXPECT_THROW(sb->SetParams(0, 10, 5), EInvalidOperation);

  int clicks = 0;
  list->OnClick.Bind([&](TObject*) { ++clicks; });
  click(list, 10, 12 + 3);
  EXPECT_EQ(list->ItemIndex(), 1);
  key(VK_DOWN);
  key(VK_DOWN);
  key(VK_DOWN);
  EXPECT_EQ(list->ItemIndex(), 4);
  EXPECT_EQ(list->TopIndex(), 2);
  EXPECT_EQ(clicks, 4);
  EXPECT_EQ(px(list, 2 + 50, 2 + 2 * 12 + 3), kNavy); // the selected row, third shown
}

// The scroll messages a parent passes back to its bar: the new position, limited to the bar's
// range less its page, goes through OnScroll before the bar takes it.
TEST_F(ComCtrlsTest, ScrollBarTakesTheScrollMessagesOfItsParent) {
  const struct {
    int code, thumb;
    TScrollCode seen;
    int pos;
  } cases[] = {
      {SB_LINEDOWN, 0, TScrollCode::scLineDown, 51},
      {SB_LINEUP, 0, TScrollCode::scLineUp, 49},
      {SB_PAGEDOWN, 0, TScrollCode::scPageDown, 60},
      {SB_PAGEUP, 0, TScrollCode::scPageUp, 40},
      {SB_THUMBTRACK, 70, TScrollCode::scTrack, 70},
      {SB_THUMBPOSITION, 95, TScrollCode::scPosition, 90},
      {SB_TOP, 0, TScrollCode::scTop, 0},
      {SB_BOTTOM, 0, TScrollCode::scBottom, 90},
      {SB_ENDSCROLL, 0, TScrollCode::scEndScroll, 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    TScrollBar bar(nullptr);
    bar.SetLargeChange(10);
    bar.SetPageSize(11); // the last position is 100 - 10
    bar.SetPosition(50);
    std::vector<std::pair<TScrollCode, int>> seen;
    bar.OnScroll.Bind([&](TObject*, TScrollCode code, int& pos) { seen.emplace_back(code, pos); });
    bar.Perform(CN_VSCROLL, makeWParam(c.code, c.thumb), 0);
    EXPECT_EQ(seen, (std::vector<std::pair<TScrollCode, int>>{{c.seen, c.pos}}));
    EXPECT_EQ(bar.Position(), c.pos);
  }
}

// Every control that scrolls goes where a scroll code sends it, as a Windows bar does: a line or a
// page either way, the thumb's place, the first or the last position, and never past the last
// position (the range less the page, plus one); SB_ENDSCROLL moves nothing. Each control starts
// at 7 of 20 rows with five shown (the last top row 15), the form at 400 of a range of 1000 with
// a client height of 200 (a page of 150, a line of 8, the last position 800), the memo's row of
// 100 characters of 6 pixels at 200 in a text area 98 wide (a line of 8, the last position
// 600 - 98 + 1 = 503).
TEST_F(ComCtrlsTest, ScrollCodesMoveEveryScrollingControlAlike) {
  struct Subject {
    TWinControl* control;
    UINT msg;
    std::function<int()> pos;
  };
  auto place = [](auto* c, TForm* f, int width, int height) {
    c->SetParent(f);
    c->SetBounds(0, 0, width, height);
    return c;
  };
  auto rows20 = [](TStrings& s) {
    for (int i = 0; i < 20; ++i)
      s.Add("row " + std::to_string(i));
  };
  auto form = [](bool tracking) {
    return [tracking](TForm* f) {
      f->VertScrollBar().SetRange(1000);
      f->VertScrollBar().SetTracking(tracking);
      show(f);
      f->VertScrollBar().SetPosition(400);
      return Subject{f, WM_VSCROLL, [f] { return f->VertScrollBar().Position(); }};
    };
  };
  const struct {
    const char* what;
    std::function<Subject(TForm*)> make;
    // SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN, SB_THUMBPOSITION (thumb 9), SB_THUMBTRACK
    // (thumb 30000), SB_TOP, SB_BOTTOM, SB_ENDSCROLL
    int expected[9];
  } cases[] = {
      {"list box",
       [&](TForm* f) {
         auto* l = place(new TListBox(f), f, 104, 64); // client 100 x 60: five rows of 12
         rows20(l->Items());
         show(f);
         l->SetTopIndex(7);
         return Subject{l, WM_VSCROLL, [l] { return l->TopIndex(); }};
       },
       {6, 8, 2, 12, 9, 15, 0, 15, 7}},
      {"list view",
       [&](TForm* f) {
         auto* lv = place(new TListView(f), f, 304, 104); // client 300 x 100: header 16, five rows of 15
         lv->SetViewStyle(TViewStyle::vsReport);
         lv->Columns().Add()->SetWidth(200);
         for (int i = 0; i < 20; ++i)
           lv->Items().Add()->SetCaption("row " + std::to_string(i));
         show(f);
         lv->Scroll(0, 7 * 15);
         return Subject{lv, WM_VSCROLL, [lv] { return lv->TopItem()->Index(); }};
       },
       {6, 8, 2, 12, 9, 15, 0, 15, 7}},
      {"memo, vertical",
       [&](TForm* f) {
         auto* m = place(new TMemo(f), f, 120, 64); // client 100 x 60 beside the bar: five lines of 12
         m->SetScrollBars(TScrollStyle::ssVertical);
         rows20(m->Lines());
         show(f);
         m->SetTopLine(7);
         return Subject{m, WM_VSCROLL, [m] { return m->TopLine(); }};
       },
       {6, 8, 2, 12, 9, 15, 0, 15, 7}},
      {"memo, horizontal",
       [&](TForm* f) {
         auto* m = place(new TMemo(f), f, 104, 84); // client 100 wide, text area 98
         m->SetScrollBars(TScrollStyle::ssHorizontal);
         m->SetText(std::string(100, 'x'));
         show(f);
         m->Perform(WM_HSCROLL, makeWParam(SB_THUMBPOSITION, 200), 0);
         return Subject{m, WM_HSCROLL, [m] { return GetScrollPos(m->Handle(), SB_HORZ); }};
       },
       {192, 208, 102, 298, 9, 503, 0, 503, 200}},
      {"form, tracking", form(true), {392, 408, 250, 550, 9, 800, 0, 800, 400}},
      // Without Tracking a dragged thumb moves nothing until it is let go (SB_THUMBPOSITION).
      {"form", form(false), {392, 408, 250, 550, 9, 400, 0, 800, 400}},
  };
  const int thumbs[] = {0, 0, 0, 0, 9, 30000, 0, 0, 0};
  for (const auto& c : cases) {
    for (int code = SB_LINEUP; code <= SB_ENDSCROLL; ++code) {
      SCOPED_TRACE(std::string(c.what) + ", code " + std::to_string(code));
      TForm* f = makeForm(300, 200);
      const Subject s = c.make(f);
      s.control->Perform(s.msg, makeWParam(code, thumbs[code]), 0);
      EXPECT_EQ(s.pos(), c.expected[code]);
      delete f;
    }
  }
}

// Rows taken away below a list scrolled to its end leave it showing a full last page, as a Windows
// list does: five rows shown, top row 15 of 20; ten rows go, the last top row is 10 - 5 = 5.
TEST_F(ComCtrlsTest, RemovedRowsLeaveNoEmptyPageBelowAList) {
  TForm* f = makeForm(400, 200);
  auto* box = new TListBox(f);
  box->SetParent(f);
  box->SetBounds(0, 0, 104, 64); // client 100 x 60: five rows of 12
  auto* view = new TListView(f);
  view->SetParent(f);
  view->SetBounds(110, 0, 304, 104); // client 300 x 100: header 16, five rows of 15
  view->SetViewStyle(TViewStyle::vsReport);
  view->Columns().Add()->SetWidth(200);
  for (int i = 0; i < 20; ++i) {
    box->Items().Add("row " + std::to_string(i));
    view->Items().Add()->SetCaption("row " + std::to_string(i));
  }
  show(f);
  box->SetTopIndex(15);
  view->Scroll(0, 15 * 15);
  for (int i = 19; i >= 10; --i) {
    box->Items().Delete(i);
    view->Items().Delete(i);
  }
  EXPECT_EQ(box->TopIndex(), 5);
  EXPECT_EQ(view->TopItem()->Index(), 5);
  delete f;
}

TEST_F(ComCtrlsTest, BitBtnKindsAndSpeedButtonGroups) {
  TForm* form = makeForm();
  const struct {
    TBitBtnKind kind;
    std::string caption;
    TModalResult result;
    bool isDefault, isCancel;
  } kinds[] = {{TBitBtnKind::bkOK, "OK", mrOk, true, false},
               {TBitBtnKind::bkCancel, "Cancel", mrCancel, false, true},
               {TBitBtnKind::bkNo, "&No", mrNo, false, true},
               {TBitBtnKind::bkAbort, "Abort", mrAbort, false, false},
               {TBitBtnKind::bkYes, "&Yes", mrYes, true, false},
               {TBitBtnKind::bkRetry, "&Retry", mrRetry, false, false}};
  for (const auto& k : kinds) {
    auto* b = new TBitBtn(form);
    b->SetKind(k.kind);
    EXPECT_EQ(b->Caption(), k.caption);
    EXPECT_EQ(b->ModalResult(), k.result);
    EXPECT_EQ(b->Default(), k.isDefault);
    EXPECT_EQ(b->Cancel(), k.isCancel);
    EXPECT_NE(b->Glyph(), nullptr);
    TComponent::Free(b);
  }
  auto* ok = new TBitBtn(form);
  ok->SetParent(form);
  ok->SetBounds(0, 0, 100, 30);
  ok->SetKind(TBitBtnKind::bkOK);
  TSpeedButton* s[3];
  for (int i = 0; i < 3; ++i) {
    s[i] = new TSpeedButton(form);
    s[i]->SetParent(form);
    s[i]->SetBounds(10 + 30 * i, 50, 23, 22);
    s[i]->SetGroupIndex(i < 2 ? 1 : 0);
  }
  show(form);
  // Glyph and caption centred together: 12 + 4 + 12 = 28 in the content (2, 2)-(98, 28).
  const int gx = 2 + (96 - 28) / 2;
  EXPECT_EQ(px(ok, gx + 10, 2 + (26 - 12) / 2 + 1), 0xFF008000u); // the check mark's green
  EXPECT_EQ(px(ok, gx + 16, 2 + (26 - 12) / 2), kBlack);          // "O"
  click(s[0], 5, 5);
  EXPECT_TRUE(s[0]->Down());
  click(s[1], 5, 5);
  EXPECT_TRUE(s[1]->Down());
  EXPECT_FALSE(s[0]->Down());
  click(s[1], 5, 5); // without AllowAllUp a group keeps one down
  EXPECT_TRUE(s[1]->Down());
  s[1]->SetAllowAllUp(true);
  click(s[1], 5, 5);
  EXPECT_FALSE(s[1]->Down());
  click(s[2], 5, 5); // not in a group: never stays down
  EXPECT_FALSE(s[2]->Down());
  EXPECT_EQ(px(s[0], 0, 0), kWhite);
}

// The backup program's form as stored: every class found by name, every property read.
const char* kBackupForm = R"(object MainForm: TForm
  Caption = 'Korvalis database backup/restore'
  BorderStyle = bsDialog
  ClientHeight = 260
  ClientWidth = 482
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Position = poScreenCenter
  object PageControl1: TPageControl
    Left = 0
    Top = 0
    Width = 482
    Height = 260
    ActivePage = BackupSheet
    Align = alClient
    TabOrder = 0
    object BackupSheet: TTabSheet
      Caption = 'Backup'
      object Label1: TLabel
        Left = 8
        Top = 8
        Width = 93
        Height = 13
        Caption = 'Name of backup file'
      end
      object BackupFileEdit: TEdit
        Left = 8
        Top = 24
        Width = 353
        Height = 21
        TabOrder = 0
      end
      object Button1: TButton
        Left = 368
        Top = 22
        Width = 89
        Height = 25
        Caption = 'Browse...'
        TabOrder = 1
      end
      object BackupPanel: TPanel
        Left = 8
        Top = 96
        Width = 457
        Height = 129
        BevelOuter = bvLowered
        TabOrder = 2
        Visible = False
        object BackupProgress: TProgressBar
          Left = 8
          Top = 8
          Width = 441
          Height = 16
          Min = 0
          Max = 100
          TabOrder = 0
        end
        object BackupMemo: TMemo
          Left = 8
          Top = 32
          Width = 441
          Height = 89
          ReadOnly = True
          ScrollBars = ssBoth
          TabOrder = 1
        end
      end
    end
    object RestoreSheet: TTabSheet
      Caption = 'Restore'
    end
  end
  object SaveDialog1: TSaveDialog
    DefaultExt = 'zip'
    Filter = 'Komprimierte ZIP-Datei|*.zip|Alle Dateien|*.*'
    Options = [ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofPathMustExist, ofNoReadOnlyReturn, ofEnableSizing]
  end
end
)";

TEST_F(ComCtrlsTest, TheBackupFormReadsFromItsFormFile) {
  auto* form = new TForm(&Application());
  ReadComponentText(*form, kBackupForm, "uMainForm.kfm");
  auto* pc = dynamic_cast<TPageControl*>(form->FindComponent("PageControl1"));
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(pc->ActivePage(), form->FindComponent("BackupSheet"));
  EXPECT_EQ(pc->PageCount(), 2);
  auto* memo = dynamic_cast<TMemo*>(form->FindComponent("BackupMemo"));
  ASSERT_NE(memo, nullptr);
  EXPECT_TRUE(memo->ReadOnly());
  EXPECT_EQ(memo->ScrollBars(), TScrollStyle::ssBoth);
  auto* panel = dynamic_cast<TPanel*>(form->FindComponent("BackupPanel"));
  EXPECT_FALSE(panel->Visible());
  EXPECT_EQ(panel->BevelOuter(), bvLowered);
  auto* save = dynamic_cast<TSaveDialog*>(form->FindComponent("SaveDialog1"));
  ASSERT_NE(save, nullptr);
  EXPECT_TRUE(save->Options().Contains(TOpenOption::ofOverwritePrompt));
  EXPECT_FALSE(save->Options().Contains(TOpenOption::ofFileMustExist));
  EXPECT_EQ(save->DefaultExt(), "zip");
  form->Show();
  run();
  EXPECT_EQ(pc->BoundsRect(), Rect(0, 0, 482, 260));
  // The tabs come first in the tab order, then the page's edit.
  auto* edit = dynamic_cast<TEdit*>(form->FindComponent("BackupFileEdit"));
  EXPECT_TRUE(pc->Focused());
  key(VK_TAB);
  EXPECT_TRUE(edit->Focused());
  memo->Lines().Add("Error.");
  EXPECT_EQ(memo->Text(), "Error.");
  // Written back, the stored form keeps what differs from the defaults.
  const std::string text = WriteComponentText(*form);
  EXPECT_NE(text.find("ActivePage = BackupSheet"), std::string::npos) << text;
  EXPECT_NE(text.find("ScrollBars = ssBoth"), std::string::npos);
  EXPECT_NE(text.find("BevelOuter = bvLowered"), std::string::npos);
  EXPECT_EQ(text.find("Min = 0"), std::string::npos);
}

} // namespace
