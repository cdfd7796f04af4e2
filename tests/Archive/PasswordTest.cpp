// The password dialog's figures and the add and extract prompts.
#include "EngineLinkTestSupport.h"

using namespace ZavOzeriz;
using namespace archivetest;
using namespace enginelinktest;

namespace {

// Answers password prompts from a list and keeps every request; any other dialog is a
// message box answered with OK and noted.
class PromptRecorder : public pf::DialogService {
public:
  std::vector<pf::PasswordReply> replies;
  std::vector<pf::PasswordRequest> requests;
  std::vector<std::string> boxes;
  int messageBox(const pf::MessageBoxRequest& r) override {
    boxes.push_back(r.text);
    return pf::id::OK;
  }
  pf::TModalResult messageDialog(const pf::MessageDialogRequest& r) override {
    boxes.push_back(r.text);
    return pf::mrOk;
  }
  pf::PasswordReply password(const pf::PasswordRequest& r) override {
    requests.push_back(r);
    if (replies.empty()) {
      ADD_FAILURE() << "unexpected password prompt " << r.prompt;
      return {pf::mrCancel, {}};
    }
    auto reply = replies.front();
    replies.erase(replies.begin());
    return reply;
  }
  std::optional<std::string> fileDialog(const pf::FileDialogRequest&) override { return std::nullopt; }
  void exceptionBox(const std::string&, const std::string& m) override { boxes.push_back(m); }
};

using PromptScope = DialogsScope<PromptRecorder>;

} // namespace

// Width 124 x N + 35, the edit 124 x N - 10, buttons 124 pixels apart from 20, for N shown buttons.
TEST(PasswordDialogLayout, FiguresForEachButtonSet) {
  using K = TPasswordDlgButtonKind;
  struct Row {
    int buttons;
    int width, editWidth;
    std::vector<K> kinds;
    std::vector<int> lefts, results, captions;
  };
  const Row rows[] = {
      {2, 283, 238, {K::bkOK, K::bkCancel}, {20, 144}, {1, 2}, {10152, 10153}}, // add prompt
      {6,
       407,
       362,
       {K::bkOK, K::bkCancel, K::bkNo},
       {20, 144, 268},
       {1, 2, 9},
       {10152, 10153, 10157}}, // extract
      {1, 159, 114, {K::bkOK}, {20}, {1}, {10152}},
      {0, 159, 114, {K::bkOK}, {20}, {1}, {10152}}, // OK is always there
      {8, 283, 238, {K::bkOK, K::bkAbort}, {20, 144}, {1, 3}, {10152, 10158}},
      {15,
       531,
       486,
       {K::bkOK, K::bkCancel, K::bkNo, K::bkAbort},
       {20, 144, 268, 392},
       {1, 2, 9, 3},
       {10152, 10153, 10157, 10158}},
      {0x7FFFFFF4, 283, 238, {K::bkOK, K::bkNo}, {20, 144}, {1, 9}, {10152, 10157}}, // only the four bits
                                                                                     // count
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.buttons);
    const TPasswordDlgLayout l = PasswordDlgLayout(row.buttons);
    EXPECT_EQ(l.Width, row.width);
    EXPECT_EQ(l.Height, 137);
    EXPECT_STREQ(l.FontName, "Arial");
    EXPECT_EQ(l.FontHeight, -12);
    EXPECT_TRUE(l.FontBold);
    EXPECT_EQ(std::vector<int>({l.LabelLeft, l.LabelTop, l.LabelWidth, l.LabelHeight}),
              std::vector<int>({20, 8, 297, 18}));
    EXPECT_EQ(std::vector<int>({l.EditLeft, l.EditTop, l.EditWidth, l.EditMaxLength}),
              std::vector<int>({20, 40, row.editWidth, 80}));
    EXPECT_EQ(l.PasswordChar, '*');
    ASSERT_EQ(l.Buttons.size(), row.lefts.size());
    for (size_t k = 0; k < l.Buttons.size(); ++k) {
      const TPasswordDlgButton& b = l.Buttons[k];
      EXPECT_EQ(b.Kind, row.kinds[k]);
      EXPECT_EQ(b.Left, row.lefts[k]);
      EXPECT_EQ(b.ModalResult, row.results[k]);
      EXPECT_EQ(b.CaptionId, row.captions[k]);
      EXPECT_EQ(std::vector<int>({b.Top, b.Width, b.Height}), std::vector<int>({72, 114, 28}));
    }
  }
}

TEST(PasswordPrompts, PromptWidths) {
  // The extract prompt shows three buttons, the add prompt two.
  EXPECT_EQ(PasswordDlgLayout(6).Width, 407);
  EXPECT_EQ(PasswordDlgLayout(2).Width, 283);
  PromptScope prompts;
  prompts->replies = {{pf::mrOk, "a"}, {pf::mrOk, "a"}, {pf::mrOk, "b"}};
  TZavOzeriz zip(nullptr);
  std::string pw;
  zip.AskAddPassword(pw);
  zip.AskExtractPassword(pw);
  ASSERT_EQ(prompts->requests.size(), 3u);
  EXPECT_EQ(prompts->requests[0].buttons, 3); // OK and Cancel
  EXPECT_EQ(prompts->requests[1].buttons, 3);
  EXPECT_EQ(prompts->requests[2].buttons, 7); // OK, Cancel and Cancel all
  EXPECT_EQ(prompts->requests[2].buttonCaptions, (std::vector<std::string>{"&Ok", "&Cancel", "Cancel all"}));
  EXPECT_EQ(prompts->requests[0].buttonCaptions, (std::vector<std::string>{"&Ok", "&Cancel"}));
  for (const auto& r : prompts->requests) {
    EXPECT_EQ(r.caption, "Password");
    EXPECT_EQ(r.maxLength, 80u);
  }
  EXPECT_EQ(prompts->requests[0].prompt, "Enter Password ");
  EXPECT_EQ(prompts->requests[1].prompt, "Confirm Password ");
  EXPECT_EQ(prompts->requests[2].prompt, "Enter Password ");
}

TEST(PasswordPrompts, DialogResults) {
  struct Row {
    pf::TModalResult result;
    TPasswordButton want;
    TPasswordAnswer remembered;
    std::string wantText;
  };
  const Row rows[] = {
      {pf::mrOk, TPasswordButton::pwbOk, TPasswordAnswer::paNone, "typed"},
      {pf::mrCancel, TPasswordButton::pwbCancel, TPasswordAnswer::paNone, ""},
      {pf::mrNoToAll, TPasswordButton::pwbCancelAll, TPasswordAnswer::paCancelAll, ""},
      {pf::mrAbort, TPasswordButton::pwbAbort, TPasswordAnswer::paAbort, ""},
      {pf::mrNone, TPasswordButton::pwbCancel, TPasswordAnswer::paNone, ""}, // closed without a button
      {pf::mrNo, TPasswordButton::pwbAbort, TPasswordAnswer::paNone, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.result);
    PromptScope prompts;
    prompts->replies = {{row.result, "typed"}};
    TZavOzeriz zip(nullptr);
    std::string text = "before";
    EXPECT_EQ(zip.RunPasswordDlg("Password", "Enter Password ", text, 6), row.want);
    EXPECT_EQ(text, row.wantText);
    EXPECT_EQ(zip.RememberedPasswordAnswer(), row.remembered);
  }
}

TEST(PasswordPrompts, NoMoreThanEightyCharactersCanBeEntered) {
  PromptScope prompts;
  const std::string typed(100, 'k');
  prompts->replies = {{pf::mrOk, typed}};
  TZavOzeriz zip(nullptr);
  std::string pw;
  zip.AskExtractPassword(pw);
  EXPECT_EQ(pw, typed.substr(0, 80));
}

TEST(PasswordPrompts, AddPrompt) {
  struct Row {
    const char* name;
    std::vector<pf::PasswordReply> replies;
    std::string want;
    std::vector<int> messages;
    TPasswordAnswer remembered;
  };
  const Row rows[] = {
      {"same twice", {{pf::mrOk, "Secret"}, {pf::mrOk, "Secret"}}, "Secret", {}, TPasswordAnswer::paNone},
      {"different", {{pf::mrOk, "Secret"}, {pf::mrOk, "secret"}}, "", {10104}, TPasswordAnswer::paNone},
      {"cancel on the confirmation",
       {{pf::mrOk, "Secret"}, {pf::mrCancel, ""}},
       "",
       {},
       TPasswordAnswer::paNone},
      // The remembered answer is that of the last dialog shown.
      {"abort on the confirmation",
       {{pf::mrOk, "Secret"}, {pf::mrAbort, ""}},
       "",
       {},
       TPasswordAnswer::paAbort},
      {"empty first entry", {{pf::mrOk, ""}}, "", {}, TPasswordAnswer::paNone},
      {"cancel first", {{pf::mrCancel, "x"}}, "", {}, TPasswordAnswer::paNone},
      {"empty confirmation", {{pf::mrOk, "Secret"}, {pf::mrOk, ""}}, "", {}, TPasswordAnswer::paNone},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PromptScope prompts;
    prompts->replies = row.replies;
    TZavOzeriz zip(nullptr);
    Recorder rec(zip);
    std::string pw = "before";
    zip.AskAddPassword(pw);
    EXPECT_EQ(pw, row.want);
    EXPECT_TRUE(prompts->replies.empty()) << "prompts not shown";
    EXPECT_EQ(rec.messageIds(), row.messages);
    EXPECT_EQ(zip.RememberedPasswordAnswer(), row.remembered);
    if (!row.messages.empty()) {
      // Shown in a box as well, since the component is not unattended.
      EXPECT_EQ(prompts->boxes, std::vector<std::string>{"Error - passwords do NOT match\nPassword ignored"});
      EXPECT_EQ(zip.ErrCode(), 10104);
    }
  }
}

TEST(PasswordPrompts, ExtractPromptCancelAll) {
  ScriptedDialogsScope dialogs;
  dialogs->expectPassword("Enter Password ", {pf::mrNoToAll, "typed"});
  TZavOzeriz zip(nullptr);
  std::string pw = "before";
  zip.AskExtractPassword(pw);
  EXPECT_EQ(pw, "");
  EXPECT_EQ(zip.RememberedPasswordAnswer(), TPasswordAnswer::paCancelAll);
}

TEST(PasswordPrompts, UnattendedAsksNobody) {
  PromptScope prompts;
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  Recorder rec(zip);
  std::string pw = "before";
  zip.AskAddPassword(pw);
  EXPECT_EQ(pw, "");
  EXPECT_EQ(zip.ErrCode(), 10150);
  pw = "before";
  zip.AskExtractPassword(pw);
  EXPECT_EQ(pw, "");
  EXPECT_EQ(zip.ErrCode(), 10151);
  ASSERT_EQ(rec.messages.size(), 2u);
  EXPECT_EQ(rec.messages[0].text, "Error - no add password given");
  EXPECT_EQ(rec.messages[1].text, "Error - no extract password given");
  EXPECT_TRUE(prompts->requests.empty());
  EXPECT_TRUE(prompts->boxes.empty());
}
