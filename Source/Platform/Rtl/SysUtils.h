// The class library's exception hierarchy and basic types.
#pragma once

#include <exception>
#include <string>

namespace kv::platform {

// Days since 1899-12-30, the time of day as fraction, local time.
using TDateTime = double;
using TDate = TDateTime;
using TTime = TDateTime;

// Root of every exception the class library and the system raise. Carries the
// message that the standard exception box shows.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }
  int HelpContext = 0;

private:
  std::string message_;
};

#define KV_DECLARE_EXCEPTION(Name, Base)                                                                     \
  class Name : public Base {                                                                                 \
  public:                                                                                                    \
    using Base::Base;                                                                                        \
  }

// The silent exception: unwinds without the standard exception box.
KV_DECLARE_EXCEPTION(EAbort, Exception);
KV_DECLARE_EXCEPTION(EInvalidOperation, Exception);
KV_DECLARE_EXCEPTION(EConvertError, Exception);
KV_DECLARE_EXCEPTION(EAssertionFailed, Exception);
KV_DECLARE_EXCEPTION(EOutOfMemory, Exception);
KV_DECLARE_EXCEPTION(EInOutError, Exception);
KV_DECLARE_EXCEPTION(EListError, Exception);
KV_DECLARE_EXCEPTION(EStringListError, Exception);
KV_DECLARE_EXCEPTION(EComponentError, Exception);
KV_DECLARE_EXCEPTION(EStreamError, Exception);
KV_DECLARE_EXCEPTION(EFOpenError, EStreamError);
KV_DECLARE_EXCEPTION(EFCreateError, EStreamError);
KV_DECLARE_EXCEPTION(EReadError, EStreamError);
KV_DECLARE_EXCEPTION(EWriteError, EStreamError);
KV_DECLARE_EXCEPTION(EClassNotFound, EReadError);

// Raises EAbort.
[[noreturn]] void Abort();

}  // namespace kv::platform
