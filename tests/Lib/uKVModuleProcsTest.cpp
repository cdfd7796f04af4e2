#include "uKVModuleProcs.h"
#include "uKVHostAppImport.h"

#include "FakeHostTestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <string>

using namespace uKVModuleProcs;
using kv::platform::TMsgDlgBtn;
using kv::platform::TMsgDlgType;

namespace {

class ModuleDialogs : public kvtest::FakeHostTest {
protected:
  void SetUp() override {
    FakeHostTest::SetUp();
    if (HasFatalFailure()) return;
    uKVHostAppImport::ConnectHostApp(reinterpret_cast<uintptr_t>(fake));
    reset(6);
  }
  void reset(int32_t answer) { reinterpret_cast<void (*)(int32_t)>(dlsym(fake, "FakeHostReset"))(answer); }
  void* dialogObject() { return reinterpret_cast<void* (*)()>(dlsym(fake, "FakeHostDialogObject"))(); }
};

TVarRec integer(int32_t v) {
  TVarRec r{};
  r.VInteger = v;
  r.VType = KV_vtInteger;
  return r;
}

} // namespace

TEST_F(ModuleDialogs, EveryRoutineReachesItsHostFunction) {
  struct Case {
    const char* what;
    std::function<int32_t()> call;
    const char* logged; // dialog kind, then the button set as a bit mask
  } cases[] = {
      {"MdMessageDlgPos",
       [] { return MdMessageDlgPos("Text", TMsgDlgType::mtWarning, {TMsgDlgBtn::mbOK}, 0, 10, 20); },
       "MdMessageDlgPosEx|\"Text\"|0|4|0|10|20"},
      {"MdMessageDlg",
       [] {
         return MdMessageDlg("Sure?", TMsgDlgType::mtConfirmation, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}, 7);
       },
       "MdMessageDlgEx|\"Sure?\"|3|3|7"},
      {"MdMessageDlg with default buttons",
       [] {
         return MdMessageDlg("X", TMsgDlgType::mtError,
                             {TMsgDlgBtn::mbAbort, TMsgDlgBtn::mbRetry, TMsgDlgBtn::mbIgnore},
                             TMsgDlgBtn::mbRetry, TMsgDlgBtn::mbIgnore, 5);
       },
       "MdMessageDlgDefBtnEx|\"X\"|1|112|5|6|5"},
      {"MdMessageDlgPosHelp",
       [] {
         return MdMessageDlgPosHelp("Help me", TMsgDlgType::mtCustom,
                                    {TMsgDlgBtn::mbHelp, TMsgDlgBtn::mbYesToAll}, 12, -5, 300, "korv.hlp");
       },
       "MdMessageDlgPosHelpEx|\"Help me\"|4|1536|12|-5|300|\"korv.hlp\""},
      {"MdMessageDlg with no buttons", [] { return MdMessageDlg("", TMsgDlgType::mtInformation, {}, 0); },
       "MdMessageDlgEx|\"\"|2|0|0"},
  };
  for (const auto& c : cases) {
    reset(6);
    EXPECT_EQ(c.call(), 6) << c.what;
    EXPECT_EQ(fakeLog(), std::string(c.logged) + "\n") << c.what;
  }
}

TEST_F(ModuleDialogs, MessagesAndTheDialogObject) {
  EXPECT_EQ(MdCreateMessageDialog("Made", TMsgDlgType::mtError, {TMsgDlgBtn::mbOK, TMsgDlgBtn::mbCancel}),
            dialogObject());
  MdShowMessage("Hello");
  MdShowMessagePos("There", -1, 3);
  EXPECT_EQ(fakeLog(), "MdCreateMessageDialogEx|\"Made\"|1|12\n"
                       "MdShowMessageEx|\"Hello\"\n"
                       "MdShowMessagePosEx|\"There\"|-1|3\n");
}

TEST_F(ModuleDialogs, FormattedMessagesPassTheirArguments) {
  MdShowMessageFmt("%d of %d", {integer(3), integer(7)});
  MdShowMessageFmt("nothing", {});
  const double pi = 3.25;
  TVarRec f{};
  f.VExtended = &pi;
  f.VType = KV_vtExtended;
  TVarRec s{};
  s.VPChar = "abc";
  s.VType = KV_vtPChar;
  MdShowMessageFmt("%s %f", {s, f});
  EXPECT_EQ(fakeLog(), "MdShowMessageFmtEx|\"%d of %d\"|1|int 3|int 7\n"
                       "MdShowMessageFmtEx|\"nothing\"|-1\n"
                       "MdShowMessageFmtEx|\"%s %f\"|1|text \"abc\"|float 3.250000\n");
}

TEST_F(ModuleDialogs, UnboundHostFunctionsDoNothingAndAnswerZero) {
  uKVHostAppImport::ConnectHostApp(reinterpret_cast<uintptr_t>(single));
  EXPECT_EQ(MdCreateMessageDialog("a", TMsgDlgType::mtWarning, {}), nullptr);
  EXPECT_EQ(MdMessageDlg("a", TMsgDlgType::mtWarning, {TMsgDlgBtn::mbOK}, 0), 0);
  EXPECT_EQ(
      MdMessageDlg("a", TMsgDlgType::mtWarning, {TMsgDlgBtn::mbOK}, TMsgDlgBtn::mbOK, TMsgDlgBtn::mbOK, 0),
      0);
  EXPECT_EQ(MdMessageDlgPos("a", TMsgDlgType::mtWarning, {}, 0, 1, 2), 0);
  EXPECT_EQ(MdMessageDlgPosHelp("a", TMsgDlgType::mtWarning, {}, 0, 1, 2, "h"), 0);
  MdShowMessageFmt("%d", {integer(1)});
  MdShowMessagePos("a", 1, 2);
  uKVHostAppImport::DbgDebugMsgS("a");
  MdShowMessage("only this arrives");
  EXPECT_STREQ(reinterpret_cast<const char* (*)()>(dlsym(single, "SingleHostShown"))(), "only this arrives");
  EXPECT_EQ(fakeLog(), "") << "the full host was called although another one is bound";
}
