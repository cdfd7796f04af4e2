// Fonts: a LOGFONT record resolved to a face at one pixel size. Face names go through
// fontconfig (the nearest installed face; DejaVu Sans when nothing loads), glyphs through
// FreeType as anti-aliased coverage. The built-in face "Korvalis Box" draws every visible
// character as a solid box, so that text placement can be checked pixel by pixel:
//   cell height c = |lfHeight| (12 for 0), ascent c - c/4, descent c/4,
//   every character advances a = max(1, c/2) pixels and fills the columns [0, a-1) of its cell
//   (the one column of a cell one pixel wide) on every row; space and control characters are blank.
#pragma once

#include "Platform/Graphics/GdiObjects.h"
#include "Platform/Graphics/Raster.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform {

inline constexpr const char* kBoxFaceName = "Korvalis Box";

struct FontMetrics {
  int ascent = 0, descent = 0, height = 0; // height = ascent + descent, the cell height
  int internalLeading = 0, aveCharWidth = 0, maxCharWidth = 0;
};

// Code points of UTF-8 text; a byte that starts no valid sequence becomes U+FFFD.
std::u32string decodeUtf8(std::string_view text);

class ResolvedFont {
public:
  struct Glyph {
    char32_t ch = 0;
    unsigned index = 0; // glyph index in the face (0 for the box face)
    int x = 0;          // pen position from the start of the run
    int advance = 0;
  };

  // lfHeight is taken in device pixels (the caller scales logical units first).
  static std::shared_ptr<const ResolvedFont> resolve(const LOGFONTA& font);

  const FontMetrics& metrics() const { return metrics_; }
  bool isBox() const { return box_; }
  const std::string& file() const { return file_; } // empty for the box face
  int faceIndex() const { return faceIndex_; }
  double emPixels() const { return em_; }
  bool underline() const { return underline_; }
  bool strikeOut() const { return strikeOut_; }
  // Rows (from the cell top) and thickness of the decoration lines.
  int underlineRow() const;
  int strikeOutRow() const;
  int lineThickness() const;

  std::vector<Glyph> layout(std::string_view text) const;
  int textWidth(std::string_view text) const;
  // The run unrotated: text-space (0, 0) is the top left corner of the first cell, the
  // baseline lies at y = ascent. Underline and strike-out are part of the mask.
  CoverageMask render(std::string_view text) const;
  // The FreeType face (FT_Face) of an outline font, for backends that draw glyphs themselves;
  // null for the box face. Callers lock with lockFaces() while they use it.
  void* ftFace() const { return face_; }
  static std::unique_lock<std::mutex> lockFaces();

  ResolvedFont() = default;

private:
  bool box_ = false;
  std::string file_;
  int faceIndex_ = 0;
  double em_ = 12;
  bool underline_ = false, strikeOut_ = false;
  FontMetrics metrics_;
  void* face_ = nullptr; // FT_Face, owned by the face cache
  friend struct FontResolver;
};

} // namespace kv::platform
