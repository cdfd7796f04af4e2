// RichEdit: the rich text edit: the memo's lines of text with a character format (face, size in
// points, style, colour) for every character, changed through the selection's attributes, and
// the edit control's range formatting (EM_FORMATRANGE) that lays a range of the text out into a
// rectangle given in twips and draws it onto a device context, one page per call.
//
// Layout: paragraphs end at line feeds; a line breaks after the last blank that lets it fit the
// rectangle's width (a word wider than the rectangle breaks between characters); each line is as
// high as its tallest font (ascent + descent) and its runs share one baseline. A line that would
// reach below the rectangle's bottom is not drawn and the call answers its first character.
#pragma once

#include "Platform/Graphics/DeviceContext.h"
#include "Platform/Ui/StdCtrls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kv::platform {

constexpr UINT EM_FORMATRANGE = 0x0400 + 57;

struct CHARRANGE {
  std::int32_t cpMin = 0, cpMax = 0; // cpMax -1: to the end of the text
};

struct FORMATRANGE {
  HDC hdc = 0;       // the context drawn on
  HDC hdcTarget = 0; // the device formatted for
  TRect rc;          // where to draw, in twips
  TRect rcPage;      // the whole page, in twips
  CHARRANGE chrg;
};

// One character's format.
struct TCharFormat {
  std::string Name = "Arial";
  int Size = 10; // points
  TFontStyles Style;
  TColor Color = clWindowText;
  bool operator==(const TCharFormat& o) const {
    return Name == o.Name && Size == o.Size && Style.Bits() == o.Style.Bits() && Color == o.Color;
  }
};

class TCustomRichEdit;

enum class TAttributeType { atSelected, atDefaultText };

// The format of the selection (read: at its start; written: onto every selected character, or
// onto what is typed next when nothing is selected) or the default format of new text.
class TTextAttributes : public TPersistent {
  KV_CLASS_INFO(TTextAttributes)
public:
  TTextAttributes(TCustomRichEdit& Owner, TAttributeType Type) : owner_(Owner), type_(Type) {}
  std::string Name() const { return get().Name; }
  void SetName(const std::string& Value);
  int Size() const { return get().Size; }
  void SetSize(int Value);
  // Pixels at 96 per inch, negative as font heights are: Height = -Size * 96 / 72.
  int Height() const;
  void SetHeight(int Value);
  TFontStyles Style() const { return get().Style; }
  void SetStyle(TFontStyles Value);
  TColor Color() const { return get().Color; }
  void SetColor(TColor Value);
  void Assign(const TPersistent& Source) override;

private:
  TCharFormat get() const;
  template <class F> void change(F f);
  TCustomRichEdit& owner_;
  TAttributeType type_;
};

class TCustomRichEdit : public TMemo {
  KV_CLASS_INFO(TCustomRichEdit)
public:
  explicit TCustomRichEdit(TComponent* AOwner);
  ~TCustomRichEdit() override;

  TTextAttributes& SelAttributes() { return selAttributes_; }
  TTextAttributes& DefAttributes() { return defAttributes_; }
  // The page a print goes onto, in the printing context's pixels.
  const TRect& PageRect() const { return pageRect_; }
  void SetPageRect(const TRect& Value) { pageRect_ = Value; }

  // The format of the character at a byte offset (the default one past the end).
  TCharFormat CharFormatAt(int Index) const;
  // Sets the format of the bytes [Start, Start + Length).
  void SetCharFormat(int Start, int Length, const TCharFormat& Format);

  // Scales the control by M / D: its bounds and font as every windowed control, and the point
  // sizes of its text.
  virtual void ChangeScale(int M, int D);

  void Dispatch(TMessage& Message) override;

protected:
  void Change() override;
  // The windowed control's share of scaling: bounds and font.
  void ScaleControl(int M, int D);
  // EM_FORMATRANGE: lays out (and with Render draws) a range; answers the first character that
  // did not fit.
  int FormatRange(bool Render, const FORMATRANGE& Range);

private:
  friend class TTextAttributes;
  int formatIndex(const TCharFormat& Format);

  TTextAttributes selAttributes_{*this, TAttributeType::atSelected};
  TTextAttributes defAttributes_{*this, TAttributeType::atDefaultText};
  TRect pageRect_;
  TCharFormat default_;
  std::vector<TCharFormat> formatTable_;
  std::vector<std::uint16_t> formats_; // one table index per byte of the text
  std::string knownText_;              // the text the formats belong to
  int typingFormat_ = -1;              // set through SelAttributes with nothing selected
  int typingAt_ = -1;
};

class TRichEdit : public TCustomRichEdit {
  KV_CLASS_INFO(TRichEdit)
public:
  explicit TRichEdit(TComponent* AOwner) : TCustomRichEdit(AOwner) {}
};

void RegisterRichEdit();

} // namespace kv::platform
