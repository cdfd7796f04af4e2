// TZavSFXSlave: the component that turns archives into self-extracting executables and
// back, makes empty ones and recognises them. It serves one master component at a time,
// linked only for the length of one call.
#pragma once

#include "Archive/ZavOzeriz.h"
#include "Archive/ZavSFXFormat.h"

#include <cstdint>
#include <string>

namespace ZavSFX {

using ZavOzeriz::TZavOzeriz;
using ZavOzeriz::TZavSFXBase;

// The language of the default stub's name.
extern std::string LanguageCode;

class TZavSFXSlave : public TZavSFXBase {
  KV_CLASS_INFO(TZavSFXSlave)
public:
  explicit TZavSFXSlave(kv::platform::TComponent* AOwner);

  // Each answers -255 while the slave serves another call.
  int ConvertToSFX(TZavOzeriz* Master) override;
  int ConvertToZIP(TZavOzeriz* Master) override;
  int CreateNewSFX(TZavOzeriz* Master, const std::string& ExeName) override;
  int CheckZavSFX(TZavOzeriz* Master, const std::string& ExeName) override;
  std::string SFXVersionText() override;
  std::string DefaultStubName() override;
  // The header values from the master's properties.
  virtual void PrepareHeader();

  // Published, read-only in effect.
  std::string GetVersion() const { return "10-23-2002"; }
  void SetVersion(const std::string&) {}

  // The steps of the operations, for the operations and their tests; they need a linked master.
  std::string StubPath();
  int WriteSFX(const std::string& Name, bool NewEmpty);
  int ReadSFXHeader(kv::platform::FileHandle Exe, int64_t Start);
  int ReadStubIcon(const std::string& ExeName);
  // Raises a plain exception when no master is linked.
  void CheckMaster() const;
  TZavOzeriz* Master() const { return FMaster; }

  // What PrepareHeader made.
  const std::string& HeaderMessage() const { return FHeaderMessage; }
  uint16_t HeaderOptions() const { return FHeaderOptions; }
  uint8_t HeaderOverWrite() const { return FHeaderOverWrite; }
  uint32_t HeaderStyle() const { return FHeaderStyle; }

protected:
  void Notification(kv::platform::TComponent* AComponent, kv::platform::TOperation Operation) override;

private:
  template <class Work> int serve(TZavOzeriz* Master, Work&& work);
  std::string findStub();
  bool headerTextsFit();
  ZavSFXFormat::HeaderValues headerValues() const;

  std::string FHeaderMessage;
  uint16_t FHeaderOptions = 0;
  uint8_t FHeaderOverWrite = 0;
  uint32_t FHeaderStyle = 0;
  TZavOzeriz* FMaster = nullptr;
  std::string FStubPath;
  std::string FStubPathFor; // the settings the cached stub path was found for
};

} // namespace ZavSFX
