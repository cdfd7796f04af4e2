#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <random>
#include <stdexcept>

namespace enginetest {

EngineLibraries::EngineLibraries() {
  const auto lib = kvtest::buildDir() / "lib";
  zip_ = dlopen((lib / "libvizivi.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  unzip_ = dlopen((lib / "librozize.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!zip_ || !unzip_) throw std::runtime_error(std::string("cannot load the engines: ") + dlerror());
  zipExec = reinterpret_cast<VizIviExecFunction>(dlsym(zip_, "VizIviExec"));
  zipVersion = reinterpret_cast<GetVizIviVersionFunction>(dlsym(zip_, "GetVizIviVersion"));
  unzipExec = reinterpret_cast<RozIzeExecFunction>(dlsym(unzip_, "RozIzeExec"));
  unzipVersion = reinterpret_cast<GetRozIzeVersionFunction>(dlsym(unzip_, "GetRozIzeVersion"));
  if (!zipExec || !zipVersion || !unzipExec || !unzipVersion) throw std::runtime_error("entry point missing");
}

EngineLibraries::~EngineLibraries() {
  if (zip_) dlclose(zip_);
  if (unzip_) dlclose(unzip_);
}

EngineLibraries& engines() {
  static EngineLibraries libraries;
  return libraries;
}

std::vector<Call> Recorder::of(int32_t action) const {
  std::vector<Call> out;
  for (const auto& c : calls)
    if (c.action == action) out.push_back(c);
  return out;
}

std::vector<std::string> Recorder::texts(int32_t action) const {
  std::vector<std::string> out;
  for (const auto& c : of(action))
    out.push_back(c.text);
  return out;
}

std::vector<int32_t> Recorder::errorCodes() const {
  std::vector<int32_t> out;
  for (const auto& c : calls)
    if ((c.action == zcaMessage || c.action == zcaSkipped) && c.code != 0) out.push_back(c.code);
  return out;
}

int32_t Recorder::callback(CallbackRecord* record) {
  auto* self = static_cast<Recorder*>(record->Caller);
  Call call;
  call.action = record->ActionCode;
  call.code = record->ErrorCode;
  call.size = record->FileSize;
  call.text.assign(record->Text, strnlen(record->Text, KV_CALLBACK_TEXT_SIZE));
  call.comment.assign(record->FileComment, strnlen(record->FileComment, KV_CALLBACK_TEXT_SIZE));
  call.isZip = record->IsZipOperation != 0;
  call.thread = std::this_thread::get_id();
  self->calls.push_back(call);
  return self->reply ? self->reply(*record) : 0;
}

void replyText(CallbackRecord& record, const std::string& text) {
  const size_t n = std::min(text.size(), size_t{KV_CALLBACK_TEXT_SIZE - 1});
  std::memcpy(record.Text, text.data(), n);
  record.Text[n] = '\0';
}

int32_t runZip(const std::string& archive, const ZipOptions& o, Recorder& recorder) {
  ZipCommandRecord cmd{};
  std::vector<FileSpecRecord> specs(o.specs.size());
  std::vector<const char*> exclusions;
  for (const auto& e : o.exclusions)
    exclusions.push_back(e.c_str());
  for (size_t i = 0; i < o.specs.size(); ++i) {
    specs[i].FileSpec = o.specs[i].c_str();
    specs[i].Password = o.password.empty() ? nullptr : o.password.c_str();
    specs[i].Encrypt = o.encrypt ? -1 : 0;
    specs[i].Recurse = o.recurse ? 0xFFFF : 0;
    specs[i].RootDir = o.rootDir.empty() ? nullptr : o.rootDir.c_str();
  }
  cmd.Caller = &recorder;
  cmd.Version = engines().zipVersion();
  cmd.Callback = &Recorder::callback;
  cmd.Password = o.password.empty() ? nullptr : o.password.c_str();
  cmd.StoreSuffixes = o.storeSuffixes.empty() ? nullptr : o.storeSuffixes.c_str();
  cmd.Encrypt = o.encrypt ? -1 : 0;
  cmd.AddHiddenFiles = o.hidden ? -1 : 0;
  cmd.NoSeparateDirs = o.separateDirs ? 0 : -1;
  cmd.AddFromDate = o.fromDate.empty() ? 0 : -1;
  cmd.MinusOne = -1;
  cmd.Level = o.level;
  cmd.NoDirNames = o.dirNames ? 0 : -1;
  cmd.Recurse = o.recurse ? 0xFFFF : 0;
  cmd.Move = o.move ? -1 : 0;
  cmd.AllowUndo = o.allowUndo ? -1 : 0;
  cmd.Update = o.update ? -1 : 0;
  cmd.Freshen = (o.freshen && !o.update) ? -1 : 0;
  cmd.ZipTime = o.zipTime ? -1 : 0;
  if (!o.fromDate.empty())
    std::memcpy(cmd.FromDate, o.fromDate.data(), std::min<size_t>(8, o.fromDate.size()));
  cmd.FSpecCount = static_cast<int32_t>(specs.size());
  cmd.ZipFileName = archive.c_str();
  cmd.ArchiveComment = o.comment.empty() ? nullptr : o.comment.c_str();
  cmd.FSpecs = specs.data();
  cmd.ExclCount = static_cast<int32_t>(exclusions.size());
  cmd.Exclusions = exclusions.empty() ? nullptr : exclusions.data();
  cmd.CodePage = o.oem ? KV_CODEPAGE_OEM : 0;
  cmd.Check = KV_RECORD_CHECK;
  return engines().zipExec(&cmd);
}

int32_t runUnzip(const std::string& archive, const UnzipOptions& o, Recorder& recorder) {
  UnzipCommandRecord cmd{};
  std::vector<UnzipFileSpec> specs(std::max<size_t>(o.specs.size(), 1));
  for (size_t i = 0; i < o.specs.size(); ++i)
    specs[i].FileSpec = o.specs[i].c_str();
  cmd.Caller = &recorder;
  cmd.Version = engines().unzipVersion();
  cmd.Callback = &Recorder::callback;
  cmd.Password = o.password.c_str();
  cmd.Test = o.test ? -1 : 0;
  cmd.MinusOne = -1;
  cmd.Update = o.update ? -1 : 0;
  cmd.Freshen = (o.freshen && !o.update) ? -1 : 0;
  cmd.DirNames = o.dirNames ? -1 : 0;
  cmd.Overwrite = o.overwrite ? -1 : 0;
  cmd.FSpecCount = static_cast<int32_t>(o.specs.size());
  cmd.ZipFileName = archive.c_str();
  cmd.FSpecs = specs.data();
  cmd.PasswordReqCount = o.passwordReqCount;
  cmd.ExtractBaseDir = o.baseDir.empty() ? nullptr : o.baseDir.c_str();
  cmd.Check = KV_RECORD_CHECK;
  return engines().unzipExec(&cmd);
}

std::string python(const std::string& program) {
  const auto result = kvtest::run(kvtest::systemPython() + " -c " + kvtest::shellQuote(program));
  EXPECT_EQ(result.exitCode, 0) << program << "\n" << result.err;
  return result.out;
}

std::vector<std::pair<std::string, std::string>> treeOf(const fs::path& dir) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file())
      out.emplace_back(fs::relative(entry.path(), dir).string(), kvtest::readFile(entry.path()));
  std::sort(out.begin(), out.end());
  return out;
}

std::string randomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (auto& c : s)
    c = static_cast<char>(rng() & 0xFF);
  return s;
}

std::string textBytes(size_t size, uint32_t seed) {
  static const char* words[] = {"backup ",  "table ", "Korvalis ", "density ",
                                "lang.db ", "\n",     "0123 ",     "value "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size)
    s += words[rng() % 8];
  s.resize(size);
  return s;
}

} // namespace enginetest
