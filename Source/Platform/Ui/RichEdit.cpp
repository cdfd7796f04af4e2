#include "Platform/Ui/RichEdit.h"

#include "Platform/Rtl/ScopeExit.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace kv::platform {

namespace {
int mulDiv(int value, int m, int d) {
  if (d == 0) return value;
  const std::int64_t p = static_cast<std::int64_t>(value) * m;
  // Rounded to the nearest, halves away from zero, as the system's MulDiv does.
  const std::int64_t q = (p >= 0) == (d > 0) ? (std::abs(p) + std::abs(d) / 2) / std::abs(d)
                                             : -((std::abs(p) + std::abs(d) / 2) / std::abs(d));
  return static_cast<int>(q);
}
int utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}
} // namespace

// ---- TTextAttributes

const TClassInfo& TTextAttributes::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TTextAttributes, TPersistent>("TTextAttributes").Build();
  return info;
}

TCharFormat TTextAttributes::get() const {
  if (type_ == TAttributeType::atDefaultText) return owner_.default_;
  if (owner_.SelLength() == 0 && owner_.typingFormat_ >= 0 && owner_.typingAt_ == owner_.SelStart())
    return owner_.formatTable_[static_cast<size_t>(owner_.typingFormat_)];
  // An empty selection reads the format of the character before the caret, as typing would.
  const int at = owner_.SelLength() == 0 ? owner_.SelStart() - 1 : owner_.SelStart();
  return at < 0 ? owner_.CharFormatAt(0) : owner_.CharFormatAt(at);
}

template <class F> void TTextAttributes::change(F f) {
  TCharFormat fmt = get();
  f(fmt);
  if (type_ == TAttributeType::atDefaultText) {
    owner_.default_ = fmt;
    owner_.Invalidate();
    return;
  }
  if (owner_.SelLength() > 0) {
    owner_.SetCharFormat(owner_.SelStart(), owner_.SelLength(), fmt);
  } else {
    owner_.typingFormat_ = owner_.formatIndex(fmt);
    owner_.typingAt_ = owner_.SelStart();
  }
}

void TTextAttributes::SetName(const std::string& Value) {
  change([&](TCharFormat& f) { f.Name = Value; });
}
void TTextAttributes::SetSize(int Value) {
  change([&](TCharFormat& f) { f.Size = std::max(1, Value); });
}
int TTextAttributes::Height() const { return -mulDiv(Size(), 96, 72); }
void TTextAttributes::SetHeight(int Value) { SetSize(mulDiv(std::abs(Value), 72, 96)); }
void TTextAttributes::SetStyle(TFontStyles Value) {
  change([&](TCharFormat& f) { f.Style = Value; });
}
void TTextAttributes::SetColor(TColor Value) {
  change([&](TCharFormat& f) { f.Color = Value; });
}
void TTextAttributes::Assign(const TPersistent& Source) {
  if (const auto* a = dynamic_cast<const TTextAttributes*>(&Source)) {
    const TCharFormat src = a->get();
    change([&](TCharFormat& f) { f = src; });
    return;
  }
  if (const auto* font = dynamic_cast<const TFont*>(&Source)) {
    change([&](TCharFormat& f) {
      f.Name = font->Name();
      f.Size = std::max(1, font->Size());
      f.Style = font->Style();
      f.Color = font->Color();
    });
    return;
  }
  TPersistent::Assign(Source);
}

// ---- TCustomRichEdit

const TClassInfo& TCustomRichEdit::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCustomRichEdit, TMemo>("TCustomRichEdit").Build();
  return info;
}

TCustomRichEdit::TCustomRichEdit(TComponent* AOwner) : TMemo(AOwner) {
  default_.Name = Font().Name().empty() ? default_.Name : Font().Name();
  default_.Size = std::max(1, Font().Size());
  default_.Style = Font().Style();
  default_.Color = Font().Color();
  formatTable_.push_back(default_);
  knownText_ = Text();
  formats_.assign(knownText_.size(), 0);
}

TCustomRichEdit::~TCustomRichEdit() = default;

int TCustomRichEdit::formatIndex(const TCharFormat& Format) {
  for (size_t i = 0; i < formatTable_.size(); ++i)
    if (formatTable_[i] == Format) return static_cast<int>(i);
  if (formatTable_.size() >= 0xFFFF) {
    // Out of distinct formats (a pathological text): drop those no character uses any more.
    std::vector<bool> used(formatTable_.size());
    for (auto f : formats_)
      used[f] = true;
    std::vector<TCharFormat> table;
    std::vector<std::uint16_t> remap(formatTable_.size(), 0);
    for (size_t i = 0; i < formatTable_.size(); ++i)
      if (used[i]) {
        remap[i] = static_cast<std::uint16_t>(table.size());
        table.push_back(formatTable_[i]);
      }
    for (auto& f : formats_)
      f = remap[f];
    formatTable_ = std::move(table);
    typingFormat_ = -1;
    for (size_t i = 0; i < formatTable_.size(); ++i)
      if (formatTable_[i] == Format) return static_cast<int>(i);
  }
  formatTable_.push_back(Format);
  return static_cast<int>(formatTable_.size() - 1);
}

TCharFormat TCustomRichEdit::CharFormatAt(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(formats_.size())) return default_;
  return formatTable_[formats_[static_cast<size_t>(Index)]];
}

void TCustomRichEdit::SetCharFormat(int Start, int Length, const TCharFormat& Format) {
  const int n = static_cast<int>(formats_.size());
  const int from = std::clamp(Start, 0, n), to = std::clamp(Start + std::max(Length, 0), from, n);
  if (from == to) return;
  const auto index = static_cast<std::uint16_t>(formatIndex(Format));
  std::fill(formats_.begin() + from, formats_.begin() + to, index);
  Invalidate();
}

void TCustomRichEdit::Change() {
  // The formats follow the text: what stays before and after the changed part keeps its
  // format; new characters take the typing format, else the one of the character before them.
  const std::string& now = Text();
  if (now != knownText_) {
    const size_t oldSize = knownText_.size(), newSize = now.size();
    size_t prefix = 0;
    while (prefix < oldSize && prefix < newSize && knownText_[prefix] == now[prefix])
      ++prefix;
    size_t suffix = 0;
    while (suffix < oldSize - prefix && suffix < newSize - prefix &&
           knownText_[oldSize - 1 - suffix] == now[newSize - 1 - suffix])
      ++suffix;
    std::uint16_t fill = 0;
    if (typingFormat_ >= 0 && typingAt_ == static_cast<int>(prefix))
      fill = static_cast<std::uint16_t>(typingFormat_);
    else if (prefix > 0)
      fill = formats_[prefix - 1];
    else if (oldSize - suffix > prefix)
      fill = formats_[prefix]; // a replaced start keeps the format it had
    else
      fill = static_cast<std::uint16_t>(formatIndex(default_));
    std::vector<std::uint16_t> next;
    next.reserve(newSize);
    next.insert(next.end(), formats_.begin(), formats_.begin() + static_cast<std::ptrdiff_t>(prefix));
    next.insert(next.end(), newSize - prefix - suffix, fill);
    next.insert(next.end(), formats_.end() - static_cast<std::ptrdiff_t>(suffix), formats_.end());
    formats_ = std::move(next);
    knownText_ = now;
    typingFormat_ = -1;
  }
  TMemo::Change();
}

void TCustomRichEdit::ScaleControl(int M, int D) {
  if (M == D || D == 0) return;
  SetBounds(mulDiv(Left(), M, D), mulDiv(Top(), M, D), mulDiv(Width(), M, D), mulDiv(Height(), M, D));
  if (!ParentFont()) Font().SetHeight(mulDiv(Font().Height(), M, D));
}

void TCustomRichEdit::ChangeScale(int M, int D) {
  if (M == D || D == 0) return;
  // A font of its own makes the default text follow the scaled font; the default is scaled
  // from what it was before, once, whichever way it went.
  TCharFormat def = default_;
  ScaleControl(M, D);
  for (auto& f : formatTable_)
    f.Size = std::max(1, mulDiv(f.Size, M, D));
  def.Size = std::max(1, mulDiv(def.Size, M, D));
  default_ = def;
}

void TCustomRichEdit::Dispatch(TMessage& Message) {
  if (Message.Msg == EM_FORMATRANGE) {
    // lParam 0 only frees what the last formatting kept; nothing is kept between calls here.
    Message.Result = 0;
    if (Message.LParam != 0)
      Message.Result =
          FormatRange(Message.WParam != 0, *reinterpret_cast<const FORMATRANGE*>(Message.LParam));
    return;
  }
  TMemo::Dispatch(Message);
  // The control's font is the text's default format: a designed or changed Font is what prints.
  if (Message.Msg == CM_FONTCHANGED) DefAttributes().Assign(Font());
}

int TCustomRichEdit::FormatRange(bool Render, const FORMATRANGE& Range) {
  const std::string& text = Text();
  const int n = static_cast<int>(text.size());
  const int cpMin = std::clamp(Range.chrg.cpMin, 0, n);
  const int cpMax = Range.chrg.cpMax < 0 ? n : std::clamp(Range.chrg.cpMax, cpMin, n);
  DeviceContext* dc = DeviceContext::fromHandle(Range.hdc);
  if (!dc) return cpMin;
  const int dpiX = dc->GetDeviceCaps(LOGPIXELSX), dpiY = dc->GetDeviceCaps(LOGPIXELSY);
  if (dpiX <= 0 || dpiY <= 0) return cpMin;
  const int left = Range.rc.Left * dpiX / 1440, top = Range.rc.Top * dpiY / 1440;
  const int right = Range.rc.Right * dpiX / 1440, bottom = Range.rc.Bottom * dpiY / 1440;
  const int width = right - left;
  if (width <= 0 || bottom <= top) return cpMin;

  // The context leaves as it came: font, colour, background mode and alignment.
  const HGDIOBJ savedFont = dc->GetCurrentObject(OBJ_FONT);
  const TColor savedColor = dc->GetTextColor();
  const int savedBkMode = dc->GetBkMode();
  const unsigned savedAlign = dc->GetTextAlign();
  std::map<int, HFONT> fonts; // made for this range, gone with it
  const ScopeExit restore([&] {
    dc->SelectObject(savedFont);
    dc->SetTextColor(savedColor);
    dc->SetBkMode(savedBkMode);
    dc->SetTextAlign(savedAlign);
    for (auto& [index, f] : fonts)
      DeleteObject(f);
  });
  dc->SetBkMode(TRANSPARENT);
  dc->SetTextAlign(TA_LEFT | TA_BASELINE);

  struct Metrics {
    int ascent = 0, descent = 0;
  };
  std::map<int, Metrics> metrics;
  auto select = [&](int index) -> Metrics {
    auto it = fonts.find(index);
    if (it == fonts.end()) {
      const TCharFormat f = formatTable_[static_cast<size_t>(index)];
      LOGFONTA lf;
      lf.lfHeight = -mulDiv(f.Size, dpiY, 72);
      lf.lfWeight = f.Style.Contains(fsBold) ? 700 : 400;
      lf.lfItalic = f.Style.Contains(fsItalic);
      lf.lfUnderline = f.Style.Contains(fsUnderline);
      lf.lfStrikeOut = f.Style.Contains(fsStrikeOut);
      setFaceName(lf, f.Name);
      it = fonts.emplace(index, CreateFontIndirectA(lf)).first;
    }
    dc->SelectObject(it->second);
    auto m = metrics.find(index);
    if (m == metrics.end()) {
      TEXTMETRIC tm;
      dc->GetTextMetrics(&tm);
      m = metrics.emplace(index, Metrics{tm.tmAscent, tm.tmDescent}).first;
    }
    return m->second;
  };
  const int defaultIndex = formatIndex(default_);
  auto formatOf = [&](int i) {
    return i < static_cast<int>(formats_.size()) ? static_cast<int>(formats_[static_cast<size_t>(i)])
                                                 : defaultIndex;
  };
  // Walks [from, to) in runs of one format each, the run's format selected for Each.
  auto forEachRun = [&](int from, int to, const auto& Each) {
    for (int i = from; i < to;) {
      const int f = formatOf(i);
      int j = i;
      while (j < to && formatOf(j) == f)
        ++j;
      select(f);
      Each(f, std::string_view(text).substr(static_cast<size_t>(i), static_cast<size_t>(j - i)));
      i = j;
    }
  };
  auto widthOf = [&](std::string_view piece) {
    TSize size;
    dc->GetTextExtentPoint(piece, &size);
    return size.cx;
  };
  auto measure = [&](int from, int to) {
    int w = 0;
    forEachRun(from, to, [&](int, std::string_view piece) { w += widthOf(piece); });
    return w;
  };

  auto nextOf = [&](int at) {
    return std::min(cpMax, at + utf8Length(static_cast<unsigned char>(text[static_cast<size_t>(at)])));
  };
  int pos = cpMin, y = top;
  while (pos < cpMax) {
    // One line: up to the paragraph's end, the range's end or the last blank that fits. Blanks
    // never break a line: they hang over its edge up to the next character.
    const auto lineGoesOn = [&](int at) { return at < cpMax && text[static_cast<size_t>(at)] != '\n'; };
    int end = fittingEnd(
        pos, [&](int at) { return lineGoesOn(at) ? nextOf(at) : -1; },
        [&](int at) { return measure(pos, at) <= width; });
    while (lineGoesOn(end) && text[static_cast<size_t>(end)] == ' ')
      end = nextOf(end);
    if (lineGoesOn(end)) {
      int lastBreak = -1;
      for (int at = end; at > pos && lastBreak < 0; --at)
        if (text[static_cast<size_t>(at) - 1] == ' ') lastBreak = at;
      if (lastBreak > pos)
        end = lastBreak;
      else if (end == pos)
        end = nextOf(pos); // a character wider than the line still goes somewhere
    }
    Metrics line{};
    if (end == pos) {
      line = select(formatOf(pos > 0 ? pos - 1 : pos));
    } else {
      for (int i = pos; i < end; ++i) {
        const Metrics m = select(formatOf(i));
        line.ascent = std::max(line.ascent, m.ascent);
        line.descent = std::max(line.descent, m.descent);
      }
    }
    if (y + line.ascent + line.descent > bottom) break;
    if (Render) {
      int x = left;
      forEachRun(pos, end, [&](int f, std::string_view piece) {
        dc->SetTextColor(ColorToRGB(formatTable_[static_cast<size_t>(f)].Color));
        dc->TextOut(x, y + line.ascent, piece);
        x += widthOf(piece);
      });
    }
    y += line.ascent + line.descent;
    pos = end;
    if (pos < cpMax && text[static_cast<size_t>(pos)] == '\n') ++pos;
  }
  return pos;
}

void RegisterRichEdit() { RegisterClasses({&TRichEdit::StaticClassInfo()}); }

const TClassInfo& TRichEdit::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TRichEdit, TCustomRichEdit>("TRichEdit").Build();
  return info;
}

} // namespace kv::platform
