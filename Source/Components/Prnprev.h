// TPrintPreview: shows one page of the current printer's paper at a chosen zoom and lets the
// host draw that page in millimetres. The host draws in its OnPrintPage handler through the
// metric drawing operations; the preview calls that handler when it paints the page on screen
// and once per page when it prints, so screen and paper come from the same code.
#pragma once

#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/RasterSurface.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace Prnprev {

using kv::platform::TCanvas;
using kv::platform::TComponent;
using kv::platform::TMouseButton;
using kv::platform::TNotifyEvent;
using kv::platform::TObject;
using kv::platform::TShiftState;

enum class TStyle : uint8_t { ls_Solid, ls_Dash, ls_Dot, ls_DashDot, ls_User };
inline constexpr auto ls_Solid = TStyle::ls_Solid;
inline constexpr auto ls_Dash = TStyle::ls_Dash;
inline constexpr auto ls_Dot = TStyle::ls_Dot;
inline constexpr auto ls_DashDot = TStyle::ls_DashDot;
inline constexpr auto ls_User = TStyle::ls_User;

// A point in millimetres.
struct TRealPoint {
  double X = 0;
  double Y = 0;
};
using TRealPointArray = std::array<TRealPoint, 321>;

// Per style: element 0 the number of pattern elements, then up to 20 lengths in millimetres,
// alternating pen down and pen up, starting down.
using TLineStyleRow = std::array<double, 21>;
using TLineStyles = std::array<TLineStyleRow, 5>;

using kv::platform::TScrollBar;
using kv::platform::TScrollCode;
using kv::platform::TScrollStyle;

using TPrintPageEvent = kv::platform::TEvent<TObject*, TCanvas*, int, bool>;
using TScaleChangeEvent = kv::platform::TEvent<TObject*, double>;

class TPrintPreview;

// The surface the page is painted on.
class TPaintPanel : public kv::platform::TPanel {
  KV_CLASS_INFO(TPaintPanel)
public:
  TPaintPanel(TComponent* AOwner, TComponent* APreview);

protected:
  void Paint() override;
  void WMPaint(kv::platform::TWMPaint& Message) override;

private:
  TComponent* preview_;
};

class TPrintPreview : public kv::platform::TCustomControl {
  KV_CLASS_INFO(TPrintPreview)
public:
  explicit TPrintPreview(TComponent* AOwner);
  ~TPrintPreview() override;

  TPaintPanel* Panel = nullptr;
  TNotifyEvent BeforePaint;
  TNotifyEvent OnPaint;
  TNotifyEvent OnCalcPageCount;
  TPrintPageEvent OnPrintPage;
  TScaleChangeEvent OnScaleChange;
  int PageCount = 1;
  TScrollBar* VBar = nullptr;
  TScrollBar* HBar = nullptr;
  std::string Title = "Dokument";
  TLineStyles LineStyles{};
  // Set by the host in OnPrintPage to stop PrintPages after the current page.
  bool PrintAborted = false;

  int ActualPage() const { return actualPage_; }
  void SetActualPage(int Value);
  bool FitOnWindow() const { return fitOnWindow_; }
  void SetFitOnWindow(bool Value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle Value);
  double GetScale() const { return scale_; }
  // Refuses a zoom that is not a positive finite number (EInvalidOperation).
  void SetScale(double Value);
  double CustXScale() const { return custXScale_; }
  double CustYScale() const { return custYScale_; }
  void SetCustXScale(double Value);
  void SetCustYScale(double Value);
  int LeftBorder() const { return leftBorder_; }
  int TopBorder() const { return topBorder_; }
  int RightBorder() const { return rightBorder_; }
  int BottomBorder() const { return bottomBorder_; }
  void SetLeftBorder(int Value) { leftBorder_ = Value; }
  void SetTopBorder(int Value) { topBorder_ = Value; }
  void SetRightBorder(int Value) { rightBorder_ = Value; }
  void SetBottomBorder(int Value) { bottomBorder_ = Value; }
  bool PrintJobRunning() const { return printJobRunning_; }

  // Layout state (read-only for hosts and tests).
  const kv::platform::TRect& PageRect() const { return pageRect_; }
  int Margin() const { return margin_; }
  int Shadow() const { return shadow_; }
  double UserScale() const { return userScale_; }
  double PxPerMmX() const { return pxPerMmX_; }
  double PxPerMmY() const { return pxPerMmY_; }
  bool Dragging() const { return dragging_; }
  TCanvas* DrawCanvas() const { return drawCanvas_; }

  // Millimetres to pixels of the current scale and back.
  int xToPix(double mm) const;
  int yToPix(double mm) const;
  double xToFPix(double mm) const;
  double yToFPix(double mm) const;
  double xToMet(int px) const;
  double yToMet(int px) const;
  // The printable size less the borders, in millimetres.
  int GetXSize() const;
  int GetYSize() const;

  void MetLine(double X1, double Y1, double X2, double Y2);
  void MetText(double X, double Y, const std::string& Text);
  double MetTextHeight(const std::string& Text);
  double MetTextWidth(const std::string& Text);
  void MetRect(double X1, double Y1, double X2, double Y2);
  void MetEllipse(double X1, double Y1, double X2, double Y2);
  void MetClip(double X1, double Y1, double X2, double Y2);
  void CancelClip();
  void MetPolyLine(const TRealPointArray& Points, int Count, TStyle Style);

  void PixLine(int X1, int Y1, int X2, int Y2);
  void PixText(int X, int Y, const std::string& Text);
  void PixRect(int X1, int Y1, int X2, int Y2);

  void PrinterChanged(bool SkipPageCount);
  void CalcPageCount();
  void InitCanvas(TCanvas* ACanvas);
  void Paint(TCanvas* ACanvas);
  // Prints every page of the document as PrintPages counts it when the job starts. The count
  // from before the job is not what is printed: a stored form binds OnCalcPageCount after the
  // preview counted its pages at construction.
  void Print();
  void PrintPages(int FromPage, int ToPage);
  void GetPrinterDC();
  void ReleasePrinterDC();
  void Scroll(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos);

  virtual void PreviewMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void PreviewMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  virtual void PreviewMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

  void Dispatch(kv::platform::TMessage& Message) override;

private:
  void InitLineStyles();
  void repaint();
  void layoutAxis(bool horizontal);
  void setScrollMax(TScrollBar& Bar, int Value);
  int mapX(double mm) const;
  int mapY(double mm) const;
  // The canvas the drawing operations draw on; raises before the first paint or print.
  TCanvas& drawOn() const;
  // The canvas's context and the window system's clip and device origin it came with.
  kv::platform::DrawingContext* drawContext() const;
  void takeCanvas(TCanvas* ACanvas);
  void setPixelClip(const kv::platform::TRect& DeviceRect);
  void usePrinterCanvas();
  void drawDashed(const TRealPoint& A, const TRealPoint& B, const TLineStyleRow& Row, int N, double& Acc,
                  bool& PenDown, int& K);
  void eraseBackground();
  void sizeChanged();

  int actualPage_ = 1;
  bool fitOnWindow_ = true;
  TScrollStyle scrollBars_ = TScrollStyle::ssBoth;
  int pageWidthPx_ = 0, pageHeightPx_ = 0;
  int horzSizeMm_ = 0, vertSizeMm_ = 0;
  kv::platform::TRect pageRect_;
  int margin_ = 0;
  int shadow_ = 0;
  double userScale_ = 0.1;
  bool dragging_ = false;
  int lastX_ = 0, lastY_ = 0;
  int leftBorder_ = 0, topBorder_ = 0, rightBorder_ = 0, bottomBorder_ = 0;
  double custYScale_ = 1.0, custXScale_ = 1.0;
  double savedScale_ = 0;
  bool printerDCHeld_ = false;
  bool printJobRunning_ = false;
  double pxPerMmX_ = 0, pxPerMmY_ = 0;
  TCanvas* drawCanvas_ = nullptr;
  double scale_ = 1.0;

  std::optional<kv::platform::TRect> baseClip_;
  kv::platform::TPoint baseOrigin_;
  TCanvas printCanvas_;
  std::unique_ptr<kv::platform::DeviceDrawingContext> printContext_;
};

void Register();

} // namespace Prnprev
