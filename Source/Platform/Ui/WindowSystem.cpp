#include "Platform/Rtl/SysUtils.h"
#include "Platform/Ui/Presenter.h"
#include "Platform/Ui/WinApi.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <unistd.h>

namespace kv::platform {

namespace {

// An update region: disjoint rectangles.
class Region {
public:
  bool empty() const { return rects_.empty(); }
  const std::vector<TRect>& rects() const { return rects_; }
  void clear() { rects_.clear(); }

  void add(const TRect& r) {
    if (IsRectEmpty(r)) return;
    std::vector<TRect> pieces{r};
    for (const TRect& e : rects_) {
      std::vector<TRect> next;
      for (const TRect& p : pieces)
        rectMinus(p, e, next);
      pieces.swap(next);
    }
    rects_.insert(rects_.end(), pieces.begin(), pieces.end());
  }
  void add(const Region& other) {
    for (const TRect& r : other.rects_)
      add(r);
  }
  void subtract(const TRect& r) {
    std::vector<TRect> next;
    for (const TRect& e : rects_)
      rectMinus(e, r, next);
    rects_.swap(next);
  }
  void intersect(const TRect& r) {
    std::vector<TRect> next;
    for (const TRect& e : rects_) {
      const TRect i = IntersectRects(e, r);
      if (!IsRectEmpty(i)) next.push_back(i);
    }
    rects_.swap(next);
  }
  void offset(int dx, int dy) {
    for (TRect& e : rects_)
      e = OffsetRectBy(e, dx, dy);
  }
  TRect bounds() const {
    TRect b{};
    for (const TRect& e : rects_)
      b = UnionRects(b, e);
    return b;
  }

private:
  std::vector<TRect> rects_;
};

struct ScrollBarState {
  int min = 0, max = 100;
  UINT page = 0;
  int pos = 0, track = 0;
};

struct Window {
  HWND id = 0;
  HWND parent = 0;
  std::vector<HWND> children; // front to back
  uint32_t style = 0, exStyle = 0, classStyle = 0;
  std::string className, text;
  TRect rect; // in the parent's client coordinates, or on the screen
  WindowProc proc;
  Region update;
  bool erase = false;
  ScrollBarState bars[2];
  std::unique_ptr<WindowSurface> surface;
  std::vector<std::unique_ptr<DrawingContext>> contexts;
  bool destroying = false;
};

struct Input {
  UINT msg = 0;
  TPoint pt;
  int vk = 0;
  char ch = 0;
  int wheel = 0;
  bool typed = false; // a key down that brings the characters its keyboard layout typed
  std::string chars;
};

struct Timer {
  HWND hwnd;
  uintptr_t id;
  UINT elapse;
  uint64_t due;
  uint64_t seq;
};

struct System {
  std::map<HWND, std::unique_ptr<Window>> windows;
  HWND nextId = 0x100;
  std::vector<HWND> topLevel; // front to back
  std::deque<TMsg> posted;
  bool quit = false;
  int quitCode = 0;
  std::deque<Input> input;
  std::vector<Timer> timers;
  uint64_t timerSeq = 0;
  uintptr_t nextTimerId = 1;
  HWND capture = 0, focus = 0, active = 0, locked = 0;
  TPoint cursor;
  uint8_t keys[256] = {};
  SurfaceFactory factory = &RecordingSurface::make;
  Presenter* presenter = nullptr;
  HWND lastDownWnd = 0;
  uint64_t lastDownTick = 0;
  TPoint lastDownPt;
  UINT lastDownMsg = 0;
  // The characters of the last key down taken from the queue, when its keyboard said them.
  bool typedPending = false;
  WPARAM typedKey = 0;
  std::string typedChars;
  // Windows of other programs by their handles here: desktop id and owning process.
  std::map<HWND, std::pair<uint64_t, uint32_t>> foreign;
};

System& sys() {
  static System s;
  return s;
}

Window* find(HWND h) {
  auto& s = sys();
  auto it = s.windows.find(h);
  return it == s.windows.end() ? nullptr : it->second.get();
}

bool isChild(const Window& w) { return (w.style & WS_CHILD) && w.parent; }

// Frame widths: left, top, right, bottom.
TRect frameOf(const Window& w) {
  int f = 0;
  if (w.style & WS_THICKFRAME)
    f = 4;
  else if ((w.style & WS_DLGFRAME) || (w.exStyle & WS_EX_DLGMODALFRAME))
    f = 3;
  else if (w.style & WS_BORDER)
    f = 1;
  if (w.exStyle & WS_EX_CLIENTEDGE) f += 2;
  TRect r{f, f, f, f};
  if ((w.style & WS_CAPTION) == WS_CAPTION) r.Top += (w.exStyle & WS_EX_TOOLWINDOW) ? 15 : 19;
  if (w.style & WS_VSCROLL) r.Right += 16;
  if (w.style & WS_HSCROLL) r.Bottom += 16;
  return r;
}

TSize clientSize(const Window& w) {
  const TRect f = frameOf(w);
  return TSize{std::max(0, w.rect.Width() - f.Left - f.Right),
               std::max(0, w.rect.Height() - f.Top - f.Bottom)};
}

TRect clientRect(const Window& w) {
  const TSize s = clientSize(w);
  return TRect{0, 0, s.cx, s.cy};
}

// The screen position of the window's top left corner.
TPoint screenOrigin(const Window& w) {
  if (!isChild(w)) return TPoint{w.rect.Left, w.rect.Top};
  const Window* p = find(w.parent);
  if (!p) return TPoint{w.rect.Left, w.rect.Top};
  const TPoint po = screenOrigin(*p);
  const TRect f = frameOf(*p);
  return TPoint{po.X + f.Left + w.rect.Left, po.Y + f.Top + w.rect.Top};
}

TPoint clientScreenOrigin(const Window& w) {
  const TPoint o = screenOrigin(w);
  const TRect f = frameOf(w);
  return TPoint{o.X + f.Left, o.Y + f.Top};
}

bool visibleChain(const Window& w) {
  for (const Window* c = &w; c; c = isChild(*c) ? find(c->parent) : nullptr)
    if (!(c->style & WS_VISIBLE)) return false;
  return true;
}

bool enabledChain(const Window& w) {
  for (const Window* c = &w; c; c = isChild(*c) ? find(c->parent) : nullptr)
    if (c->style & WS_DISABLED) return false;
  return true;
}

bool inSubtree(HWND root, HWND h) {
  for (Window* w = find(h); w; w = isChild(*w) ? find(w->parent) : nullptr)
    if (w->id == root) return true;
  return false;
}

bool underLock(const Window& w) { return sys().locked && inSubtree(sys().locked, w.id); }

HWND topLevelOf(HWND h) {
  Window* w = find(h);
  while (w && isChild(*w))
    w = find(w->parent);
  return w ? w->id : 0;
}

WindowSurface& surfaceOf(Window& w) {
  if (!w.surface) w.surface = sys().factory(w.rect.Width(), w.rect.Height());
  return *w.surface;
}

void notifyChanged(const Window& w) {
  if (!isChild(w) && sys().presenter && (w.style & WS_VISIBLE)) sys().presenter->windowChanged(w.id);
}

// New pixels in any window of a tree change the picture of its top-level window.
void notifyPixels(const Window& w) {
  if (Window* top = find(topLevelOf(w.id))) notifyChanged(*top);
}

void invalidateAll(Window& w, bool erase) {
  const TRect c = clientRect(w);
  w.update.clear();
  w.update.add(c);
  if (erase) w.erase = true;
}

void invalidateTree(Window& w) {
  invalidateAll(w, true);
  for (HWND c : w.children)
    if (Window* cw = find(c); cw && (cw->style & WS_VISIBLE)) invalidateTree(*cw);
}

// The parent's area under a child (after it moved, hid or went away) needs painting.
void exposeInParent(const Window& w, const TRect& rect) {
  if (!isChild(w)) return;
  if (Window* p = find(w.parent)) {
    p->update.add(IntersectRects(rect, clientRect(*p)));
    p->erase = true;
  }
}

LRESULT send(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Window* w = find(h);
  if (!w) return 0;
  WindowProc proc = w->proc; // the handler may replace it or destroy the window
  if (!proc) return DefWindowProc(h, msg, wp, lp);
  return proc(h, msg, wp, lp);
}

void sendSize(Window& w) {
  const TSize c = clientSize(w);
  send(w.id, WM_SIZE, SIZE_RESTORED, makeLParam(c.cx, c.cy));
}

void setBarVisible(Window& w, int bar, bool show) {
  const uint32_t bit = bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
  if (static_cast<bool>(w.style & bit) == show) return;
  const TSize before = clientSize(w);
  if (show)
    w.style |= bit;
  else
    w.style &= ~bit;
  invalidateAll(w, true);
  if (!(clientSize(w) == before)) sendSize(w);
}

void removeFromLists(Window& w) {
  auto& s = sys();
  if (isChild(w)) {
    if (Window* p = find(w.parent)) {
      auto& c = p->children;
      c.erase(std::remove(c.begin(), c.end(), w.id), c.end());
    }
  } else {
    s.topLevel.erase(std::remove(s.topLevel.begin(), s.topLevel.end(), w.id), s.topLevel.end());
  }
}

void collectSubtree(HWND h, std::vector<HWND>& out) {
  out.push_back(h);
  if (Window* w = find(h))
    for (HWND c : w->children)
      collectSubtree(c, out);
}

char charForKey(int vk) {
  auto& s = sys();
  const bool shift = s.keys[VK_SHIFT] & 0x80;
  const bool ctrl = s.keys[VK_CONTROL] & 0x80;
  const bool caps = s.keys[VK_CAPITAL] & 0x01;
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return static_cast<char>(vk - 'A' + 1);
    return static_cast<char>((shift != caps) ? vk : vk - 'A' + 'a');
  }
  if (ctrl) return 0;
  if (vk >= '0' && vk <= '9') return shift ? ")!@#$%^&*("[vk - '0'] : static_cast<char>(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return static_cast<char>('0' + vk - VK_NUMPAD0);
  // The keys that type one character, plain and with Shift, on a US layout.
  struct KeyChar {
    int vk;
    char plain, shifted;
  };
  static constexpr KeyChar keyChars[] = {
      {VK_SPACE, ' ', ' '},     {VK_RETURN, '\r', '\r'},  {VK_BACK, '\b', '\b'},     {VK_TAB, '\t', '\t'},
      {VK_ESCAPE, 27, 27},      {VK_MULTIPLY, '*', '*'},  {VK_ADD, '+', '+'},        {VK_SUBTRACT, '-', '-'},
      {VK_DECIMAL, '.', '.'},   {VK_DIVIDE, '/', '/'},    {VK_OEM_1, ';', ':'},      {VK_OEM_PLUS, '=', '+'},
      {VK_OEM_COMMA, ',', '<'}, {VK_OEM_MINUS, '-', '_'}, {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'},
      {VK_OEM_3, '`', '~'},     {VK_OEM_4, '[', '{'},     {VK_OEM_5, '\\', '|'},     {VK_OEM_6, ']', '}'},
      {VK_OEM_7, '\'', '"'}};
  for (const KeyChar& k : keyChars)
    if (k.vk == vk) return shift ? k.shifted : k.plain;
  return 0;
}

WPARAM mouseKeys() {
  auto& s = sys();
  WPARAM k = 0;
  if (s.keys[VK_LBUTTON] & 0x80) k |= MK_LBUTTON;
  if (s.keys[VK_RBUTTON] & 0x80) k |= MK_RBUTTON;
  if (s.keys[VK_MBUTTON] & 0x80) k |= MK_MBUTTON;
  if (s.keys[VK_SHIFT] & 0x80) k |= MK_SHIFT;
  if (s.keys[VK_CONTROL] & 0x80) k |= MK_CONTROL;
  return k;
}

HWND deepestAt(HWND h, TPoint screen) {
  Window* w = find(h);
  if (!w || !(w->style & WS_VISIBLE)) return 0;
  const TPoint o = screenOrigin(*w);
  if (!PtInRect(TRect{o.X, o.Y, o.X + w->rect.Width(), o.Y + w->rect.Height()}, screen)) return 0;
  if (w->style & WS_DISABLED) return 0;
  const TPoint co = clientScreenOrigin(*w);
  const TSize cs = clientSize(*w);
  if (PtInRect(TRect{co.X, co.Y, co.X + cs.cx, co.Y + cs.cy}, screen))
    for (HWND c : w->children)
      if (HWND hit = deepestAt(c, screen)) return hit;
  return h;
}

// Turns one queued input into a message for its window; false when it goes nowhere.
bool resolveInput(const Input& in, TMsg& m, bool update) {
  auto& s = sys();
  m = TMsg{};
  m.time = currentClock().tickCount();
  m.message = in.msg;
  if (in.msg >= WM_KEYFIRST && in.msg <= WM_KEYLAST) {
    m.hwnd = s.focus ? s.focus : s.active;
    m.pt = s.cursor;
    if (in.msg == WM_CHAR) {
      m.wParam = static_cast<unsigned char>(in.ch);
      m.lParam = 1;
      return m.hwnd != 0;
    }
    m.wParam = static_cast<WPARAM>(in.vk);
    const bool up = in.msg == WM_KEYUP || in.msg == WM_SYSKEYUP;
    const bool wasDown = s.keys[in.vk & 0xFF] & 0x80;
    m.lParam = 1 | (wasDown ? (1 << 30) : 0) | (up ? (static_cast<LPARAM>(3) << 30) : 0);
    if (update) {
      s.typedPending = in.typed && !up;
      if (s.typedPending) {
        s.typedKey = m.wParam;
        s.typedChars = in.chars;
      }
      uint8_t& k = s.keys[in.vk & 0xFF];
      if (up)
        k &= 0x7F;
      else {
        if (!(k & 0x80)) k ^= 0x01;
        k |= 0x80;
      }
    }
    return m.hwnd != 0;
  }
  // mouse
  if (update) {
    s.cursor = in.pt;
    struct ButtonMsg {
      UINT msg;
      int vk;
      bool down;
    };
    static constexpr ButtonMsg buttons[] = {
        {WM_LBUTTONDOWN, VK_LBUTTON, true}, {WM_LBUTTONUP, VK_LBUTTON, false},
        {WM_RBUTTONDOWN, VK_RBUTTON, true}, {WM_RBUTTONUP, VK_RBUTTON, false},
        {WM_MBUTTONDOWN, VK_MBUTTON, true}, {WM_MBUTTONUP, VK_MBUTTON, false}};
    for (const ButtonMsg& b : buttons)
      if (b.msg == in.msg) {
        if (b.down)
          s.keys[b.vk] |= 0x80;
        else
          s.keys[b.vk] &= 0x7F;
      }
  }
  m.pt = in.pt;
  if (in.msg == WM_MOUSEWHEEL) {
    m.hwnd = s.focus ? s.focus : s.active;
    m.wParam = (mouseKeys() & 0xFFFF) | (static_cast<WPARAM>(static_cast<uint16_t>(in.wheel)) << 16);
    m.lParam = makeLParam(in.pt.X, in.pt.Y);
    return m.hwnd != 0;
  }
  HWND target = s.capture;
  if (!target)
    for (HWND t : s.topLevel)
      if ((target = deepestAt(t, in.pt))) break;
  if (!target) return false;
  Window* w = find(target);
  const TPoint co = clientScreenOrigin(*w);
  m.hwnd = target;
  m.wParam = mouseKeys();
  m.lParam = makeLParam(in.pt.X - co.X, in.pt.Y - co.Y);
  const bool isDown = in.msg == WM_LBUTTONDOWN || in.msg == WM_RBUTTONDOWN || in.msg == WM_MBUTTONDOWN;
  if (update && isDown) {
    const uint64_t now = m.time;
    if ((w->classStyle & CS_DBLCLKS) && s.lastDownWnd == target && s.lastDownMsg == in.msg &&
        now - s.lastDownTick <= 500 && std::abs(in.pt.X - s.lastDownPt.X) <= 2 &&
        std::abs(in.pt.Y - s.lastDownPt.Y) <= 2) {
      m.message = in.msg + 2; // the double-click message follows each button-down message
      s.lastDownWnd = 0;
    } else {
      s.lastDownWnd = target;
      s.lastDownTick = now;
      s.lastDownPt = in.pt;
      s.lastDownMsg = in.msg;
    }
    if (!s.capture) {
      const HWND top = topLevelOf(target);
      if (top != s.active) SetActiveWindow(top);
    }
  }
  return true;
}

HWND findPaintTarget(HWND h) {
  Window* w = find(h);
  if (!w || !(w->style & WS_VISIBLE) || underLock(*w)) return 0;
  if (!w->update.empty()) return h;
  for (HWND c : w->children)
    if (HWND t = findPaintTarget(c)) return t;
  return 0;
}

} // namespace

// ---- windows

HWND CreateWindowEx(uint32_t ExStyle, const std::string& ClassName, const std::string& WindowName,
                    uint32_t Style, int X, int Y, int Width, int Height, HWND Parent, WindowProc Proc,
                    uint32_t ClassStyle) {
  auto& s = sys();
  if ((Style & WS_CHILD) && !find(Parent)) return 0;
  auto w = std::make_unique<Window>();
  w->id = s.nextId++;
  w->parent = Parent;
  w->style = Style;
  w->exStyle = ExStyle;
  w->classStyle = ClassStyle;
  w->className = ClassName;
  w->text = WindowName;
  w->rect = TRect{X, Y, X + std::max(0, Width), Y + std::max(0, Height)};
  w->proc = std::move(Proc);
  const HWND id = w->id;
  Window& ref = *w;
  s.windows[id] = std::move(w);
  if (isChild(ref))
    find(Parent)->children.push_back(id);
  else
    s.topLevel.insert(s.topLevel.begin(), id);
  send(id, WM_CREATE, 0, 0);
  if (!find(id)) return 0;
  sendSize(*find(id));
  if (Window* again = find(id)) {
    send(id, WM_MOVE, 0, makeLParam(again->rect.Left, again->rect.Top));
  }
  if (Window* again = find(id); again && (again->style & WS_VISIBLE)) {
    invalidateTree(*again);
    if (!isChild(*again) && s.presenter) s.presenter->windowShown(id);
  }
  return find(id) ? id : 0;
}

bool DestroyWindow(HWND Wnd) {
  auto& s = sys();
  Window* w = find(Wnd);
  if (!w || w->destroying) return false;
  std::vector<HWND> all;
  collectSubtree(Wnd, all);
  for (HWND h : all)
    if (Window* x = find(h)) x->destroying = true;
  if (s.capture && std::find(all.begin(), all.end(), s.capture) != all.end()) ReleaseCapture();
  if (s.focus && std::find(all.begin(), all.end(), s.focus) != all.end()) {
    const HWND old = s.focus;
    s.focus = 0;
    send(old, WM_KILLFOCUS, 0, 0);
  }
  if (s.locked && std::find(all.begin(), all.end(), s.locked) != all.end()) s.locked = 0;
  if (w->style & WS_VISIBLE) exposeInParent(*w, w->rect);
  const bool topLevel = !isChild(*w);
  for (HWND h : all)
    send(h, WM_DESTROY, 0, 0);
  if (Window* again = find(Wnd)) removeFromLists(*again);
  for (HWND h : all) {
    s.timers.erase(
        std::remove_if(s.timers.begin(), s.timers.end(), [h](const Timer& t) { return t.hwnd == h; }),
        s.timers.end());
    if (s.active == h) s.active = 0;
    s.windows.erase(h);
  }
  if (topLevel && s.presenter) s.presenter->windowDestroyed(Wnd);
  return true;
}

bool IsWindow(HWND Wnd) { return find(Wnd) != nullptr; }

HWND GetParent(HWND Wnd) {
  Window* w = find(Wnd);
  return w ? w->parent : 0;
}

HWND SetParent(HWND Wnd, HWND NewParent) {
  auto& s = sys();
  Window* w = find(Wnd);
  if (!w || (NewParent && !find(NewParent)) || (NewParent && inSubtree(Wnd, NewParent))) return 0;
  const HWND old = w->parent;
  if (w->style & WS_VISIBLE) exposeInParent(*w, w->rect);
  removeFromLists(*w);
  w->parent = NewParent;
  if (NewParent) {
    w->style |= WS_CHILD;
    find(NewParent)->children.insert(find(NewParent)->children.begin(), Wnd);
  } else {
    w->style &= ~WS_CHILD;
    s.topLevel.insert(s.topLevel.begin(), Wnd);
    if ((w->style & WS_VISIBLE) && s.presenter) s.presenter->windowShown(Wnd);
  }
  if (w->style & WS_VISIBLE) invalidateTree(*w);
  return old;
}

std::vector<HWND> GetChildWindows(HWND Wnd) {
  Window* w = find(Wnd);
  return w ? w->children : std::vector<HWND>{};
}

std::vector<HWND> GetTopLevelWindows() { return sys().topLevel; }

std::string GetClassName(HWND Wnd) {
  Window* w = find(Wnd);
  return w ? w->className : std::string();
}

int64_t GetWindowLong(HWND Wnd, int Index) {
  Window* w = find(Wnd);
  if (!w) return 0;
  if (Index == GWL_STYLE) return static_cast<int64_t>(w->style);
  if (Index == GWL_EXSTYLE) return static_cast<int64_t>(w->exStyle);
  return 0;
}

int64_t SetWindowLong(HWND Wnd, int Index, int64_t Value) {
  Window* w = find(Wnd);
  if (!w) return 0;
  int64_t old = 0;
  if (Index == GWL_STYLE) {
    old = w->style;
    w->style = static_cast<uint32_t>(Value);
  } else if (Index == GWL_EXSTYLE) {
    old = w->exStyle;
    w->exStyle = static_cast<uint32_t>(Value);
  }
  return old;
}

uint32_t GetClassStyle(HWND Wnd) {
  Window* w = find(Wnd);
  return w ? w->classStyle : 0;
}

void SetWindowProc(HWND Wnd, WindowProc Proc) {
  if (Window* w = find(Wnd)) w->proc = std::move(Proc);
}

bool SetWindowPos(HWND Wnd, HWND InsertAfter, int X, int Y, int Width, int Height, UINT Flags) {
  auto& s = sys();
  Window* w = find(Wnd);
  if (!w) return false;
  const TRect oldRect = w->rect;
  const TSize oldClient = clientSize(*w);
  TRect r = w->rect;
  if (!(Flags & SWP_NOMOVE)) r = TRect{X, Y, X + r.Width(), Y + r.Height()};
  if (!(Flags & SWP_NOSIZE)) r.Right = r.Left + std::max(0, Width), r.Bottom = r.Top + std::max(0, Height);
  w->rect = r;
  if (!(Flags & SWP_NOZORDER)) {
    auto& list = isChild(*w) ? find(w->parent)->children : s.topLevel;
    list.erase(std::remove(list.begin(), list.end(), Wnd), list.end());
    if (InsertAfter == HWND_BOTTOM)
      list.push_back(Wnd);
    else if (InsertAfter == HWND_TOP)
      list.insert(list.begin(), Wnd);
    else {
      auto it = std::find(list.begin(), list.end(), InsertAfter);
      list.insert(it == list.end() ? list.begin() : it + 1, Wnd);
    }
    if (isChild(*w) && (w->style & WS_VISIBLE)) invalidateTree(*w);
  }
  const bool moved = r.Left != oldRect.Left || r.Top != oldRect.Top;
  const bool sized = r.Width() != oldRect.Width() || r.Height() != oldRect.Height();
  if (sized && w->surface) w->surface->resize(r.Width(), r.Height());
  if ((moved || sized) && (w->style & WS_VISIBLE) && !(Flags & SWP_NOREDRAW)) {
    exposeInParent(*w, oldRect);
    const TSize nc = clientSize(*w);
    if ((Flags & SWP_FRAMECHANGED) || (sized && (w->classStyle & (CS_HREDRAW | CS_VREDRAW)))) {
      invalidateAll(*w, true);
    } else if (sized) {
      Region grown;
      grown.add(TRect{0, 0, nc.cx, nc.cy});
      grown.subtract(TRect{0, 0, oldClient.cx, oldClient.cy});
      w->update.add(grown);
      if (!grown.empty()) w->erase = true;
    }
    if (moved && isChild(*w)) invalidateTree(*w);
  } else if (Flags & SWP_FRAMECHANGED) {
    invalidateAll(*w, true);
  }
  if (Flags & SWP_SHOWWINDOW) ShowWindow(Wnd, SW_SHOWNA);
  if (Flags & SWP_HIDEWINDOW) ShowWindow(Wnd, SW_HIDE);
  if ((w = find(Wnd)) == nullptr) return true;
  if (moved) send(Wnd, WM_MOVE, 0, makeLParam(r.Left, r.Top));
  if ((w = find(Wnd)) == nullptr) return true;
  if (!(clientSize(*w) == oldClient)) sendSize(*w);
  if ((w = find(Wnd)) != nullptr && (moved || sized)) notifyChanged(*w);
  return true;
}

bool MoveWindow(HWND Wnd, int X, int Y, int Width, int Height, bool Repaint) {
  return SetWindowPos(Wnd, 0, X, Y, Width, Height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (Repaint ? 0 : SWP_NOREDRAW));
}

bool BringWindowToTop(HWND Wnd) { return SetWindowPos(Wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

bool GetWindowRect(HWND Wnd, TRect* Rect) {
  Window* w = find(Wnd);
  if (!w || !Rect) return false;
  const TPoint o = screenOrigin(*w);
  *Rect = TRect{o.X, o.Y, o.X + w->rect.Width(), o.Y + w->rect.Height()};
  return true;
}

bool GetClientRect(HWND Wnd, TRect* Rect) {
  Window* w = find(Wnd);
  if (!w || !Rect) return false;
  *Rect = clientRect(*w);
  return true;
}

bool ClientToScreen(HWND Wnd, TPoint* Point) {
  Window* w = find(Wnd);
  if (!w || !Point) return false;
  const TPoint o = clientScreenOrigin(*w);
  Point->X += o.X;
  Point->Y += o.Y;
  return true;
}

bool ScreenToClient(HWND Wnd, TPoint* Point) {
  Window* w = find(Wnd);
  if (!w || !Point) return false;
  const TPoint o = clientScreenOrigin(*w);
  Point->X -= o.X;
  Point->Y -= o.Y;
  return true;
}

TPoint GetClientOrigin(HWND Wnd) {
  Window* w = find(Wnd);
  if (!w) return TPoint{};
  const TRect f = frameOf(*w);
  return TPoint{f.Left, f.Top};
}

bool ShowWindow(HWND Wnd, int CmdShow) {
  auto& s = sys();
  Window* w = find(Wnd);
  if (!w) return false;
  const bool was = w->style & WS_VISIBLE;
  if (CmdShow == SW_HIDE) {
    if (!was) return false;
    send(Wnd, WM_SHOWWINDOW, 0, 0);
    if (!(w = find(Wnd))) return true;
    w->style &= ~WS_VISIBLE;
    exposeInParent(*w, w->rect);
    if (!isChild(*w)) {
      if (s.presenter) s.presenter->windowHidden(Wnd);
      if (s.active == Wnd) s.active = 0;
    }
    return true;
  }
  if (!was) {
    send(Wnd, WM_SHOWWINDOW, 1, 0);
    if (!(w = find(Wnd))) return false;
    w->style |= WS_VISIBLE;
    invalidateTree(*w);
    if (!isChild(*w) && s.presenter) s.presenter->windowShown(Wnd);
  }
  if (!isChild(*w) && CmdShow != SW_SHOWNA && CmdShow != SW_SHOWNOACTIVATE) SetActiveWindow(Wnd);
  return was;
}

bool IsWindowVisible(HWND Wnd) {
  Window* w = find(Wnd);
  return w && visibleChain(*w);
}

bool EnableWindow(HWND Wnd, bool Enable) {
  auto& s = sys();
  Window* w = find(Wnd);
  if (!w) return false;
  const bool wasDisabled = w->style & WS_DISABLED;
  if (wasDisabled == !Enable) return wasDisabled;
  if (!Enable) {
    w->style |= WS_DISABLED;
    send(Wnd, WM_CANCELMODE, 0, 0);
    if (s.focus && inSubtree(Wnd, s.focus)) SetFocus(0);
  } else {
    w->style &= ~WS_DISABLED;
  }
  send(Wnd, WM_ENABLE, Enable ? 1 : 0, 0);
  return wasDisabled;
}

bool IsWindowEnabled(HWND Wnd) {
  Window* w = find(Wnd);
  return w && !(w->style & WS_DISABLED);
}

bool SetWindowText(HWND Wnd, const std::string& Text) {
  Window* w = find(Wnd);
  if (!w) return false;
  w->text = Text;
  notifyChanged(*w);
  return true;
}

std::string GetWindowText(HWND Wnd) {
  Window* w = find(Wnd);
  return w ? w->text : std::string();
}

HWND WindowFromPoint(TPoint Point) {
  for (HWND t : sys().topLevel)
    if (HWND h = deepestAt(t, Point)) return h;
  return 0;
}

int GetSystemMetrics(int Index) {
  const TSize screen = sys().presenter ? sys().presenter->screenSize() : TSize{1024, 768};
  switch (Index) {
  case SM_CXSCREEN:
    return screen.cx;
  case SM_CYSCREEN:
    return screen.cy;
  case SM_CXVSCROLL:
  case SM_CYHSCROLL:
    return 16;
  case SM_CYCAPTION:
    return 19;
  case SM_CYSMCAPTION:
    return 15;
  case SM_CXBORDER:
  case SM_CYBORDER:
    return 1;
  case SM_CXDLGFRAME:
  case SM_CYDLGFRAME:
    return 3;
  case SM_CXFRAME:
  case SM_CYFRAME:
    return 4;
  case SM_CXEDGE:
  case SM_CYEDGE:
    return 2;
  default:
    return 0;
  }
}

bool AdjustWindowRectEx(TRect* Rect, uint32_t Style, bool /*Menu*/, uint32_t ExStyle) {
  if (!Rect) return false;
  Window w;
  w.style = Style;
  w.exStyle = ExStyle;
  const TRect f = frameOf(w);
  Rect->Left -= f.Left;
  Rect->Top -= f.Top;
  Rect->Right += f.Right;
  Rect->Bottom += f.Bottom;
  return true;
}

// ---- messages

LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  return send(Wnd, Msg, WParam, LParam);
}

bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Wnd && !find(Wnd)) return false;
  TMsg m;
  m.hwnd = Wnd;
  m.message = Msg;
  m.wParam = WParam;
  m.lParam = LParam;
  m.time = currentClock().tickCount();
  m.pt = sys().cursor;
  sys().posted.push_back(m);
  return true;
}

void PostQuitMessage(int ExitCode) {
  sys().quit = true;
  sys().quitCode = ExitCode;
}

bool PeekMessage(TMsg& Msg, bool Remove) {
  auto& s = sys();
  while (!s.posted.empty()) {
    TMsg m = s.posted.front();
    if (m.hwnd && !find(m.hwnd)) {
      s.posted.pop_front();
      continue;
    }
    if (Remove) s.posted.pop_front();
    Msg = m;
    return true;
  }
  if (s.quit) {
    Msg = TMsg{};
    Msg.message = WM_QUIT;
    Msg.wParam = static_cast<WPARAM>(s.quitCode);
    if (Remove) s.quit = false;
    return true;
  }
  while (!s.input.empty()) {
    const Input in = s.input.front();
    TMsg m;
    const bool ok = resolveInput(in, m, Remove);
    if (Remove || !ok) s.input.pop_front();
    if (ok) {
      Msg = m;
      return true;
    }
  }
  for (HWND t : s.topLevel)
    if (HWND p = findPaintTarget(t)) {
      Msg = TMsg{};
      Msg.hwnd = p;
      Msg.message = WM_PAINT;
      Msg.time = currentClock().tickCount();
      return true;
    }
  const uint64_t now = currentClock().tickCount();
  Timer* due = nullptr;
  for (Timer& t : s.timers)
    if (t.due <= now && (!due || t.due < due->due || (t.due == due->due && t.seq < due->seq))) due = &t;
  if (due) {
    Msg = TMsg{};
    Msg.hwnd = due->hwnd;
    Msg.message = WM_TIMER;
    Msg.wParam = due->id;
    Msg.time = now;
    if (Remove)
      while (due->due <= now)
        due->due += due->elapse;
    return true;
  }
  return false;
}

bool WaitMessage() {
  auto& s = sys();
  TMsg m;
  if (PeekMessage(m, false)) return true;
  const std::optional<uint64_t> deadline = NextTimerDue();
  if (s.presenter) return s.presenter->waitForInput(deadline);
  if (!deadline) return false;
  currentClock().sleepUntil(*deadline);
  return true;
}

bool GetMessage(TMsg& Msg) {
  while (true) {
    if (PeekMessage(Msg, true)) return Msg.message != WM_QUIT;
    if (!WaitMessage()) {
      Msg = TMsg{};
      return false;
    }
  }
}

bool TranslateMessage(const TMsg& Msg) {
  if (Msg.message != WM_KEYDOWN && Msg.message != WM_SYSKEYDOWN) return false;
  auto& s = sys();
  if (s.typedPending && s.typedKey == Msg.wParam) {
    // A real keyboard said what the key typed (its layout and all): that counts, one
    // character message per byte of the text, in order.
    s.typedPending = false;
    TMsg m = Msg;
    m.message = Msg.message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    for (auto c = s.typedChars.rbegin(); c != s.typedChars.rend(); ++c) {
      m.wParam = static_cast<unsigned char>(*c);
      s.posted.push_front(m);
    }
    return !s.typedChars.empty();
  }
  const char c = charForKey(static_cast<int>(Msg.wParam));
  if (!c) return false;
  TMsg m = Msg;
  m.message = Msg.message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  m.wParam = static_cast<unsigned char>(c);
  s.posted.push_front(m);
  return true;
}

LRESULT DispatchMessage(const TMsg& Msg) {
  if (!Msg.hwnd) return 0;
  return send(Msg.hwnd, Msg.message, Msg.wParam, Msg.lParam);
}

LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
  case WM_PAINT: {
    TPaintStruct ps;
    BeginPaint(Wnd, ps);
    EndPaint(Wnd, ps);
    return 0;
  }
  case WM_CANCELMODE:
    if (sys().capture == Wnd) ReleaseCapture();
    return 0;
  case WM_CLOSE:
    DestroyWindow(Wnd);
    return 0;
  case WM_SETTEXT:
    return 0;
  case WM_NCHITTEST:
    return 1;
  case WM_ACTIVATE:
    if ((WParam & 0xFFFF) != 0 && !(sys().focus && inSubtree(Wnd, sys().focus))) SetFocus(Wnd);
    return 0;
  case WM_MOUSEWHEEL:
    if (Window* w = find(Wnd); w && isChild(*w)) return send(w->parent, Msg, WParam, LParam);
    return 0;
  default:
    return 0;
  }
}

size_t PendingMessageCount() { return sys().posted.size() + sys().input.size(); }

// ---- painting

bool InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) {
  Window* w = find(Wnd);
  if (!w) return false;
  const TRect c = clientRect(*w);
  const TRect r = Rect ? IntersectRects(*Rect, c) : c;
  if (!IsRectEmpty(r)) {
    w->update.add(r);
    if (Erase) w->erase = true;
  }
  return true;
}

bool ValidateRect(HWND Wnd, const TRect* Rect) {
  Window* w = find(Wnd);
  if (!w) return false;
  if (!Rect)
    w->update.clear();
  else
    w->update.subtract(*Rect);
  if (w->update.empty()) w->erase = false;
  return true;
}

bool GetUpdateRect(HWND Wnd, TRect* Rect, bool Erase) {
  Window* w = find(Wnd);
  if (!w) return false;
  if (Rect) *Rect = w->update.bounds();
  if (w->update.empty()) return false;
  if (Erase && w->erase) {
    w->erase = false;
    DrawingContext* dc = GetDC(Wnd);
    if (dc) dc->setClipRect(OffsetRectBy(w->update.bounds(), GetClientOrigin(Wnd).X, GetClientOrigin(Wnd).Y));
    send(Wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ReleaseDC(Wnd, dc);
  }
  return true;
}

std::vector<TRect> GetUpdateRegion(HWND Wnd) {
  Window* w = find(Wnd);
  return w ? w->update.rects() : std::vector<TRect>{};
}

bool GetUpdateEraseFlag(HWND Wnd) {
  Window* w = find(Wnd);
  return w && w->erase;
}

DrawingContext* BeginPaint(HWND Wnd, TPaintStruct& Paint) {
  Window* w = find(Wnd);
  Paint = TPaintStruct{};
  if (!w) return nullptr;
  auto ctx = surfaceOf(*w).createContext();
  const TRect f = frameOf(*w);
  ctx->setDeviceOrigin(TPoint{f.Left, f.Top});
  Paint.rcPaint = w->update.bounds();
  ctx->setClipRect(OffsetRectBy(Paint.rcPaint, f.Left, f.Top));
  const bool erase = w->erase;
  w->update.clear();
  w->erase = false;
  DrawingContext* raw = ctx.get();
  w->contexts.push_back(std::move(ctx));
  Paint.hdc = raw;
  if (erase) {
    const LRESULT r = send(Wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(raw), 0);
    Paint.fErase = r == 0;
  }
  return find(Wnd) ? raw : nullptr;
}

bool EndPaint(HWND Wnd, const TPaintStruct& Paint) {
  Window* w = find(Wnd);
  if (!w) return false;
  auto& c = w->contexts;
  auto it = std::find_if(c.begin(), c.end(), [&](const auto& p) { return p.get() == Paint.hdc; });
  if (it == c.end()) return false;
  c.erase(it);
  notifyPixels(*w);
  return true;
}

bool UpdateWindow(HWND Wnd) {
  Window* w = find(Wnd);
  if (!w) return false;
  if (!w->update.empty() && visibleChain(*w) && !underLock(*w)) send(Wnd, WM_PAINT, 0, 0);
  return true;
}

bool RedrawWindow(HWND Wnd, const TRect* Rect, UINT Flags) {
  Window* w = find(Wnd);
  if (!w) return false;
  if (Flags & RDW_INVALIDATE) InvalidateRect(Wnd, Rect, (Flags & RDW_ERASE) != 0);
  if (Flags & RDW_VALIDATE) ValidateRect(Wnd, Rect);
  if (Flags & RDW_ALLCHILDREN)
    for (HWND c : std::vector<HWND>(w->children))
      RedrawWindow(c, nullptr, Flags & ~RDW_UPDATENOW);
  if (Flags & RDW_UPDATENOW) {
    UpdateWindow(Wnd);
    if ((w = find(Wnd)) && (Flags & RDW_ALLCHILDREN))
      for (HWND c : std::vector<HWND>(w->children))
        RedrawWindow(c, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
  return true;
}

DrawingContext* GetDC(HWND Wnd) {
  Window* w = find(Wnd);
  if (!w) return nullptr;
  auto ctx = surfaceOf(*w).createContext();
  const TRect f = frameOf(*w);
  const TSize cs = clientSize(*w);
  ctx->setDeviceOrigin(TPoint{f.Left, f.Top});
  ctx->setClipRect(TRect{f.Left, f.Top, f.Left + cs.cx, f.Top + cs.cy});
  DrawingContext* raw = ctx.get();
  w->contexts.push_back(std::move(ctx));
  return raw;
}

DrawingContext* GetWindowDC(HWND Wnd) {
  Window* w = find(Wnd);
  if (!w) return nullptr;
  auto ctx = surfaceOf(*w).createContext();
  ctx->setDeviceOrigin(TPoint{0, 0});
  ctx->setClipRect(TRect{0, 0, w->rect.Width(), w->rect.Height()});
  DrawingContext* raw = ctx.get();
  w->contexts.push_back(std::move(ctx));
  return raw;
}

int ReleaseDC(HWND Wnd, DrawingContext* DC) {
  Window* w = find(Wnd);
  if (!w || !DC) return 0;
  auto& c = w->contexts;
  auto it = std::find_if(c.begin(), c.end(), [&](const auto& p) { return p.get() == DC; });
  if (it == c.end()) return 0;
  c.erase(it);
  notifyPixels(*w);
  return 1;
}

bool LockWindowUpdate(HWND Wnd) {
  auto& s = sys();
  if (!Wnd) {
    s.locked = 0;
    return true;
  }
  if (s.locked || !find(Wnd)) return false;
  s.locked = Wnd;
  return true;
}

HWND GetLockedWindow() { return sys().locked; }

WindowSurface* GetWindowSurface(HWND Wnd) {
  Window* w = find(Wnd);
  return w ? &surfaceOf(*w) : nullptr;
}

void SetSurfaceFactory(SurfaceFactory Factory) {
  sys().factory = Factory ? Factory : &RecordingSurface::make;
}

// ---- scroll bars

int SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool Redraw) {
  Window* w = find(Wnd);
  if (!w || (Bar != SB_HORZ && Bar != SB_VERT)) return 0;
  ScrollBarState& b = w->bars[Bar];
  if (Info.fMask & SIF_RANGE) {
    b.min = Info.nMin;
    b.max = std::max(Info.nMin, Info.nMax);
  }
  if (Info.fMask & SIF_PAGE) b.page = Info.nPage;
  if (Info.fMask & SIF_POS) b.pos = Info.nPos;
  const int64_t span = static_cast<int64_t>(b.max) - b.min + 1;
  if (static_cast<int64_t>(b.page) > span) b.page = static_cast<UINT>(span);
  const int64_t page = b.page;
  const int64_t top = std::max<int64_t>(b.min, static_cast<int64_t>(b.max) - std::max<int64_t>(page - 1, 0));
  b.pos = static_cast<int>(std::clamp<int64_t>(b.pos, b.min, top));
  b.track = b.pos;
  const bool needed = b.max > b.min && page <= static_cast<int64_t>(b.max) - b.min;
  if (Info.fMask & (SIF_RANGE | SIF_PAGE))
    setBarVisible(*w, Bar, needed || (Info.fMask & SIF_DISABLENOSCROLL));
  (void)Redraw;
  w = find(Wnd);
  return w ? w->bars[Bar].pos : 0;
}

bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) {
  Window* w = find(Wnd);
  if (!w || (Bar != SB_HORZ && Bar != SB_VERT)) return false;
  const ScrollBarState& b = w->bars[Bar];
  if (Info.fMask & SIF_RANGE) Info.nMin = b.min, Info.nMax = b.max;
  if (Info.fMask & SIF_PAGE) Info.nPage = b.page;
  if (Info.fMask & SIF_POS) Info.nPos = b.pos;
  if (Info.fMask & SIF_TRACKPOS) Info.nTrackPos = b.track;
  return true;
}

int GetScrollPos(HWND Wnd, int Bar) {
  Window* w = find(Wnd);
  if (!w || (Bar != SB_HORZ && Bar != SB_VERT)) return 0;
  return w->bars[Bar].pos;
}

int SetScrollPos(HWND Wnd, int Bar, int Pos, bool Redraw) {
  const int old = GetScrollPos(Wnd, Bar);
  TScrollInfo si;
  si.fMask = SIF_POS;
  si.nPos = Pos;
  SetScrollInfo(Wnd, Bar, si, Redraw);
  return old;
}

bool SetScrollRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw) {
  TScrollInfo si;
  si.fMask = SIF_RANGE;
  si.nMin = Min;
  si.nMax = Max;
  SetScrollInfo(Wnd, Bar, si, Redraw);
  return IsWindow(Wnd);
}

bool ShowScrollBar(HWND Wnd, int Bar, bool Show) {
  Window* w = find(Wnd);
  if (!w) return false;
  if (Bar == SB_HORZ || Bar == SB_BOTH) setBarVisible(*w, SB_HORZ, Show);
  if ((w = find(Wnd)) && (Bar == SB_VERT || Bar == SB_BOTH)) setBarVisible(*w, SB_VERT, Show);
  return true;
}

void SetScrollTrackPos(HWND Wnd, int Bar, int TrackPos) {
  Window* w = find(Wnd);
  if (!w || (Bar != SB_HORZ && Bar != SB_VERT)) return;
  ScrollBarState& b = w->bars[Bar];
  const int64_t top = std::max<int64_t>(b.min, static_cast<int64_t>(b.max) -
                                                   std::max<int64_t>(static_cast<int64_t>(b.page) - 1, 0));
  b.track = static_cast<int>(std::clamp<int64_t>(TrackPos, b.min, top));
}

int ScrollWindowEx(HWND Wnd, int DX, int DY, const TRect* ScrollRect, const TRect* ClipRect,
                   TRect* UpdateRect, UINT Flags) {
  Window* w = find(Wnd);
  if (!w) return 0;
  const TRect client = clientRect(*w);
  const TRect area = ScrollRect ? IntersectRects(*ScrollRect, client) : client;
  const TRect clip = ClipRect ? IntersectRects(*ClipRect, client) : client;
  const TRect visible = IntersectRects(area, clip);
  Region uncovered;
  uncovered.add(visible);
  if (underLock(*w)) {
    // A frozen window keeps its pixels; what was to move is drawn anew after the unlock.
  } else {
    const TRect f = frameOf(*w);
    surfaceOf(*w).scroll(OffsetRectBy(area, f.Left, f.Top), OffsetRectBy(clip, f.Left, f.Top), DX, DY);
    notifyPixels(*w);
    uncovered.subtract(OffsetRectBy(area, DX, DY));
    // The part of the update region inside the scrolled area moves with the pixels.
    Region inside = w->update, outside = w->update;
    inside.intersect(area);
    outside.subtract(area);
    inside.offset(DX, DY);
    inside.intersect(visible);
    outside.add(inside);
    w->update = outside;
  }
  if (UpdateRect) *UpdateRect = uncovered.bounds();
  if (Flags & SW_INVALIDATE) {
    w->update.add(uncovered);
    if ((Flags & SW_ERASE) && !uncovered.empty()) w->erase = true;
  }
  if ((Flags & SW_SCROLLCHILDREN) && (DX || DY)) {
    for (HWND c : std::vector<HWND>(w->children)) {
      Window* cw = find(c);
      if (!cw || (ScrollRect && IsRectEmpty(IntersectRects(cw->rect, *ScrollRect)))) continue;
      cw->rect = OffsetRectBy(cw->rect, DX, DY);
      send(c, WM_MOVE, 0, makeLParam(cw->rect.Left, cw->rect.Top));
    }
  }
  if (uncovered.empty()) return 1;
  return uncovered.rects().size() == 1 ? 2 : 3;
}

bool ScrollWindow(HWND Wnd, int DX, int DY, const TRect* ScrollRect, const TRect* ClipRect) {
  if (!find(Wnd)) return false;
  ScrollWindowEx(Wnd, DX, DY, ScrollRect, ClipRect, nullptr,
                 SW_INVALIDATE | SW_ERASE | (ScrollRect ? 0 : SW_SCROLLCHILDREN));
  return true;
}

// ---- mouse, focus, keyboard

HWND SetCapture(HWND Wnd) {
  auto& s = sys();
  const HWND old = s.capture;
  if (Wnd && !find(Wnd)) return old;
  if (old == Wnd) return old;
  s.capture = Wnd;
  if (old) send(old, WM_CAPTURECHANGED, 0, static_cast<LPARAM>(Wnd));
  return old;
}

bool ReleaseCapture() {
  auto& s = sys();
  const HWND old = s.capture;
  if (!old) return true;
  s.capture = 0;
  send(old, WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() { return sys().capture; }

HWND SetFocus(HWND Wnd) {
  auto& s = sys();
  const HWND old = s.focus;
  if (Wnd == old) return old;
  if (Wnd) {
    Window* w = find(Wnd);
    if (!w || !enabledChain(*w)) return 0;
    const HWND top = topLevelOf(Wnd);
    if (top != s.active) {
      s.active = top; // activating: the focus goes straight to the requested window below
      send(top, WM_ACTIVATE, 1, 0);
      if (s.focus != old) return old; // the activation moved the focus itself
    }
  }
  s.focus = Wnd;
  if (old) send(old, WM_KILLFOCUS, Wnd, 0);
  if (Wnd && s.focus == Wnd) send(Wnd, WM_SETFOCUS, old, 0);
  return old;
}

HWND GetFocus() { return sys().focus; }
HWND GetActiveWindow() { return sys().active; }

HWND SetActiveWindow(HWND Wnd) {
  auto& s = sys();
  const HWND old = s.active;
  if (Wnd == old) return old;
  if (Wnd && !find(Wnd)) return 0;
  s.active = Wnd;
  if (old) send(old, WM_ACTIVATE, 0, static_cast<LPARAM>(Wnd));
  if (Wnd) {
    BringWindowToTop(Wnd);
    send(Wnd, WM_ACTIVATE, 1, static_cast<LPARAM>(old));
  }
  return old;
}

bool SetForegroundWindow(HWND Wnd) {
  auto& s = sys();
  if (const auto it = s.foreign.find(Wnd); it != s.foreign.end())
    return s.presenter && s.presenter->activateDesktopWindow(it->second.first, it->second.second);
  const HWND top = topLevelOf(Wnd);
  Window* w = find(top);
  if (!w || !(w->style & WS_VISIBLE)) return false;
  SetActiveWindow(top);
  // Active here already, the window may still lie under another program's on the desktop.
  if (s.presenter)
    s.presenter->activateDesktopWindow(s.presenter->desktopWindowId(top), static_cast<uint32_t>(getpid()));
  return GetActiveWindow() == top;
}

HWND ForeignWindowHandle(uint64_t DesktopId, uint32_t ProcessId) {
  if (!DesktopId) return 0;
  auto& s = sys();
  for (const auto& [h, named] : s.foreign)
    if (named == std::pair{DesktopId, ProcessId}) return h;
  const HWND h = s.nextId++;
  s.foreign[h] = {DesktopId, ProcessId};
  return h;
}

bool GetCursorPos(TPoint* Point) {
  if (!Point) return false;
  *Point = sys().cursor;
  return true;
}

bool SetCursorPos(int X, int Y) {
  sys().cursor = TPoint{X, Y};
  return true;
}

int16_t GetKeyState(int VirtualKey) {
  const uint8_t k = sys().keys[VirtualKey & 0xFF];
  return static_cast<int16_t>(((k & 0x80) ? 0x8000 : 0) | (k & 0x01));
}

// ---- timers

uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, UINT Elapse) {
  auto& s = sys();
  if (Wnd && !find(Wnd)) return 0;
  const UINT elapse = std::clamp<UINT>(Elapse, 10, 0x7FFFFFFF);
  const uint64_t now = currentClock().tickCount();
  if (!Wnd) IDEvent = s.nextTimerId++;
  for (Timer& t : s.timers)
    if (t.hwnd == Wnd && t.id == IDEvent) {
      t.elapse = elapse;
      t.due = now + elapse;
      return IDEvent ? IDEvent : 1;
    }
  s.timers.push_back(Timer{Wnd, IDEvent, elapse, now + elapse, s.timerSeq++});
  return IDEvent ? IDEvent : 1;
}

bool KillTimer(HWND Wnd, uintptr_t IDEvent) {
  auto& t = sys().timers;
  const auto before = t.size();
  t.erase(
      std::remove_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == Wnd && x.id == IDEvent; }),
      t.end());
  return t.size() != before;
}

std::optional<uint64_t> NextTimerDue() {
  std::optional<uint64_t> due;
  for (const Timer& t : sys().timers)
    if (!due || t.due < *due) due = t.due;
  return due;
}

// ---- input

void QueueMouseInput(UINT Msg, TPoint ScreenPoint, int WheelDelta) {
  Input in;
  in.msg = Msg;
  in.pt = ScreenPoint;
  in.wheel = WheelDelta;
  sys().input.push_back(in);
}

void QueueKeyInput(UINT Msg, int VirtualKey) {
  Input in;
  in.msg = Msg;
  in.vk = VirtualKey;
  sys().input.push_back(in);
}

void QueueKeyInput(UINT Msg, int VirtualKey, const std::string& Chars) {
  Input in;
  in.msg = Msg;
  in.vk = VirtualKey;
  in.typed = true;
  in.chars = Chars;
  sys().input.push_back(in);
}

void QueueCharInput(char Char) {
  Input in;
  in.msg = WM_CHAR;
  in.ch = Char;
  sys().input.push_back(in);
}

// ---- the system as a whole

void SetPresenter(Presenter* P) { sys().presenter = P; }
Presenter* GetPresenter() { return sys().presenter; }

void ResetWindowSystem() {
  auto& s = sys();
  Presenter* p = s.presenter;
  s.presenter = nullptr;
  while (!s.topLevel.empty()) {
    const HWND h = s.topLevel.front();
    if (!DestroyWindow(h)) s.topLevel.erase(s.topLevel.begin());
  }
  s.windows.clear();
  s.posted.clear();
  s.input.clear();
  s.timers.clear();
  s.quit = false;
  s.capture = s.focus = s.active = s.locked = 0;
  std::fill(std::begin(s.keys), std::end(s.keys), uint8_t{0});
  s.cursor = TPoint{};
  s.lastDownWnd = 0;
  s.typedPending = false;
  s.foreign.clear();
  s.presenter = p;
}

size_t WindowCount() { return sys().windows.size(); }

// ---- the headless presenter

bool HeadlessPresenter::waitForInput(std::optional<uint64_t> Deadline) {
  auto next = std::min_element(script_.begin(), script_.end(), [](const Action& a, const Action& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.seq < b.seq;
  });
  if (next != script_.end() && (!Deadline || next->tick <= *Deadline)) {
    currentClock().sleepUntil(next->tick);
    auto run = std::move(next->run);
    script_.erase(next);
    run();
    return true;
  }
  if (!Deadline) return false;
  currentClock().sleepUntil(*Deadline);
  return true;
}

void HeadlessPresenter::at(uint64_t Tick, std::function<void()> Action) {
  script_.push_back(HeadlessPresenter::Action{Tick, seq_++, std::move(Action)});
}

void HeadlessPresenter::after(uint64_t Milliseconds, std::function<void()> Action) {
  at(currentClock().tickCount() + Milliseconds, std::move(Action));
}

void HeadlessPresenter::mouseMove(TPoint Screen) { QueueMouseInput(WM_MOUSEMOVE, Screen); }

void HeadlessPresenter::mouseDown(TPoint Screen, int Button) {
  QueueMouseInput(Button == VK_RBUTTON   ? WM_RBUTTONDOWN
                  : Button == VK_MBUTTON ? WM_MBUTTONDOWN
                                         : WM_LBUTTONDOWN,
                  Screen);
}

void HeadlessPresenter::mouseUp(TPoint Screen, int Button) {
  QueueMouseInput(Button == VK_RBUTTON   ? WM_RBUTTONUP
                  : Button == VK_MBUTTON ? WM_MBUTTONUP
                                         : WM_LBUTTONUP,
                  Screen);
}

void HeadlessPresenter::click(TPoint Screen) {
  mouseMove(Screen);
  mouseDown(Screen);
  mouseUp(Screen);
}

void HeadlessPresenter::wheel(TPoint Screen, int Delta) { QueueMouseInput(WM_MOUSEWHEEL, Screen, Delta); }

void HeadlessPresenter::keyDown(int VirtualKey) { QueueKeyInput(WM_KEYDOWN, VirtualKey); }
void HeadlessPresenter::keyUp(int VirtualKey) { QueueKeyInput(WM_KEYUP, VirtualKey); }
void HeadlessPresenter::key(int VirtualKey) {
  keyDown(VirtualKey);
  keyUp(VirtualKey);
}

void HeadlessPresenter::typeText(const std::string& Text) {
  static const std::string shifted = ")!@#$%^&*(";
  static const std::string plainOem = ";=,-./`[\\]'";
  static const std::string shiftOem = ":+<_>?~{|}\"";
  static const int oemKeys[] = {VK_OEM_1, VK_OEM_PLUS, VK_OEM_COMMA, VK_OEM_MINUS, VK_OEM_PERIOD, VK_OEM_2,
                                VK_OEM_3, VK_OEM_4,    VK_OEM_5,     VK_OEM_6,     VK_OEM_7};
  for (char c : Text) {
    int vk = 0;
    bool shift = false;
    if (c >= 'a' && c <= 'z')
      vk = c - 'a' + 'A';
    else if (c >= 'A' && c <= 'Z')
      vk = c, shift = true;
    else if (c >= '0' && c <= '9')
      vk = c;
    else if (c == ' ')
      vk = VK_SPACE;
    else if (c == '\r' || c == '\n')
      vk = VK_RETURN;
    else if (c == '\t')
      vk = VK_TAB;
    else if (auto p = shifted.find(c); p != std::string::npos)
      vk = '0' + static_cast<int>(p), shift = true;
    else if (auto q = plainOem.find(c); q != std::string::npos)
      vk = oemKeys[q];
    else if (auto r = shiftOem.find(c); r != std::string::npos)
      vk = oemKeys[r], shift = true;
    if (!vk) {
      QueueCharInput(c); // no key types it: the character arrives as typed text
      continue;
    }
    if (shift) keyDown(VK_SHIFT);
    key(vk);
    if (shift) keyUp(VK_SHIFT);
  }
}

} // namespace kv::platform
