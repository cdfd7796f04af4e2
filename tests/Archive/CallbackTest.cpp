// The callback dispatch: every action code's event and reply, the failures that must never
// reach the engine, and the step that follows each callback.
#include "EngineLinkTestSupport.h"

#include <cstring>

using namespace ZavOzeriz;
using namespace archivetest;
using namespace enginelinktest;

namespace {

// One callback as an engine makes it.
struct Callback {
  CallbackRecord rec;
  Callback(TZavOzeriz& zip, int32_t action, int32_t code = 0, int64_t size = 0, const std::string& text = {},
           const std::string& comment = {}, bool zipOperation = false) {
    std::memset(&rec, 0, sizeof rec);
    rec.Caller = &zip;
    rec.IsZipOperation = zipOperation ? 1 : 0;
    rec.ActionCode = action;
    rec.ErrorCode = code;
    rec.FileSize = size;
    std::strncpy(rec.Text, text.c_str(), sizeof rec.Text - 1);
    std::strncpy(rec.FileComment, comment.c_str(), sizeof rec.FileComment - 1);
  }
  int32_t call() { return TZavOzeriz::EngineCallback(&rec); }
  std::string text() const { return std::string(rec.Text, strnlen(rec.Text, sizeof rec.Text)); }
};

struct Progress {
  ProgressType type;
  std::string name;
  uint32_t size;
  bool operator==(const Progress&) const = default;
};

} // namespace

TEST(CallbackDispatch, ProgressActions) {
  struct Row {
    int32_t action, code;
    int64_t size;
    std::string text;
    std::vector<Progress> want;
    int ticks;
  };
  using P = ProgressType;
  const Row rows[] = {
      {0, 0, 0, "", {}, 1},
      {1, 0, 1234, "docs/plan.doc  \r\n", {{P::NewFile, "docs\\plan.doc", 1234}}, 0},
      {2, 0, 4096, "ignored", {{P::ProgressUpdate, "", 4096}}, 0},
      {3, 0, 99, "", {{P::EndOfBatch, "", 0}}, 0},
      {3, 1, 0, "", {{P::EndOfBatch, "Resetting Archive Bit", 0}}, 0},
      {5, 2, 7, "", {{P::TotalFiles2Process, "Copy file", 7}}, 0},
      {6, 3, 1 << 20, "", {{P::TotalSize2Process, "Progress 3", 1u << 20}}, 0},
      {6, -4, 5, "", {{P::TotalSize2Process, "", 5}}, 0},
      // Sizes beyond 32 bits are held at the largest the event can carry.
      {6, 0, int64_t{5} << 32, "", {{P::TotalSize2Process, "", 0xFFFFFFFFu}}, 0},
      {2, 0, -1, "", {{P::ProgressUpdate, "", 0}}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.action);
    TZavOzeriz zip(nullptr);
    std::vector<Progress> seen;
    int ticks = 0;
    zip.OnProgress.Bind([&](pf::TObject* s, ProgressType t, const std::string& n, uint32_t sz) {
      EXPECT_EQ(s, &zip);
      seen.push_back({t, n, sz});
    });
    zip.OnTick.Bind([&](pf::TObject*) { ++ticks; });
    Callback cb(zip, row.action, row.code, row.size, row.text);
    EXPECT_EQ(cb.call(), 0);
    EXPECT_EQ(seen, row.want);
    EXPECT_EQ(ticks, row.ticks);
  }
}

TEST(CallbackDispatch, EngineMessages) {
  struct Row {
    int32_t code;
    std::string text;
    int wantErrCode, wantFull;
    std::string wantText;
  };
  const Row rows[] = {
      {0, "Added 2 file(s) to /tmp/a.zip  ", 55, 0, "Added 2 file(s) to /tmp/a.zip"},
      {0x0109, "User abort", 9, 0x0109, "User abort"},
      {4, "Cannot open /data/x", 4, 4, "Cannot open /data/x"},
      {0x7FFFFF02, "odd", 2, 0x7FFFFF02, "odd"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    zip.ShowZipMessage(55 + 0); // leaves ErrCode 55 from before
    Recorder rec(zip);
    Callback cb(zip, zcaMessage, row.code, 0, row.text);
    EXPECT_EQ(cb.call(), 0);
    EXPECT_EQ(zip.ErrCode(), row.wantErrCode);
    EXPECT_EQ(zip.FullErrCode(), row.wantFull);
    EXPECT_EQ(zip.LastMessage(), row.wantText);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].errCodeArg, row.code);
    EXPECT_EQ(rec.messages[0].text, row.wantText);
  }
}

TEST(CallbackDispatch, TextIsReadNoFurtherThanItsArea) {
  TZavOzeriz zip(nullptr);
  std::string name;
  zip.OnProgress.Bind([&](pf::TObject*, ProgressType, const std::string& n, uint32_t) { name = n; });
  Callback cb(zip, zcaNewFile);
  std::memset(cb.rec.Text, 'x', sizeof cb.rec.Text); // no NUL anywhere in the area
  cb.rec.FileComment[0] = 'y';                       // what follows must not be read into the name
  EXPECT_EQ(cb.call(), 0);
  EXPECT_EQ(name, std::string(KV_CALLBACK_TEXT_SIZE, 'x'));
}

// A failing handler stops the run, is never seen by the engine, and explains the engine's
// abort message that follows.
TEST(CallbackDispatch, HandlerFailuresCancelTheRun) {
  TZavOzeriz zip(nullptr);
  Recorder rec(zip);
  int progressCalls = 0;
  zip.OnProgress.Bind([&](pf::TObject*, ProgressType, const std::string&, uint32_t) {
    if (++progressCalls == 1) throw pf::Exception("disk full");
    throw 42; // not even an exception class
  });
  Callback first(zip, zcaNewFile, 0, 1, "a.txt");
  EXPECT_EQ(first.call(), -1);
  EXPECT_TRUE(zip.CallbackCancelled());
  EXPECT_EQ(zip.HandlerFailure(), " #1 \"disk full\"");
  Callback second(zip, zcaProgress, 0, 1);
  EXPECT_EQ(second.call(), -1);
  EXPECT_EQ(zip.HandlerFailure(), " #1 \"disk full\""); // the first failure is kept
  Callback tick(zip, zcaTick);
  EXPECT_EQ(tick.call(), -1); // stays cancelled
  Callback abort(zip, zcaMessage, 9, 0, "User abort");
  EXPECT_EQ(abort.call(), -1);
  ASSERT_EQ(rec.messages.size(), 1u);
  // The text as quoted keeps its trailing blank; the failure text brings its own.
  EXPECT_EQ(rec.messages[0].text, "Exception in Event  #1 \"disk full\"");
  EXPECT_EQ(zip.ErrCode(), 9);
}

TEST(CallbackDispatch, AfterCallbackCanStopButNotResume) {
  TZavOzeriz zip(nullptr);
  std::vector<bool> abortSeen;
  int call = 0;
  zip.OnAfterCallback.Bind([&](pf::TObject*, bool& abort) {
    abortSeen.push_back(abort);
    ++call;
    if (call == 2) abort = true;
    if (call == 3) abort = false;
    if (call == 4) throw std::runtime_error("handler broke");
  });
  MessageLoopCounter loop;
  Callback a(zip, zcaTick), b(zip, zcaTick), c(zip, zcaTick);
  EXPECT_EQ(a.call(), 0);
  EXPECT_EQ(b.call(), -1);
  EXPECT_EQ(c.call(), -1);
  EXPECT_EQ(abortSeen, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(loop.count, 0); // OnAfterCallback takes the place of the message loop

  // A failing after-callback handler stops the run instead of unwinding into the engine.
  TZavOzeriz other(nullptr);
  other.OnAfterCallback.Bind([](pf::TObject*, bool&) { throw std::runtime_error("handler broke"); });
  Callback d(other, zcaTick);
  EXPECT_EQ(d.call(), -1);
  EXPECT_EQ(other.HandlerFailure(), " #0 \"handler broke\"");
}

TEST(CallbackDispatch, WithoutAfterCallbackMessagesRunOncePerCallback) {
  TZavOzeriz zip(nullptr);
  MessageLoopCounter loop;
  for (int action : {0, 1, 2, 4, 12, 14, 15, -3}) {
    Callback cb(zip, action);
    EXPECT_EQ(cb.call(), 0) << action;
  }
  EXPECT_EQ(loop.count, 8);
  // A message loop that fails stops the run like a failing handler.
  pf::setProcessMessagesHook([] { throw std::runtime_error("loop broke"); });
  Callback cb(zip, zcaTick);
  EXPECT_EQ(cb.call(), -1);
}

TEST(CallbackDispatch, NoCallerIsRefused) {
  CallbackRecord rec;
  std::memset(&rec, 0, sizeof rec);
  EXPECT_EQ(TZavOzeriz::EngineCallback(&rec), -1);
  EXPECT_EQ(TZavOzeriz::EngineCallback(nullptr), -1);
}

TEST(CallbackReplies, NewName) {
  struct Row {
    bool handler, change;
    std::string newName;
    int32_t wantCode;
    std::string wantText;
  };
  const std::string longName(700, 'n');
  const Row rows[] = {
      {false, false, "", 0, "dir/old.txt"}, // nothing written back
      {true, false, "", 0, "dir/old.txt"},
      {true, true, "new\\name.txt", 1, "new\\name.txt"},
      {true, true, longName, 1, longName.substr(0, 511)},
  };
  for (const Row& row : rows) {
    TZavOzeriz zip(nullptr);
    std::string seen;
    if (row.handler)
      zip.OnSetNewName.Bind([&](pf::TObject*, std::string& old, bool& changed) {
        seen = old;
        EXPECT_FALSE(changed);
        if (row.change) {
          old = row.newName;
          changed = true;
        }
      });
    Callback cb(zip, zcaNewName, 0, 0, "dir/old.txt");
    EXPECT_EQ(cb.call(), 0);
    if (row.handler) {
      EXPECT_EQ(seen, "dir\\old.txt");
    }
    EXPECT_EQ(cb.rec.ErrorCode, row.wantCode);
    EXPECT_EQ(cb.text(), row.wantText);
  }
}

TEST(CallbackReplies, CrcError) {
  struct Row {
    bool handler;
    bool setDoExtract;
    int32_t want;
  };
  for (auto row : {Row{false, true, 2}, Row{true, true, 1}, Row{true, false, 0}}) {
    TZavOzeriz zip(nullptr);
    uint32_t found = 0, expected = 0;
    std::string file;
    if (row.handler)
      zip.OnCRC32Error.Bind(
          [&](pf::TObject*, const std::string& f, uint32_t fc, uint32_t ec, bool& doExtract) {
            file = f;
            found = fc;
            expected = ec;
            EXPECT_TRUE(doExtract);
            doExtract = row.setDoExtract;
          });
    Callback cb(zip, zcaCrcError, static_cast<int32_t>(0xDEADBEEF), 0x12345678, "a/b.txt");
    EXPECT_EQ(cb.call(), 0);
    EXPECT_EQ(cb.rec.ErrorCode, row.want);
    if (row.handler) {
      EXPECT_EQ(file, "a\\b.txt");
      EXPECT_EQ(found, 0xDEADBEEFu);
      EXPECT_EQ(expected, 0x12345678u);
    }
  }
}

TEST(CallbackReplies, ExtractOverwrite) {
  struct Row {
    int32_t code;
    int64_t size;
    bool handler;
    int answer; // -1: leave DoOverwrite as given
    bool wantOlder, wantOverwriteIn;
    int wantIndex;
    int64_t wantSize;
  };
  const Row rows[] = {
      {0x10005, 1, false, -1, false, false, 0, 1}, // no handler: the engine's own choice stays
      {0x00005, 0, false, -1, false, false, 0, 0},
      {0x10005, 1, true, -1, true, true, 5, 1},
      {0x0FFFF, 0x100, true, -1, false, false, 0xFFFF, 0}, // only the size's low byte counts
      {0x00002, 1, true, 0, false, true, 2, 0},
      {0x00002, 0, true, 1, false, false, 2, 1},
  };
  for (const Row& row : rows) {
    TZavOzeriz zip(nullptr);
    bool older = false, overwriteIn = false;
    int index = -1;
    if (row.handler)
      zip.OnExtractOverwrite.Bind([&](pf::TObject*, const std::string&, bool o, bool& doOverwrite, int i) {
        older = o;
        overwriteIn = doOverwrite;
        index = i;
        if (row.answer >= 0) doOverwrite = row.answer == 1;
      });
    Callback cb(zip, zcaOverwrite, row.code, row.size, "x.db");
    EXPECT_EQ(cb.call(), 0);
    EXPECT_EQ(cb.rec.FileSize, row.wantSize) << row.code;
    if (row.handler) {
      EXPECT_EQ(older, row.wantOlder);
      EXPECT_EQ(overwriteIn, row.wantOverwriteIn);
      EXPECT_EQ(index, row.wantIndex);
    }
  }
}

// The engine numbers skip reasons from 1; anything it should not send is the general error.
TEST(CallbackReplies, SkippedMembers) {
  struct Row {
    int32_t code;
    int64_t size;
    UnZipSkipTypes want;
    int wantErrCode;
  };
  using S = UnZipSkipTypes;
  const Row rows[] = {
      {0, 1, S::stOnFreshen, 55},
      {0x0207, 3, S::stSkipReason3, 7},
      {7, 9, S::stGeneralExtractError, 7},
      {7, 0x105, S::stSkipReason5, 7}, // the low byte
      {7, 0, S::stGeneralExtractError, 7},
      {7, 10, S::stGeneralExtractError, 7},
      {7, 255, S::stGeneralExtractError, 7},
      {7, -1, S::stGeneralExtractError, 7},
  };
  for (const Row& row : rows) {
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    zip.ShowZipMessage(55);
    std::vector<std::tuple<std::string, S, int>> seen;
    zip.OnExtractSkipped.Bind(
        [&](pf::TObject*, const std::string& f, S t, int e) { seen.emplace_back(f, t, e); });
    Callback cb(zip, zcaSkipped, row.code, row.size, "d/x.db");
    EXPECT_EQ(cb.call(), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(std::get<0>(seen[0]), "d\\x.db");
    EXPECT_EQ(std::get<1>(seen[0]), row.want) << row.size;
    EXPECT_EQ(std::get<2>(seen[0]), row.code);
    EXPECT_EQ(zip.ErrCode(), row.wantErrCode);
  }
}

TEST(CallbackReplies, FileComment) {
  struct Row {
    std::string current;
    bool change;
    std::string newComment;
    std::string wantSeen;
    int32_t wantCode;
    std::string wantText;
    int64_t wantSize;
  };
  const std::string longComment(600, 'c');
  const Row rows[] = {
      {"", false, "", "", 0, "", 0}, // a zero first byte is no comment at all
      {"old comment", false, "", "old comment", 0, "", 11},
      {"old comment", true, "new one", "old comment", 1, "new one", 7},
      {"old", true, "", "old", 1, "", 0},
      {"", true, longComment, "", 1, longComment.substr(0, 511), 511},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.current + "->" + row.newComment.substr(0, 10));
    TZavOzeriz zip(nullptr);
    std::string seen = "unset";
    zip.OnFileComment.Bind([&](pf::TObject*, const std::string& f, std::string& c, bool& changed) {
      EXPECT_EQ(f, "a\\b");
      seen = c;
      if (row.change) {
        c = row.newComment;
        changed = true;
      }
    });
    Callback cb(zip, zcaFileComment, 0, 0, "a/b", row.current);
    EXPECT_EQ(cb.call(), 0);
    EXPECT_EQ(seen, row.wantSeen);
    EXPECT_EQ(cb.rec.ErrorCode, row.wantCode);
    EXPECT_EQ(cb.text(), row.wantText);
    EXPECT_EQ(cb.rec.FileSize, row.wantSize);
  }
  // Without a handler nothing is written back.
  TZavOzeriz zip(nullptr);
  Callback cb(zip, zcaFileComment, 0, 0, "a/b", "kept");
  EXPECT_EQ(cb.call(), 0);
  EXPECT_EQ(cb.text(), "a/b");
  EXPECT_EQ(cb.rec.ErrorCode, 0);
}

TEST(CallbackReplies, StreamResize) {
  TZavOzeriz zip(nullptr);
  Callback cb(zip, zcaStreamResize, 0, 100);
  EXPECT_EQ(cb.call(), 0);
  EXPECT_EQ(zip.ZipStream().Size(), 100);
  EXPECT_EQ(cb.rec.FileSize, static_cast<int64_t>(reinterpret_cast<intptr_t>(zip.ZipStream().Memory())));
  EXPECT_EQ(cb.rec.ErrorCode, 0);
  Callback bad(zip, zcaStreamResize, 0, -5);
  EXPECT_EQ(bad.call(), 0);
  EXPECT_EQ(bad.rec.ErrorCode, 1);
  EXPECT_EQ(bad.rec.FileSize, 0);
}

TEST(CallbackReplies, PasswordFromTheHandler) {
  struct Row {
    const char* name;
    std::string password;
    uint32_t repeat;
    TPasswordButton action;
    int32_t wantCode;
    int64_t wantSize;
    int32_t wantAction;
    int32_t wantResult;
    std::string wantText;
  };
  const std::string longPassword(200, 'q');
  const Row rows[] = {
      {"ok", "secret", 3, TPasswordButton::pwbOk, 1, 3, zcaPassword, 0, "secret"},
      {"repeat capped", "secret", 100, TPasswordButton::pwbOk, 1, 15, zcaPassword, 0, "secret"},
      {"no password", "", 3, TPasswordButton::pwbOk, 0, 0, zcaPassword, 0, ""},
      {"cancel", "ignored", 3, TPasswordButton::pwbCancel, 0, 0, zcaPassword, 0, ""},
      {"cancel all", "ignored", 3, TPasswordButton::pwbCancelAll, 0, 0, 0, 0, ""},
      {"abort", "ignored", 3, TPasswordButton::pwbAbort, 0, 0, zcaPassword, -1, ""},
      // No cut to 80: the engine gets the password it was given.
      {"long", longPassword, 1, TPasswordButton::pwbOk, 1, 1, zcaPassword, 0, longPassword},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (bool zipOperation : {false, true}) {
      TZavOzeriz zip(nullptr);
      bool isZip = !zipOperation;
      std::string forFile;
      uint32_t repeatIn = 0;
      zip.OnPasswordError.Bind([&](pf::TObject*, bool z, std::string& pw, const std::string& f,
                                   uint32_t& repeat, TPasswordButton& action) {
        isZip = z;
        forFile = f;
        repeatIn = repeat;
        EXPECT_EQ(action, TPasswordButton::pwbOk);
        pw = row.password;
        repeat = row.repeat;
        action = row.action;
      });
      Callback cb(zip, zcaPassword, zipOperation ? 1 : 0, 4, "dir/secret.db", "", zipOperation);
      EXPECT_EQ(cb.call(), row.wantResult);
      EXPECT_EQ(isZip, zipOperation);
      EXPECT_EQ(forFile, "dir\\secret.db");
      EXPECT_EQ(repeatIn, 4u);
      EXPECT_EQ(cb.rec.ErrorCode, row.wantCode);
      EXPECT_EQ(cb.rec.FileSize, row.wantSize);
      EXPECT_EQ(cb.rec.ActionCode, row.wantAction);
      EXPECT_EQ(cb.text(), row.wantText);
    }
  }
}

TEST(CallbackReplies, PasswordFromThePrompts) {
  ScriptedDialogsScope dialogs;
  // Bit 0 of the code: a password for adding, asked twice.
  dialogs->expectPassword("Enter Password ", {pf::mrOk, "pw1"});
  dialogs->expectPassword("Confirm Password ", {pf::mrOk, "pw1"});
  // Otherwise once, for extracting; cancel all ends the prompts of the run.
  dialogs->expectPassword("Enter Password ", {pf::mrNoToAll, ""});
  TZavOzeriz zip(nullptr);
  Callback add(zip, zcaPassword, 1, 1, "a.txt", "", true);
  EXPECT_EQ(add.call(), 0);
  EXPECT_EQ(add.rec.ErrorCode, 1);
  EXPECT_EQ(add.text(), "pw1");
  Callback extract(zip, zcaPassword, 0, 1, "a.txt");
  EXPECT_EQ(extract.call(), 0);
  EXPECT_EQ(extract.rec.ErrorCode, 0);
  EXPECT_EQ(extract.rec.FileSize, 0);
  EXPECT_EQ(extract.rec.ActionCode, 0);
  EXPECT_EQ(zip.RememberedPasswordAnswer(), TPasswordAnswer::paCancelAll);

  // Unattended: no prompt, a message, and no password.
  TZavOzeriz quiet(nullptr);
  quiet.SetUnattended(true);
  Recorder rec(quiet);
  Callback none(quiet, zcaPassword, 0, 1, "a.txt");
  EXPECT_EQ(none.call(), 0);
  EXPECT_EQ(none.rec.ErrorCode, 0);
  EXPECT_EQ(rec.messageIds(), std::vector<int>{10151});
}

// A whole run through a scripted engine: the replies the engine reads back, and the
// failure of a handler turned into the engine's abort and its explanation.
TEST(CallbackThroughAnEngine, ScriptedRun) {
  FakeEngine engine("ok", "vizivi");
  engine->script = {
      {zcaTotalFiles, 0, 2, "", ""},          {zcaNewName, 0, 10, "a.txt", ""},
      {zcaFileComment, 0, 0, "a.txt", "old"}, {zcaNewFile, 0, 10, "renamed.txt", ""},
      {zcaNewFile, 0, 20, "b.txt", ""},     // the handler fails here
      {zcaMessage, 9, 0, "User abort", ""}, // what the engine says after a -1
      {zcaEndOfBatch, 0, 0, "", ""},
  };
  engine->result = 1;
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetDLLDirectory(fakeDir("ok").string());
  zip.GetFSpecArgs().Add("/data/a.txt");
  Recorder rec(zip);
  zip.OnSetNewName.Bind([](pf::TObject*, std::string& name, bool& changed) {
    name = "renamed.txt";
    changed = true;
  });
  zip.OnFileComment.Bind([](pf::TObject*, const std::string&, std::string& c, bool& changed) {
    c = c + " and new";
    changed = true;
  });
  int newFiles = 0, listDuringRun = 0;
  zip.OnProgress.Bind([&](pf::TObject*, ProgressType t, const std::string& name, uint32_t) {
    // The program's handlers run inside the engine run: a second operation is refused.
    if (t == ProgressType::TotalFiles2Process) listDuringRun = zip.List();
    if (t == ProgressType::NewFile && ++newFiles == 2) throw std::runtime_error("cannot show " + name);
  });
  MessageLoopCounter loop;
  ASSERT_TRUE(zip.RunVizIvi("/tmp/a.zip"));
  const auto& r = engine->replies;
  ASSERT_EQ(r.size(), 7u);
  EXPECT_EQ(r[0].result, 0);
  EXPECT_EQ(r[1].code, 1);
  EXPECT_EQ(r[1].text, "renamed.txt");
  EXPECT_EQ(r[2].code, 1);
  EXPECT_EQ(r[2].text, "old and new");
  EXPECT_EQ(r[3].result, 0);
  EXPECT_EQ(r[4].result, -1);
  EXPECT_EQ(r[5].result, -1);
  EXPECT_EQ(r[6].result, -1);
  EXPECT_EQ(loop.count, 7);
  ASSERT_EQ(rec.messages.size(), 1u);
  EXPECT_EQ(rec.messages[0].text, "Exception in Event  #1 \"cannot show b.txt\"");
  EXPECT_EQ(zip.ErrCode(), 9);
  EXPECT_FALSE(zip.CallbackCancelled()); // cleared when the run ended
  EXPECT_EQ(listDuringRun, -255);
}
