// A device context that writes every call that draws or changes state into a log (queries
// pass through unlogged), then passes it on to another context
// (a raster, a printer page) or, without one, to a measuring context of the given device.
// Log lines read like the calls: "MoveToEx(10,20)", "LineTo(30,20)",
// "SelectObject(pen:solid,1,$000000FF)", "TextOut(5,5,\"Title\")". Objects are logged by what
// they are, not by handle, so logs compare across runs.
#pragma once

#include "Platform/Graphics/DeviceContext.h"

#include <memory>
#include <string>
#include <vector>

namespace kv::platform {

class RecordingDC : public DeviceContext {
public:
  // Records and draws onto `target`, which must outlive the recorder.
  explicit RecordingDC(DeviceContext& target);
  // Records only; answers queries like a device with these capabilities.
  explicit RecordingDC(DeviceCaps caps = {});

  const std::vector<std::string>& log() const { return log_; }
  // Log lines that start with `prefix` ("LineTo", "TextOut(").
  std::vector<std::string> calls(const std::string& prefix) const;
  void clearLog() { log_.clear(); }
  // Off: calls pass through without being written down.
  void setLogging(bool on) { logging_ = on; }
  // Sends the following calls to another context (which must outlive its use here).
  void retarget(DeviceContext& target) { target_ = &target; }
  // A line of the caller's own, such as page boundaries of a print job.
  void note(const std::string& line) { add(line); }

  HGDIOBJ SelectObject(HGDIOBJ object) override;
  HGDIOBJ GetCurrentObject(int objectType) const override;
  LOGPEN currentPen() const override { return target_->currentPen(); }
  LOGBRUSH currentBrush() const override { return target_->currentBrush(); }
  LOGFONTA currentFont() const override { return target_->currentFont(); }
  int SetBkMode(int mode) override;
  int GetBkMode() const override { return target_->GetBkMode(); }
  TColor SetBkColor(TColor color) override;
  TColor GetBkColor() const override { return target_->GetBkColor(); }
  TColor SetTextColor(TColor color) override;
  TColor GetTextColor() const override { return target_->GetTextColor(); }
  unsigned SetTextAlign(unsigned align) override;
  unsigned GetTextAlign() const override;
  int SetMapMode(int mode) override;
  int GetMapMode() const override { return target_->GetMapMode(); }
  bool SetWindowOrgEx(int x, int y, TPoint* old) override;
  bool GetWindowOrgEx(TPoint* origin) const override;
  int SelectClipRgn(HRGN region) override;
  int ExcludeClipRect(int left, int top, int right, int bottom) override;
  int IntersectClipRect(int left, int top, int right, int bottom) override;
  int GetClipBox(TRect* box) const override { return target_->GetClipBox(box); }
  bool MoveToEx(int x, int y, TPoint* old) override;
  bool LineTo(int x, int y) override;
  bool Polyline(const TPoint* points, int count) override;
  bool Rectangle(int left, int top, int right, int bottom) override;
  bool Ellipse(int left, int top, int right, int bottom) override;
  bool FillRect(const TRect& rect, HBRUSH brush) override;
  TColor SetPixel(int x, int y, TColor color) override;
  TColor GetPixel(int x, int y) const override { return target_->GetPixel(x, y); }
  bool StretchBlt(int x, int y, int width, int height, const Raster& source, int srcX, int srcY, int srcWidth,
                  int srcHeight) override;
  bool TextOut(int x, int y, std::string_view text) override;
  bool GetTextExtentPoint(std::string_view text, TSize* size) const override;
  bool GetTextMetrics(TEXTMETRIC* metrics) const override { return target_->GetTextMetrics(metrics); }
  int DrawText(std::string_view text, TRect* rect, unsigned flags) override;
  int GetDeviceCaps(int index) const override { return target_->GetDeviceCaps(index); }
  Raster* raster() override { return target_->raster(); }

  // How an object is written in the log.
  static std::string describe(HGDIOBJ object);

private:
  void add(std::string line) {
    if (logging_) log_.push_back(std::move(line));
  }
  bool logging_ = true;
  std::unique_ptr<DeviceContext> own_;
  DeviceContext* target_;
  std::vector<std::string> log_;
};

} // namespace kv::platform
