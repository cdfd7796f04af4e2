// The headless window system: windows with ids, parents and children, styles and their frames,
// a message queue with send and post, update regions, window scroll bars, mouse capture,
// focus, keyboard state and timers. Constants keep their Windows values; functions keep the
// Windows names and rules, so that code written against windows messages runs unchanged.
//
// There is one window system per process, driven from the thread that runs the message loop.
// Tests reset it with ResetWindowSystem() and feed input through the presenter (Presenter.h).
#pragma once

#include "Platform/Ui/DrawingContext.h"
#include "Platform/Ui/UiTypes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

using HWND = std::uint64_t; // 0: no window
using UINT = std::uint32_t;
using WPARAM = std::uint64_t;
using LPARAM = std::int64_t;
using LRESULT = std::int64_t;

// ---- messages
constexpr UINT WM_NULL = 0x0000, WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003, WM_SIZE = 0x0005,
               WM_ACTIVATE = 0x0006, WM_SETFOCUS = 0x0007, WM_KILLFOCUS = 0x0008, WM_ENABLE = 0x000A,
               WM_SETREDRAW = 0x000B, WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D, WM_GETTEXTLENGTH = 0x000E,
               WM_PAINT = 0x000F, WM_CLOSE = 0x0010, WM_QUIT = 0x0012, WM_ERASEBKGND = 0x0014,
               WM_SHOWWINDOW = 0x0018, WM_CANCELMODE = 0x001F, WM_SETCURSOR = 0x0020,
               WM_MOUSEACTIVATE = 0x0021, WM_WINDOWPOSCHANGED = 0x0047, WM_NCCALCSIZE = 0x0083,
               WM_NCHITTEST = 0x0084, WM_NCPAINT = 0x0085, WM_GETDLGCODE = 0x0087, WM_KEYDOWN = 0x0100,
               WM_KEYUP = 0x0101, WM_CHAR = 0x0102, WM_SYSKEYDOWN = 0x0104, WM_SYSKEYUP = 0x0105,
               WM_SYSCHAR = 0x0106, WM_TIMER = 0x0113, WM_HSCROLL = 0x0114, WM_VSCROLL = 0x0115,
               WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202,
               WM_LBUTTONDBLCLK = 0x0203, WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205,
               WM_RBUTTONDBLCLK = 0x0206, WM_MBUTTONDOWN = 0x0207, WM_MBUTTONUP = 0x0208,
               WM_MBUTTONDBLCLK = 0x0209, WM_MOUSEWHEEL = 0x020A, WM_CAPTURECHANGED = 0x0215,
               WM_MOUSELEAVE = 0x02A3, WM_USER = 0x0400;
// The edit control's formatting rectangle: lParam points to a TRect (client coordinates).
constexpr UINT EM_GETRECT = 0x00B2, EM_SETRECT = 0x00B3, EM_SETRECTNP = 0x00B4;
constexpr UINT WM_KEYFIRST = WM_KEYDOWN, WM_KEYLAST = 0x0109, WM_MOUSEFIRST = WM_MOUSEMOVE,
               WM_MOUSELAST = 0x020D;

// The class library's own messages (control messages and notifications reflected to controls).
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0, CM_DEACTIVATE = CM_BASE + 1, CM_DIALOGKEY = CM_BASE + 5,
               CM_DIALOGCHAR = CM_BASE + 6, CM_FOCUSCHANGED = CM_BASE + 7, CM_PARENTFONTCHANGED = CM_BASE + 8,
               CM_PARENTCOLORCHANGED = CM_BASE + 9, CM_HITTEST = CM_BASE + 10,
               CM_VISIBLECHANGED = CM_BASE + 11, CM_ENABLEDCHANGED = CM_BASE + 12,
               CM_COLORCHANGED = CM_BASE + 13, CM_FONTCHANGED = CM_BASE + 14, CM_CURSORCHANGED = CM_BASE + 15,
               CM_CTL3DCHANGED = CM_BASE + 16, CM_PARENTCTL3DCHANGED = CM_BASE + 17,
               CM_TEXTCHANGED = CM_BASE + 18, CM_MOUSEENTER = CM_BASE + 19, CM_MOUSELEAVE = CM_BASE + 20,
               CM_SHOWINGCHANGED = CM_BASE + 25, CM_ENTER = CM_BASE + 26, CM_EXIT = CM_BASE + 27,
               CM_WANTSPECIALKEY = CM_BASE + 30, CM_RELEASE = CM_BASE + 33, CM_CHILDKEY = CM_BASE + 47,
               CM_CANCELMODE = CM_BASE + 4;
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN, CN_KEYUP = CN_BASE + WM_KEYUP, CN_CHAR = CN_BASE + WM_CHAR,
               CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN, CN_SYSCHAR = CN_BASE + WM_SYSCHAR,
               CN_HSCROLL = CN_BASE + WM_HSCROLL, CN_VSCROLL = CN_BASE + WM_VSCROLL;

// ---- styles
constexpr uint32_t WS_OVERLAPPED = 0x00000000, WS_POPUP = 0x80000000, WS_CHILD = 0x40000000,
                   WS_MINIMIZE = 0x20000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000,
                   WS_CLIPSIBLINGS = 0x04000000, WS_CLIPCHILDREN = 0x02000000, WS_MAXIMIZE = 0x01000000,
                   WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_DLGFRAME = 0x00400000,
                   WS_VSCROLL = 0x00200000, WS_HSCROLL = 0x00100000, WS_SYSMENU = 0x00080000,
                   WS_THICKFRAME = 0x00040000, WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000,
                   WS_MINIMIZEBOX = 0x00020000, WS_MAXIMIZEBOX = 0x00010000, WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr uint32_t WS_EX_DLGMODALFRAME = 0x00000001, WS_EX_TOPMOST = 0x00000008,
                   WS_EX_TRANSPARENT = 0x00000020, WS_EX_TOOLWINDOW = 0x00000080,
                   WS_EX_WINDOWEDGE = 0x00000100, WS_EX_CLIENTEDGE = 0x00000200,
                   WS_EX_CONTROLPARENT = 0x00010000, WS_EX_APPWINDOW = 0x00040000;
constexpr uint32_t CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002, CS_DBLCLKS = 0x0008, CS_SAVEBITS = 0x0800;
constexpr uint32_t ES_MULTILINE = 0x0004;
constexpr int GWL_EXSTYLE = -20, GWL_STYLE = -16;

// ---- scroll bars
constexpr int SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3;
constexpr int SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1, SB_PAGEUP = 2,
              SB_PAGELEFT = 2, SB_PAGEDOWN = 3, SB_PAGERIGHT = 3, SB_THUMBPOSITION = 4, SB_THUMBTRACK = 5,
              SB_TOP = 6, SB_LEFT = 6, SB_BOTTOM = 7, SB_RIGHT = 7, SB_ENDSCROLL = 8;
constexpr UINT SIF_RANGE = 0x1, SIF_PAGE = 0x2, SIF_POS = 0x4, SIF_DISABLENOSCROLL = 0x8, SIF_TRACKPOS = 0x10,
               SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
constexpr UINT SW_SCROLLCHILDREN = 0x1, SW_INVALIDATE = 0x2, SW_ERASE = 0x4;

struct TScrollInfo {
  UINT fMask = 0;
  int nMin = 0;
  int nMax = 0;
  UINT nPage = 0;
  int nPos = 0;
  int nTrackPos = 0;
};

// ---- keys and mouse
constexpr int VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_CANCEL = 0x03, VK_MBUTTON = 0x04, VK_BACK = 0x08,
              VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
              VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
              VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26,
              VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_SELECT = 0x29, VK_PRINT = 0x2A, VK_EXECUTE = 0x2B,
              VK_SNAPSHOT = 0x2C, VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_HELP = 0x2F, VK_NUMPAD0 = 0x60,
              VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SEPARATOR = 0x6C, VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E,
              VK_DIVIDE = 0x6F, VK_F1 = 0x70, VK_F2 = 0x71, VK_F3 = 0x72, VK_F4 = 0x73, VK_F5 = 0x74,
              VK_F6 = 0x75, VK_F7 = 0x76, VK_F8 = 0x77, VK_F9 = 0x78, VK_F10 = 0x79, VK_F11 = 0x7A,
              VK_F12 = 0x7B, VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD,
              VK_OEM_PERIOD = 0xBE, VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC,
              VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE;
constexpr WPARAM MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8, MK_MBUTTON = 0x10;
constexpr LRESULT DLGC_WANTARROWS = 0x1, DLGC_WANTTAB = 0x2, DLGC_WANTALLKEYS = 0x4, DLGC_WANTCHARS = 0x80;

// ---- windows
constexpr int SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWNOACTIVATE = 4, SW_SHOW = 5, SW_SHOWNA = 8;
constexpr UINT SWP_NOSIZE = 0x1, SWP_NOMOVE = 0x2, SWP_NOZORDER = 0x4, SWP_NOREDRAW = 0x8,
               SWP_NOACTIVATE = 0x10, SWP_FRAMECHANGED = 0x20, SWP_SHOWWINDOW = 0x40, SWP_HIDEWINDOW = 0x80;
constexpr HWND HWND_TOP = 0, HWND_BOTTOM = 1;
constexpr WPARAM SIZE_RESTORED = 0;
constexpr int SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3, SM_CYCAPTION = 4,
              SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CXDLGFRAME = 7, SM_CYDLGFRAME = 8, SM_CYSMCAPTION = 51,
              SM_CXFRAME = 32, SM_CYFRAME = 33, SM_CXEDGE = 45, SM_CYEDGE = 46;
constexpr UINT RDW_INVALIDATE = 0x1, RDW_ERASE = 0x4, RDW_VALIDATE = 0x8, RDW_NOERASE = 0x20,
               RDW_ALLCHILDREN = 0x80, RDW_UPDATENOW = 0x100, RDW_ERASENOW = 0x200, RDW_FRAME = 0x400;

// ---- message records

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

inline int16_t loWord(uint64_t v) { return static_cast<int16_t>(v & 0xFFFF); }
inline int16_t hiWord(uint64_t v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }
inline LPARAM makeLParam(int lo, int hi) {
  return static_cast<LPARAM>((static_cast<uint32_t>(static_cast<uint16_t>(lo))) |
                             (static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16));
}
inline WPARAM makeWParam(int lo, int hi) {
  return static_cast<WPARAM>(static_cast<uint32_t>(makeLParam(lo, hi)));
}

struct TWMScroll {
  UINT Msg = 0;
  int16_t ScrollCode = 0;
  int16_t Pos = 0;
  HWND ScrollBar = 0;
  LRESULT Result = 0;
  TWMScroll() = default;
  explicit TWMScroll(const TMessage& m)
      : Msg(m.Msg), ScrollCode(loWord(m.WParam)), Pos(hiWord(m.WParam)),
        ScrollBar(static_cast<HWND>(m.LParam)), Result(m.Result) {}
};

struct TWMKey {
  UINT Msg = 0;
  uint16_t CharCode = 0;
  int32_t KeyData = 0;
  LRESULT Result = 0;
  TWMKey() = default;
  explicit TWMKey(const TMessage& m)
      : Msg(m.Msg), CharCode(static_cast<uint16_t>(m.WParam)), KeyData(static_cast<int32_t>(m.LParam)),
        Result(m.Result) {}
};
using TWMKeyDown = TWMKey;
using TWMChar = TWMKey;

struct TWMMouse {
  UINT Msg = 0;
  WPARAM Keys = 0;
  int16_t XPos = 0;
  int16_t YPos = 0;
  LRESULT Result = 0;
  TWMMouse() = default;
  explicit TWMMouse(const TMessage& m)
      : Msg(m.Msg), Keys(m.WParam), XPos(loWord(static_cast<uint64_t>(m.LParam))),
        YPos(hiWord(static_cast<uint64_t>(m.LParam))), Result(m.Result) {}
  TPoint Pos() const { return TPoint{XPos, YPos}; }
};

struct TWMPaint {
  UINT Msg = 0;
  DrawingContext* DC = nullptr; // set when the paint goes into a given context
  LRESULT Result = 0;
  TWMPaint() = default;
  explicit TWMPaint(const TMessage& m)
      : Msg(m.Msg), DC(reinterpret_cast<DrawingContext*>(m.WParam)), Result(m.Result) {}
};

struct TWMEraseBkgnd {
  UINT Msg = 0;
  DrawingContext* DC = nullptr;
  LRESULT Result = 0;
  TWMEraseBkgnd() = default;
  explicit TWMEraseBkgnd(const TMessage& m)
      : Msg(m.Msg), DC(reinterpret_cast<DrawingContext*>(m.WParam)), Result(m.Result) {}
};

struct TWMSize {
  UINT Msg = 0;
  WPARAM SizeType = 0;
  int16_t Width = 0;
  int16_t Height = 0;
  LRESULT Result = 0;
  TWMSize() = default;
  explicit TWMSize(const TMessage& m)
      : Msg(m.Msg), SizeType(m.WParam), Width(loWord(static_cast<uint64_t>(m.LParam))),
        Height(hiWord(static_cast<uint64_t>(m.LParam))), Result(m.Result) {}
};

struct TWMTimer {
  UINT Msg = 0;
  WPARAM TimerID = 0;
  LRESULT Result = 0;
  TWMTimer() = default;
  explicit TWMTimer(const TMessage& m) : Msg(m.Msg), TimerID(m.WParam), Result(m.Result) {}
};

struct TWMCancelMode {
  UINT Msg = 0;
  LRESULT Result = 0;
  TWMCancelMode() = default;
  explicit TWMCancelMode(const TMessage& m) : Msg(m.Msg), Result(m.Result) {}
};

// Hands a message to a handler of its record (TWMPaint, TWMScroll, ...) and takes the handler's
// result back.
template <class Record, class Target, class Owner>
void dispatchRecord(Target& Control, void (Owner::*Handler)(Record&), TMessage& Message) {
  Record m(Message);
  (Control.*Handler)(m);
  Message.Result = m.Result;
}

struct TMsg {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  uint64_t time = 0;
  TPoint pt;
};

struct TPaintStruct {
  DrawingContext* hdc = nullptr;
  bool fErase = false; // the background still needs erasing (WM_ERASEBKGND returned 0)
  TRect rcPaint;       // client coordinates
};

using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// ---- windows

// Creates a window: a child (WS_CHILD) at (x, y) in its parent's client area, or a top-level
// window at (x, y) on the screen (Parent then only owns it). Sends WM_CREATE.
HWND CreateWindowEx(uint32_t ExStyle, const std::string& ClassName, const std::string& WindowName,
                    uint32_t Style, int X, int Y, int Width, int Height, HWND Parent, WindowProc Proc,
                    uint32_t ClassStyle = 0);
// Sends WM_DESTROY to the window and then to its children, and removes them all.
bool DestroyWindow(HWND Wnd);
bool IsWindow(HWND Wnd);
HWND GetParent(HWND Wnd);
// Makes Wnd a child of NewParent, or a top-level window when NewParent is 0; returns the old parent.
HWND SetParent(HWND Wnd, HWND NewParent);
// Children front to back.
std::vector<HWND> GetChildWindows(HWND Wnd);
// Top-level windows front to back.
std::vector<HWND> GetTopLevelWindows();
std::string GetClassName(HWND Wnd);
int64_t GetWindowLong(HWND Wnd, int Index);
// Changes the style bits; the frame follows at the next SetWindowPos with SWP_FRAMECHANGED.
int64_t SetWindowLong(HWND Wnd, int Index, int64_t Value);
uint32_t GetClassStyle(HWND Wnd);
void SetWindowProc(HWND Wnd, WindowProc Proc);

bool SetWindowPos(HWND Wnd, HWND InsertAfter, int X, int Y, int Width, int Height, UINT Flags);
bool MoveWindow(HWND Wnd, int X, int Y, int Width, int Height, bool Repaint);
bool BringWindowToTop(HWND Wnd);
// Screen coordinates.
bool GetWindowRect(HWND Wnd, TRect* Rect);
// (0, 0, client width, client height).
bool GetClientRect(HWND Wnd, TRect* Rect);
bool ClientToScreen(HWND Wnd, TPoint* Point);
bool ScreenToClient(HWND Wnd, TPoint* Point);
// The client area's position inside the window rectangle (the frame's left and top widths).
TPoint GetClientOrigin(HWND Wnd);
bool ShowWindow(HWND Wnd, int CmdShow);
// The window and all its ancestors have WS_VISIBLE.
bool IsWindowVisible(HWND Wnd);
bool EnableWindow(HWND Wnd, bool Enable);
bool IsWindowEnabled(HWND Wnd);
bool SetWindowText(HWND Wnd, const std::string& Text);
std::string GetWindowText(HWND Wnd);
// The deepest visible and enabled window under a screen point.
HWND WindowFromPoint(TPoint Point);
int GetSystemMetrics(int Index);
// Grows a client rectangle to the window rectangle that the styles give it.
bool AdjustWindowRectEx(TRect* Rect, uint32_t Style, bool Menu, uint32_t ExStyle);

// ---- messages

LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
void PostQuitMessage(int ExitCode);
// The next message in Windows order: posted messages, the quit request, input, paints, timers.
// Removes it unless Remove is false. False when there is none.
bool PeekMessage(TMsg& Msg, bool Remove = true);
// Waits (through the presenter and the clock) until a message is there; false for WM_QUIT, and
// false with Msg.message == WM_NULL when nothing can arrive any more (no timers, no input source).
bool GetMessage(TMsg& Msg);
// Waits for input or the next timer; false when nothing can arrive any more.
bool WaitMessage();
// A key down message yields a character message (WM_CHAR) that comes next.
bool TranslateMessage(const TMsg& Msg);
LRESULT DispatchMessage(const TMsg& Msg);
LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
size_t PendingMessageCount();

// ---- painting

bool InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase);
bool ValidateRect(HWND Wnd, const TRect* Rect);
// The bounds of the update region; with Erase, a pending erase is done now (WM_ERASEBKGND).
bool GetUpdateRect(HWND Wnd, TRect* Rect, bool Erase);
// The update region as disjoint rectangles (client coordinates).
std::vector<TRect> GetUpdateRegion(HWND Wnd);
bool GetUpdateEraseFlag(HWND Wnd);
// Sends WM_ERASEBKGND when the region is marked for erasing, validates the region and returns a
// context clipped to it (valid until EndPaint).
DrawingContext* BeginPaint(HWND Wnd, TPaintStruct& Paint);
bool EndPaint(HWND Wnd, const TPaintStruct& Paint);
// Sends WM_PAINT at once when the window has an update region.
bool UpdateWindow(HWND Wnd);
bool RedrawWindow(HWND Wnd, const TRect* Rect, UINT Flags);
// A context on the client area (valid until ReleaseDC).
DrawingContext* GetDC(HWND Wnd);
int ReleaseDC(HWND Wnd, DrawingContext* DC);
// A context on the whole window, frame included (window coordinates; valid until ReleaseDC).
DrawingContext* GetWindowDC(HWND Wnd);
// Freezes the drawing of one window and its children (0 releases); only one window at a time.
bool LockWindowUpdate(HWND Wnd);
HWND GetLockedWindow();
// The window's pixels (created at the first drawing).
WindowSurface* GetWindowSurface(HWND Wnd);
// How new windows get their pixels (the recording surface unless set).
void SetSurfaceFactory(SurfaceFactory Factory);

// ---- scroll bars of a window

// Sets the parts named by fMask, then clamps: page to 0 .. max - min + 1, position to
// min .. max - max(page - 1, 0). The bar shows while the range holds more than a page (always
// with SIF_DISABLENOSCROLL) and hides otherwise. Returns the position.
int SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool Redraw);
bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info);
int GetScrollPos(HWND Wnd, int Bar);
int SetScrollPos(HWND Wnd, int Bar, int Pos, bool Redraw);
bool SetScrollRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw);
bool ShowScrollBar(HWND Wnd, int Bar, bool Show);
// The thumb being dragged: the track position that GetScrollInfo(SIF_TRACKPOS) reports.
void SetScrollTrackPos(HWND Wnd, int Bar, int TrackPos);

// Moves the client pixels by (dx, dy) within ScrollRect (default: the client area) and ClipRect,
// invalidates exactly the uncovered part (with erase) and offsets the update region. Without a
// ScrollRect the child windows move along.
bool ScrollWindow(HWND Wnd, int DX, int DY, const TRect* ScrollRect, const TRect* ClipRect);
// The same; children move only with SW_SCROLLCHILDREN, invalidation only with SW_INVALIDATE.
int ScrollWindowEx(HWND Wnd, int DX, int DY, const TRect* ScrollRect, const TRect* ClipRect,
                   TRect* UpdateRect, UINT Flags);

// ---- mouse, focus, keyboard

HWND SetCapture(HWND Wnd);
bool ReleaseCapture();
HWND GetCapture();
HWND SetFocus(HWND Wnd);
HWND GetFocus();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND Wnd);
// Brings the top-level window of Wnd to the front of the desktop and makes it active. Wnd may be
// a window of another program (ForeignWindowHandle); false when nothing could be done.
bool SetForegroundWindow(HWND Wnd);
// Windows names every window of the desktop with a handle that every process can use; ours name
// this process's windows only. A top-level window of another program gets a handle here, made
// from the desktop's id of it (Presenter::desktopWindowId in that program) and the process that
// owns it: the same handle for the same window, never one of our own windows' handles. Only
// SetForegroundWindow acts on such handles; the other calls see no window in them. 0 for id 0.
HWND ForeignWindowHandle(uint64_t DesktopId, uint32_t ProcessId);
bool GetCursorPos(TPoint* Point);
bool SetCursorPos(int X, int Y);
// High bit set while the key is down, low bit toggled at each press.
int16_t GetKeyState(int VirtualKey);

// ---- timers

// Timers fire at SetTimer's tick + k x Elapse; a timer that fell behind fires once.
uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, UINT Elapse);
bool KillTimer(HWND Wnd, uintptr_t IDEvent);
// The tick of the next due timer, if any.
std::optional<uint64_t> NextTimerDue();

// ---- input from the presenter (resolved to a window when the message is taken from the queue)

void QueueMouseInput(UINT Msg, TPoint ScreenPoint, int WheelDelta = 0);
void QueueKeyInput(UINT Msg, int VirtualKey);
// A key from a real keyboard together with the characters its layout typed (UTF-8, may be
// empty): TranslateMessage turns its key down into those characters instead of the ones a US
// keyboard would type.
void QueueKeyInput(UINT Msg, int VirtualKey, const std::string& Chars);
void QueueCharInput(char Char);

// ---- the system as a whole

class Presenter;
void SetPresenter(Presenter* P); // not owned; nullptr: no input source
Presenter* GetPresenter();
// Destroys every window and forgets timers, queue, capture, focus and key state.
void ResetWindowSystem();
size_t WindowCount();

} // namespace kv::platform
