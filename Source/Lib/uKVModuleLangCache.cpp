#include "uKVModuleLangCache.h"

#include "Platform/CodePage/CodePage.h"
#include "Platform/Database/Database.h"
#include "Platform/Rtl/SysUtils.h"
#include "Platform/Ui/Buttons.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/Menus.h"
#include "Platform/Ui/StdCtrls.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

namespace uKVModuleLangCache {

using namespace kv::platform;

namespace {

constexpr const char* kLanguageQuery =
    "select * from lang.db where lfkmodid=:modid: and llang=:lang: order by lid";

// What a character after a backslash counts as: its byte in the table's code page, lower-case
// letters taken as upper-case, then above 64 minus 55 ("A" is 10), else minus 48. No check for
// hexadecimal digits: stored texts only ever hold them, and any other character gives the value it
// always gave.
int digitValue(std::uint8_t byte) {
  if (byte >= 'a' && byte <= 'z') byte = static_cast<std::uint8_t>(byte - 'a' + 'A');
  return byte > 64 ? byte - 55 : byte - 48;
}

// The classes whose text (caption, or an edit's text) a text number in Tag sets.
bool carriesText(TControl* C) {
  return dynamic_cast<TTabSheet*>(C) || dynamic_cast<TForm*>(C) || dynamic_cast<TLabel*>(C) ||
         dynamic_cast<TRadioButton*>(C) || dynamic_cast<TCheckBox*>(C) || dynamic_cast<TButton*>(C) ||
         dynamic_cast<TEdit*>(C) || dynamic_cast<TSpeedButton*>(C) || dynamic_cast<TGroupBox*>(C) ||
         dynamic_cast<TRadioGroup*>(C) || dynamic_cast<TBitBtn*>(C) || dynamic_cast<TStaticText*>(C) ||
         dynamic_cast<TPanel*>(C);
}

// The stored form of a text: a backslash and the two characters after it stand for the byte they
// spell in hexadecimal; a backslash too near the end is dropped. The text comes as the table stores
// it, in its code page, so a character is a byte; everything is converted to UTF-8 on the way, in one
// pass, and the result is the only text made.
std::string DecodeLangText(std::string_view S, const SingleByteCodePage& CodePage) {
  std::string out;
  out.reserve(S.size()); // an escape never grows, only bytes above 127 do
  size_t i = 0;
  while (i < S.size()) {
    const size_t backslash = std::min(S.find('\\', i), S.size());
    CodePage.appendUtf8(out, S.substr(i, backslash - i));
    if (backslash + 2 < S.size()) {
      const auto byte = static_cast<char>(16 * digitValue(static_cast<std::uint8_t>(S[backslash + 1])) +
                                          digitValue(static_cast<std::uint8_t>(S[backslash + 2])));
      CodePage.appendUtf8(out, std::string_view(&byte, 1));
      i = backslash + 3;
    } else {
      i = backslash + 1; // fewer than two characters after the backslash
    }
  }
  return out;
}

} // namespace

TBegriff::TBegriff(int32_t ID, std::string Text, int32_t Laufweite)
    : ID(ID), Text(std::move(Text)), Laufweite(Laufweite) {}

int32_t TBegriff::Compare(uKVrbtree::TRBTreeData* Other) {
  const int32_t other = static_cast<TBegriff*>(Other)->ID;
  return ID < other ? -1 : ID > other ? 1 : 0;
}

TLangCache::TLangCache(int32_t ModuleID, std::string Database)
    : ModuleID(ModuleID), Probe(std::make_unique<TBegriff>(0, std::string(), 0)),
      Database(std::move(Database)), Tree(std::make_unique<uKVrbtree::TRBTree>(false)) {}

TLangCache::~TLangCache() = default;

void TLangCache::SetLanguage(int32_t Lang) {
  auto query = std::make_unique<TQuery>();
  query->DatabaseName = Database;
  Language = Lang;
  Tree = std::make_unique<uKVrbtree::TRBTree>(false); // the old texts go with the old tree
  query->SQL.SetText(kLanguageQuery);
  query->Params[0].SetAsInteger(ModuleID);
  query->Params[1].SetAsInteger(Language);
  query->Open();
  const SingleByteCodePage& codePage = SingleByteCodePage::get(query->codePage());
  // Each column is looked up once, when a row first needs it.
  TField* lid = nullptr;
  TField* lislong = nullptr;
  TField* texts[2] = {nullptr, nullptr}; // ltext, llongtext
  const auto field = [&](TField*& f, const char* name) -> TField& {
    return f ? *f : *(f = &query->FieldByName(name));
  };
  std::optional<int32_t> previous;
  for (; !query->Eof(); query->Next()) {
    const int32_t id = field(lid, "lid").AsInteger();
    // The rows come by number, so a row of the number before is one the tree refuses anyway.
    if (id == previous) continue;
    previous = id;
    const bool isLong = field(lislong, "lislong").AsInteger() == 1;
    const std::string_view stored = field(texts[isLong], isLong ? "llongtext" : "ltext").storedText();
    auto entry = std::make_unique<TBegriff>(id, DecodeLangText(stored, codePage), 0);
    // The first row of a number wins; the tree refuses the later ones and they stay ours.
    if (Tree->Add(entry.get(), true)) entry.release();
  }
  query->Close();
}

void TLangCache::SetLanguage(const std::string& /*Lang*/) {}

void TLangCache::SetDatabase(const std::string& Value) { Database = Value; }

void TLangCache::SetModuleID(const int32_t Value) { ModuleID = Value; }

std::string TLangCache::GetText(int32_t ID) {
  Probe->ID = ID;
  if (auto* found = static_cast<TBegriff*>(Tree->Find(Probe.get()))) return found->Text;
  return "## " + IntToStr(ID) + " ##";
}

int32_t TLangCache::GetLaufweite(int32_t ID) {
  Probe->ID = ID;
  if (auto* found = static_cast<TBegriff*>(Tree->Find(Probe.get()))) return found->Laufweite;
  return 0;
}

void TLangCache::TranslateControls(TWinControl* Root) {
  if (Root) translateControl(Root);
}

void TLangCache::translateControl(TControl* C) {
  if (auto* pages = dynamic_cast<TPageControl*>(C)) {
    // The page control's own text is no caption anyone sees; its pages carry the texts.
    for (int i = 0; i < pages->PageCount(); ++i)
      translateControl(pages->Pages(i));
  } else if (carriesText(C)) {
    if (C->Tag > 0) C->SetText(GetText(C->Tag));
  } else if (auto* view = dynamic_cast<TListView*>(C)) {
    for (int i = 0; i < view->Columns().Count(); ++i) {
      TListColumn* column = view->Column(i);
      if (column->Tag() != 0) column->SetCaption(GetText(column->Tag()));
    }
  }
  if (auto* parent = dynamic_cast<TWinControl*>(C))
    for (int i = 0; i < parent->ControlCount(); ++i)
      translateControl(parent->Controls(i));
  if (auto* bar = dynamic_cast<TToolBar*>(C))
    for (int i = 0; i < bar->ButtonCount(); ++i)
      translateControl(bar->Buttons(i));
}

void TLangCache::TranslateMenu(TMenu* Menu) {
  if (!Menu || !Menu->Items()) return;
  TMenuItem* root = Menu->Items();
  for (int i = 0; i < root->Count(); ++i)
    translateMenuItem(root->Items(i));
}

void TLangCache::translateMenuItem(TMenuItem* Item) {
  if (Item->Tag != 0) Item->SetCaption(GetText(Item->Tag));
  for (int i = 0; i < Item->Count(); ++i)
    translateMenuItem(Item->Items(i));
}

} // namespace uKVModuleLangCache
