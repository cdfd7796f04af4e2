#include "PrnRichEdit.h"

namespace PrnRichEdit {

using namespace kv::platform;

const TClassInfo& TPrnRichEdit::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TPrnRichEdit, TRichEdit>("TPrnRichEdit").Build();
  return info;
}

void TPrnRichEdit::PrintToDC(HDC DC, const TRect& R) {
  FORMATRANGE range;
  SetPageRect(R);
  range.hdc = DC;
  range.hdcTarget = DC;
  const int lpx = GetDeviceCaps(DC, LOGPIXELSX), lpy = GetDeviceCaps(DC, LOGPIXELSY);
  // A handle that names no live context has no resolution to convert with; nothing to draw on.
  if (lpx <= 0 || lpy <= 0) return;
  if (R.Right > R.Left && R.Bottom > R.Top)
    range.rc = TRect{R.Left * 1440 / lpx, R.Top * 1440 / lpy, R.Right * 1440 / lpx, R.Bottom * 1440 / lpy};
  range.rcPage = range.rc;
  range.chrg = CHARRANGE{0, -1};
  const int oldMapMode = SetMapMode(DC, MM_TEXT);
  Perform(EM_FORMATRANGE, 0, 0);
  struct Finish {
    TPrnRichEdit& self;
    HDC dc;
    int mapMode;
    ~Finish() {
      self.Perform(EM_FORMATRANGE, 0, 0);
      SetMapMode(dc, mapMode);
    }
  } finish{*this, DC, oldMapMode};
  Perform(EM_FORMATRANGE, 1, reinterpret_cast<LPARAM>(&range));
}

void TPrnRichEdit::ChangeScale(int M, int D) { ScaleControl(M, D); }

void Register() { RegisterComponents("Eigene", {&TPrnRichEdit::StaticClassInfo()}); }

namespace {
// Form files find the edit (and its ancestors) by name without the designer.
const bool classesRegistered =
    (RegisterRichEdit(), RegisterClasses({&TPrnRichEdit::StaticClassInfo()}), true);
} // namespace

} // namespace PrnRichEdit
