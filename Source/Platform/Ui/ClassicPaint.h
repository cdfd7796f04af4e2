// The classic Windows look shared by the standard controls: bevels, push-button faces, the
// sunken client edge, focus rectangles, captions with accelerator marks (and their embossed
// disabled form), scroll bars, and the text measuring that controls need before they have a
// window. Everything draws through a TCanvas, so the recording context sees it as well.
#pragma once

#include "Platform/Ui/Graphics.h"
#include "Platform/Ui/WinApi.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

class TWinControl;

namespace classic {

// Text of a caption without its accelerator marks ("&&" stays one '&'), and the byte index
// of the marked character in the result (-1 without one).
std::string StripAccel(const std::string& Caption, int* MarkIndex = nullptr);
// The character after a single '&', upper-cased, or 0.
char AccelChar(const std::string& Caption);

// Size of a text in a font, without a window (a measuring context of the drawing layer).
TSize MeasureText(const TFont& Font, const std::string& Text);
// One text line's height in the font.
int LineHeight(const TFont& Font);
// Breaks a text into lines at line breaks and, when Width > 0, between words so that each
// line fits (a word longer than the width stands alone on its line).
std::vector<std::string> WrapText(const TFont& Font, const std::string& Text, int Width);

// Flags of DrawCaption.
inline constexpr unsigned dcLeft = 0, dcCenter = 1, dcRight = 2, dcVCenter = 4, dcBottom = 8,
                          dcWordBreak = 0x10, dcNoPrefix = 0x800;
// Draws a caption in the canvas's font into R (transparently); with Enabled false embossed in
// clBtnHighlight and clBtnShadow. Returns the rectangle the text took.
TRect DrawCaption(TCanvas& Canvas, const TRect& R, const std::string& Caption, unsigned Flags, bool Enabled);

// One ring: TopLeft on the top row and left column, BottomRight on the others.
void Bevel(TCanvas& Canvas, TRect& R, TColor TopLeft, TColor BottomRight);
// A raised two-ring edge (highlight/dark shadow outside, light/shadow inside), as a button.
void RaisedEdge(TCanvas& Canvas, TRect& R);
// The sunken two-ring edge of edits and lists (shadow/highlight outside, dark shadow/light inside).
void SunkenEdge(TCanvas& Canvas, TRect& R);
// The face of a push button: default (a black ring around), pressed (a flat shadow ring).
// Returns the content rectangle.
TRect ButtonFace(TCanvas& Canvas, TRect R, bool Pressed, bool IsDefault);
// The face of a speed or tool button: sunk when down or pressed; flat ones show a ring only while
// sunk or hot. Returns the content rectangle.
TRect ToolButtonFace(TCanvas& Canvas, TRect R, bool Sunk, bool Flat, bool Hot);
// A dotted rectangle: every other pixel of its outline, starting at the top left corner.
void FocusRect(TCanvas& Canvas, const TRect& R);

// ---- scroll bars (window bars and the scroll bar control)
struct ScrollBarParts {
  TRect lineUp, lineDown, track, thumb; // thumb empty when the bar cannot scroll
};
ScrollBarParts ScrollBarLayout(const TRect& R, bool Horizontal, int Min, int Max, int Page, int Pos);
// The SB_ code of a point on the bar (SB_THUMBTRACK on the thumb), -1 outside it.
int ScrollBarHit(const ScrollBarParts& Parts, TPoint P, bool Horizontal);
// The position that a thumb dragged to P stands for.
int ScrollBarTrackPos(const ScrollBarParts& Parts, TPoint P, bool Horizontal, int Min, int Max, int Page,
                      int GrabOffset);
void PaintScrollBar(TCanvas& Canvas, const TRect& R, bool Horizontal, int Min, int Max, int Page, int Pos,
                    bool Enabled);
// The button of a drop-down field: a raised face with the arrow of a scroll bar's down button.
void DropDownButton(TCanvas& Canvas, const TRect& R, bool Enabled);

// A bar as the scroll codes see it: where it stands, how far an arrow and a press on the track
// move it, and its first and last positions (a bar with a page ends a page short of its range).
struct ScrollSteps {
  int pos, line, page, min, max;
};
// The position that a scroll code asks of a bar: a line or a page either way, the thumb's place
// Thumb (SB_THUMBTRACK, SB_THUMBPOSITION), the first or the last position (SB_TOP, SB_BOTTOM);
// always within min .. max. Nothing for SB_ENDSCROLL and codes that no bar sends.
std::optional<int> ScrollTarget(int Code, int Thumb, const ScrollSteps& Steps);
// The same for a WM_HSCROLL or WM_VSCROLL message (code and thumb in its WParam), and for
// WM_MOUSEWHEEL, which turns three lines a notch.
std::optional<int> ScrollTarget(const TMessage& Message, const ScrollSteps& Steps);

// Paints a window that no control stands for (a control's pop-up) through a canvas on its
// update region.
void PaintPopup(HWND Wnd, const std::function<void(TCanvas&)>& Paint);

// ---- the frame of a window (client edge, border and window scroll bars)

// Draws the frame of a control's window on its whole window surface.
void PaintNonClient(HWND Wnd);
// The window scroll bar under a point of the client coordinates (outside the client area):
// SB_HORZ or SB_VERT and its rectangle in client coordinates; -1 when there is none there.
int NonClientScrollBarAt(HWND Wnd, TPoint ClientPoint, TRect* BarRect);

// Sets a window scroll bar to the range 0..Max, Page of it showing from Pos on.
void showScrollRange(HWND Wnd, int Bar, int Max, int Page, int Pos, UINT Mask = SIF_ALL);

// Follows the mouse on a window scroll bar: a press on an arrow or the track scrolls at once and
// again while it is held with the pointer on that part (after a first delay, then steadily, as
// desktops do), a press on the thumb tracks it until the button goes up.
class WindowScrollTracker {
public:
  // The repetition of a held arrow or page area, on a timer of the window.
  static constexpr uintptr_t kRepeatTimer = 0xEC5C;
  static constexpr UINT kFirstDelay = 250, kRepeatDelay = 50;

  // True when the press was on a window scroll bar (and has been handled).
  bool mouseDown(HWND Wnd, TPoint ClientPoint);
  bool mouseMove(HWND Wnd, TPoint ClientPoint);
  bool mouseUp(HWND Wnd, TPoint ClientPoint);
  bool tracking() const { return bar_ >= 0; }
  // A mouse message of a control's window (whose client rectangle is Client): a left press
  // outside the client area, every move and the release while a bar is held, and the ticks of
  // the repetition go to the tracker. True when the message was taken and the control handles
  // it no further.
  bool mouseMessage(HWND Wnd, const TRect& Client, const TMessage& Message);

private:
  // The thumb position of the tracked bar for the mouse at ClientPoint.
  int trackPos(HWND Wnd, TPoint ClientPoint) const;
  // The part of the held bar under ClientPoint (a scroll code, or -1).
  int partAt(HWND Wnd, TPoint ClientPoint) const;
  void repeatTick(HWND Wnd);
  int bar_ = -1;
  bool thumb_ = false;
  int grab_ = 0;
  int code_ = -1; // the held arrow or page area
  TPoint point_;  // where the pointer is while it is held
  TRect rect_;
};

} // namespace classic
} // namespace kv::platform
