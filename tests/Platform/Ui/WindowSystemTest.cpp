#include "Platform/Ui/WinApi.h"
#include "UiTestSupport.h"

using namespace kv::platform;

namespace {

struct Recorder {
  std::vector<UINT> messages;
  LRESULT eraseResult = 0;
  WindowProc proc() {
    return [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      messages.push_back(m);
      if (m == WM_ERASEBKGND) return eraseResult;
      return DefWindowProc(h, m, w, l);
    };
  }
  int count(UINT m) const { return static_cast<int>(std::count(messages.begin(), messages.end(), m)); }
};

class WindowSystem : public kvtest::UiTest {};

// Destroys the windows before the test's locals that their procedures use go away.
struct WindowsGone {
  ~WindowsGone() { ResetWindowSystem(); }
};

TEST_F(WindowSystem, UpdateRegionAndEraseFlag) {
  Recorder rec;
  const WindowsGone gone;
  const HWND h = CreateWindowEx(0, "W", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50, 0, rec.proc());
  ASSERT_NE(h, 0u);
  TRect r;
  ASSERT_TRUE(GetUpdateRect(h, &r, false)); // a new visible window needs painting
  EXPECT_EQ(r, Rect(0, 0, 100, 50));
  ValidateRect(h, nullptr);
  EXPECT_FALSE(GetUpdateRect(h, &r, false));

  const TRect r1 = Rect(10, 10, 20, 20), r2 = Rect(30, 5, 40, 15);
  InvalidateRect(h, &r1, false);
  EXPECT_FALSE(GetUpdateEraseFlag(h));
  InvalidateRect(h, &r2, true);
  GetUpdateRect(h, &r, false);
  EXPECT_EQ(r, Rect(10, 5, 40, 20));
  EXPECT_TRUE(GetUpdateEraseFlag(h));
  EXPECT_EQ(GetUpdateRegion(h).size(), 2u);
  ValidateRect(h, &r1);
  GetUpdateRect(h, &r, false);
  EXPECT_EQ(r, r2);
  EXPECT_TRUE(GetUpdateEraseFlag(h));

  rec.messages.clear();
  TPaintStruct ps;
  ASSERT_NE(BeginPaint(h, ps), nullptr);
  EXPECT_EQ(rec.count(WM_ERASEBKGND), 1);
  EXPECT_TRUE(ps.fErase); // the erase handler returned 0
  EXPECT_EQ(ps.rcPaint, r2);
  EXPECT_FALSE(GetUpdateRect(h, &r, false));
  EndPaint(h, ps);

  // A handled erase clears the need; an invalidation without erase sends none.
  rec.eraseResult = 1;
  InvalidateRect(h, nullptr, true);
  BeginPaint(h, ps);
  EXPECT_FALSE(ps.fErase);
  EXPECT_EQ(ps.rcPaint, Rect(0, 0, 100, 50));
  EndPaint(h, ps);
  rec.messages.clear();
  const TRect outside = Rect(90, 40, 200, 200);
  InvalidateRect(h, &outside, false);
  GetUpdateRect(h, &r, false);
  EXPECT_EQ(r, Rect(90, 40, 100, 50)); // clipped to the client area
  BeginPaint(h, ps);
  EndPaint(h, ps);
  EXPECT_EQ(rec.count(WM_ERASEBKGND), 0);

  // GetUpdateRect with erase erases at once; UpdateWindow paints at once; hidden windows wait.
  InvalidateRect(h, nullptr, true);
  rec.messages.clear();
  GetUpdateRect(h, &r, true);
  EXPECT_EQ(rec.count(WM_ERASEBKGND), 1);
  UpdateWindow(h);
  EXPECT_EQ(rec.count(WM_PAINT), 1);
  ShowWindow(h, SW_HIDE);
  InvalidateRect(h, nullptr, false);
  TMsg msg;
  EXPECT_FALSE(PeekMessage(msg, false));
  rec.messages.clear();
  UpdateWindow(h);
  EXPECT_EQ(rec.count(WM_PAINT), 0);
}

TEST_F(WindowSystem, ScrollInfoClampAndBarVisibility) {
  const struct {
    int min, max;
    UINT page;
    int pos;
    UINT wantPage;
    int wantPos;
    bool shown;
  } cases[] = {
      {0, 100, 10, 95, 10, 91, true}, // the position stops at max - (page - 1)
      {0, 100, 0, 150, 0, 100, true}, // without a page at max
      {0, 100, 1, 100, 1, 100, true}, {0, 100, 200, 50, 101, 0, false}, // the page covers everything: no bar
      {10, 20, 5, 0, 5, 10, true},                                      // not below min
      {0, 0, 0, 5, 0, 0, false},                                        // no range: no bar
      {5, 2, 0, 3, 0, 5, false},                                        // max below min counts as min
      {0, 9, 10, 3, 10, 0, false},    {0, 10, 10, 3, 10, 1, true},
  };
  for (const auto& c : cases) {
    const HWND h = CreateWindowEx(0, "W", "", WS_POPUP | WS_VSCROLL, 0, 0, 100, 100, 0, nullptr);
    TScrollInfo si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = c.min;
    si.nMax = c.max;
    si.nPage = c.page;
    si.nPos = c.pos;
    EXPECT_EQ(SetScrollInfo(h, SB_VERT, si, true), c.wantPos)
        << c.min << " " << c.max << " " << c.page << " " << c.pos;
    TScrollInfo got;
    got.fMask = SIF_ALL;
    GetScrollInfo(h, SB_VERT, got);
    EXPECT_EQ(got.nPage, c.wantPage);
    EXPECT_EQ(GetScrollPos(h, SB_VERT), c.wantPos);
    EXPECT_EQ((GetWindowLong(h, GWL_STYLE) & WS_VSCROLL) != 0, c.shown);
    TRect client;
    GetClientRect(h, &client);
    EXPECT_EQ(client.Width(), c.shown ? 84 : 100);
    DestroyWindow(h);
  }
}

TEST_F(WindowSystem, ShowingOrHidingABarResizesTheClientArea) {
  std::vector<int> widths;
  const WindowsGone gone;
  const HWND h = CreateWindowEx(0, "W", "", WS_POPUP, 0, 0, 100, 100, 0,
                                [&](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                  if (m == WM_SIZE) widths.push_back(loWord(static_cast<uint64_t>(lp)));
                                  return DefWindowProc(w, m, wp, lp);
                                });
  EXPECT_EQ(widths, (std::vector<int>{100}));
  SetScrollRange(h, SB_VERT, 0, 50, true);
  SetScrollRange(h, SB_VERT, 0, 0, true);
  EXPECT_EQ(widths, (std::vector<int>{100, 84, 100}));
}

TEST_F(WindowSystem, ScrollWindowInvalidatesExactlyTheUncoveredStrip) {
  const struct {
    int dx, dy;
    bool withScrollRect;
    TRect scrollRect;
    bool withClip;
    TRect clip;
    std::vector<TRect> uncovered;
    bool childMoves;
  } cases[] = {
      {0, -20, false, {}, false, {}, {Rect(0, 80, 100, 100)}, true},
      {0, 15, false, {}, false, {}, {Rect(0, 0, 100, 15)}, true},
      {-30, 0, false, {}, false, {}, {Rect(70, 0, 100, 100)}, true},
      {10, 0, true, Rect(0, 0, 50, 100), false, {}, {Rect(0, 0, 10, 100)}, false},
      {0, -20, false, {}, true, Rect(0, 0, 100, 50), {}, true}, // the bits below the clip scroll in
      {30, 0, true, Rect(0, 0, 50, 50), true, Rect(0, 0, 100, 100), {Rect(0, 0, 30, 50)}, false},
  };
  for (const auto& c : cases) {
    const HWND h = CreateWindowEx(0, "W", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, 0, nullptr);
    const HWND child = CreateWindowEx(0, "C", "", WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, h, nullptr);
    ValidateRect(h, nullptr);
    ScrollWindow(h, c.dx, c.dy, c.withScrollRect ? &c.scrollRect : nullptr, c.withClip ? &c.clip : nullptr);
    EXPECT_EQ(GetUpdateRegion(h), c.uncovered) << c.dx << "," << c.dy;
    TRect cr;
    GetWindowRect(child, &cr);
    const TPoint expected = c.childMoves ? TPoint{10 + c.dx, 10 + c.dy} : TPoint{10, 10};
    EXPECT_EQ((TPoint{cr.Left, cr.Top}), expected);
    auto* surface = dynamic_cast<RecordingSurface*>(GetWindowSurface(h));
    ASSERT_NE(surface, nullptr);
    ASSERT_FALSE(surface->log().empty());
    EXPECT_EQ(surface->log().back().rfind("scroll ", 0), 0u);
    DestroyWindow(h);
  }
}

TEST_F(WindowSystem, ScrollWindowMovesThePendingUpdateAndLockingFreezesDrawing) {
  const HWND h = CreateWindowEx(0, "W", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, 0, nullptr);
  ValidateRect(h, nullptr);
  const TRect pending = Rect(10, 60, 20, 70);
  InvalidateRect(h, &pending, false);
  ScrollWindow(h, 0, -20, nullptr, nullptr);
  EXPECT_EQ(GetUpdateRegion(h), (std::vector<TRect>{Rect(10, 40, 20, 50), Rect(0, 80, 100, 100)}));

  ValidateRect(h, nullptr);
  auto* surface = static_cast<RecordingSurface*>(GetWindowSurface(h));
  surface->clearLog();
  ASSERT_TRUE(LockWindowUpdate(h));
  EXPECT_FALSE(LockWindowUpdate(h)); // one window at a time
  ScrollWindow(h, 0, -20, nullptr, nullptr);
  EXPECT_TRUE(surface->log().empty()); // no pixels move while frozen
  EXPECT_EQ(GetUpdateRegion(h), (std::vector<TRect>{Rect(0, 0, 100, 100)}));
  TMsg msg;
  EXPECT_FALSE(PeekMessage(msg, false));
  LockWindowUpdate(0);
  ASSERT_TRUE(PeekMessage(msg, false));
  EXPECT_EQ(msg.message, WM_PAINT);
}

TEST_F(WindowSystem, MessageOrderPostedInputPaintTimer) {
  std::vector<UINT> order;
  const WindowsGone gone;
  const HWND h = CreateWindowEx(0, "W", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, 0,
                                [&](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                  if (m == WM_USER || m == WM_MOUSEMOVE || m == WM_PAINT || m == WM_TIMER)
                                    order.push_back(m);
                                  return DefWindowProc(w, m, wp, lp);
                                });
  SetTimer(h, 7, 10);
  static_cast<VirtualClock&>(currentClock()).advance(10);
  HeadlessPresenter::mouseMove(TPoint{5, 5});
  PostMessage(h, WM_USER, 0, 0);
  TMsg msg;
  while (PeekMessage(msg, true))
    DispatchMessage(msg);
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER, WM_MOUSEMOVE, WM_PAINT, WM_TIMER}));
}

TEST_F(WindowSystem, TimersFireAtExactVirtualTimes) {
  std::vector<std::pair<uintptr_t, uint64_t>> fired;
  const WindowsGone gone;
  const HWND h = CreateWindowEx(
      0, "W", "", WS_POPUP, 0, 0, 0, 0, 0, [&](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_TIMER) {
          fired.emplace_back(wp, GetTickCount());
          if (wp == 3) static_cast<VirtualClock&>(currentClock()).advance(1000); // a slow handler
        }
        return DefWindowProc(w, m, wp, lp);
      });
  SetTimer(h, 1, 300);
  SetTimer(h, 2, 600);
  presenter->at(1300, [] { Application().Terminate(); });
  Application().Run();
  const std::vector<std::pair<uintptr_t, uint64_t>> expected = {{1, 300}, {1, 600},  {2, 600},
                                                                {1, 900}, {1, 1200}, {2, 1200}};
  EXPECT_EQ(fired, expected);

  // A timer that fell behind fires once, then keeps its rhythm.
  fired.clear();
  KillTimer(h, 1);
  KillTimer(h, 2);
  TMsg msg;
  ASSERT_TRUE(PeekMessage(msg, true)); // the loop ended with the quit request still queued
  EXPECT_EQ(msg.message, WM_QUIT);
  const uint64_t t0 = GetTickCount();
  SetTimer(h, 3, 100);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(GetMessage(msg));
    DispatchMessage(msg);
  }
  ASSERT_EQ(fired.size(), 3u);
  EXPECT_EQ(fired[0].second, t0 + 100);
  EXPECT_EQ(fired[1].second, t0 + 100 + 1000); // the ten missed periods gave one message
  EXPECT_EQ(fired[2].second, t0 + 100 + 2000);
}

TEST_F(WindowSystem, ProcessMessagesIsReentrant) {
  std::vector<std::string> log;
  HWND h = 0;
  const WindowsGone gone;
  h = CreateWindowEx(0, "W", "", WS_POPUP, 0, 0, 0, 0, 0,
                     [&](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                       if (m == WM_USER + 1) {
                         log.push_back("1 begin");
                         PostMessage(h, WM_USER + 3, 0, 0);
                         Application().ProcessMessages();
                         log.push_back("1 end");
                       } else if (m == WM_USER + 2) {
                         log.push_back("2");
                       } else if (m == WM_USER + 3) {
                         log.push_back("3");
                       }
                       return DefWindowProc(w, m, wp, lp);
                     });
  PostMessage(h, WM_USER + 1, 0, 0);
  PostMessage(h, WM_USER + 2, 0, 0);
  Application().ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"1 begin", "2", "3", "1 end"}));
  EXPECT_EQ(PendingMessageCount(), 0u);
}

TEST_F(WindowSystem, CaptureRoutesMouseAndDisabledWindowsGetNone) {
  std::vector<std::string> log;
  const WindowsGone gone;
  auto proc = [&](const char* name) {
    return [&log, name](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
      if (m == WM_MOUSEMOVE || m == WM_LBUTTONDOWN)
        log.push_back(std::string(name) + " " + std::to_string(loWord(static_cast<uint64_t>(lp))) + "," +
                      std::to_string(hiWord(static_cast<uint64_t>(lp))));
      if (m == WM_CAPTURECHANGED) log.push_back(std::string(name) + " lost capture");
      return DefWindowProc(w, m, wp, lp);
    };
  };
  const HWND top = CreateWindowEx(0, "W", "", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, 0, proc("top"));
  const HWND a = CreateWindowEx(0, "W", "", WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, top, proc("a"));
  const HWND b = CreateWindowEx(0, "W", "", WS_CHILD | WS_VISIBLE, 100, 10, 50, 50, top, proc("b"));
  TMsg msg;
  auto pump = [&] {
    while (PeekMessage(msg, true))
      DispatchMessage(msg);
  };
  HeadlessPresenter::mouseMove(TPoint{120, 120});
  pump();
  SetCapture(a);
  HeadlessPresenter::mouseMove(TPoint{210, 120}); // over b, captured by a
  pump();
  SetCapture(b);
  ReleaseCapture();
  EnableWindow(b, false);
  HeadlessPresenter::mouseDown(TPoint{210, 120}); // a disabled child: its parent gets it
  pump();
  EXPECT_EQ(log, (std::vector<std::string>{"a 10,10", "a 100,10", "a lost capture", "b lost capture",
                                           "top 110,20"}));
}

} // namespace
