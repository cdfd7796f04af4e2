// The printer: a print job becomes a PDF file, one PDF page per printed page, drawn through a
// device context with the printer's resolution. The file is written beside its final name and
// renamed into place when the job ends, so an aborted or failed job never leaves a half file.
#pragma once

#include "Platform/Graphics/CairoDC.h"
#include "Platform/Graphics/RecordingDC.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;

namespace kv::platform {

class EPrinter : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct PrinterSetup {
  double paperWidthMm = 210.0, paperHeightMm = 297.0; // A4
  double marginMm = 5.0;                              // unprintable border on every side
  int dpi = 300;
};

class Printer {
public:
  explicit Printer(PrinterSetup setup = {});
  ~Printer(); // abandons a running job
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  const PrinterSetup& setup() const { return setup_; }
  // Takes effect from the next job.
  void setSetup(const PrinterSetup& setup);

  // The file of the next job. Without one the job goes to the output folder under its title
  // (made safe for a file name, "Document" when empty) with ".pdf", numbered when that exists.
  void setOutputFile(const std::string& path) { outputFile_ = path; }
  // Default: $KV_PRINT_DIR, else the home folder, else /tmp.
  void setOutputFolder(const std::string& folder) { outputFolder_ = folder; }
  // The PDF of the running job, or of the last job that ended.
  const std::string& documentFile() const { return documentFile_; }

  void setTitle(const std::string& title) { title_ = title; }
  const std::string& Title() const { return title_; }

  // With recording on, each job's canvas writes its calls and the page boundaries
  // ("StartDoc(\"title\")", "StartPage(1)", "EndPage(1)", "EndDoc" or "AbortDoc") into jobLog().
  void setRecording(bool on) { recording_ = on; }
  const std::vector<std::string>& jobLog() const;

  int PageWidth() const;  // printable width in device pixels
  int PageHeight() const; // printable height in device pixels
  int PageNumber() const { return page_; }
  bool Printing() const { return printing_; }
  bool Aborted() const { return aborted_; }
  int GetDeviceCaps(int index) const;

  // One context for the printer's life: during a job it draws on the job's pages, outside a
  // job it draws nowhere but measures text. Each job starts it in its default state.
  DeviceContext& Canvas();
  HDC Handle() { return Canvas().Handle(); }

  void BeginDoc(); // EPrinter when a job runs or the file cannot be created
  void NewPage();  // EPrinter outside a job
  void EndDoc();   // EPrinter outside a job or when the file cannot be completed
  void Abort();    // ends a running job without a file; nothing outside a job

private:
  DeviceCaps caps() const;
  std::string chooseFile() const;
  void closeSurface();

  PrinterSetup setup_;
  std::string outputFile_, outputFolder_, documentFile_, partFile_;
  std::string title_;
  bool recording_ = false, printing_ = false, aborted_ = false;
  int page_ = 0;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  std::unique_ptr<CairoDC> cairoDc_;
  std::unique_ptr<NullDC> idle_;
  std::unique_ptr<RecordingDC> canvas_; // forwards to idle_ or cairoDc_
};

// The printer of the process, which the class library's printing goes to (created on first use,
// with the default setup).
Printer& CurrentPrinter();

} // namespace kv::platform
