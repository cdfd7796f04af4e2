// The engines' one way back into the component: every callback becomes an event, a dialog
// or a reply written into the callback record, and then the program gets its turn.
#include "Archive/ZavOzeriz.h"

#include "Platform/AppInfo/AppInfo.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ZavOzeriz {

namespace {

// Writes a reply text into the record's text area: as much as fits with its NUL.
void replyText(CallbackRecord& Rec, const std::string& Text) {
  const size_t n = std::min(Text.size(), size_t{KV_CALLBACK_TEXT_SIZE - 1});
  std::memcpy(Rec.Text, Text.data(), n);
  Rec.Text[n] = '\0';
}

// A text area read no further than its own end, whatever the engine left in it.
std::string areaText(const char* Area) { return std::string(Area, strnlen(Area, KV_CALLBACK_TEXT_SIZE)); }

// Sizes reach the events as 32-bit counts; larger ones are held at the largest.
uint32_t eventSize(int64_t Size) {
  if (Size < 0) return 0;
  return Size > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                     : static_cast<uint32_t>(Size);
}

std::string rightTrim(std::string Text) {
  while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ')
    Text.pop_back();
  return Text;
}

std::string exceptionText(std::exception_ptr Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const kv::platform::Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception";
  }
}

// Keeps the first failure of a run as " #action "message"".
void noteFailure(std::string& Failure, int Action, std::exception_ptr Error) {
  try {
    if (Failure.empty()) Failure = " #" + std::to_string(Action) + " \"" + exceptionText(Error) + "\"";
  } catch (...) {
    // Out of memory while keeping the text: the run is cancelled all the same.
  }
}

} // namespace

std::string TZavOzeriz::CallbackFileName(const std::string& Text) {
  return SlashToBackslash(rightTrim(Text));
}

std::string TZavOzeriz::ProgressActionText(int Code) {
  if (Code <= 0) return {};
  if (Code == 1) return "Resetting Archive Bit";
  if (Code == 2) return "Copy file";
  return "Progress " + std::to_string(Code);
}

int32_t TZavOzeriz::EngineCallback(CallbackRecord* Rec) {
  // Nothing may unwind into the engine: whatever goes wrong here stops the run instead.
  try {
    if (!Rec || !Rec->Caller) return -1;
    auto* zip = static_cast<TZavOzeriz*>(Rec->Caller);
    return zip->HandleCallback(Rec->ActionCode, Rec->ErrorCode, areaText(Rec->Text), Rec->FileSize, Rec) ? -1
                                                                                                         : 0;
  } catch (...) {
    return -1;
  }
}

bool TZavOzeriz::HandleCallback(int Action, int Code, const std::string& Text, int64_t Size,
                                CallbackRecord* Rec) {
  try {
    dispatchAction(Action, Code, Text, Size, Rec);
  } catch (...) {
    FCancel = true;
    noteFailure(FHandlerFailure, Action, std::current_exception());
  }
  afterCallback(Action);
  return FCancel;
}

void TZavOzeriz::afterCallback(int Action) {
  // A failing OnAfterCallback or message loop stops the run like a failing event handler.
  try {
    if (OnAfterCallback.Assigned()) {
      bool abort = FCancel;
      OnAfterCallback(this, abort);
      if (abort) FCancel = true; // a handler can stop the run, never resume it
    } else {
      kv::platform::processMessages();
    }
  } catch (...) {
    FCancel = true;
    noteFailure(FHandlerFailure, Action, std::current_exception());
  }
}

void TZavOzeriz::dispatchAction(int Action, int Code, const std::string& Text, int64_t Size,
                                CallbackRecord* Rec) {
  switch (Action) {
  case zcaTick:
    OnTick(this);
    break;
  case zcaNewFile:
    OnProgress(this, ProgressType::NewFile, CallbackFileName(Text), eventSize(Size));
    break;
  case zcaProgress:
    OnProgress(this, ProgressType::ProgressUpdate, std::string(), eventSize(Size));
    break;
  case zcaEndOfBatch:
    OnProgress(this, ProgressType::EndOfBatch, ProgressActionText(Code), 0);
    break;
  case zcaMessage: {
    // Engine messages keep the platform's separators: they name files on this system, not
    // members of an archive.
    FMessage = rightTrim(Text);
    if (Code != 0) {
      engineError(Code);
      if (FErrCode == zeAbort && !FHandlerFailure.empty()) FMessage = "Exception in Event " + FHandlerFailure;
    }
    OnMessage(this, Code, FMessage);
    break;
  }
  case zcaTotalFiles:
    OnProgress(this, ProgressType::TotalFiles2Process, ProgressActionText(Code), eventSize(Size));
    break;
  case zcaTotalSize:
    OnProgress(this, ProgressType::TotalSize2Process, ProgressActionText(Code), eventSize(Size));
    break;
  case zcaNewName:
    newNameRequest(CallbackFileName(Text), Rec);
    break;
  case zcaPassword:
    passwordRequest(Code, CallbackFileName(Text), Size, Rec);
    break;
  case zcaCrcError: {
    bool doExtract = true;
    const bool handled = OnCRC32Error.Assigned();
    if (handled)
      OnCRC32Error(this, CallbackFileName(Text), static_cast<uint32_t>(Code), static_cast<uint32_t>(Size),
                   doExtract);
    if (Rec) Rec->ErrorCode = handled ? (doExtract ? 1 : 0) : 2;
    break;
  }
  case zcaOverwrite:
    if (OnExtractOverwrite.Assigned()) {
      bool overwrite = (Size & 0xFF) != 0;
      OnExtractOverwrite(this, CallbackFileName(Text), (Code & 0x10000) != 0, overwrite, Code & 0xFFFF);
      if (Rec) Rec->FileSize = overwrite ? 1 : 0;
    }
    break;
  case zcaSkipped:
    if (Code != 0) engineError(Code);
    // The engine counts the reasons from 1; one it should not have sent becomes the
    // general extract error rather than a value outside the list.
    OnExtractSkipped(this, CallbackFileName(Text), static_cast<UnZipSkipTypes>(ZipSkipTypeIndex(Size)), Code);
    break;
  case zcaFileComment:
    fileCommentRequest(CallbackFileName(Text), Rec);
    break;
  case zcaStreamResize:
    if (Rec) streamResize(Size, *Rec);
    break;
  case zcaDataRequest:
  default:
    break;
  }
}

void TZavOzeriz::newNameRequest(const std::string& Name, CallbackRecord* Rec) {
  if (!OnSetNewName.Assigned()) return;
  std::string name = Name;
  bool changed = false;
  OnSetNewName(this, name, changed);
  if (Rec) {
    if (changed) replyText(*Rec, name);
    Rec->ErrorCode = changed ? 1 : 0;
  }
}

void TZavOzeriz::fileCommentRequest(const std::string& Name, CallbackRecord* Rec) {
  if (!OnFileComment.Assigned()) return;
  // The member's whole current comment, read within its area: an empty one is an empty text.
  std::string comment = Rec ? areaText(Rec->FileComment) : std::string();
  bool changed = false;
  OnFileComment(this, Name, comment, changed);
  if (Rec) {
    const size_t n = std::min(comment.size(), size_t{KV_CALLBACK_TEXT_SIZE - 1});
    replyText(*Rec, changed ? comment.substr(0, n) : std::string());
    Rec->ErrorCode = changed ? 1 : 0;
    Rec->FileSize = static_cast<int64_t>(n);
  }
}

// The stream of the engines' memory modes to Size bytes; the reply is its new place, or a
// failure when it cannot have that size.
void TZavOzeriz::streamResize(int64_t Size, CallbackRecord& Rec) {
  bool resized = false;
  if (Size >= 0) {
    try {
      FZipStream->SetSize(Size);
      resized = true;
    } catch (...) {
    }
  }
  if (resized) {
    Rec.FileSize = static_cast<int64_t>(reinterpret_cast<intptr_t>(FZipStream->Memory()));
  } else {
    Rec.ErrorCode = 1;
    Rec.FileSize = 0;
  }
}

void TZavOzeriz::passwordRequest(int Code, const std::string& Name, int64_t Size, CallbackRecord* Rec) {
  std::string password;
  uint32_t repeat = eventSize(Size);
  TPasswordButton action = TPasswordButton::pwbOk;
  if (OnPasswordError.Assigned()) {
    FPasswordAnswer = TPasswordAnswer::paNone;
    OnPasswordError(this, Rec ? Rec->IsZipOperation != 0 : false, password, Name, repeat, action);
    if (action != TPasswordButton::pwbOk) password.clear();
    if (action == TPasswordButton::pwbCancelAll) FPasswordAnswer = TPasswordAnswer::paCancelAll;
    if (action == TPasswordButton::pwbAbort) FPasswordAnswer = TPasswordAnswer::paAbort;
  } else if (Code & 1) {
    AskAddPassword(password);
  } else {
    AskExtractPassword(password);
  }
  if (!password.empty()) {
    // Only the text area bounds the answer: a longer cut would give the engine another
    // password than the one the user gave.
    if (Rec) {
      replyText(*Rec, password);
      Rec->ErrorCode = 1;
    }
  } else {
    repeat = 0;
    if (Rec) {
      replyText(*Rec, std::string());
      Rec->ErrorCode = 0;
    }
  }
  if (Rec) Rec->FileSize = std::min<uint32_t>(repeat, 15);
  if (FPasswordAnswer == TPasswordAnswer::paCancelAll && Rec) Rec->ActionCode = 0;
  if (FPasswordAnswer == TPasswordAnswer::paAbort) FCancel = true;
}

} // namespace ZavOzeriz
