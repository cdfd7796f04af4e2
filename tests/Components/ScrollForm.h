// A stored form with three scrolling windows, for the tests that load it headless and on a
// desktop.
#pragma once

namespace kvtest {

// Three scrolling windows at units, ranges and positions of their own, and controls that follow
// their form's colour (and one that does not). Each window's bars hold 150 pixels less the frame (3 on each
// side with bsSingle) and the other bar (16): Chart's client is 128 square, so its pages are 128 div 8 = 16
// and 128 div 16 = 8 units and its positions go up to 40 - 15 = 25 and 30 - 7 = 23. Lines has no frame: 134
// pixels, pages 134 div 10 = 13 and 134 div 12 = 11, positions up to 37 and
// 49. Sheet (200 x 120 less 4 of client edge and 16 of bar: 180 x 100) moves by pixels up to
// 600 - 180 = 420 and 400 - 100 = 300.
inline constexpr const char* kScrollForm = R"(object ScrollForm: TForm
  Left = 0
  Top = 0
  ClientHeight = 300
  ClientWidth = 520
  Visible = True
  object Chart: TKVWindow
    Left = 8
    Top = 8
    Width = 150
    Height = 150
    BorderStyle = bsSingle
    ScrollStyle = ssBoth
    AutoScroll = True
    ThumbTrack = True
    ScrollerSetWindowOrg = True
    ScrollerXUnit = 8
    ScrollerYUnit = 16
    ScrollerXRange = 40
    ScrollerYRange = 30
    ScrollerXPos = 25
    ScrollerYPos = 7
    Color = clBtnFace
  end
  object Lines: TWindow
    Left = 166
    Top = 8
    Width = 150
    Height = 150
    BorderStyle = bsNone
    ScrollStyle = ssNone
    AutoScroll = False
    ThumbTrack = True
    ScrollerSetWindowOrg = False
    ScrollerXUnit = 10
    ScrollerYUnit = 12
    ScrollerXRange = 50
    ScrollerYRange = 60
    ScrollerXPos = 20
    ScrollerYPos = 49
    Color = clBtnFace
    Scroller.XUnit = 1
    Scroller.YUnit = 1
    Scroller.XRange = 0
    Scroller.YRange = 0
    Scroller.XPos = 0
    Scroller.YPos = 0
    Scroller.XPage = 0
    Scroller.YPage = 0
    Scroller.ThumbTrack = False
    ScrollControls = False
  end
  object Sheet: TKVGeneralPurposeWindow
    Left = 324
    Top = 8
    Width = 200
    Height = 120
    HorzScrollBar.Range = 600
    HorzScrollBar.Position = 150
    VertScrollBar.Range = 400
    VertScrollBar.Position = 300
    EraseBackground = True
    UseLockWinUpdate = False
    Color = clBtnFace
    DoubleBuffered = False
    TabOrder = 2
  end
  object Anim: TAnimBtn
    Left = 8
    Top = 170
    Width = 72
    Height = 24
    TextOnly = True
    DisabledPic = 0
  end
  object Entry: TEdit
    Left = 90
    Top = 170
    Width = 121
    Height = 21
    ParentColor = True
    TabOrder = 4
  end
  object Still: TAnimBtn
    Left = 8
    Top = 200
    Width = 72
    Height = 24
    Color = clAqua
    ParentColor = False
    TextOnly = False
    DisabledPic = 0
  end
end
)";

} // namespace kvtest
