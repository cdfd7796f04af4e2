// The text protocol of an optical densitometer on a serial port: command frames with a
// checksum, answer frames checked and split, and their payloads turned into readings.
#pragma once

#include "KVLibExport.h"
#include "Platform/Rtl/Classes.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kv::platform {
class SerialPort;
}

namespace uKVDENSO {

enum TCommand : uint8_t {
  dcError = 0,
  dcGetSteps = 1,
  dcGetFeatures = 2,
  dcSoftRev = 3,
  dcRevDate = 4,
  dcBattery = 5,
  dcLock = 6,
  dcUnlock = 7,
  dcswitchOff = 8,
  dcLastDens = 9,
  dcDmin = 10,
};

struct TResponse {
  TCommand Command = dcError; // dcError when the answer was rejected
  union {
    int32_t Value; // one reading
    // [0] the features' base value x 100, [1..21] the wedge steps, density x 100
    int16_t Steps[22] = {};
    kv::platform::TDateTime Date; // the revision date
  };
};

class KVLIB_API TDenso : public kv::platform::TObject {
public:
  TDenso();
  // Closes an open link.
  ~TDenso() override;
  TDenso(const TDenso&) = delete;
  TDenso& operator=(const TDenso&) = delete;
  std::string ClassName() const override { return "TDenso"; }

  int32_t ComPort = 2;         // port "COM" + ComPort
  std::string ScanType = "10"; // "10" 9600 baud, "50" 2400 baud and paced sending
  int32_t Handle = -1;         // the open port; negative when there is none
  bool Connected = false;

  void SetComPort(int32_t Value);
  void SetScanType(const std::string& Value);
  // Value in decimal, at least three digits with leading zeros.
  std::string IntToDensnum(int32_t Value);
  // Appends the checksum of Cmd, ">" and carriage return, line feed and a zero byte.
  void CalcCheckSum(std::string& Cmd);
  // The whole frame of Cmd, or an empty string for a command that has no frame.
  std::string GenerateCmd(TCommand Cmd);
  // S holds an answer frame whose checksum matches.
  bool CheckResponse(const std::string& S);
  void SplitResponse(const std::string& S, std::string& ScanType, std::string& Letter, std::string& Payload);
  // Fills Steps[1..21] from the payload of a wedge answer.
  void ExtractSteps(const std::string& S, int16_t* Steps);
  bool Connect();
  void DisConnect();
  // One answer frame from the port, ">" included; shorter after a time-out.
  std::string RecvString();
  // Reopens the link, sends Cmd and decodes the answer into Response.
  void SendCommand(TCommand Cmd, TResponse& Response);
  // Decodes a line that the instrument sent unasked; false when it is no valid answer.
  bool CommEvent(TResponse& Response, const std::string& Line);
  // Finding the port of an instrument is not done: Port stays as it is.
  void SearchScanner(int32_t& Port);

private:
  KVLIB_LOCAL size_t sendFrame(const std::string& frame);
  std::unique_ptr<kv::platform::SerialPort> port_;
  bool timedOut_ = false;
};

// A slot that the modules share; the library never fills it.
extern KVLIB_API TDenso* Scanner;

} // namespace uKVDENSO
