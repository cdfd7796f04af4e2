#include "Platform/Ui/GtkFileChooser.h"

#include "Platform/Ui/CommonDialogs.h"
#include "Platform/Ui/GtkPresenter.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>

namespace kv::platform {

namespace {

GtkPresenter* desktop() { return dynamic_cast<GtkPresenter*>(GetPresenter()); }

// The chooser takes the size it last had, else one of its own that may be larger than the
// screen, as it appears: then it gets ours instead, within the screen, centred over its parent.
void fitOnScreen(GtkWidget* chooser, gpointer) {
  GdkRectangle area{0, 0, 1024, 768};
  if (GdkMonitor* m =
          gdk_display_get_monitor_at_window(gtk_widget_get_display(chooser), gtk_widget_get_window(chooser)))
    gdk_monitor_get_workarea(m, &area);
  int width = 0, height = 0;
  gtk_window_get_size(GTK_WINDOW(chooser), &width, &height);
  if (width <= area.width && height <= area.height) return;
  width = std::min(640, area.width * 9 / 10);
  height = std::min(440, area.height * 9 / 10);
  GdkRectangle over = area;
  if (GtkWindow* parent = gtk_window_get_transient_for(GTK_WINDOW(chooser))) {
    gtk_window_get_position(parent, &over.x, &over.y);
    gtk_window_get_size(parent, &over.width, &over.height);
  }
  gtk_window_resize(GTK_WINDOW(chooser), width, height);
  gtk_window_move(GTK_WINDOW(chooser),
                  std::clamp(over.x + (over.width - width) / 2, area.x, area.x + area.width - width),
                  std::clamp(over.y + (over.height - height) / 2, area.y, area.y + area.height - height));
}

// Whether the chooser may take a name that the dialogs' rules checked: a refused one is told,
// and an existing file is replaced only when the user says so, in a message over the chooser.
bool acceptable(GtkWindow* chooser, const ChosenFileCheck& check) {
  if (check.action == ChosenFileCheck::Take) return true;
  const bool ask = check.action == ChosenFileCheck::AskReplace;
  GtkWidget* box =
      gtk_message_dialog_new(chooser, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                             ask ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", check.text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), gtk_window_get_title(chooser));
  const gint answer = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  return ask && answer == GTK_RESPONSE_YES;
}

} // namespace

std::string CaseInsensitivePattern(const std::string& Pattern) {
  if (Pattern == "*.*") return "*";
  std::string out;
  for (const char c : Pattern) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalpha(u)) {
      out += '[';
      out += static_cast<char>(std::tolower(u));
      out += static_cast<char>(std::toupper(u));
      out += ']';
    } else {
      out += c;
    }
  }
  return out;
}

bool DesktopFileChooserAvailable() { return desktop() != nullptr; }

std::optional<std::string> ChooseFileOnDesktop(const FileDialogRequest& Request) {
  GtkPresenter* presenter = desktop();
  if (!presenter) return std::nullopt;
  auto* parent = static_cast<GtkWidget*>(presenter->nativeWindow(GetActiveWindow()));
  const bool save = Request.save && !Request.folder;
  const GtkFileChooserAction action = Request.folder ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER
                                      : save         ? GTK_FILE_CHOOSER_ACTION_SAVE
                                                     : GTK_FILE_CHOOSER_ACTION_OPEN;
  const char* accept = Request.folder ? "_Select" : save ? "_Save" : "_Open";
  GtkWidget* dialog =
      gtk_file_chooser_dialog_new(Request.title.empty() ? (save ? "Save As" : "Open") : Request.title.c_str(),
                                  parent ? GTK_WINDOW(parent) : nullptr, action, "_Cancel",
                                  GTK_RESPONSE_CANCEL, accept, GTK_RESPONSE_ACCEPT, nullptr);
  // Gone however the chooser ends, with what its going leaves for GTK to do.
  const std::unique_ptr<GtkWidget, void (*)(GtkWidget*)> owned(dialog, [](GtkWidget* w) {
    gtk_widget_destroy(w);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  });
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  g_signal_connect(dialog, "map", G_CALLBACK(fitOnScreen), nullptr);
  gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_file_chooser_set_local_only(chooser, TRUE);

  const auto filters = ParseFileFilter(Request.filter);
  for (size_t i = 0; i < filters.size(); ++i) {
    GtkFileFilter* f = gtk_file_filter_new();
    gtk_file_filter_set_name(f, filters[i].first.c_str());
    for (const std::string& p : filters[i].second)
      gtk_file_filter_add_pattern(f, CaseInsensitivePattern(p).c_str());
    gtk_file_chooser_add_filter(chooser, f); // the chooser owns it now
    if (static_cast<int>(i) + 1 == Request.filterIndex) gtk_file_chooser_set_filter(chooser, f);
  }

  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder = Request.initialDir.empty() ? fs::current_path(ec) : fs::absolute(Request.initialDir, ec);
  std::string name = Request.fileName;
  if (const size_t slash = name.find_last_of('/'); slash != std::string::npos) {
    folder = fs::absolute(name.substr(0, slash == 0 ? 1 : slash), ec);
    name = name.substr(slash + 1);
  }
  if (!folder.empty() && fs::is_directory(folder, ec))
    gtk_file_chooser_set_current_folder(chooser, folder.c_str());
  if (!name.empty()) {
    if (save)
      gtk_file_chooser_set_current_name(chooser, name.c_str());
    else if (fs::exists(folder / name, ec))
      gtk_file_chooser_set_filename(chooser, (folder / name).c_str());
  }

  // The chosen name is checked as every dialog of ours checks it, the default extension on (so
  // that the question about replacing a file names the file that would be replaced); after a
  // refusal the chooser shows again as the user left it.
  std::optional<std::string> chosen;
  while (!chosen && gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    gchar* file = gtk_file_chooser_get_filename(chooser);
    if (!file) continue;
    const std::string path = AddDefaultExt(file, Request.defaultExt);
    g_free(file);
    if (acceptable(GTK_WINDOW(dialog), CheckChosenFile(Request, path))) chosen = path;
  }
  return chosen;
}

} // namespace kv::platform
