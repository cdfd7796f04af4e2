#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Dialogs/ConsoleDialogs.h"
#include "Platform/Dialogs/MessageBoxes.h"
#include "Platform/Dialogs/ScriptedDialogs.h"

#include <gtest/gtest.h>

using namespace kv::platform;

TEST(NonInteractiveDialogs, EveryQuestionGetsItsSafeAnswer) {
  char* text = nullptr;
  size_t len = 0;
  FILE* out = open_memstream(&text, &len);
  NonInteractiveDialogs d(out);
  const std::pair<uint32_t, int> rows[] = {
      {mb::OK, id::OK},
      {mb::OKCANCEL, id::CANCEL},
      {mb::YESNO, id::NO},
      {mb::YESNOCANCEL, id::CANCEL},
      {mb::RETRYCANCEL, id::CANCEL},
      {mb::ABORTRETRYIGNORE, id::ABORT},
  };
  for (auto [flags, want] : rows)
    EXPECT_EQ(d.messageBox({"Overwrite?", "Confirm", flags | mb::DEFBUTTON1}), want);
  EXPECT_EQ(d.messageDialog({"Sure?", TMsgDlgType::mtConfirmation, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}, 0, ""}),
            mrNo);
  EXPECT_EQ(d.messageDialog({"Info", TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK}, 0, ""}), mrOk);
  EXPECT_EQ(d.password({"Password", "Enter Password ", 1, {}, 80}).result, mrCancel);
  EXPECT_FALSE(d.fileDialog({}).has_value());
  std::fclose(out);
  EXPECT_NE(std::string(text, len).find("Confirm: Overwrite?"), std::string::npos);
  std::free(text);
}

TEST(ConsoleDialogs, ReadsAnswersAndGivesTheSafeOneAtTheEndOfInput) {
  FILE* in = fmemopen(const_cast<char*>("x\ny\nsecret\n"), 12, "r");
  FILE* out = std::fopen("/dev/null", "w");
  ConsoleDialogs d(in, out);
  EXPECT_EQ(d.messageBox({"Overwrite?", "Confirm", mb::YESNO}), id::YES); // "x" is no answer, asked again
  auto p = d.password({"Password", "Enter Password ", 1, {}, 3});
  EXPECT_EQ(p.result, mrOk);
  EXPECT_EQ(p.text, "sec");
  EXPECT_EQ(d.messageBox({"Again?", "Confirm", mb::YESNOCANCEL}), id::CANCEL); // no more input
  std::fclose(in);
  std::fclose(out);
}

TEST(ScriptedDialogs, AnswersInOrderAndReportsWhatNobodyExpected) {
  std::vector<std::string> failures;
  ScriptedDialogs s([&](const std::string& why) { failures.push_back(why); });
  s.expectMessageBox("first", id::YES, std::string("Title")).expectPassword("Enter Password ", {mrOk, "pw"});
  EXPECT_EQ(s.messageBox({"first", "Title", mb::YESNO}), id::YES);
  EXPECT_EQ(s.password({"Password", "Enter Password ", 1, {}, 80}).text, "pw");
  EXPECT_TRUE(s.done());
  EXPECT_EQ(s.messageBox({"surprise", "T", mb::YESNO}), id::NO); // safe answer
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("surprise"), std::string::npos);
  s.expectMessageBox("wanted", id::OK);
  s.messageBox({"other", "T", mb::OK});
  EXPECT_EQ(failures.size(), 2u);
  EXPECT_FALSE(s.done());
}

TEST(MessageBoxes, ShowMessageUsesTheApplicationTitleThroughTheService) {
  auto scripted = std::make_unique<ScriptedDialogs>([](const std::string& why) { ADD_FAILURE() << why; });
  auto* s = scripted.get();
  auto old = setDialogs(std::move(scripted));
  application().setTitle("KVSetupKit");
  s->expectMessageBox("Done.", id::OK, std::string("KVSetupKit"));
  showMessage("Done.");
  EXPECT_TRUE(s->done());
  setDialogs(std::move(old));
}

TEST(DialogChoice, WithoutTerminalOrDisplayItIsNonInteractive) {
  setDialogs(nullptr);
  EXPECT_NE(dynamic_cast<NonInteractiveDialogs*>(&dialogs()), nullptr); // ctest gives no terminal
}
