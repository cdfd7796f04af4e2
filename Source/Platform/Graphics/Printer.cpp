#include "Platform/Graphics/Printer.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kv::platform {

namespace fs = std::filesystem;

namespace {
int mmToPx(double mm, int dpi) { return int(std::lround(mm * dpi / 25.4)); }
} // namespace

Printer::Printer(PrinterSetup setup) : setup_(setup) {
  if (setup_.dpi < 1) setup_.dpi = 1;
  idle_ = std::make_unique<NullDC>(caps());
  canvas_ = std::make_unique<RecordingDC>(*idle_);
  canvas_->setLogging(false);
}

Printer::~Printer() { Abort(); }

void Printer::setSetup(const PrinterSetup& setup) {
  setup_ = setup;
  if (setup_.dpi < 1) setup_.dpi = 1;
  if (!printing_) {
    idle_ = std::make_unique<NullDC>(caps());
    canvas_->retarget(*idle_);
  }
}

DeviceCaps Printer::caps() const {
  DeviceCaps c;
  c.technology = DT_RASPRINTER;
  c.dpiX = c.dpiY = std::max(1, setup_.dpi);
  c.physicalWidthPx = mmToPx(setup_.paperWidthMm, c.dpiX);
  c.physicalHeightPx = mmToPx(setup_.paperHeightMm, c.dpiY);
  c.offsetXPx = c.offsetYPx = mmToPx(std::max(0.0, setup_.marginMm), c.dpiX);
  c.widthPx = std::max(1, c.physicalWidthPx - 2 * c.offsetXPx);
  c.heightPx = std::max(1, c.physicalHeightPx - 2 * c.offsetYPx);
  return c;
}

int Printer::PageWidth() const { return caps().widthPx; }
int Printer::PageHeight() const { return caps().heightPx; }

int Printer::GetDeviceCaps(int index) const {
  NullDC probe(caps());
  return probe.GetDeviceCaps(index);
}

const std::vector<std::string>& Printer::jobLog() const { return canvas_->log(); }

DeviceContext& Printer::Canvas() { return *canvas_; }

std::string Printer::chooseFile() const {
  if (!outputFile_.empty()) return outputFile_;
  std::string folder = outputFolder_;
  if (folder.empty()) {
    const char* env = std::getenv("KV_PRINT_DIR");
    const char* home = std::getenv("HOME");
    folder = env && *env ? env : home && *home ? home : "/tmp";
  }
  std::string name;
  for (char ch : title_)
    name += (ch == '/' || ch == '\\' || static_cast<unsigned char>(ch) < 0x20) ? '_' : ch;
  while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
    name.pop_back();
  while (!name.empty() && name.front() == '.')
    name.erase(0, 1);
  if (name.empty()) name = "Document";
  if (name.size() > 200) name.resize(200);
  fs::path candidate = fs::path(folder) / (name + ".pdf");
  for (int n = 2; fs::exists(candidate) || fs::exists(candidate.string() + ".part"); ++n)
    candidate = fs::path(folder) / (name + " (" + std::to_string(n) + ").pdf");
  return candidate.string();
}

void Printer::BeginDoc() {
  if (printing_) throw EPrinter("Printing in progress");
  const DeviceCaps c = caps();
  const std::string target = chooseFile();
  const std::string part = target + ".part";
  const double ptPerPx = 72.0 / c.dpiX;
  cairo_surface_t* surface =
      cairo_pdf_surface_create(part.c_str(), c.physicalWidthPx * ptPerPx, c.physicalHeightPx * ptPerPx);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    std::error_code ec;
    fs::remove(part, ec);
    throw EPrinter("Cannot create the print file " + target);
  }
  if (!title_.empty()) cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title_.c_str());
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "Korvalis");
  surface_ = surface;
  cr_ = cairo_create(surface_);
  cairo_scale(cr_, ptPerPx, ptPerPx);
  cairo_translate(cr_, c.offsetXPx, c.offsetYPx);
  cairoDc_ = std::make_unique<CairoDC>(cr_, c);
  canvas_->retarget(*cairoDc_);
  canvas_->clearLog();
  canvas_->setLogging(recording_);
  documentFile_ = target;
  partFile_ = part;
  printing_ = true;
  aborted_ = false;
  page_ = 1;
  canvas_->note("StartDoc(\"" + title_ + "\")");
  canvas_->note("StartPage(1)");
}

void Printer::NewPage() {
  if (!printing_) throw EPrinter("Printer is not printing");
  canvas_->note("EndPage(" + std::to_string(page_) + ")");
  cairo_show_page(cr_);
  ++page_;
  canvas_->note("StartPage(" + std::to_string(page_) + ")");
}

void Printer::closeSurface() {
  canvas_->retarget(*idle_);
  canvas_->setLogging(false);
  cairoDc_.reset();
  if (cr_) cairo_destroy(cr_);
  cr_ = nullptr;
  if (surface_) {
    cairo_surface_finish(surface_);
    cairo_surface_destroy(surface_);
  }
  surface_ = nullptr;
  printing_ = false;
}

void Printer::EndDoc() {
  if (!printing_) throw EPrinter("Printer is not printing");
  canvas_->note("EndPage(" + std::to_string(page_) + ")");
  canvas_->note("EndDoc");
  cairo_show_page(cr_);
  cairo_surface_finish(surface_);
  const bool ok =
      cairo_status(cr_) == CAIRO_STATUS_SUCCESS && cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS;
  closeSurface();
  std::error_code ec;
  if (ok) fs::rename(partFile_, documentFile_, ec);
  if (!ok || ec) {
    fs::remove(partFile_, ec);
    throw EPrinter("Cannot write the print file " + documentFile_);
  }
}

void Printer::Abort() {
  if (!printing_) return;
  canvas_->note("AbortDoc");
  closeSurface();
  std::error_code ec;
  fs::remove(partFile_, ec);
  aborted_ = true;
}

Printer& CurrentPrinter() {
  static Printer printer;
  return printer;
}

} // namespace kv::platform
