#include "uKVHostAppImport.h"

#include "FakeHostTestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

using namespace uKVHostAppImport;

// This program is a host too: these are found in it when it passes its own handle.
extern "C" __attribute__((visibility("default"))) void DbgDebugMsg(const char* Msg);
extern "C" __attribute__((visibility("default"))) void LogMessage();
namespace {
std::string selfMessages;
}
extern "C" void DbgDebugMsg(const char* Msg) { selfMessages += Msg; }
extern "C" void LogMessage() {}

namespace {

struct Binding {
  const char* name;
  void* (*value)();
};

template <auto& Variable> void* addressOf() { return reinterpret_cast<void*>(Variable); }

// Every variable with the name of its host function, in the order of binding.
const std::vector<Binding>& bindings() {
  static const std::vector<Binding> all{
      {"ModManSendMessage", addressOf<ModManSendMessage>},
      {"ModManGetAppDBConnection", addressOf<ModManGetAppDBConnection>},
      {"ModManGetNewDBConnection", addressOf<ModManGetNewDBConnection>},
      {"LogMessage", addressOf<uKVHostAppImport::LogMessage>},
      {"DbgIsDebugApp", addressOf<DbgIsDebugApp>},
      {"DbgDebugMsg", addressOf<uKVHostAppImport::DbgDebugMsg>},
      {"DbgDebugDialog", addressOf<DbgDebugDialog>},
      {"MdCreateMessageDialogEx", addressOf<MdCreateMessageDialogEx>},
      {"MdMessageDlgEx", addressOf<MdMessageDlgEx>},
      {"MdMessageDlgDefBtnEx", addressOf<MdMessageDlgDefBtnEx>},
      {"MdMessageDlgPosEx", addressOf<MdMessageDlgPosEx>},
      {"MdMessageDlgPosHelpEx", addressOf<MdMessageDlgPosHelpEx>},
      {"MdShowMessageEx", addressOf<MdShowMessageEx>},
      {"MdShowMessageFmtEx", addressOf<MdShowMessageFmtEx>},
      {"MdShowMessagePosEx", addressOf<MdShowMessagePosEx>},
  };
  return all;
}

class HostBinding : public kvtest::FakeHostTest {
protected:
  static uintptr_t handle(void* h) { return reinterpret_cast<uintptr_t>(h); }
};

} // namespace

TEST_F(HostBinding, AllFifteenFromAFullHost) {
  ASSERT_EQ(bindings().size(), 15u);
  EXPECT_EQ(ConnectHostApp(handle(fake)), 0);
  for (const auto& b : bindings()) {
    void* expected = dlsym(fake, b.name);
    ASSERT_NE(expected, nullptr) << b.name;
    EXPECT_EQ(b.value(), expected) << b.name;
  }
}

TEST_F(HostBinding, ASingleExportBindsExactlyOne) {
  ConnectHostApp(handle(fake));
  EXPECT_EQ(ConnectHostApp(handle(single)), 0);
  for (const auto& b : bindings()) {
    if (std::strcmp(b.name, "MdShowMessageEx") == 0)
      EXPECT_EQ(b.value(), dlsym(single, "MdShowMessageEx"));
    else
      EXPECT_EQ(b.value(), nullptr) << b.name << " still bound after rebinding";
  }
}

TEST_F(HostBinding, NoHandleBindsNothing) {
  ConnectHostApp(handle(fake));
  EXPECT_EQ(ConnectHostApp(0), 0);
  for (const auto& b : bindings())
    EXPECT_EQ(b.value(), nullptr) << b.name;
}

TEST_F(HostBinding, AHostProgramPassesItsOwnHandle) {
  void* self = dlopen(nullptr, RTLD_NOW);
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(ConnectHostApp(handle(self)), 0);
  EXPECT_EQ(reinterpret_cast<void*>(uKVHostAppImport::DbgDebugMsg), reinterpret_cast<void*>(&::DbgDebugMsg));
  EXPECT_EQ(reinterpret_cast<void*>(uKVHostAppImport::LogMessage), reinterpret_cast<void*>(&::LogMessage));
  // The fake hosts were loaded privately: their functions are not the program's.
  EXPECT_EQ(MdShowMessageEx, nullptr);
  selfMessages.clear();
  DbgDebugMsgS("from the module");
  EXPECT_EQ(selfMessages, "from the module");
  dlclose(self);
}

TEST_F(HostBinding, DebugMessagesReachTheHost) {
  DbgDebugMsgS("nobody listens"); // not bound: nothing happens
  ConnectHostApp(handle(fake));
  reinterpret_cast<void (*)(int32_t)>(dlsym(fake, "FakeHostReset"))(0);
  DbgDebugMsgS("Gr\xC3\xBC\xC3\x9F"
               "e");
  DbgDebugMsgS("");
  EXPECT_EQ(fakeLog(), "DbgDebugMsg|\"Gr\xC3\xBC\xC3\x9F"
                       "e\"\nDbgDebugMsg|\"\"\n");
}
