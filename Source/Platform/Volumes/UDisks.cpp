#include "Platform/Volumes/UDisks.h"

#include <gio/gio.h>

#include <map>
#include <memory>
#include <optional>

namespace kv::platform::udisks {

namespace {

constexpr const char* Service = "org.freedesktop.UDisks2";
constexpr const char* Root = "/org/freedesktop/UDisks2";
constexpr const char* BlockIface = "org.freedesktop.UDisks2.Block";
constexpr const char* FsIface = "org.freedesktop.UDisks2.Filesystem";
constexpr const char* DriveIface = "org.freedesktop.UDisks2.Drive";
// Looking costs little; changing a disk may wait for the operator to authorise it, and
// formatting for the disk itself.
constexpr int QueryTimeoutMs = 10000;
constexpr int ChangeTimeoutMs = 10 * 60 * 1000;

struct VariantFree {
  void operator()(GVariant* v) const { g_variant_unref(v); }
};
using Variant = std::unique_ptr<GVariant, VariantFree>;
struct ObjectFree {
  void operator()(GDBusConnection* c) const { g_object_unref(c); }
};
using Connection = std::unique_ptr<GDBusConnection, ObjectFree>;

// Takes over a GError and tells its message without the D-Bus error name in front.
class Error {
public:
  ~Error() {
    if (e_) g_error_free(e_);
  }
  GError** out() { return &e_; }
  explicit operator bool() const { return e_ != nullptr; }
  bool is(const char* dbusName) const {
    if (!e_ || !g_dbus_error_is_remote_error(e_)) return false;
    gchar* name = g_dbus_error_get_remote_error(e_);
    const bool same = name && std::string(name) == dbusName;
    g_free(name);
    return same;
  }
  std::string text() {
    if (!e_) return {};
    g_dbus_error_strip_remote_error(e_);
    return e_->message ? e_->message : "";
  }

private:
  GError* e_ = nullptr;
};

Connection connectBus(std::string& why) {
  Error error;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, error.out());
  if (!address) {
    why = "The disk service cannot be reached: " + error.text();
    return nullptr;
  }
  GDBusConnection* c = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, error.out());
  g_free(address);
  if (!c) why = "The disk service cannot be reached: " + error.text();
  return Connection(c);
}

Variant call(GDBusConnection* c, const std::string& object, const char* iface, const char* method,
             GVariant* args, const char* replyType, bool change, Error& error) {
  GVariant* reply = g_dbus_connection_call_sync(
      c, Service, object.c_str(), iface, method, args, G_VARIANT_TYPE(replyType),
      change ? G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION : G_DBUS_CALL_FLAGS_NONE,
      change ? ChangeTimeoutMs : QueryTimeoutMs, nullptr, error.out());
  return Variant(reply);
}

std::string stringProperty(GVariant* props, const char* name, const GVariantType* type) {
  Variant v(g_variant_lookup_value(props, name, type));
  return v ? g_variant_get_string(v.get(), nullptr) : std::string();
}

// A byte string of the service (a path), without the zero bytes that end it.
std::string byteString(GVariant* bytes) {
  gsize n = 0;
  const auto* data = static_cast<const char*>(g_variant_get_fixed_array(bytes, &n, 1));
  std::string s(data ? data : "", data ? n : 0);
  while (!s.empty() && s.back() == '\0')
    s.pop_back();
  return s;
}

struct Filesystem {
  std::string object; // the block device object that carries it
  std::vector<std::string> mountPoints;
  std::string label;
  std::string drive;
};

struct Objects {
  std::vector<Filesystem> filesystems;
  std::map<std::string, bool> mediaRemovable; // by drive object
};

std::optional<Objects> readObjects(GDBusConnection* c, std::string& why) {
  Error error;
  Variant reply = call(c, Root, "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", nullptr,
                       "(a{oa{sa{sv}}})", false, error);
  if (!reply) {
    why = "The disk service does not answer: " + error.text();
    return std::nullopt;
  }
  Objects out;
  Variant all(g_variant_get_child_value(reply.get(), 0));
  GVariantIter it;
  g_variant_iter_init(&it, all.get());
  const gchar* path = nullptr;
  GVariant* ifaces = nullptr;
  while (g_variant_iter_next(&it, "{&o@a{sa{sv}}}", &path, &ifaces)) {
    Variant own(ifaces);
    const GVariantType* props = G_VARIANT_TYPE("a{sv}");
    if (Variant drive{g_variant_lookup_value(ifaces, DriveIface, props)}) {
      // A USB stick is a removable drive with media that stay in it; a card reader's media
      // come out of the drive. Either is what the operator takes out and puts in.
      bool removable = false;
      for (const char* flag : {"Removable", "MediaRemovable"}) {
        Variant v(g_variant_lookup_value(drive.get(), flag, G_VARIANT_TYPE_BOOLEAN));
        removable = removable || (v && g_variant_get_boolean(v.get()));
      }
      out.mediaRemovable[path] = removable;
    }
    Variant fs(g_variant_lookup_value(ifaces, FsIface, props));
    Variant block(g_variant_lookup_value(ifaces, BlockIface, props));
    if (!fs || !block) continue;
    Filesystem f;
    f.object = path;
    f.label = stringProperty(block.get(), "IdLabel", G_VARIANT_TYPE_STRING);
    f.drive = stringProperty(block.get(), "Drive", G_VARIANT_TYPE_OBJECT_PATH);
    if (Variant points{g_variant_lookup_value(fs.get(), "MountPoints", G_VARIANT_TYPE("aay"))}) {
      for (gsize i = 0; i < g_variant_n_children(points.get()); ++i) {
        Variant point(g_variant_get_child_value(points.get(), i));
        f.mountPoints.push_back(byteString(point.get()));
      }
    }
    out.filesystems.push_back(std::move(f));
  }
  return out;
}

// The filesystem mounted at mountPoint; why tells when there is none.
std::optional<Filesystem> mountedAt(GDBusConnection* c, const std::string& mountPoint, std::string& why) {
  const auto objects = readObjects(c, why);
  if (!objects) return std::nullopt;
  for (const auto& f : objects->filesystems)
    for (const auto& p : f.mountPoints)
      if (p == mountPoint) return f;
  why = "The disk service has no volume mounted at " + mountPoint;
  return std::nullopt;
}

GVariant* noOptions() { return g_variant_new("(a{sv})", nullptr); }

} // namespace

std::vector<MountedVolume> mountedVolumes() {
  std::string why;
  Connection c = connectBus(why);
  if (!c) return {};
  const auto objects = readObjects(c.get(), why);
  if (!objects) return {};
  std::vector<MountedVolume> out;
  for (const auto& f : objects->filesystems) {
    const auto drive = objects->mediaRemovable.find(f.drive);
    const bool removable = drive != objects->mediaRemovable.end() && drive->second;
    for (const auto& p : f.mountPoints)
      out.push_back({p, f.label, removable});
  }
  return out;
}

std::optional<std::string> removableVolume(const std::string& preferred, std::string& why) {
  Connection c = connectBus(why);
  if (!c) return std::nullopt;
  const auto objects = readObjects(c.get(), why);
  if (!objects) return std::nullopt;
  std::vector<const Filesystem*> removable;
  for (const auto& f : objects->filesystems) {
    const auto drive = objects->mediaRemovable.find(f.drive);
    if (drive != objects->mediaRemovable.end() && drive->second) removable.push_back(&f);
  }
  for (const Filesystem* f : removable)
    for (const auto& p : f->mountPoints)
      if (p == preferred) return p;
  for (const Filesystem* f : removable)
    if (!f->mountPoints.empty()) return f->mountPoints.front();
  // A desktop that does not mount what is put in: the service mounts it where it mounts disks.
  for (const Filesystem* f : removable) {
    Error error;
    Variant mounted = call(c.get(), f->object, FsIface, "Mount", noOptions(), "(s)", true, error);
    if (!mounted) {
      why = "The disk service did not mount " + f->label + ": " + error.text();
      continue;
    }
    Variant path(g_variant_get_child_value(mounted.get(), 0));
    return std::string(g_variant_get_string(path.get(), nullptr));
  }
  why = "No removable disk is in";
  return std::nullopt;
}

bool setLabel(const std::string& mountPoint, const std::string& label, std::string& why) {
  Connection c = connectBus(why);
  if (!c) return false;
  const auto fs = mountedAt(c.get(), mountPoint, why);
  if (!fs) return false;
  Error error;
  if (!call(c.get(), fs->object, FsIface, "SetLabel", g_variant_new("(sa{sv})", label.c_str(), nullptr), "()",
            true, error)) {
    why = "The disk service did not label " + mountPoint + ": " + error.text();
    return false;
  }
  return true;
}

FormatResult format(const std::string& mountPoint, std::string& why) {
  Connection c = connectBus(why);
  if (!c) return FormatResult::Refused;
  const auto fs = mountedAt(c.get(), mountPoint, why);
  if (!fs) return FormatResult::Refused;
  const char* const notFormatted = "The disk service did not format ";
  Error error;
  // A mounted filesystem cannot be formatted; nothing is lost while the unmounting is refused.
  if (!call(c.get(), fs->object, FsIface, "Unmount", noOptions(), "()", true, error)) {
    why = notFormatted + mountPoint + ": " + error.text();
    return error.is("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed") ? FormatResult::Cancelled
                                                                            : FormatResult::Refused;
  }
  // The desktop mounts a disk at a place named after its label: keeping the label brings
  // the formatted disk back where the caller expects it.
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&options, "{sv}", "label", g_variant_new_string(fs->label.c_str()));
  Error formatError;
  const bool formatted =
      static_cast<bool>(call(c.get(), fs->object, BlockIface, "Format",
                             g_variant_new("(sa{sv})", "vfat", &options), "()", true, formatError));
  Error mountError;
  Variant mounted = call(c.get(), fs->object, FsIface, "Mount", noOptions(), "(s)", true, mountError);
  std::string now;
  if (mounted) {
    Variant path(g_variant_get_child_value(mounted.get(), 0));
    now = g_variant_get_string(path.get(), nullptr);
  }
  if (!formatted) {
    why = notFormatted + mountPoint + ": " + formatError.text();
    // Still mounted where it was: the disk is as it was, and the caller may erase it instead.
    if (now == mountPoint)
      return formatError.is("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed") ? FormatResult::Cancelled
                                                                                    : FormatResult::Refused;
    return FormatResult::Failed;
  }
  if (!mounted) {
    why = "The disk service formatted " + mountPoint + " but did not mount it again: " + mountError.text();
    return FormatResult::Failed;
  }
  if (now != mountPoint) {
    why = "The disk service formatted " + mountPoint + " and mounted it again at " + now;
    return FormatResult::Failed;
  }
  return FormatResult::Done;
}

} // namespace kv::platform::udisks
