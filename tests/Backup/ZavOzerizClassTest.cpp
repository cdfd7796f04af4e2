// The archive component as form files see it: its published table against the declared
// list, a stored form creating it with settings and events, and what a form writes back.
#include "Archive/ZavOzeriz.h"
#include "Platform/Rtl/Streaming.h"
#include "Platform/Rtl/TypInfo.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <set>

using namespace kv::platform;
using namespace ZavOzeriz;

namespace {

// A root that owns a Zip and offers the handlers a form binds its events to.
class THostForm : public TComponent {
  KV_CLASS_INFO(THostForm)
public:
  using TComponent::TComponent;
  TZavOzeriz* Zip = nullptr;
  std::vector<std::string> seen;
  void ZipProgress(TObject*, ProgressType Type, const std::string& Name, uint32_t Size) {
    seen.push_back("progress " + std::to_string(static_cast<int>(Type)) + " " + Name + " " +
                   std::to_string(Size));
  }
  void ZipMessage(TObject*, int Code, const std::string& Text) {
    seen.push_back("message " + std::to_string(Code) + " " + Text);
  }
  void Wrong(TObject*) {}
};

const TClassInfo& THostForm::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<THostForm, TComponent>("THostForm")
                                     .Field("Zip", &THostForm::Zip)
                                     .Method("ZipProgress", &THostForm::ZipProgress)
                                     .Method("ZipMessage", &THostForm::ZipMessage)
                                     .Method("Wrong", &THostForm::Wrong)
                                     .Build();
  return info;
}

// The stored settings of the backup program's Zip, as its form file holds them.
const char* kBackupZip = R"(object Host: THostForm
  object Zip: TZavOzeriz
    Verbose = False
    Trace = False
    AddCompLevel = 9
    AddOptions = [AddDiskSpan]
    ExtrOptions = [ExtrOverWrite]
    Unattended = False
    MinVizIviVers = 172
    MinRozIzeVers = 172
    VersionInfo = '1.72'
    AddStoreSuffixes = [assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA, assRAR, assACE, assCAB, assGZ, assGZIP, assJAR]
    SpanOptions = []
    KeepFreeOnDisk1 = 0
    KeepFreeOnAllDisks = 0
    SFXCaption = 'Self-extracting Archive'
    SFXOverWriteMode = OvrConfirm
    SFXPath = 'ZavSFX.bin'
    OnProgress = ZipProgress
    OnMessage = ZipMessage
  end
end
)";

// The component's published properties in declaration order, as its description lists them:
// the name, the kind of its type (Boolean, Integer and Cardinal, TDate, string, a set, an
// enumeration, an owned object, another component, an event) and the stream default
// (nullptr: none, the value is always stored).
struct Published {
  const char* name;
  TTypeKind kind;
  const char* streamDefault;
};
using enum TTypeKind;
const Published kPublished[] = {
    {"Verbose", tkBoolean, nullptr},
    {"Trace", tkBoolean, nullptr},
    {"AddCompLevel", tkInteger, nullptr},
    {"AddOptions", tkSet, nullptr},
    {"AddFrom", tkFloat, nullptr},
    {"ExtrBaseDir", tkString, nullptr},
    {"ExtrOptions", tkSet, nullptr},
    {"FSpecArgs", tkClass, nullptr},
    {"Unattended", tkBoolean, nullptr},
    {"ZipFileName", tkString, nullptr},
    {"Password", tkString, nullptr},
    {"DLLDirectory", tkString, nullptr},
    {"MinVizIviVers", tkInteger, nullptr},
    {"MinRozIzeVers", tkInteger, nullptr},
    {"TempDir", tkString, nullptr},
    {"CodePage", tkEnumeration, "cpAuto"},
    {"HowToDelete", tkEnumeration, "htdAllowUndo"},
    {"VersionInfo", tkString, nullptr},
    {"AddStoreSuffixes", tkSet, nullptr},
    {"ExtAddStoreSuffixes", tkString, nullptr},
    {"PasswordReqCount", tkInteger, "1"},
    {"FSpecArgsExcl", tkClass, nullptr},
    {"UseDirOnlyEntries", tkBoolean, "False"},
    {"RootDir", tkString, nullptr},
    {"OnDirUpdate", tkMethod, nullptr},
    {"OnProgress", tkMethod, nullptr},
    {"OnMessage", tkMethod, nullptr},
    {"OnSetNewName", tkMethod, nullptr},
    {"OnNewName", tkMethod, nullptr},
    {"OnCRC32Error", tkMethod, nullptr},
    {"OnPasswordError", tkMethod, nullptr},
    {"OnExtractOverwrite", tkMethod, nullptr},
    {"OnExtractSkipped", tkMethod, nullptr},
    {"OnCopyZipOverwrite", tkMethod, nullptr},
    {"OnFileComment", tkMethod, nullptr},
    {"OnAfterCallback", tkMethod, nullptr},
    {"OnTick", tkMethod, nullptr},
    {"SpanOptions", tkSet, nullptr},
    {"ConfirmErase", tkBoolean, "True"},
    {"KeepFreeOnDisk1", tkInteger, nullptr},
    {"KeepFreeOnAllDisks", tkInteger, nullptr},
    {"MaxVolumeSize", tkInteger, "0"},
    {"MinFreeVolumeSize", tkInteger, "65536"},
    {"OnGetNextDisk", tkMethod, nullptr},
    {"OnStatusDisk", tkMethod, nullptr},
    {"SFXSlave", tkReference, nullptr},
    {"SFXCaption", tkString, nullptr},
    {"SFXCommandLine", tkString, nullptr},
    {"SFXDefaultDir", tkString, nullptr},
    {"SFXIcon", tkClass, nullptr},
    {"SFXMessage", tkString, nullptr},
    {"SFXOptions", tkSet, "[SFXCheckSize]"},
    {"SFXOverWriteMode", tkEnumeration, nullptr},
    {"SFXPath", tkString, nullptr},
};

std::unique_ptr<THostForm> load(const std::string& text) {
  auto host = std::make_unique<THostForm>(nullptr);
  ReadComponentText(*host, text, "Host.kfm");
  return host;
}

} // namespace

TEST(ZavOzerizClass, PublishesTheDeclaredPropertiesInOrderWithTheirStreamDefaults) {
  ASSERT_EQ(GetClass("TZavOzeriz"), &TZavOzeriz::StaticClassInfo());
  const TClassInfo& info = TZavOzeriz::StaticClassInfo();
  std::vector<std::string> own;
  for (const auto& p : info.Props)
    if (!TComponent::StaticClassInfo().FindProp(p.Name)) own.push_back(p.Name);
  std::vector<std::string> declared;
  for (const auto& d : kPublished)
    declared.push_back(d.name);
  EXPECT_EQ(own, declared);

  // A fresh component omits exactly the properties that have a stream default; events and
  // the slave are omitted while unassigned.
  TZavOzeriz zip(nullptr);
  for (const auto& d : kPublished) {
    const TPropInfo* p = info.FindProp(d.name);
    if (!p) continue;
    EXPECT_EQ(p->Kind, d.kind) << d.name;
    if (p->Kind == TTypeKind::tkMethod || p->Kind == TTypeKind::tkReference) {
      EXPECT_TRUE(p->IsDefault(zip)) << d.name;
      continue;
    }
    if (p->Kind == TTypeKind::tkClass) continue;
    EXPECT_EQ(p->IsDefault(zip), d.streamDefault != nullptr) << d.name;
    if (d.streamDefault) {
      const TValueNode v = p->Get(zip);
      const std::string shown = v.type == TValueNode::Type::Int ? std::to_string(v.i)
                                : v.type == TValueNode::Type::Set
                                    ? "[" + (v.names.empty() ? "" : v.names[0]) + "]"
                                    : v.s;
      EXPECT_EQ(shown, d.streamDefault) << d.name;
    }
  }
}

TEST(ZavOzerizClass, AStoredFormCreatesTheComponentWithItsSettingsAndEvents) {
  auto host = load(kBackupZip);
  ASSERT_NE(host->Zip, nullptr);
  TZavOzeriz& z = *host->Zip;
  EXPECT_EQ(z.GetAddOptions(), AddOpts{AddOptsEnum::AddDiskSpan});
  EXPECT_EQ(z.GetExtrOptions(), ExtrOpts{ExtrOptsEnum::ExtrOverWrite});
  EXPECT_EQ(z.GetSFXPath(), "ZavSFX.bin");
  EXPECT_EQ(z.GetAddCompLevel(), 9);
  EXPECT_TRUE(z.GetAddStoreSuffixes().Contains(AddStoreSuffixEnum::assJAR));
  EXPECT_FALSE(z.GetAddStoreSuffixes().Contains(AddStoreSuffixEnum::assEXE));
  EXPECT_EQ(z.GetSFXOverWriteMode(), OvrOpts::OvrConfirm);
  EXPECT_EQ(z.OnProgress.HandlerName(), "ZipProgress");
  EXPECT_EQ(z.OnMessage.HandlerName(), "ZipMessage");
  z.OnProgress(&z, ProgressType::TotalSize2Process, "a.db", 77);
  z.OnMessage(&z, 5, "hello");
  EXPECT_EQ(host->seen, (std::vector<std::string>{"progress 4 a.db 77", "message 5 hello"}));
}

TEST(ZavOzerizClass, StoredValuesGoThroughTheSetters) {
  struct Case {
    const char* line;
    std::function<bool(TZavOzeriz&)> holds;
  } cases[] = {
      {"PasswordReqCount = 20", [](TZavOzeriz& z) { return z.GetPasswordReqCount() == 15; }},
      {"MinVizIviVers = 100", [](TZavOzeriz& z) { return z.GetMinVizIviVers() == 172; }},
      {"MinRozIzeVers = 180", [](TZavOzeriz& z) { return z.GetMinRozIzeVers() == 180; }},
      {"DLLDirectory = '/opt/engines/'", [](TZavOzeriz& z) { return z.GetDLLDirectory() == "/opt/engines"; }},
      {"VersionInfo = '9.99'", [](TZavOzeriz& z) { return z.GetVersionInfo() == "1.72"; }},
      {"FSpecArgs = ('a.db' 'b.db')",
       [](TZavOzeriz& z) { return z.GetFSpecArgs().Count() == 2 && z.GetFSpecArgs().Get(1) == "b.db"; }},
      {"CodePage = cpOEM", [](TZavOzeriz& z) { return z.GetCodePage() == CodePageOpts::cpOEM; }},
      {"AddFrom = 38345.5", [](TZavOzeriz& z) { return z.GetAddFrom() == 38345.5; }},
  };
  for (const auto& c : cases) {
    auto host = load(std::string("object Host: THostForm\n  object Zip: TZavOzeriz\n    ") + c.line +
                     "\n  end\nend\n");
    EXPECT_TRUE(c.holds(*host->Zip)) << c.line;
  }
}

TEST(ZavOzerizClass, BadStoredValuesAreRefusedWithTheLine) {
  const char* lines[] = {"AddOptions = [AddNothing]", "PasswordReqCount = -1", "OnMessage = Wrong",
                         "OnProgress = Missing", "SFXOverWriteMode = OvrSometimes"};
  for (const char* line : lines) {
    const std::string text =
        std::string("object Host: THostForm\n  object Zip: TZavOzeriz\n    ") + line + "\n  end\nend\n";
    try {
      load(text);
      ADD_FAILURE() << line;
    } catch (const EReadError& e) {
      EXPECT_NE(std::string(e.what()).find("Host.kfm(3)"), std::string::npos) << e.what();
    }
  }
}

TEST(ZavOzerizClass, AStoredArchiveNameIsReadWhenTheFormLoads) {
  if (!kvtest::haveTool("zip")) GTEST_SKIP() << "zip missing";
  kvtest::TempDir dir;
  kvtest::writeFile(dir / "one.txt", "one");
  kvtest::writeFile(dir / "two.txt", "two two");
  ASSERT_EQ(kvtest::run("cd " + kvtest::shellQuote(dir.str()) + " && zip -q a.zip one.txt two.txt").exitCode,
            0);
  auto host = load("object Host: THostForm\n  object Zip: TZavOzeriz\n    ZipFileName = '" +
                   (dir / "a.zip").string() + "'\n  end\nend\n");
  ASSERT_EQ(host->Zip->Count(), 2);
  EXPECT_EQ(host->Zip->ZipContents()[0].FileName, "one.txt");
  EXPECT_EQ(host->Zip->ZipContents()[1].FileName, "two.txt");
}

TEST(ZavOzerizClass, AWrittenFormKeepsWhatDiffersAndWhatHasNoDefault) {
  auto host = load(kBackupZip);
  const std::string text = WriteComponentText(*host);
  for (const char* expected :
       {"AddOptions = [AddDiskSpan]", "ExtrOptions = [ExtrOverWrite]", "Verbose = False",
        "SFXPath = 'ZavSFX.bin'", "OnProgress = ZipProgress", "KeepFreeOnAllDisks = 0"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  for (const char* omitted :
       {"CodePage", "HowToDelete", "PasswordReqCount", "UseDirOnlyEntries", "ConfirmErase", "MaxVolumeSize",
        "MinFreeVolumeSize", "SFXOptions", "OnTick", "SFXSlave", "SFXIcon"})
    EXPECT_EQ(text.find(omitted), std::string::npos) << omitted;
  // Read back, the written text gives the same settings.
  auto again = load(text);
  EXPECT_EQ(again->Zip->GetAddOptions(), host->Zip->GetAddOptions());
  EXPECT_EQ(again->Zip->OnMessage.HandlerName(), "ZipMessage");
}

TEST(ZavOzerizClass, AStoredSlaveAndIconLoadAndAreWrittenBack) {
  // A 32 x 32 icon of 16 colours, as the builder puts it into a stub: its bytes are the data.
  const std::string icon = kvtest::readFile(kvtest::sourceDir() / "tests/Archive/sfx-fixtures/red16.ico");
  ASSERT_EQ(icon.size(), 766u);
  const std::string hex = kvtest::hexOf(icon, true);
  const std::string text = "object Host: THostForm\n"
                           "  object Zip: TZavOzeriz\n"
                           "    SFXSlave = Slave\n"
                           "    SFXIcon.Data = {" +
                           hex +
                           "}\n"
                           "    SFXPath = 'ZavSFX.bin'\n"
                           "  end\n"
                           "  object Slave: TZavSFXSlave\n"
                           "    Version = '01-01-1999'\n"
                           "  end\n"
                           "end\n";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "stored" : "written back");
    auto host = load(round == 0 ? text : WriteComponentText(*load(text)));
    auto* slave = dynamic_cast<TZavSFXBase*>(host->FindComponent("Slave"));
    ASSERT_NE(slave, nullptr);
    EXPECT_EQ(host->Zip->GetSFXSlave(), slave);
    EXPECT_EQ(std::string(host->Zip->GetSFXIcon().Bytes().begin(), host->Zip->GetSFXIcon().Bytes().end()),
              icon);
    // The slave's version is its own, whatever a form says.
    EXPECT_EQ(slave->SFXVersionText(), "10-23-2002 1.72.0.0");
  }
}
