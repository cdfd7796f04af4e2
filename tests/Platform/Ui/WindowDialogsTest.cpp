#include "ControlTestSupport.h"

#include "Platform/Dialogs/ScriptedDialogs.h"
#include "Platform/Ui/CommonDialogs.h"
#include "Platform/Ui/WindowDialogs.h"
#include "TestSupport.h"

using namespace kv::platform;
using namespace kvtest;

namespace {

class WindowDialogsTest : public ControlTest {
protected:
  void SetUp() override {
    ControlTest::SetUp();
    auto s = std::make_unique<ScriptedDialogs>([](const std::string& why) { ADD_FAILURE() << why; });
    scripted = s.get();
    previous_ = setDialogs(std::move(s));
  }
  void TearDown() override {
    EXPECT_TRUE(scripted->done()) << scripted->pending();
    setDialogs(std::move(previous_));
    ControlTest::TearDown();
  }
  // Runs Action once the dialog's modal loop is running, with the dialog form.
  template <class F> void later(F Action) {
    presenter->after(5, [Action] { Action(Screen().ActiveForm()); });
  }
  static TButton* buttonNamed(TCustomForm* form, const std::string& caption) {
    for (int i = 0; i < form->ControlCount(); ++i)
      if (auto* b = dynamic_cast<TButton*>(form->Controls(i)); b && b->Caption() == caption) return b;
    return nullptr;
  }
  static void press(TButton* b) { HeadlessPresenter::click(b->ClientToScreen(TPoint{5, 5})); }

  ScriptedDialogs* scripted = nullptr;
  WindowDialogs windows;

private:
  std::unique_ptr<DialogService> previous_;
};

TEST_F(WindowDialogsTest, MessageDialogButtonsCaptionsAndKeys) {
  using B = TMsgDlgBtn;
  const struct {
    TMsgDlgType type;
    TMsgDlgButtons buttons;
    int key; // 0: press the button named below
    std::string button;
    std::string caption;
    std::vector<std::string> shown;
    TModalResult want;
  } cases[] = {
      {TMsgDlgType::mtConfirmation, {B::mbYes, B::mbNo}, VK_RETURN, "", "Confirm", {"&Yes", "&No"}, mrYes},
      {TMsgDlgType::mtConfirmation, {B::mbYes, B::mbNo}, VK_ESCAPE, "", "Confirm", {"&Yes", "&No"}, mrNo},
      {TMsgDlgType::mtError, {B::mbOK}, VK_ESCAPE, "", "Error", {"OK"}, mrOk},
      {TMsgDlgType::mtWarning, {B::mbOK, B::mbCancel}, VK_RETURN, "", "Warning", {"OK", "Cancel"}, mrOk},
      {TMsgDlgType::mtInformation,
       {B::mbAbort, B::mbRetry, B::mbIgnore},
       0,
       "&Ignore",
       "Information",
       {"&Abort", "&Retry", "&Ignore"},
       mrIgnore},
  };
  for (const auto& c : cases) {
    std::vector<std::string> shown;
    std::string caption;
    later([&](TCustomForm* form) {
      caption = form->Caption();
      auto* m = dynamic_cast<TMessageForm*>(form);
      for (TButton* b : m->Buttons)
        shown.push_back(b->Caption());
      if (c.key)
        HeadlessPresenter::key(c.key);
      else
        press(buttonNamed(form, c.button));
    });
    MessageDialogRequest r;
    r.text = "Proceed?";
    r.type = c.type;
    r.buttons = c.buttons;
    EXPECT_EQ(windows.messageDialog(r), c.want) << caption;
    EXPECT_EQ(caption, c.caption);
    EXPECT_EQ(shown, c.shown);
  }
}

TEST_F(WindowDialogsTest, MessageBoxDefaultButtonsIconsAndClosing) {
  const struct {
    uint32_t flags;
    int key;
    int want;
  } cases[] = {
      {mb::YESNOCANCEL | mb::DEFBUTTON2, VK_RETURN, id::NO},
      {mb::YESNOCANCEL, VK_RETURN, id::YES},
      {mb::YESNOCANCEL, VK_ESCAPE, id::CANCEL},
      {mb::OKCANCEL | mb::ICONWARNING, VK_ESCAPE, id::CANCEL},
      {mb::OK | mb::ICONERROR, VK_RETURN, id::OK},
      {mb::YESNO, 0, id::NO}, // closed without a button: the safe answer
  };
  for (const auto& c : cases) {
    later([&](TCustomForm* form) {
      if (c.key)
        HeadlessPresenter::key(c.key);
      else
        PostMessage(form->Handle(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(windows.messageBox({"Text", "Caption", c.flags}), c.want) << c.flags;
  }
  // The error icon: a red disc left of the text, the text wrapped into the box.
  later([&](TCustomForm* form) {
    auto* m = dynamic_cast<TMessageForm*>(form);
    ASSERT_NE(m->Icon, nullptr);
    EXPECT_EQ(m->Icon->Kind, TMessageIconKind::miError);
    EXPECT_EQ(m->Icon->BoundsRect(), Bounds(16, 16, 32, 32));
    EXPECT_EQ(m->Message->Left(), 64);
    EXPECT_EQ(WindowRaster(m->Handle())->pixel(m->ClientOrigin().X + 32, m->ClientOrigin().Y + 20),
              0xFFFF0000u);
    HeadlessPresenter::key(VK_RETURN);
  });
  windows.exceptionBox("App", "Something failed.");
}

TEST_F(WindowDialogsTest, FileDialogListsChoosesAndChecks) {
  TempDir dir;
  for (const char* name : {"a.zip", "b.ZIP", "c.txt"})
    writeFile(dir.path() / name, "x");
  std::filesystem::create_directory(dir.path() / "sub");
  writeFile(dir.path() / "sub" / "inner.zip", "x");
  const std::string root = std::filesystem::canonical(dir.path()).string();

  FileDialogRequest r;
  r.save = true;
  r.filter = "Komprimierte ZIP-Datei|*.zip|Alle Dateien|*.*";
  r.defaultExt = "zip";
  r.initialDir = root;
  r.fileName = "KorvBak.zip";
  r.overwritePrompt = true;
  r.pathMustExist = true;
  std::vector<std::string> files, dirs, filters;
  std::string title, name;
  later([&](TCustomForm* form) {
    auto* f = dynamic_cast<TFileDialogForm*>(form);
    // Every label shows its whole text, and no control covers another.
    for (int i = 0; i < f->ControlCount(); ++i) {
      TControl* c = f->Controls(i);
      if (auto* l = dynamic_cast<TLabel*>(c); l && !l->Caption().empty()) {
        EXPECT_GE(l->Width(), classic::MeasureText(l->Font(), classic::StripAccel(l->Caption())).cx)
            << l->Caption();
      }
      for (int j = 0; j < i; ++j)
        EXPECT_TRUE(IsRectEmpty(IntersectRects(c->BoundsRect(), f->Controls(j)->BoundsRect())))
            << c->ClassName() << " " << c->Caption() << " over " << f->Controls(j)->ClassName();
    }
    title = f->Caption();
    name = f->FileNameEdit->Text();
    for (int i = 0; i < f->FileList->Count(); ++i)
      files.push_back(f->FileList->Items()[i]);
    for (int i = 0; i < f->DirList->Count(); ++i)
      dirs.push_back(f->DirList->Items()[i]);
    for (int i = 0; i < f->FilterList->Count(); ++i)
      filters.push_back(f->FilterList->Items()[i]);
    // A name without an extension gets the default one; Return presses Save.
    f->FileNameEdit->SetText("Nightly");
    HeadlessPresenter::key(VK_RETURN);
  });
  EXPECT_EQ(windows.fileDialog(r), root + "/Nightly.zip");
  EXPECT_EQ(title, "Save As");
  EXPECT_EQ(name, "KorvBak.zip");
  EXPECT_EQ(files, (std::vector<std::string>{"a.zip", "b.ZIP"})); // found regardless of case
  EXPECT_EQ(dirs, (std::vector<std::string>{"..", "sub"}));
  EXPECT_EQ(filters, (std::vector<std::string>{"Komprimierte ZIP-Datei", "Alle Dateien"}));

  // Choosing an existing file asks first; No keeps the dialog open. A folder's name opens it.
  scripted->expectMessageBox(root + "/a.zip already exists.\nDo you want to replace it?", id::NO);
  later([&](TCustomForm* form) {
    auto* f = dynamic_cast<TFileDialogForm*>(form);
    f->FileList->SetItemIndex(0);
    f->FileList->OnClick(f->FileList);
    f->Accept();
    EXPECT_EQ(f->ModalResult(), mrNone);
    f->FileNameEdit->SetText("sub");
    f->Accept();
    EXPECT_EQ(f->Directory(), root + "/sub");
    f->FileNameEdit->SetText("inner.zip");
    f->CancelButton->Click();
  });
  EXPECT_EQ(windows.fileDialog(r), std::nullopt);

  // Open: the file must exist; the second filter shows every file; a double click chooses.
  FileDialogRequest o;
  o.filter = r.filter;
  o.filterIndex = 2;
  o.initialDir = root;
  o.fileMustExist = true;
  scripted->expectMessageBox(
      root + "/missing.zip\nFile not found.\nPlease verify the correct file name was given.", id::OK);
  o.defaultExt = "zip";
  later([&](TCustomForm* form) {
    auto* f = dynamic_cast<TFileDialogForm*>(form);
    EXPECT_EQ(f->FileList->Count(), 3);
    f->FileNameEdit->SetText("missing");
    f->Accept();
    f->FileList->SetItemIndex(2);
    f->FileList->OnDblClick(f->FileList);
  });
  EXPECT_EQ(windows.fileDialog(o), root + "/c.txt");

  // The file types drop down: a click on the field, a click on the first row.
  o.fileMustExist = false;
  std::vector<std::string> zips;
  later([&](TCustomForm* form) {
    auto* f = dynamic_cast<TFileDialogForm*>(form);
    HeadlessPresenter::click(f->FilterList->ClientToScreen(TPoint{10, 8}));
    presenter->after(5, [&, f] {
      ASSERT_TRUE(f->FilterList->DroppedDown());
      HeadlessPresenter::click(f->FilterList->DropList()->ClientToScreen(TPoint{10, 4}));
      presenter->after(5, [&, f] {
        for (int i = 0; i < f->FileList->Count(); ++i)
          zips.push_back(f->FileList->Items()[i]);
        f->CancelButton->Click();
      });
    });
  });
  EXPECT_EQ(windows.fileDialog(o), std::nullopt);
  EXPECT_EQ(zips, (std::vector<std::string>{"a.zip", "b.ZIP"}));

  // A folder: the folders alone; the folder named, else the one shown (Return) is the answer.
  FileDialogRequest d;
  d.folder = true;
  d.initialDir = root;
  later([&](TCustomForm* form) {
    auto* f = dynamic_cast<TFileDialogForm*>(form);
    EXPECT_FALSE(f->FileList->Visible());
    EXPECT_FALSE(f->FilterList->Visible());
    f->FileNameEdit->SetText("new folder");
    f->Accept();
  });
  EXPECT_EQ(windows.fileDialog(d), root + "/new folder");
  later([&](TCustomForm*) { HeadlessPresenter::key(VK_RETURN); });
  EXPECT_EQ(windows.fileDialog(d), root);
}

TEST_F(WindowDialogsTest, PatternsMatchRegardlessOfCase) {
  const struct {
    const char* name;
    const char* pattern;
    bool want;
  } cases[] = {{"a.zip", "*.zip", true}, {"A.ZIP", "*.zip", true},   {"a.zipx", "*.zip", false},
               {"README", "*.*", true},  {"x.tar.gz", "*.gz", true}, {"ab", "a?", true},
               {"a", "a?", false},       {"abc", "*b*", true},       {"", "*", true}};
  for (const auto& c : cases)
    EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.want) << c.name << " " << c.pattern;
}

TEST(FileDialogRules, FiltersAreReadAsTheDialogsWroteThem) {
  using Filters = std::vector<std::pair<std::string, std::vector<std::string>>>;
  const struct {
    std::string filter;
    Filters want;
  } cases[] = {
      {"Zip files|*.zip|All files|*.*", {{"Zip files", {"*.zip"}}, {"All files", {"*.*"}}}},
      {"Tables|*.DB; *.PX|Text|*.txt", {{"Tables", {"*.DB", "*.PX"}}, {"Text", {"*.txt"}}}},
      {"", {}},
      {"Zip files|*.zip|Lost name", {{"Zip files", {"*.zip"}}}}, // a name without patterns
      {"Empty||Zip|*.zip", {{"Zip", {"*.zip"}}}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseFileFilter(c.filter), c.want) << c.filter;
}

TEST(FileDialogRules, TheDefaultExtensionGoesOnlyOnNamesWithoutOne) {
  const struct {
    std::string path, ext, want;
  } cases[] = {
      {"/srv/save/KorvBak", "zip", "/srv/save/KorvBak.zip"},
      {"/srv/save/KorvBak", ".zip", "/srv/save/KorvBak.zip"},
      {"/srv/save/KorvBak.ZIP", "zip", "/srv/save/KorvBak.ZIP"},
      {"/srv/save/KorvBak.tar", "zip", "/srv/save/KorvBak.tar"},
      {"/srv/save.d/KorvBak", "zip", "/srv/save.d/KorvBak.zip"}, // a dot in the folder counts not
      {"/srv/save/KorvBak", "", "/srv/save/KorvBak"},
      {"/srv/save/", "zip", "/srv/save/"},
      {"name", "zip", "name.zip"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AddDefaultExt(c.path, c.ext), c.want) << c.path;
}

TEST_F(WindowDialogsTest, OpenAndSaveDialogComponentsAskTheService) {
  auto* save = new TSaveDialog(&Application());
  save->SetDefaultExt("zip");
  save->SetFilter("Komprimierte ZIP-Datei|*.zip|Alle Dateien|*.*");
  save->SetOptions({TOpenOption::ofOverwritePrompt, TOpenOption::ofHideReadOnly, TOpenOption::ofNoChangeDir,
                    TOpenOption::ofPathMustExist, TOpenOption::ofNoReadOnlyReturn,
                    TOpenOption::ofEnableSizing});
  save->SetInitialDir("/srv/save");
  save->SetFileName("KorvBak.zip");
  scripted->expectFileDialog("", std::string("/srv/save/Db"));
  ASSERT_TRUE(save->Execute());
  EXPECT_EQ(save->FileName(), "/srv/save/Db.zip");
  scripted->expectFileDialog("", std::nullopt);
  EXPECT_FALSE(save->Execute());
  EXPECT_EQ(save->FileName(), "/srv/save/Db.zip"); // kept when cancelled

  scripted->expectMessageDialog("General installation error.", mrOk);
  EXPECT_EQ(MessageDlg("General installation error.", TMsgDlgType::mtError, {TMsgDlgBtn::mbOK}, 0), mrOk);
}

} // namespace
