#include "VnkSingleInst.h"

#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/Presenter.h"

namespace VnkSingleInst {

using namespace kv::platform;

namespace {

TVarnekSingleInstance* guard = nullptr;

// Runs before the component exists, so that a refused second guard never becomes one (and its
// unwinding cannot unregister the first).
TComponent* refuseSecondGuard(TComponent* AOwner) {
  AssertTrue(guard == nullptr, "Only one instance of TVarnekSingleInstance is allowed",
             "Source\\Components\\VnkSingleInst", 101);
  return AOwner;
}

uint32_t readLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void writeLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string fileNamePart(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A guard still there when the library goes is freed with it.
struct Finalization {
  ~Finalization() {
    if (guard) TComponent::Free(guard);
  }
} finalization;

} // namespace

TVarnekSingleInstance* CurrentGuard() { return guard; }

uint32_t ModuleInstance() { return kv::platform::processId(); }

TVarnekSingleInstance::TVarnekSingleInstance(TComponent* AOwner) : TComponent(refuseSecondGuard(AOwner)) {
  guard = this;
}

TVarnekSingleInstance::~TVarnekSingleInstance() {
  mapping_.reset();
  if (guard == this) guard = nullptr;
}

void TVarnekSingleInstance::AlreadyRunning(uint32_t hPrevInst, HWND hPrevWnd) {
  if (OnAlreadyRunning) {
    OnAlreadyRunning(this, hPrevInst, hPrevWnd);
    return;
  }
  SetForegroundWindow(hPrevWnd);
  Application().Terminate();
}

void TVarnekSingleInstance::Loaded() {
  TComponent::Loaded();
  if (IsDesigning()) return;
  const std::string name = fileNamePart(ParamStr(0));
  if (name.empty()) return;
  mapping_ = SharedMemory::CreateOrOpen(name, kBlockSize);
  if (!mapping_) return;
  auto view = mapping_->Map(kBlockSize);
  if (!view) return;
  uint8_t* block = view->Data();
  if (mapping_->AlreadyExisted()) {
    const uint32_t inst = readLE32(block);
    const uint32_t wnd = readLE32(block + 4);
    view.reset();
    AlreadyRunning(inst, ForeignWindowHandle(wnd, inst));
    return;
  }
  writeLE32(block, ModuleInstance());
  for (TComponent* c = Owner(); c; c = c->Owner())
    if (auto* form = dynamic_cast<TForm*>(c)) {
      // Our window handles mean nothing in another process; the desktop's id of the form's
      // real window does (an X11 window id, 32 bits). Without a desktop the block keeps 0.
      const uint64_t wnd = GetPresenter() ? GetPresenter()->desktopWindowId(form->Handle()) : 0;
      writeLE32(block + 4, wnd <= 0xFFFFFFFFu ? static_cast<uint32_t>(wnd) : 0);
      break;
    }
}

const TClassInfo& TVarnekSingleInstance::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TVarnekSingleInstance, TComponent>("TVarnekSingleInstance")
                                     .Event("OnAlreadyRunning", &TVarnekSingleInstance::OnAlreadyRunning)
                                     .Build();
  return info;
}

void Register() { RegisterComponents("Korvalis", {&TVarnekSingleInstance::StaticClassInfo()}); }

namespace {
const bool classesRegistered = (RegisterClasses({&TVarnekSingleInstance::StaticClassInfo()}), true);
} // namespace

} // namespace VnkSingleInst
