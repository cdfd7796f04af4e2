// A fresh class library for each test: a virtual clock at tick 0, a headless presenter and
// no windows.
#pragma once

#include "Platform/Rtl/SysUtils.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/RasterSurface.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace kvtest {

class UiTest : public ::testing::Test {
protected:
  void SetUp() override {
    kv::platform::ResetApplication();
    previousClock_ = kv::platform::setClock(std::make_unique<kv::platform::VirtualClock>(45000.0, 0));
    auto p = std::make_unique<kv::platform::HeadlessPresenter>();
    presenter = p.get();
    kv::platform::Application().SetPresenter(std::move(p));
    kv::platform::Application().Initialize();
  }
  void TearDown() override {
    kv::platform::ResetApplication();
    kv::platform::setClock(std::move(previousClock_));
  }
  static uint64_t tick() { return kv::platform::GetTickCount(); }

  kv::platform::HeadlessPresenter* presenter = nullptr;

private:
  std::unique_ptr<kv::platform::Clock> previousClock_;
};

// The same with every window drawing into a raster surface, for tests that read its pixels.
class RasterUiTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    kv::platform::SetSurfaceFactory(&kv::platform::RasterSurface::make);
  }
  void TearDown() override {
    kv::platform::SetSurfaceFactory(nullptr);
    UiTest::TearDown();
  }
};

// Runs a unit's Register routine on an empty palette and checks what it put there: the named
// classes in this order, each on the given page. The palette is left empty again.
inline void expectPalette(void (*Register)(), const std::string& page,
                          std::initializer_list<std::string> classNames) {
  kv::platform::ClearPalette();
  Register();
  const std::vector<kv::platform::TPaletteEntry> entries = kv::platform::PaletteEntries();
  kv::platform::ClearPalette();
  ASSERT_EQ(entries.size(), classNames.size());
  auto name = classNames.begin();
  for (const kv::platform::TPaletteEntry& e : entries) {
    EXPECT_EQ(e.Page, page) << e.ClassName;
    EXPECT_EQ(e.ClassName, *name++);
  }
}

} // namespace kvtest
