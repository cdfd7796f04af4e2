// TVarnekSingleInstance: keeps a program from running twice. When its form is loaded, the guard
// creates a small named shared memory block named after the program's file; the first process
// writes who it is into the block, and a later process that finds the block already there learns
// the first one's main window from it and, unless a handler says otherwise, brings that window to
// the front and ends itself.
//
// The block keeps its 8 bytes, with values that another process can use: at offset 0 the first
// process's id (ModuleInstance), at offset 4 the desktop's id of its form's real window (an X11
// window id; 0 without a form or without a desktop). A later process hands the window on as a
// handle of its own window system (ForeignWindowHandle), which SetForegroundWindow takes.
#pragma once

#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"
#include "Platform/SharedMemory/SharedMemory.h"
#include "Platform/Ui/WinApi.h"

#include <cstdint>
#include <memory>

namespace VnkSingleInst {

using kv::platform::HWND;

using kv::platform::Exception;
KV_DECLARE_EXCEPTION(ESingleInstError, Exception);

using TAlreadyRunningEvent = kv::platform::TEvent<kv::platform::TObject*, uint32_t, HWND>;

// The block: the first process's instance at offset 0, its form's desktop window at offset 4.
inline constexpr std::size_t kBlockSize = 8;

class TVarnekSingleInstance : public kv::platform::TComponent {
  KV_CLASS_INFO(TVarnekSingleInstance)
public:
  // Raises EAssertionFailed when the process has a guard already.
  explicit TVarnekSingleInstance(kv::platform::TComponent* AOwner);
  ~TVarnekSingleInstance() override;

  TAlreadyRunningEvent OnAlreadyRunning;

  void Loaded() override;
  virtual void AlreadyRunning(uint32_t hPrevInst, HWND hPrevWnd);

  // The shared memory block, held while the guard lives (nullptr before Loaded or when none).
  const kv::platform::SharedMemory* Mapping() const { return mapping_.get(); }

private:
  std::unique_ptr<kv::platform::SharedMemory> mapping_;
};

// The guard of this process, or nullptr.
TVarnekSingleInstance* CurrentGuard();
// This library's instance in this process, as the block records it: the process id, since a
// module is loaded into its own process.
uint32_t ModuleInstance();

void Register();

} // namespace VnkSingleInst
