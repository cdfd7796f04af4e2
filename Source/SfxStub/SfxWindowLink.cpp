#include "SfxWindowLink.h"

#include "EngineFiles.h"
#include "Platform/Rtl/ScopeExit.h"

#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

// The window part's shared object, built with the stub and placed inside it, compressed.
extern "C" const unsigned char kvSfxWindowImage[];
extern "C" const unsigned char kvSfxWindowImageEnd[];

namespace sfxstub {

namespace pf = kv::platform;

namespace {

// The part is carried compressed (gzip); written out whole, or false with the reason.
bool unpack(const unsigned char* image, size_t size, int fd, std::string& why) {
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
    why = "no memory for the window part";
    return false;
  }
  const kv::platform::ScopeExit end([&z] { inflateEnd(&z); });
  z.next_in = const_cast<unsigned char*>(image);
  z.avail_in = static_cast<uInt>(size);
  std::vector<unsigned char> out(1 << 18);
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    if (!kv::engine::writeAll(fd, out.data(), out.size() - z.avail_out)) {
      why = "cannot write the window part: " + kv::engine::systemErrorText(errno);
      return false;
    }
  }
  if (rc != Z_STREAM_END) why = "the window part is damaged";
  return rc == Z_STREAM_END;
}

// The part is loaded from memory where the system allows it, else from a private temporary
// file that is gone as soon as it is loaded.
void* loadImage(std::string& why) {
  const size_t size = static_cast<size_t>(kvSfxWindowImageEnd - kvSfxWindowImage);
  int fd = memfd_create("sfx-window", MFD_CLOEXEC);
  std::string path;
  if (fd >= 0) {
    path = "/proc/self/fd/" + std::to_string(fd);
  } else {
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/sfx-window-XXXXXX";
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      why = "no room for the window part: " + kv::engine::systemErrorText(errno);
      return nullptr;
    }
    path = name;
  }
  void* handle = nullptr;
  if (unpack(kvSfxWindowImage, size, fd, why)) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) why = dlerror();
  }
  if (path.rfind("/proc/", 0) != 0) unlink(path.c_str());
  close(fd);
  return handle;
}

class PartDialogs : public pf::DialogService {
public:
  explicit PartDialogs(const KvSfxWindow& w) : w_(w) {}
  int messageBox(const pf::MessageBoxRequest& r) override {
    return w_.messageBox(w_.self, r.text.c_str(), r.caption.c_str(), r.flags);
  }
  pf::TModalResult messageDialog(const pf::MessageDialogRequest& r) override {
    // The ids of a message box are the modal results of the same buttons.
    const bool yesNo = r.buttons.Contains(pf::TMsgDlgBtn::mbYes) && r.buttons.Contains(pf::TMsgDlgBtn::mbNo);
    const bool cancel = r.buttons.Contains(pf::TMsgDlgBtn::mbCancel);
    return messageBox({r.text, r.caption, yesNo ? pf::mb::YESNO : cancel ? pf::mb::OKCANCEL : pf::mb::OK});
  }
  pf::PasswordReply password(const pf::PasswordRequest& r) override {
    const char* answer = w_.password(w_.self, r.caption.c_str(), r.prompt.c_str());
    if (!answer) return {pf::mrCancel, {}};
    return {pf::mrOk, answer};
  }
  std::optional<std::string> fileDialog(const pf::FileDialogRequest&) override { return std::nullopt; }
  void exceptionBox(const std::string& caption, const std::string& message) override {
    messageBox({message, caption, pf::mb::OK | pf::mb::ICONERROR});
  }

private:
  const KvSfxWindow& w_;
};

} // namespace

std::unique_ptr<WindowPart> WindowPart::open(std::string& why) {
  void* handle = loadImage(why);
  if (!handle) return nullptr;
  // The part stays loaded to the end of the program: its windows' code must outlive them.
  const auto openPart = reinterpret_cast<KvSfxWindowOpenFunction>(dlsym(handle, KV_SFX_WINDOW_OPEN));
  std::unique_ptr<WindowPart> part(new WindowPart);
  if (!openPart || !openPart(KV_SFX_WINDOW_VERSION, &part->table_)) {
    why = "the display cannot be reached";
    return nullptr;
  }
  return part;
}

WindowPart::~WindowPart() {
  if (table_.close) table_.close(table_.self);
}

std::unique_ptr<pf::DialogService> WindowPart::dialogs() const {
  return std::make_unique<PartDialogs>(table_);
}

} // namespace sfxstub
