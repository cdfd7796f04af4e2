#include "Platform/Ui/GtkFileChooser.h"

#include "Platform/Ui/GtkPresenter.h"

#include <gtk/gtk.h>

#include <cctype>
#include <filesystem>

namespace kv::platform {

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

GtkPresenter* desktop() { return dynamic_cast<GtkPresenter*>(GetPresenter()); }

} // namespace

std::vector<std::pair<std::string, std::vector<std::string>>> ParseFileFilter(const std::string& Filter) {
  std::vector<std::pair<std::string, std::vector<std::string>>> filters;
  if (Filter.empty()) return filters;
  const std::vector<std::string> parts = split(Filter, '|');
  // A name without its patterns at the end is left out.
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::vector<std::string> patterns;
    for (const std::string& p : split(parts[i + 1], ';'))
      if (!trim(p).empty()) patterns.push_back(trim(p));
    if (!patterns.empty()) filters.emplace_back(parts[i], patterns);
  }
  return filters;
}

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

std::string WithDefaultExtension(const std::string& Path, const std::string& Ext) {
  std::string ext = Ext;
  while (!ext.empty() && ext.front() == '.')
    ext.erase(ext.begin());
  if (ext.empty()) return Path;
  const size_t slash = Path.find_last_of('/');
  const std::string base = slash == std::string::npos ? Path : Path.substr(slash + 1);
  if (base.empty() || base.find('.') != std::string::npos) return Path;
  return Path + "." + ext;
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
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(dialog), 640, 440);
  gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, save && Request.overwritePrompt);

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

  std::optional<std::string> chosen;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* file = gtk_file_chooser_get_filename(chooser)) {
      chosen = WithDefaultExtension(file, Request.defaultExt);
      g_free(file);
    }
  }
  gtk_widget_destroy(dialog);
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  return chosen;
}

} // namespace kv::platform
