#include "Platform/Ui/GtkPresenter.h"

#include "Platform/Rtl/SysUtils.h"
#include "Platform/Ui/Compose.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/GtkKeys.h"
#include "Platform/Ui/RasterSurface.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#endif

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kv::platform {

namespace {

bool haveDisplayVariable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* v = std::getenv(name); v && *v) return true;
  return false;
}

// GTK starts once per process; a failed start is not tried again.
bool startGtk() {
  static const bool started = [] {
    // The process keeps the locale it has: numbers and dates are formatted by our own rules.
    gtk_disable_setlocale();
    if (gtk_init_check(nullptr, nullptr) == FALSE) return false;
#ifdef GDK_WINDOWING_X11
    // Another client may destroy one of our windows (a desktop's kill, xdotool windowclose).
    // Until that news reaches us, drawing on the window fails with BadDrawable or BadWindow,
    // and GDK ends the program on any X error it did not trap. The destruction itself comes
    // next and closes the form, so the program traps them all for its whole life: an X error
    // costs at most a picture, never the work in hand. Traps of their own within it still get
    // their errors.
    if (GdkDisplay* display = gdk_display_get_default(); GDK_IS_X11_DISPLAY(display))
      gdk_x11_display_error_trap_push(display);
#endif
    return true;
  }();
  return started;
}

constexpr guint64 pollInterval = 16; // ms between screen updates while the program works

} // namespace

// One shown top-level window and its GTK window.
struct NativeWindow {
  GtkPresenter::Impl* owner = nullptr;
  HWND hwnd = 0;
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  cairo_surface_t* pixels = nullptr;
  bool dirty = true;
  bool mapped = false;
  bool decorated = false;
  bool resizable = false;
  TPoint offset{0, 0}; // the part of the class library's window that the GTK window shows
  TSize size{0, 0};
  TPoint place{INT32_MIN, INT32_MIN};
  TSize requested{-1, -1}; // the size last asked of GTK, until GTK gives it
  std::string title;
  HWND transientFor = 0;
  bool titleSet = false;
};

struct GtkPresenter::Impl {
  std::map<HWND, std::unique_ptr<NativeWindow>> windows;
  uint64_t inputs = 0;                         // input queued from the desktop so far
  std::vector<std::function<void()>> deferred; // class library calls that wait for GTK to return
  HWND lastActive = 0;
  guint64 lastFlush = 0;
  TSize screen{1024, 768};

  ~Impl() {
    for (auto& [h, w] : windows)
      release(*w);
  }

  static void release(NativeWindow& w) {
    // Cleared first, so that the destroy signal knows the window goes at our wish.
    GtkWidget* window = w.window;
    w.window = w.area = nullptr;
    if (window) gtk_widget_destroy(window);
    if (w.pixels) cairo_surface_destroy(w.pixels);
    w.pixels = nullptr;
  }

  NativeWindow* find(HWND h) {
    auto it = windows.find(h);
    return it == windows.end() ? nullptr : it->second.get();
  }

  void queued() { ++inputs; }

  // The class library's screen point of a point in the GTK window.
  static TPoint toScreen(const NativeWindow& w, double x, double y) {
    TRect r;
    GetWindowRect(w.hwnd, &r);
    return TPoint{r.Left + w.offset.X + static_cast<int>(x), r.Top + w.offset.Y + static_cast<int>(y)};
  }

  NativeWindow& create(HWND h) {
    auto w = std::make_unique<NativeWindow>();
    w->owner = this;
    w->hwnd = h;
    build(*w);
    NativeWindow* raw = w.get();
    windows[h] = std::move(w);
    return *raw;
  }

  // Makes the GTK window of w (again, when the desktop destroyed the last one).
  static void build(NativeWindow& nw) {
    NativeWindow* w = &nw;
    w->mapped = false;
    w->size = TSize{0, 0};
    w->place = TPoint{INT32_MIN, INT32_MIN};
    w->requested = TSize{-1, -1};
    w->titleSet = false;
    w->transientFor = 0;
    w->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    // The client area stands where the class library puts it, whatever frame the desktop adds.
    gtk_window_set_gravity(GTK_WINDOW(w->window), GDK_GRAVITY_STATIC);
    w->area = gtk_drawing_area_new();
    gtk_widget_set_can_focus(w->area, TRUE);
    gtk_widget_add_events(w->area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_SCROLL_MASK);
    gtk_widget_add_events(w->window, GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK);
    gtk_container_add(GTK_CONTAINER(w->window), w->area);
    NativeWindow* raw = w;
    g_signal_connect(w->area, "draw", G_CALLBACK(onDraw), raw);
    g_signal_connect(w->area, "motion-notify-event", G_CALLBACK(onMotion), raw);
    g_signal_connect(w->area, "button-press-event", G_CALLBACK(onButton), raw);
    g_signal_connect(w->area, "button-release-event", G_CALLBACK(onButton), raw);
    g_signal_connect(w->area, "scroll-event", G_CALLBACK(onScroll), raw);
    g_signal_connect(w->area, "size-allocate", G_CALLBACK(onAllocate), raw);
    g_signal_connect(w->window, "key-press-event", G_CALLBACK(onKey), raw);
    g_signal_connect(w->window, "key-release-event", G_CALLBACK(onKey), raw);
    g_signal_connect(w->window, "focus-in-event", G_CALLBACK(onFocusIn), raw);
    g_signal_connect(w->window, "delete-event", G_CALLBACK(onDelete), raw);
    g_signal_connect(w->window, "destroy", G_CALLBACK(onDestroy), raw);
  }

  // Brings every changed window on screen up to date with the class library.
  void flush() {
    lastFlush = g_get_monotonic_time() / 1000;
    for (auto it = windows.begin(); it != windows.end();) {
      NativeWindow& w = *it->second;
      if (!IsWindow(w.hwnd)) {
        release(w);
        it = windows.erase(it);
        continue;
      }
      if (w.dirty) update(w);
      ++it;
    }
    // The desktop follows the class library's active window, so that its keyboard input goes
    // where the class library expects it.
    const HWND active = GetActiveWindow();
    if (active != lastActive) {
      lastActive = active;
      if (NativeWindow* w = find(active); w && w->mapped && !gtk_window_is_active(GTK_WINDOW(w->window)))
        gtk_window_present(GTK_WINDOW(w->window));
    }
  }

  void update(NativeWindow& w) {
    w.dirty = false;
    const uint32_t style = static_cast<uint32_t>(GetWindowLong(w.hwnd, GWL_STYLE));
    if (!(style & WS_VISIBLE)) {
      if (w.mapped) gtk_widget_hide(w.window);
      w.mapped = false;
      return;
    }
    TRect rect, client;
    GetWindowRect(w.hwnd, &rect);
    GetClientRect(w.hwnd, &client);
    if (!w.window) build(w);
    const bool decorated = (style & WS_CAPTION) == WS_CAPTION;
    const TPoint offset = decorated ? GetClientOrigin(w.hwnd) : TPoint{0, 0};
    const TSize size =
        decorated ? TSize{client.Width(), client.Height()} : TSize{rect.Width(), rect.Height()};
    const bool resizable = decorated && (style & WS_THICKFRAME);
    GtkWindow* window = GTK_WINDOW(w.window);

    if (!w.mapped || decorated != w.decorated) gtk_window_set_decorated(window, decorated);
    if (!w.mapped || resizable != w.resizable) gtk_window_set_resizable(window, resizable);
    w.decorated = decorated;
    w.resizable = resizable;
    w.offset = offset;
    if (!(size == w.size) || !w.mapped) {
      w.size = size;
      const int cx = std::max(1, size.cx), cy = std::max(1, size.cy);
      // A window that the user may not resize is exactly as large as its pixels; one that he
      // may is asked for its size and can be made smaller or larger.
      if (resizable)
        gtk_widget_set_size_request(w.area, 1, 1);
      else
        gtk_widget_set_size_request(w.area, cx, cy);
      gtk_window_resize(window, cx, cy);
      w.requested = TSize{cx, cy};
    }
    const TPoint place{rect.Left + offset.X, rect.Top + offset.Y};
    if (!(place == w.place)) {
      w.place = place;
      gtk_window_move(window, place.X, place.Y);
    }
    const std::string title = GetWindowText(w.hwnd);
    if (!w.titleSet || title != w.title) {
      w.title = title;
      w.titleSet = true;
      gtk_window_set_title(window, title.c_str());
    }
    // An owned window (a dialog of a form) stays above its owner on the desktop.
    const HWND owner = GetParent(w.hwnd);
    if (owner != w.transientFor) {
      w.transientFor = owner;
      NativeWindow* o = find(owner);
      gtk_window_set_transient_for(window, o ? GTK_WINDOW(o->window) : nullptr);
    }
    paint(w);
    if (!w.mapped) {
      gtk_widget_show_all(w.window);
      w.mapped = true;
    }
  }

  // Copies the shown part of the window's composed picture into the GTK window's pixels.
  static void paint(NativeWindow& w) {
    const Raster picture = ComposeWindow(w.hwnd);
    const int cx = std::max(1, w.size.cx), cy = std::max(1, w.size.cy);
    if (!w.pixels || cairo_image_surface_get_width(w.pixels) != cx ||
        cairo_image_surface_get_height(w.pixels) != cy) {
      if (w.pixels) cairo_surface_destroy(w.pixels);
      w.pixels = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cx, cy);
    }
    cairo_surface_flush(w.pixels);
    unsigned char* data = cairo_image_surface_get_data(w.pixels);
    const int stride = cairo_image_surface_get_stride(w.pixels);
    const TColor32 face = toColor32(clBtnFace);
    // Cairo's pixels are 32-bit words $xxRRGGBB in native order, as our raster's are.
    for (int y = 0; y < cy; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
      for (int x = 0; x < cx; ++x) {
        const int sx = x + w.offset.X, sy = y + w.offset.Y;
        row[x] = (sx < picture.width() && sy < picture.height()) ? picture.row(sy)[sx] : face;
      }
    }
    cairo_surface_mark_dirty(w.pixels);
    gtk_widget_queue_draw(w.area);
  }

  // ---- GTK's signals: input is queued for the class library, never handled here.

  static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* w = static_cast<NativeWindow*>(data);
    if (w->pixels) {
      cairo_set_source_surface(cr, w->pixels, 0, 0);
      cairo_paint(cr);
    }
    return TRUE;
  }

  static gboolean onMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
    auto* w = static_cast<NativeWindow*>(data);
    QueueMouseInput(WM_MOUSEMOVE, toScreen(*w, e->x, e->y));
    w->owner->queued();
    return TRUE;
  }

  static gboolean onButton(GtkWidget*, GdkEventButton* e, gpointer data) {
    auto* w = static_cast<NativeWindow*>(data);
    // The window system makes double clicks itself from the button downs, by its own rules.
    if (e->type != GDK_BUTTON_PRESS && e->type != GDK_BUTTON_RELEASE) return TRUE;
    const bool down = e->type == GDK_BUTTON_PRESS;
    UINT msg = 0;
    switch (e->button) {
    case 1:
      msg = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      break;
    case 2:
      msg = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
      break;
    case 3:
      msg = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
      break;
    default:
      return TRUE;
    }
    QueueMouseInput(msg, toScreen(*w, e->x, e->y));
    w->owner->queued();
    return TRUE;
  }

  static gboolean onScroll(GtkWidget*, GdkEventScroll* e, gpointer data) {
    auto* w = static_cast<NativeWindow*>(data);
    int delta = 0;
    if (e->direction == GDK_SCROLL_UP)
      delta = 120;
    else if (e->direction == GDK_SCROLL_DOWN)
      delta = -120;
    if (!delta) return TRUE;
    QueueMouseInput(WM_MOUSEWHEEL, toScreen(*w, e->x, e->y), delta);
    w->owner->queued();
    return TRUE;
  }

  static gboolean onKey(GtkWidget*, GdkEventKey* e, gpointer data) {
    auto* w = static_cast<NativeWindow*>(data);
    const bool down = e->type == GDK_KEY_PRESS;
    // The virtual key is the key's unshifted meaning in the active layout, as on Windows.
    GdkKeymap* keymap = gdk_keymap_get_for_display(gtk_widget_get_display(w->window));
    auto keyvalAt = [&](GdkModifierType state) {
      guint kv = 0;
      if (!gdk_keymap_translate_keyboard_state(keymap, e->hardware_keycode, state, e->group, &kv, nullptr,
                                               nullptr, nullptr))
        return e->keyval;
      return kv;
    };
    const auto numLock = static_cast<GdkModifierType>(e->state & GDK_MOD2_MASK);
    int vk = VirtualKeyOfKeyval(keyvalAt(numLock));
    if (!vk) {
      // Layouts with symbols on the digit keys' first level still have digit keys.
      const int shifted =
          VirtualKeyOfKeyval(keyvalAt(static_cast<GdkModifierType>(numLock | GDK_SHIFT_MASK)));
      if (shifted >= '0' && shifted <= '9') vk = shifted;
    }
    if (!vk) vk = VirtualKeyOfKeyval(e->keyval);
    const bool alt = (e->state & GDK_MOD1_MASK) || vk == VK_MENU || vk == VK_F10;
    const bool ctrl = e->state & GDK_CONTROL_MASK;
    const UINT msg = alt && !ctrl ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    const std::string typed = (ctrl || alt) ? std::string() : TypedCharacters(e->keyval);
    if (down && !typed.empty())
      QueueKeyInput(msg, vk, typed);
    else if (vk)
      QueueKeyInput(msg, vk);
    else
      return TRUE;
    w->owner->queued();
    return TRUE;
  }

  static gboolean onFocusIn(GtkWidget*, GdkEventFocus*, gpointer data) {
    auto* w = static_cast<NativeWindow*>(data);
    const HWND h = w->hwnd;
    w->owner->deferred.push_back([h] {
      if (IsWindow(h) && IsWindowEnabled(h) && IsWindowVisible(h) && GetActiveWindow() != h)
        SetActiveWindow(h);
    });
    w->owner->lastActive = h;
    return FALSE;
  }

  static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* w = static_cast<NativeWindow*>(data);
    // The class library decides whether the window closes (OnCloseQuery, OnClose).
    PostMessage(w->hwnd, WM_CLOSE, 0, 0);
    w->owner->queued();
    return TRUE;
  }

  static void onDestroy(GtkWidget*, gpointer data) {
    auto* w = static_cast<NativeWindow*>(data);
    if (!w->window) return; // released by us
    // The desktop destroyed the window (a window manager's or xdotool's kill of the X window):
    // for the class library that is a close request, as GTK treats it for top-level windows. A
    // window that stays open gets a new GTK window at the next update.
    w->window = w->area = nullptr;
    w->mapped = false;
    w->dirty = true;
    PostMessage(w->hwnd, WM_CLOSE, 0, 0);
    w->owner->queued();
  }

  static void onAllocate(GtkWidget*, GdkRectangle* a, gpointer data) {
    auto* w = static_cast<NativeWindow*>(data);
    if (!w->resizable) return;
    const TSize got{a->width, a->height};
    if (got == w->requested) {
      w->requested = TSize{-1, -1};
      return;
    }
    if (w->requested.cx >= 0 || got == w->size) return; // ours still on its way, or nothing new
    // The user resized the window on the desktop: the class library's window follows.
    const HWND h = w->hwnd;
    w->owner->deferred.push_back([h, got] {
      TRect rect, client;
      if (!GetWindowRect(h, &rect) || !GetClientRect(h, &client)) return;
      const int frameX = rect.Width() - client.Width(), frameY = rect.Height() - client.Height();
      SetWindowPos(h, 0, 0, 0, got.cx + frameX, got.cy + frameY, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    });
  }

  // Runs what GTK's signals left for the class library; true when there was something.
  bool runDeferred() {
    if (deferred.empty()) return false;
    auto work = std::move(deferred);
    deferred.clear();
    for (auto& f : work)
      f();
    ++inputs;
    return true;
  }

  bool anyShown() const {
    for (const auto& [h, w] : windows)
      if (IsWindow(h) && (GetWindowLong(h, GWL_STYLE) & WS_VISIBLE)) return true;
    return false;
  }
};

GtkPresenter::GtkPresenter() : impl_(std::make_unique<Impl>()) {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (monitor) {
    GdkRectangle g;
    gdk_monitor_get_geometry(monitor, &g);
    impl_->screen = TSize{g.width, g.height};
  }
}

GtkPresenter::~GtkPresenter() {
  impl_.reset();
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

std::unique_ptr<GtkPresenter> GtkPresenter::open() {
  if (!haveDisplayVariable() || !startGtk()) return nullptr;
  return std::unique_ptr<GtkPresenter>(new GtkPresenter());
}

void GtkPresenter::windowShown(HWND Wnd) {
  NativeWindow* w = impl_->find(Wnd);
  if (!w) w = &impl_->create(Wnd);
  w->dirty = true;
}

void GtkPresenter::windowHidden(HWND Wnd) {
  if (NativeWindow* w = impl_->find(Wnd)) w->dirty = true;
}

void GtkPresenter::windowChanged(HWND Wnd) {
  if (NativeWindow* w = impl_->find(Wnd)) w->dirty = true;
}

void GtkPresenter::windowDestroyed(HWND Wnd) {
  auto it = impl_->windows.find(Wnd);
  if (it == impl_->windows.end()) return;
  Impl::release(*it->second);
  impl_->windows.erase(it);
}

TSize GtkPresenter::screenSize() const { return impl_->screen; }

void* GtkPresenter::nativeWindow(HWND Wnd) const {
  NativeWindow* w = impl_->find(Wnd);
  return w ? w->window : nullptr;
}

void GtkPresenter::pollInput() {
  // Work that only lets pending messages run still gets a live window, but the screen is
  // brought up to date no more often than it can show.
  const guint64 now = g_get_monotonic_time() / 1000;
  if (now - impl_->lastFlush >= pollInterval) impl_->flush();
  for (int i = 0; i < 64 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
  impl_->runDeferred();
}

bool GtkPresenter::waitForInput(std::optional<uint64_t> Deadline) {
  Impl& d = *impl_;
  d.flush();
  const uint64_t before = d.inputs;
  if (currentClock().isVirtual() && Deadline) {
    // A virtual clock does not move while GTK waits: take what is there and jump.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    d.runDeferred();
    d.flush();
    if (d.inputs == before) currentClock().sleepUntil(*Deadline);
    return true;
  }
  while (d.inputs == before) {
    if (!Deadline && !d.anyShown()) return false;
    guint source = 0;
    bool timedOut = false;
    if (Deadline) {
      const uint64_t now = currentClock().tickCount();
      if (now >= *Deadline) return true;
      source = g_timeout_add(
          static_cast<guint>(std::min<uint64_t>(*Deadline - now, G_MAXUINT)),
          [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
          },
          &timedOut);
    }
    g_main_context_iteration(nullptr, TRUE);
    if (source && !timedOut) g_source_remove(source);
    d.runDeferred();
    d.flush();
    if (timedOut) return true;
  }
  return true;
}

namespace {

uint64_t desktopIdOf(GtkWidget* window) {
#ifdef GDK_WINDOWING_X11
  GdkWindow* g = window ? gtk_widget_get_window(window) : nullptr;
  if (g && GDK_IS_X11_WINDOW(g)) return GDK_WINDOW_XID(g);
#endif
  return 0;
}

#ifdef GDK_WINDOWING_X11
// Whether the X window is a top-level window of that process (GTK and most toolkits name the
// process in _NET_WM_PID): a window id read from elsewhere may be stale, or of another display.
bool x11WindowOfProcess(GdkDisplay* display, ::Window target, uint32_t process) {
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, rest = 0;
  unsigned char* data = nullptr;
  const int status =
      XGetWindowProperty(x, target, gdk_x11_get_xatom_by_name_for_display(display, "_NET_WM_PID"), 0, 1,
                         False, XA_CARDINAL, &type, &format, &count, &rest, &data);
  bool same = false;
  if (status == Success && data && type == XA_CARDINAL && format == 32 && count == 1)
    same = static_cast<uint32_t>(*reinterpret_cast<unsigned long*>(data)) == process;
  if (data) XFree(data);
  return same;
}

bool x11Activate(uint64_t desktopId, uint32_t process) {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display) || desktopId > 0xFFFFFFFFu) return false;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  const auto target = static_cast<::Window>(desktopId);
  GdkScreen* screen = gdk_display_get_default_screen(display);
  gdk_x11_display_error_trap_push(display);
  XWindowAttributes attributes{};
  bool done =
      XGetWindowAttributes(x, target, &attributes) != 0 && x11WindowOfProcess(display, target, process);
  if (done &&
      gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string("_NET_ACTIVE_WINDOW"))) {
    // A window manager decides what comes to the front: it is asked as a pager asks it, on
    // the user's behalf (it restores a minimised window as well).
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = target;
    e.xclient.message_type = gdk_x11_get_xatom_by_name_for_display(display, "_NET_ACTIVE_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;
    e.xclient.data.l[1] = static_cast<long>(CurrentTime);
    XSendEvent(x, GDK_WINDOW_XID(gdk_screen_get_root_window(screen)), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
  } else if (done) {
    // Without one, the window goes on top of the stack of the screen's windows and gets the
    // keyboard: what being in front means on a bare X server. A hidden window stays hidden.
    done = attributes.map_state == IsViewable;
    if (done) {
      XRaiseWindow(x, target);
      XSetInputFocus(x, target, RevertToParent, CurrentTime);
    }
  }
  XSync(x, False);
  return gdk_x11_display_error_trap_pop(display) == 0 && done;
}
#endif

} // namespace

uint64_t GtkPresenter::desktopWindowId(HWND Wnd) {
  HWND top = Wnd;
  while (IsWindow(top) && (GetWindowLong(top, GWL_STYLE) & WS_CHILD) && GetParent(top))
    top = GetParent(top);
  if (!IsWindow(top)) return 0;
  NativeWindow* w = impl_->find(top);
  if (!w) w = &impl_->create(top);
  if (!w->window) Impl::build(*w);
  // Made now, the window keeps its id when it is shown later.
  gtk_widget_realize(w->window);
  return desktopIdOf(w->window);
}

bool GtkPresenter::activateDesktopWindow(uint64_t DesktopId, uint32_t ProcessId) {
  if (!DesktopId) return false;
  for (const auto& [h, w] : impl_->windows)
    if (desktopIdOf(w->window) == DesktopId) {
      if (!w->mapped) return false;
      gtk_window_present(GTK_WINDOW(w->window));
      return true;
    }
#ifdef GDK_WINDOWING_X11
  return x11Activate(DesktopId, ProcessId);
#else
  return false;
#endif
}

bool UseDesktopIfAvailable() {
  std::unique_ptr<GtkPresenter> desktop = GtkPresenter::open();
  if (!desktop) return false;
  SetSurfaceFactory(&RasterSurface::make);
  Application().SetPresenter(std::move(desktop));
  return true;
}

} // namespace kv::platform
