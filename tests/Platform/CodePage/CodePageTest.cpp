#include "Platform/CodePage/CodePage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace kv::platform;

// Every high byte of each code page against Python's codec of it, both ways. Bytes a code page
// leaves undefined read as the Latin-1 character of their number. Code pages the system cannot
// read byte by byte (none stated, unknown, multi-byte) read as 1252.
TEST(CodePage, MatchesThePublishedTables) {
  struct Case {
    int codePage;
    const char* codec;
    int number;
  };
  const Case cases[] = {
      {1252, "cp1252", 1252}, {850, "cp850", 850},   {437, "cp437", 437},  {1250, "cp1250", 1250},
      {0, "cp1252", 1252},    {932, "cp1252", 1252}, {77, "cp1252", 1252},
  };
  std::string high;
  for (int b = 128; b < 256; ++b)
    high += static_cast<char>(b);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    auto r =
        kvtest::run(kvtest::systemPython() +
                    " -c \"import sys; sys.stdout.buffer.write(''.join("
                    "bytes([b]).decode('" +
                    c.codec + "', errors='ignore') or chr(b) for b in range(128, 256)).encode('utf-8'))\"");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const SingleByteCodePage& table = SingleByteCodePage::get(c.codePage);
    EXPECT_EQ(table.number(), c.number);
    EXPECT_EQ(table.toUtf8(high), r.out);
    EXPECT_EQ(table.fromUtf8(r.out), high);
    EXPECT_EQ(table.toUtf8("plain ASCII/name.txt"), "plain ASCII/name.txt");
  }
  EXPECT_EQ(oemToAnsi(high), SingleByteCodePage::get(850).toUtf8(high));
  EXPECT_EQ(ansiToOem(SingleByteCodePage::get(850).toUtf8(high)), high);
}

// CP850 names become question marks where they cannot be written; a table's text is refused.
TEST(CodePage, UnmappableAndBrokenTextBecomesQuestionMarks) {
  struct Case {
    std::string in, oem;
    std::optional<std::string> cp1252;
  };
  const Case cases[] = {
      {"\xE2\x82\xAC", "?", "\x80"}, // the euro sign has no CP850 byte
      {"\xC3", "?", std::nullopt},   // cut sequence
      {"a\xFF"
       "b",
       "a?b", std::nullopt},                     // not UTF-8
      {"\xF0\x9F\x98\x80x", "?x", std::nullopt}, // outside the BMP
      {"\xCE\xA9", "?", std::nullopt},           // omega: in neither
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ansiToOem(c.in), c.oem);
    EXPECT_EQ(SingleByteCodePage::get(1252).fromUtf8(c.in), c.cp1252);
  }
}
