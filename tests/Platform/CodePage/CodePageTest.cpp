#include "Platform/CodePage/CodePage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace kv::platform;

// Every high OEM byte against Python's cp850 codec, both ways.
TEST(CodePage, MatchesThePublishedCp850Table) {
  auto r = kvtest::run(
      kvtest::systemPython() +
      " -c \"import sys; sys.stdout.buffer.write(bytes(range(128,256)).decode('cp850').encode('utf-8'))\"");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string oem;
  for (int b = 128; b < 256; ++b)
    oem += static_cast<char>(b);
  EXPECT_EQ(oemToAnsi(oem), r.out);
  EXPECT_EQ(ansiToOem(r.out), oem);
  EXPECT_EQ(oemToAnsi("plain ASCII/name.txt"), "plain ASCII/name.txt");
}

TEST(CodePage, UnmappableAndBrokenTextBecomesQuestionMarks) {
  const std::pair<std::string, std::string> rows[] = {
      {"\xE2\x82\xAC", "?"}, // the euro sign has no CP850 byte
      {"\xC3", "?"},         // cut sequence
      {"a\xFF"
       "b",
       "a?b"},                     // not UTF-8
      {"\xF0\x9F\x98\x80x", "?x"}, // outside the BMP
  };
  for (const auto& [in, out] : rows)
    EXPECT_EQ(ansiToOem(in), out);
}
