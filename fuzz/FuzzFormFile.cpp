// Form files read into forms of the class library, with every class of the platform layer, the
// component library and the archive component registered, and a root form that has fields and
// handlers to bind. A form file that cannot be read must end in EReadError (no other exception,
// no crash, nothing leaked); one that can be read must be written out again and read back.
//
// With KV_FUZZ_WRITE_SEEDS set the target writes its seeds: the two programs' form files with
// their root renamed, and one form per registered class with every property it publishes.
#include "FuzzSupport.h"

#include "Animbtn.h"
#include "Archive/ZavOzeriz.h"
#include "Platform/Rtl/Streaming.h"
#include "Platform/Rtl/TypInfo.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/Presenter.h"
#include "Platform/Ui/RichEdit.h"
#include "Platform/Ui/StdCtrls.h"

#include <fstream>
#include <memory>
#include <sstream>

namespace {

using namespace kv::platform;

// The root of every fuzzed form: fields and handlers under the names the programs' forms use.
class TFuzzForm : public TForm {
  KV_CLASS_INFO(TFuzzForm)
public:
  using TForm::TForm;
  // Its components' handlers may be bound here: they go while this part of the form exists.
  ~TFuzzForm() override { DestroyComponents(); }
  TComponent* Zip = nullptr;
  TTimer* AutoTimer = nullptr;
  TMemo* BackupMemo = nullptr;
  void Handler(TObject*) {}
};

const TClassInfo& TFuzzForm::StaticClassInfo() {
  static const TClassInfo info = [] {
    TClassBuilder<TFuzzForm, TForm> b("TFuzzForm");
    b.Field("Zip", &TFuzzForm::Zip).Field("AutoTimer", &TFuzzForm::AutoTimer);
    b.Field("BackupMemo", &TFuzzForm::BackupMemo);
    for (const char* name : {"FuzzClick", "FormShow", "FormCreate", "Button1Click", "Button2Click",
                             "Button3Click", "Button4Click", "AutoTimerTimer", "Timer1Timer"})
      b.Method(name, &TFuzzForm::Handler);
    return b.Build();
  }();
  return info;
}

const char* const kClasses[] = {"TForm",
                                "TTimer",
                                "TLabel",
                                "TButton",
                                "TCheckBox",
                                "TRadioButton",
                                "TEdit",
                                "TMemo",
                                "TGroupBox",
                                "TStaticText",
                                "TScrollBar",
                                "TListBox",
                                "TPanel",
                                "TRadioGroup",
                                "TProgressBar",
                                "TTabSheet",
                                "TPageControl",
                                "TListView",
                                "TToolBar",
                                "TToolButton",
                                "TBitBtn",
                                "TSpeedButton",
                                "TOpenDialog",
                                "TSaveDialog",
                                "TMenuItem",
                                "TMainMenu",
                                "TPopupMenu",
                                "TDateTimePicker",
                                "TDrawGrid",
                                "TStringGrid",
                                "TDBGrid",
                                "TDataSource",
                                "TRichEdit",
                                "TAnimBtn",
                                "TDockPanel",
                                "TDropDownListView",
                                "TExtListView",
                                "TExStringGrid",
                                "TExtDBGrid",
                                "TKVCheckBox",
                                "TKVDateTimePicker",
                                "TKVEdit",
                                "TKVRadioButton",
                                "TDensityEdit",
                                "TTempEdit",
                                "TTimedSpeedButton",
                                "TKVGeneralPurposeWindow",
                                "TKVWindow",
                                "TPrintPreview",
                                "TPrnRichEdit",
                                "TVarnekSingleInstance",
                                "TWindow",
                                "TZavOzeriz"};

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// A value as a form file holds it; empty for values a seed leaves out.
std::string valueText(const TValueNode& v) {
  std::ostringstream out;
  switch (v.type) {
  case TValueNode::Type::Int:
    return std::to_string(v.i);
  case TValueNode::Type::Float:
    out << v.f;
    return out.str().find_first_of(".e") == std::string::npos ? out.str() + ".0" : out.str();
  case TValueNode::Type::String:
    return quoted(v.s);
  case TValueNode::Type::Ident:
    return v.s;
  case TValueNode::Type::Set:
    out << "[";
    for (size_t i = 0; i < v.names.size(); ++i)
      out << (i ? ", " : "") << v.names[i];
    return out.str() + "]";
  case TValueNode::Type::Binary:
    return "{00FF}";
  default:
    return {};
  }
}

// Every published property of obj with its current value, events last, all bound to FuzzClick.
void writeProps(std::ostream& out, const TPersistent& obj, const std::string& prefix, int depth) {
  std::string events;
  for (const TPropInfo& p : obj.ClassInfo()->Props) {
    if (p.Kind == TTypeKind::tkMethod) {
      events += "    " + prefix + p.Name + " = FuzzClick\n";
    } else if (p.Kind == TTypeKind::tkClass) {
      TPersistent* sub = p.Object ? p.Object(obj) : nullptr;
      if (dynamic_cast<TStrings*>(sub))
        out << "    " << prefix << p.Name << " = (\n      'one'\n      'two')\n";
      else if (dynamic_cast<TCollection*>(sub))
        out << "    " << prefix << p.Name << " = <\n      item\n      end>\n";
      else if (sub && depth < 3)
        writeProps(out, *sub, prefix + p.Name + ".", depth + 1);
    } else if (p.Get && p.Set && p.Kind != TTypeKind::tkReference) {
      const std::string value = valueText(p.Get(obj));
      if (!value.empty()) out << "    " << prefix << p.Name << " = " << value << "\n";
    }
  }
  out << events;
}

std::string readSource(const char* relative) {
  std::ifstream in(std::string(KV_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void writeSeeds(const kvfuzz::fs::path& out) {
  for (const char* form : {"Source/Backup/uMainForm.kfm", "Source/SetupUnpacker/uMainForm.kfm"}) {
    std::string text = readSource(form);
    const size_t colon = text.find(':'), eol = text.find('\n');
    if (colon == std::string::npos || eol == std::string::npos) std::abort();
    text.replace(colon, eol - colon, ": TFuzzForm");
    kvfuzz::writeFile(out / (std::string(form).substr(7, std::string(form).find('/', 7) - 7) + ".kfm"), text);
  }
  for (const char* name : kClasses) {
    const TClassInfo* info = GetClass(name);
    if (!info || !info->CreateComponent) continue;
    TFuzzForm form(nullptr);
    std::unique_ptr<TComponent> c(info->CreateComponent(&form));
    std::ostringstream text;
    text << "object Form1: TFuzzForm\n  Caption = 'seed'\n  object C1: " << name << "\n";
    writeProps(text, *c, "", 0);
    text << "  end\nend\n";
    kvfuzz::writeFile(out / (std::string(name) + ".kfm"), text.str());
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  Application().SetPresenter(std::make_unique<HeadlessPresenter>());
  Application().Initialize();
  RegisterRichEdit();
  RegisterClasses({&TFuzzForm::StaticClassInfo(), &ZavOzeriz::TZavOzeriz::StaticClassInfo()});
  (void)Animbtn::TAnimBtn::StaticClassInfo(); // the component library registers its classes as it loads
  kvfuzz::writeSeedsWhenAsked(*argc, *argv, writeSeeds);
  return 0;
}

using Root = std::unique_ptr<TComponent, void (*)(TComponent*)>;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(kvfuzz::asText(data, size));
  Root root(nullptr, &TComponent::Free);
  try {
    root.reset(CreateComponentFromText(text, "fuzz.kfm", nullptr));
  } catch (const EReadError&) {
    return 0;
  }
  // What the library writes it must read back.
  const std::string written = WriteComponentText(*root);
  root.reset();
  try {
    root.reset(CreateComponentFromText(written, "written.kfm", nullptr));
  } catch (const EReadError& e) {
    std::fprintf(stderr, "a written form file cannot be read back: %s\n%s\n", e.what(), written.c_str());
    std::abort();
  }
  return 0;
}
