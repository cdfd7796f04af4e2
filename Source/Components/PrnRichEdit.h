// A rich text edit that renders its formatted text into any device context and rectangle (a
// page of the print preview, a printer's canvas) instead of printing a whole document itself.
#pragma once

#include "Platform/Ui/RichEdit.h"

namespace PrnRichEdit {

using kv::platform::HDC;
using kv::platform::TComponent;
using kv::platform::TRect;

class TPrnRichEdit : public kv::platform::TRichEdit {
  KV_CLASS_INFO(TPrnRichEdit)
public:
  explicit TPrnRichEdit(TComponent* AOwner) : TRichEdit(AOwner) {}

  // Renders the text from its first character into R (in the context's pixels), as far as it
  // fits; there is no second page. On a page of the print preview, DC is the device context of
  // the canvas its OnPrintPage gives, PrintCanvas->Handle()->deviceHandle(), and R comes from
  // the preview's xToPix and yToPix; any other canvas on a device gives its DC the same way.
  void PrintToDC(HDC DC, const TRect& R);

  // Scaling is the windowed control's alone: the text keeps the point sizes it was given.
  void ChangeScale(int M, int D) override;
};

void Register();

} // namespace PrnRichEdit
