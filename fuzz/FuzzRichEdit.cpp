// Text files read into the printable rich edit: loaded through its lines, given character formats,
// edited so that the formats follow the text, painted in its window and laid out page by page onto
// a printer-like context until the text is used up. Any bytes (broken UTF-8, control characters,
// no line ends at all) must lay out without a crash, a hang or a read outside the text.
#include "FuzzSupport.h"

#include "Platform/Graphics/RecordingDC.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/Presenter.h"
#include "Platform/Ui/RasterSurface.h"
#include "PrnRichEdit.h"

#include <memory>

namespace {

using namespace kv::platform;

TForm* form() {
  static TForm* f = [] {
    auto* f = TCustomForm::CreateNew<TForm>(&Application());
    f->SetBorderStyle(TBorderStyle::bsNone);
    f->SetBounds(0, 0, 320, 240);
    Application().SetMainForm(f);
    f->Show();
    Application().ProcessMessages();
    return f;
  }();
  return f;
}

// Every page of the text onto a 300 dpi context, as a print loop asks for them.
void printPages(TCustomRichEdit& edit) {
  DeviceCaps caps;
  caps.dpiX = caps.dpiY = 300;
  caps.widthPx = 2480;
  caps.heightPx = 3508;
  RecordingDC dc(caps);
  dc.setLogging(false);
  FORMATRANGE range;
  range.hdc = range.hdcTarget = dc.Handle();
  range.rc = TRect{720, 720, 4 * 1440, 4 * 1440};
  range.rcPage = TRect{0, 0, 8 * 1440, 11 * 1440};
  const int length = static_cast<int>(edit.Text().size());
  range.chrg = CHARRANGE{0, -1};
  for (int page = 0; page < 1000 && range.chrg.cpMin < length; ++page) {
    const int next = static_cast<int>(edit.Perform(EM_FORMATRANGE, 1, reinterpret_cast<LPARAM>(&range)));
    if (next <= range.chrg.cpMin) break; // a line higher than the page: the print loop gives up
    range.chrg.cpMin = next;
  }
  edit.Perform(EM_FORMATRANGE, 0, 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetSurfaceFactory(&RasterSurface::make);
  Application().SetPresenter(std::make_unique<HeadlessPresenter>());
  Application().Initialize();
  (void)form();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = (kvfuzz::privateFolder() / "text.txt").string();
  kvfuzz::writeFile(file, kvfuzz::asText(data, size));

  std::unique_ptr<PrnRichEdit::TPrnRichEdit> edit(new PrnRichEdit::TPrnRichEdit(form()));
  edit->SetParent(form());
  edit->SetBounds(4, 4, 300, 200);
  edit->Lines().LoadFromFile(file);

  // Formats over parts of the text, then edits that the formats have to follow.
  const int n = static_cast<int>(edit->Text().size());
  TCharFormat big;
  big.Name = "DejaVu Serif";
  big.Size = 28;
  big.Style = TFontStyles{fsBold};
  edit->SetCharFormat(n / 4, n / 4, big);
  edit->SetSelStart(n / 2);
  edit->SetSelLength(n / 8);
  edit->SelAttributes().SetStyle(TFontStyles{fsItalic, fsUnderline});
  edit->SelAttributes().SetColor(clRed);
  edit->SetSelStart(n / 3);
  edit->SetSelLength(0);
  edit->SelAttributes().SetSize(6);
  edit->SetSelText("typed");
  edit->Lines().Insert(0, "a first line");
  if (edit->Lines().Count() > 2) edit->Lines().Delete(edit->Lines().Count() - 1);

  edit->Repaint();
  Application().ProcessMessages();
  printPages(*edit);
  DeviceCaps screen;
  RecordingDC small(screen);
  small.setLogging(false);
  edit->PrintToDC(small.Handle(), TRect{0, 0, 120, 90});
  return 0;
}
