// Types shared by every part of the desktop database engine: its exceptions, field types
// and the values a record holds.
#pragma once

#include "Platform/Rtl/SysUtils.h"

#include <cstdint>
#include <string>
#include <variant>

namespace kv::platform {

// Every failure of the engine or of a data set is raised as one of these, members of the
// class library's exception family.
KV_DECLARE_EXCEPTION(EDatabaseError, Exception);

// A failure the engine itself reports: unknown database, missing or damaged table, a table
// in use by another program, a missing password, a statement it cannot run.
KV_DECLARE_EXCEPTION(EDBEngineError, EDatabaseError);

enum class TFieldType {
  ftUnknown,  // a stored type this engine does not read; its values are null
  ftString,   // Paradox alpha, Size = bytes (1..255)
  ftSmallint, // 16-bit
  ftInteger,  // 32-bit
  ftAutoInc,  // 32-bit, numbered by the table when written as null
  ftBoolean,  // logical
  ftFloat,    // number (double)
  ftCurrency, // money (double)
  ftMemo,     // memo of any length; Size = bytes in the record (11..240): its first Size - 10 bytes
              // and where the whole text lies in the table's memo file (.MB)
};

// Null, an integer (also for logical fields: 0 or 1), a floating-point number or text (UTF-8).
using FieldValue = std::variant<std::monostate, std::int64_t, double, std::string>;

struct TFieldDef {
  std::string Name;
  TFieldType DataType = TFieldType::ftString;
  int Size = 0; // bytes for ftString and ftMemo; ignored for the others
};

} // namespace kv::platform
