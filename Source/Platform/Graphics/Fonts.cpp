#include "Platform/Graphics/Fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <unordered_map>

namespace kv::platform {

std::u32string decodeUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int len = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      len = 1, cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07;
    }
    bool ok = len > 0 && i + std::size_t(len) <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + std::size_t(k)]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += std::size_t(len);
  }
  return out;
}

namespace {

constexpr const char* kFallbackFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct CachedGlyph {
  int left = 0, top = 0, width = 0, height = 0, advance = 0;
  std::vector<std::uint8_t> coverage;
};

std::string lower(std::string s) {
  for (char& c : s)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

} // namespace

// Everything FreeType and fontconfig hold, behind one lock: FreeType faces are not thread-safe.
struct FontResolver {
  std::mutex lock;
  FT_Library library = nullptr;
  bool fcReady = false;
  std::map<std::string, FT_Face> faces;                              // "file#index"
  std::map<std::string, std::pair<std::string, int>> matches;        // face query -> file
  std::map<std::string, std::shared_ptr<const ResolvedFont>> fonts;  // LOGFONT key -> font
  std::map<std::tuple<FT_Face, long, unsigned>, CachedGlyph> glyphs; // face, size, glyph

  static FontResolver& instance() {
    static FontResolver r;
    return r;
  }

  ~FontResolver() {
    fonts.clear();
    for (auto& [name, face] : faces)
      FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
    // fontconfig stays up: Cairo may still hold its patterns while the process ends.
  }

  FT_Face openFace(const std::string& file, int index) {
    const std::string key = file + "#" + std::to_string(index);
    auto it = faces.find(key);
    if (it != faces.end()) return it->second;
    if (!library && FT_Init_FreeType(&library) != 0) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &face) != 0) return nullptr;
    if (!FT_IS_SCALABLE(face)) {
      FT_Done_Face(face);
      return nullptr;
    }
    faces.emplace(key, face);
    return face;
  }

  std::pair<std::string, int> match(const std::string& family, bool bold, bool italic) {
    const std::string key = lower(family) + (bold ? "|b" : "|") + (italic ? "i" : "");
    auto it = matches.find(key);
    if (it != matches.end()) return it->second;
    std::pair<std::string, int> found{"", 0};
    if (!fcReady) fcReady = FcInit() == FcTrue;
    if (fcReady) {
      FcPattern* pattern = FcPatternCreate();
      if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
      FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
      FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
      FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
      FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
      FcDefaultSubstitute(pattern);
      FcResult result = FcResultNoMatch;
      FcPattern* best = FcFontMatch(nullptr, pattern, &result);
      if (best) {
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(best, FC_FILE, 0, &file) == FcResultMatch && file) {
          FcPatternGetInteger(best, FC_INDEX, 0, &index);
          found = {reinterpret_cast<const char*>(file), index};
        }
        FcPatternDestroy(best);
      }
      FcPatternDestroy(pattern);
    }
    matches.emplace(key, found);
    return found;
  }

  std::shared_ptr<const ResolvedFont> resolve(const LOGFONTA& lf) {
    const std::string face = faceName(lf);
    const bool bold = lf.lfWeight >= 600, italic = lf.lfItalic != 0;
    const std::string key = lower(face) + "|" + std::to_string(lf.lfHeight) + "|" + (bold ? "b" : "") +
                            (italic ? "i" : "") + (lf.lfUnderline ? "u" : "") + (lf.lfStrikeOut ? "s" : "");
    std::lock_guard<std::mutex> guard(lock);
    auto it = fonts.find(key);
    if (it != fonts.end()) return it->second;
    auto font = std::make_shared<ResolvedFont>();
    font->underline_ = lf.lfUnderline != 0;
    font->strikeOut_ = lf.lfStrikeOut != 0;
    FT_Face ftFace = nullptr;
    if (lower(face) != lower(kBoxFaceName)) {
      auto [file, index] = match(face, bold, italic);
      if (!file.empty()) ftFace = openFace(file, index);
      if (ftFace) {
        font->file_ = file, font->faceIndex_ = index;
      } else if ((ftFace = openFace(kFallbackFile, 0))) {
        font->file_ = kFallbackFile, font->faceIndex_ = 0;
      }
    }
    if (ftFace)
      setUpOutlineFont(*font, ftFace, lf.lfHeight);
    else
      setUpBoxFont(*font, lf.lfHeight);
    if (fonts.size() > 512) fonts.clear();
    fonts.emplace(key, font);
    return font;
  }

  static void setUpBoxFont(ResolvedFont& f, int height) {
    f.box_ = true;
    const int cell = std::clamp(height == 0 ? 12 : std::abs(height), 1, 4096);
    f.em_ = cell;
    f.metrics_.height = cell;
    f.metrics_.descent = cell / 4;
    f.metrics_.ascent = cell - cell / 4;
    f.metrics_.aveCharWidth = f.metrics_.maxCharWidth = std::max(1, cell / 2);
  }

  static void setUpOutlineFont(ResolvedFont& f, FT_Face face, int height) {
    f.face_ = face;
    const double upem = face->units_per_EM ? face->units_per_EM : 2048;
    double ascender = face->ascender, descender = -face->descender;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
      ascender = os2->usWinAscent;
      descender = os2->usWinDescent;
    }
    const int capped = std::clamp(height, -4096, 4096);
    double em;
    if (capped < 0)
      em = -capped;
    else if (capped > 0)
      em = capped * upem / (ascender + descender);
    else
      em = 12;
    f.em_ = em;
    FontMetrics& m = f.metrics_;
    m.ascent = int(std::lround(ascender * em / upem));
    m.descent = capped > 0 ? capped - m.ascent : int(std::lround(descender * em / upem));
    m.height = m.ascent + m.descent;
    m.internalLeading = std::max(0, m.height - int(std::lround(em)));
    m.maxCharWidth = int(std::lround(face->max_advance_width * em / upem));
    if (os2 && os2->version != 0xFFFF && os2->xAvgCharWidth > 0)
      m.aveCharWidth = int(std::lround(os2->xAvgCharWidth * em / upem));
    else
      m.aveCharWidth = std::max(1, int(std::lround(em / 2)));
  }

  const CachedGlyph& glyph(FT_Face face, double em, unsigned index) {
    const long size26 = std::lround(em * 64);
    auto key = std::make_tuple(face, size26, index);
    auto it = glyphs.find(key);
    if (it != glyphs.end()) return it->second;
    if (glyphs.size() > 8192) glyphs.clear();
    CachedGlyph g;
    if (FT_Set_Char_Size(face, 0, size26, 72, 72) == 0 && FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) == 0) {
      FT_GlyphSlot slot = face->glyph;
      g.advance = int((slot->advance.x + 32) >> 6);
      if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
        const FT_Bitmap& bm = slot->bitmap;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = int(bm.width);
        g.height = int(bm.rows);
        g.coverage.assign(std::size_t(g.width) * std::size_t(g.height), 0);
        for (int y = 0; y < g.height; ++y) {
          const unsigned char* src = bm.buffer + std::ptrdiff_t(y) * bm.pitch;
          for (int x = 0; x < g.width; ++x) {
            std::uint8_t v = 0;
            if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
              v = src[x];
            else if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
              v = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            g.coverage[std::size_t(y) * g.width + x] = v;
          }
        }
      }
    }
    return glyphs.emplace(key, std::move(g)).first->second;
  }
};

std::shared_ptr<const ResolvedFont> ResolvedFont::resolve(const LOGFONTA& font) {
  return FontResolver::instance().resolve(font);
}

std::unique_lock<std::mutex> ResolvedFont::lockFaces() {
  return std::unique_lock<std::mutex>(FontResolver::instance().lock);
}

int ResolvedFont::lineThickness() const { return std::max(1, int(std::lround(em_ / 14.0))); }
int ResolvedFont::underlineRow() const {
  return std::min(metrics_.height - lineThickness(), metrics_.ascent + std::max(1, metrics_.descent / 3));
}
int ResolvedFont::strikeOutRow() const { return metrics_.ascent - std::max(1, metrics_.ascent / 3); }

std::vector<ResolvedFont::Glyph> ResolvedFont::layout(std::string_view text) const {
  const std::u32string chars = decodeUtf8(text);
  std::vector<Glyph> run;
  run.reserve(chars.size());
  int x = 0;
  if (box_) {
    for (char32_t ch : chars) {
      run.push_back({ch, 0, x, metrics_.aveCharWidth});
      x += metrics_.aveCharWidth;
    }
    return run;
  }
  FontResolver& r = FontResolver::instance();
  std::lock_guard<std::mutex> guard(r.lock);
  auto face = static_cast<FT_Face>(face_);
  for (char32_t ch : chars) {
    const unsigned index = FT_Get_Char_Index(face, FT_ULong(ch));
    const int advance = r.glyph(face, em_, index).advance;
    run.push_back({ch, index, x, advance});
    x += advance;
  }
  return run;
}

int ResolvedFont::textWidth(std::string_view text) const {
  const auto run = layout(text);
  return run.empty() ? 0 : run.back().x + run.back().advance;
}

CoverageMask ResolvedFont::render(std::string_view text) const {
  const auto run = layout(text);
  const int width = run.empty() ? 0 : run.back().x + run.back().advance;
  CoverageMask mask;
  struct Placed {
    const CachedGlyph* glyph;
    int x, y;
  };
  std::vector<Placed> placed;
  int minX = 0, minY = 0, maxX = width, maxY = metrics_.height;
  FontResolver& r = FontResolver::instance();
  std::unique_lock<std::mutex> guard(r.lock, std::defer_lock);
  if (!box_) {
    guard.lock();
    for (const Glyph& g : run) {
      const CachedGlyph& cg = r.glyph(static_cast<FT_Face>(face_), em_, g.index);
      if (cg.width == 0 || cg.height == 0) continue;
      const int gx = g.x + cg.left, gy = metrics_.ascent - cg.top;
      placed.push_back({&cg, gx, gy});
      minX = std::min(minX, gx), minY = std::min(minY, gy);
      maxX = std::max(maxX, gx + cg.width), maxY = std::max(maxY, gy + cg.height);
    }
  }
  mask.width = maxX - minX;
  mask.height = maxY - minY;
  mask.originX = -minX;
  mask.originY = -minY;
  mask.data.assign(std::size_t(mask.width) * std::size_t(mask.height), 0);
  auto put = [&](int x, int y, std::uint8_t v) {
    x += mask.originX, y += mask.originY;
    if (x < 0 || y < 0 || x >= mask.width || y >= mask.height) return;
    std::uint8_t& d = mask.data[std::size_t(y) * mask.width + x];
    d = std::max(d, v);
  };
  if (box_) {
    for (const Glyph& g : run) {
      if (g.ch <= 0x20 || g.ch == 0xA0 || (g.ch >= 0x7F && g.ch < 0xA0)) continue;
      const int w = g.advance > 1 ? g.advance - 1 : 1;
      for (int y = 0; y < metrics_.height; ++y)
        for (int x = 0; x < w; ++x)
          put(g.x + x, y, 255);
    }
  }
  for (const Placed& p : placed)
    for (int y = 0; y < p.glyph->height; ++y)
      for (int x = 0; x < p.glyph->width; ++x)
        put(p.x + x, p.y + y, p.glyph->coverage[std::size_t(y) * p.glyph->width + x]);
  auto decorate = [&](int row) {
    for (int t = 0; t < lineThickness(); ++t)
      for (int x = 0; x < width; ++x)
        put(x, row + t, 255);
  };
  if (underline_) decorate(underlineRow());
  if (strikeOut_) decorate(strikeOutRow());
  return mask;
}

} // namespace kv::platform
