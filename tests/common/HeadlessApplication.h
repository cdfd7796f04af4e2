// A fresh application showing nothing, for fixtures that cannot derive from kvtest::UiTest
// and for tests that start the application again between cases.
#pragma once

#include "Platform/Ui/Forms.h"
#include "Platform/Ui/Presenter.h"

#include <memory>

namespace kvtest {

inline void startHeadlessApplication() {
  kv::platform::ResetApplication();
  kv::platform::Application().SetPresenter(std::make_unique<kv::platform::HeadlessPresenter>());
  kv::platform::Application().Initialize();
}

} // namespace kvtest
