// Words of a PDF page as poppler's pdftotext -bbox reads them (boxes in points), and the box
// that a peer, pango-view, gives a word of a face at a size in points: printed text is checked
// for its size against a page that another program wrote at that size.
#pragma once

#include "TestSupport.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace kvtest {

struct PdfWord {
  std::string text;
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  double height() const { return yMax - yMin; }
};

inline std::vector<PdfWord> pdfWords(const fs::path& pdf) {
  std::vector<PdfWord> words;
  const auto r = run("pdftotext -bbox " + shellQuote(pdf.string()) + " -");
  if (r.exitCode != 0) return words;
  auto number = [](const std::string& line, const char* name) {
    const auto at = line.find(std::string(name) + "=\"");
    return at == std::string::npos ? 0.0 : std::atof(line.c_str() + at + std::string(name).size() + 2);
  };
  std::size_t pos = 0;
  while ((pos = r.out.find("<word ", pos)) != std::string::npos) {
    const auto close = r.out.find('>', pos), end = r.out.find("</word>", pos);
    if (close == std::string::npos || end == std::string::npos) break;
    const std::string head = r.out.substr(pos, close - pos);
    words.push_back({r.out.substr(close + 1, end - close - 1), number(head, "xMin"), number(head, "yMin"),
                     number(head, "xMax"), number(head, "yMax")});
    pos = end;
  }
  return words;
}

// The first word of the PDF whose text is `text`; an empty word when there is none.
inline PdfWord pdfWord(const fs::path& pdf, const std::string& text) {
  for (const PdfWord& w : pdfWords(pdf))
    if (w.text == text) return w;
  return {};
}

// The first of the peers these checks need that is not installed (poppler-utils, pango1.0-tools);
// empty when all are. A test without them is skipped, never passed unchecked.
inline std::string missingPdfPeer() {
  for (const char* tool : {"pdftotext", "pdfinfo", "pango-view"})
    if (!haveTool(tool)) return tool;
  return {};
}

// The height pdftotext gives `word` set in `face` at `points` by pango-view; 0 without the peer.
inline double peerWordHeight(const std::string& face, int points, const std::string& word) {
  if (!haveTool("pango-view") || !haveTool("pdftotext")) return 0;
  TempDir dir("kvpeer");
  const fs::path pdf = dir / "peer.pdf";
  const auto r = run("pango-view -q --font=" + shellQuote(face + " " + std::to_string(points)) + " -o " +
                     shellQuote(pdf.string()) + " -t " + shellQuote(word));
  if (r.exitCode != 0) return 0;
  return pdfWord(pdf, word).height();
}

} // namespace kvtest
