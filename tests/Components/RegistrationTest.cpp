// The library as the form designer sees it: opened as a module, each component unit's
// Register routine found by its unit's name and called in the package's order, and the
// palette that results; and the same library in plain run-time use, which fills no palette.
#include "DockPanel.h"

#include "Platform/Modules/Modules.h"
#include "Platform/Rtl/TypInfo.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace kv::platform;

namespace {

// What the palette holds right after the library and its units were loaded, before main.
const size_t paletteAtLoad = PaletteEntries().size();

struct UnitRow {
  const char* unit;
  std::vector<const char*> classes;
  const char* page;
};

// The package's units in registration order, with their classes and pages, written out by
// hand. Two units come with their own class library bases and join the table when present.
std::vector<UnitRow> registrationTable() {
  std::vector<UnitRow> rows{
      {"KVWindow", {"TKVWindow"}, "Korvalis"},
      {"DropDownListView", {"TDropDownListView"}, "Korvalis"},
      {"DockPanel", {"TDockPanel"}, "Korvalis"},
      {"Animbtn", {"TAnimBtn"}, "Zus\xC3\xA4tzlich"},
      {"Window", {"TWindow"}, "Korvalis"},
      {"Prnprev", {"TPrintPreview"}, "Eigene"},
      {"ExStringGrid", {"TExStringGrid"}, "Dolvane"},
  };
#if __has_include("PrnRichEdit.h")
  rows.push_back({"PrnRichEdit", {"TPrnRichEdit"}, "Eigene"});
#endif
  rows.push_back({"KVControls",
                  {"TKVCheckBox", "TKVDateTimePicker", "TKVEdit", "TKVRadioButton", "TDensityEdit",
                   "TTempEdit", "TTimedSpeedButton"},
                  "Korvalis"});
#if __has_include("ExtDBGrid.h")
  rows.push_back({"ExtDBGrid", {"TExtDBGrid"}, "Korvalis"});
#endif
  rows.push_back({"VnkSingleInst", {"TVarnekSingleInstance"}, "Korvalis"});
  rows.push_back({"KVGeneralPurposeWindow", {"TKVGeneralPurposeWindow"}, "Korvalis"});
  return rows;
}

#if __has_include("ExtDBGrid.h")
constexpr bool kHaveDBGrid = true;
#else
constexpr bool kHaveDBGrid = false;
#endif
#if __has_include("PrnRichEdit.h")
constexpr bool kHaveRichEdit = true;
#else
constexpr bool kHaveRichEdit = false;
#endif
constexpr bool kAllUnitsPresent = kHaveDBGrid && kHaveRichEdit;

class RegistrationTest : public ::testing::Test {
protected:
  void TearDown() override {
    ClearPalette();
    unloadModule(module_);
  }
  ModuleHandle openLibrary() {
    module_ = loadModule((kvtest::buildDir() / "lib" / "libKV3Components.so").string());
    return module_;
  }
  ModuleHandle module_ = nullptr;
};

} // namespace

TEST_F(RegistrationTest, RunTimeUseCallsNoRegisterRoutine) {
  EXPECT_EQ(paletteAtLoad, 0u);
  // An application creates the components by class name from its form files; the classes are
  // known to the class registry from the moment the library is loaded.
  for (const UnitRow& row : registrationTable())
    for (const char* name : row.classes) {
      const TClassInfo* info = GetClass(name);
      ASSERT_NE(info, nullptr) << name;
      ASSERT_TRUE(info->CreateComponent) << name;
    }
  auto* panel = new DockPanel::TDockPanel(nullptr);
  TComponent::Free(panel);
  EXPECT_TRUE(PaletteEntries().empty());
}

TEST_F(RegistrationTest, DesignerFindsEveryRegisterRoutineAndFillsThePalette) {
  ASSERT_NE(openLibrary(), nullptr) << moduleError();
  std::vector<TPaletteEntry> expected;
  for (const UnitRow& row : registrationTable()) {
    const std::string entry = std::string(row.unit) + "_Register";
    auto* reg = reinterpret_cast<void (*)()>(findExport(module_, entry.c_str()));
    ASSERT_NE(reg, nullptr) << entry;
    const size_t before = PaletteEntries().size();
    reg();
    // One palette entry per class, each from its own call, in the unit's order.
    ASSERT_EQ(PaletteEntries().size(), before + row.classes.size()) << row.unit;
    for (const char* name : row.classes)
      expected.push_back(TPaletteEntry{row.page, name});
  }
  const auto& palette = PaletteEntries();
  ASSERT_EQ(palette.size(), expected.size());
  for (size_t i = 0; i < palette.size(); ++i) {
    EXPECT_EQ(palette[i].Page, expected[i].Page) << i;
    EXPECT_EQ(palette[i].ClassName, expected[i].ClassName) << i;
  }

  std::map<std::string, std::vector<std::string>> pages;
  for (const TPaletteEntry& e : palette)
    pages[e.Page].push_back(e.ClassName);
  std::vector<std::string> korvalis{"TKVWindow",    "TDropDownListView", "TDockPanel",       "TWindow",
                                    "TKVCheckBox",  "TKVDateTimePicker", "TKVEdit",          "TKVRadioButton",
                                    "TDensityEdit", "TTempEdit",         "TTimedSpeedButton"};
  if (kHaveDBGrid) korvalis.push_back("TExtDBGrid");
  korvalis.push_back("TVarnekSingleInstance");
  korvalis.push_back("TKVGeneralPurposeWindow");
  std::vector<std::string> eigene{"TPrintPreview"};
  if (kHaveRichEdit) eigene.push_back("TPrnRichEdit");
  if (kAllUnitsPresent) {
    EXPECT_EQ(palette.size(), 18u);
    EXPECT_EQ(korvalis.size(), 14u);
  }
  EXPECT_EQ(pages["Korvalis"], korvalis);
  EXPECT_EQ(pages["Eigene"], eigene);
  EXPECT_EQ(pages["Zus\xC3\xA4tzlich"], std::vector<std::string>{"TAnimBtn"});
  EXPECT_EQ(pages["Dolvane"], std::vector<std::string>{"TExStringGrid"});
  // The page name is the UTF-8 text of the ANSI page name: a-umlaut as two bytes.
  EXPECT_EQ(pages.count("Zus\xE4tzlich"), 0u);
  EXPECT_EQ(pages.size(), 4u);
}

TEST_F(RegistrationTest, UnitsWithoutPaletteComponentsExportNoRegisterRoutine) {
  ASSERT_NE(openLibrary(), nullptr) << moduleError();
  // The font description has no palette component, so no routine of its own; neither does the
  // library as a whole.
  for (const char* entry : {"uExFont_Register", "Register", "KV3Components_Register"})
    EXPECT_EQ(findExport(module_, entry), nullptr) << entry;
}
