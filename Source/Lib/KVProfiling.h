// Timing of named code sections: a caller opens a profiling id, marks the start and end of
// sections under it as often as it likes, and gets the recorded sections back one row per
// section (detail) or one row per name (summary), or shown in a window. Durations come from
// the time-stamp counter and its rate, measured against the performance counter whenever a
// list is built.
#pragma once

#include "KVLibExport.h"
#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/Contnrs.h"
#include "Platform/Rtl/SysUtils.h"

#include <cstdint>
#include <string>

namespace KVProfiling {

using kv::platform::TDateTime;
using kv::platform::TObjectList;

// One result row: one section in the detail list, all sections of one name in the summary.
class KVLIB_API TKVProfSection : public kv::platform::TObject {
public:
  std::string ClassName() const override { return "TKVProfSection"; }

  double Duration = 0.0; // seconds (summary: of all sections of the name)
  int64_t Ticks = 0;     // end minus start count (summary: their total)
  std::string Name;
  TDateTime StartTime = 0;  // time of day of the start (summary: of the first in name order)
  std::string Remark;       // summary: empty
  int32_t Count = 0;        // detail: 1
  double MinDuration = 0.0; // summary only: seconds of the shortest section
  double MaxDuration = 0.0; // summary only: seconds of the longest section
};

// "Invalid Profiling ID" or "Profiling ID not initialized".
class KVLIB_API EKVProfException : public kv::platform::Exception {
public:
  using kv::platform::Exception::Exception;
};

// A new id; -1 when it cannot be made.
KVLIB_API int32_t KVProfInit();
// Forgets the id's sections and closes it.
KVLIB_API void KVProfFree(int32_t Id);
// Forgets every section of the id and empties its result lists.
KVLIB_API void KVProfClear(int32_t Id);
KVLIB_API void KVProfStartSection(int32_t Id, const std::string& Name, const std::string& Remark);
// Ends the section of that name started last (exact name); nothing when there is none.
KVLIB_API void KVProfEndSection(int32_t Id, const std::string& Name);
// The id's rows, rebuilt on each call; the lists stay the library's, valid until the next
// call for the same id, KVProfClear or KVProfFree.
KVLIB_API TObjectList* KVProfGetDetailList(int32_t Id);
KVLIB_API TObjectList* KVProfGetSummaryList(int32_t Id);
// Shows both lists in a new window (not modal); the window frees itself when it is closed.
KVLIB_API void KVProfShowResult(int32_t Id, const std::string& Title);

} // namespace KVProfiling
