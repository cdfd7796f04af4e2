// A module's user-interface texts in the user's language: one language of the module is
// read from the product's language table into a red-black tree, texts are looked up by
// number, and whole forms and menus are translated through the text numbers that their
// controls carry in Tag.
#pragma once

#include "KVLibExport.h"
#include "Platform/Rtl/Classes.h"
#include "uKVrbtree.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kv::platform {
class TWinControl;
class TControl;
class TMenu;
class TMenuItem;
} // namespace kv::platform

namespace uKVModuleLangCache {

// One cached text, ordered by its number.
class KVLIB_API TBegriff : public uKVrbtree::TRBTreeData {
public:
  TBegriff(int32_t ID, std::string Text, int32_t Laufweite);
  std::string ClassName() const override { return "TBegriff"; }
  int32_t Compare(uKVrbtree::TRBTreeData* Other) override;

  int32_t ID = 0;
  std::string Text;
  int32_t Laufweite = 0; // 0 for every loaded entry
};

class KVLIB_API TLangCache : public kv::platform::TObject {
public:
  // Loads nothing: texts come with the first SetLanguage.
  TLangCache(int32_t ModuleID, std::string Database);
  ~TLangCache() override;
  TLangCache(const TLangCache&) = delete;
  TLangCache& operator=(const TLangCache&) = delete;
  std::string ClassName() const override { return "TLangCache"; }

  // Replaces every cached text with those of language Lang for ModuleID. Database errors
  // pass through; the texts read before one stay.
  void SetLanguage(int32_t Lang);
  // Languages are numbers; a name is accepted and changes nothing.
  void SetLanguage(const std::string& Lang);
  // Both take effect at the next SetLanguage.
  void SetDatabase(const std::string& Value);
  void SetModuleID(const int32_t Value);

  // The text of number ID, or "## ID ##" when the language has none.
  std::string GetText(int32_t ID);
  int32_t GetLaufweite(int32_t ID);

  // Sets the texts of Root and of every control below it that carries a text number.
  void TranslateControls(kv::platform::TWinControl* Root);

  // Sets the captions of a menu's items (not of its root item) that carry a text number;
  // a main menu and a popup menu alike.
  void TranslateMenu(kv::platform::TMenu* Menu);

  int32_t ModuleID = 0;
  std::unique_ptr<TBegriff> Probe;
  std::string Database;
  std::unique_ptr<uKVrbtree::TRBTree> Tree;
  int32_t Language = 0;

private:
  KVLIB_LOCAL void translateMenuItem(kv::platform::TMenuItem* Item);
  KVLIB_LOCAL void translateControl(kv::platform::TControl* C);
};

} // namespace uKVModuleLangCache
