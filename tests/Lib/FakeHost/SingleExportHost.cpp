// A host that offers one service function only.
#include "KVHostFunctions.h"

#include <string>

namespace {
std::string shown;
}

extern "C" __attribute__((visibility("default"))) void MdShowMessageEx(const char* Msg) { shown += Msg; }
extern "C" __attribute__((visibility("default"))) const char* SingleHostShown() { return shown.c_str(); }
