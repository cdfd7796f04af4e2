#include "uKVCrypto.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

using uKVCrypto::KVDecryptString;
using uKVCrypto::KVEncryptString;

namespace {

const std::string kSaltAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Hands out a fixed sequence of numbers in place of random ones.
class ScriptedRandom : public kv::platform::RandomSource {
public:
  explicit ScriptedRandom(std::vector<uint32_t> numbers) : numbers_(numbers.begin(), numbers.end()) {}
  uint32_t below(uint32_t bound) override {
    if (numbers_.empty()) throw std::logic_error("more random numbers asked for than scripted");
    const uint32_t n = numbers_.front();
    numbers_.pop_front();
    EXPECT_LT(n, bound);
    return n;
  }
  bool used() const { return numbers_.empty(); }

private:
  std::deque<uint32_t> numbers_;
};

// The reference implementation beside the tests (pure Python, written independently).
std::string reference(const std::string& salt, const std::string& paddedPlain) {
  const auto script = kvtest::sourceDir() / "tests" / "Lib" / "crypto-reference" / "twofish_reference.py";
  const auto r = kvtest::run(kvtest::systemPython() + " " + kvtest::shellQuote(script.string()) +
                             " encrypt " + kvtest::shellQuote(salt) + " " + kvtest::hexOf(paddedPlain));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return r.out.substr(0, r.out.find('\n'));
}

size_t base64Length(size_t bytes) { return (bytes + 2) / 3 * 4; }

} // namespace

// Fixed salts and padding; the expected texts were computed once with the reference
// implementation and are pinned here; the reference is also asked again.
TEST(KVCrypto, FixedSaltVectors) {
  struct Row {
    std::vector<uint32_t> random; // salt, salt, padded length - 10, padding...
    std::string plain;
    std::string salt, padded; // what the reference encrypts
    std::string expected;
  } rows[] = {
      {{10, 37, 5, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
       "Hello",
       "Kl",
       "@AJHelloABCDEFGHIJ",
       "Kl63168vjAX+ceNIQmkMOXa5DT"},
      {{63, 62, 9},
       "/opt/korvalis/bin/Korvalis.exe",
       "/+",
       "@A@/opt/korvalis/bin/Korvalis.exe",
       "/+v38t4LyEadjAvslZc+Z1sOPq8KxBY+dPT3KpWmj2SXEB"},
  };
  for (auto& row : rows) {
    SCOPED_TRACE(row.plain);
    ScriptedRandom random(row.random);
    const std::string encrypted = KVEncryptString(row.plain, random);
    EXPECT_TRUE(random.used());
    EXPECT_EQ(encrypted, row.expected);
    EXPECT_EQ(KVDecryptString(row.expected), row.plain);
    EXPECT_EQ(reference(row.salt, row.padded), row.expected);
  }
}

TEST(KVCrypto, RoundTripsAndLengths) {
  std::string high;
  for (int c = 0x80; c <= 0xFF; ++c)
    high += static_cast<char>(c);
  const std::string texts[] = {
      "",      "a",       "short", "exactly 19 chars ok",  "@A starts like the header",
      "@@@@@", "mid@dle", high,    std::string(3000, 'z'), std::string("with\0zero", 9)};
  for (const auto& text : texts) {
    SCOPED_TRACE(text.substr(0, 30));
    for (int round = 0; round < 20; ++round) {
      const std::string encrypted = KVEncryptString(text);
      ASSERT_GE(encrypted.size(), 2u);
      EXPECT_NE(kSaltAlphabet.find(encrypted[0]), std::string::npos);
      EXPECT_NE(kSaltAlphabet.find(encrypted[1]), std::string::npos);
      // The salt, then Base64 of header (3) + text + padding up to 10 to 19 characters.
      const size_t minimum = 2 + base64Length(3 + std::max<size_t>(text.size(), 10));
      const size_t maximum = 2 + base64Length(3 + std::max<size_t>(text.size(), 19));
      EXPECT_GE(encrypted.size(), minimum);
      EXPECT_LE(encrypted.size(), maximum);
      if (text.size() >= 19) {
        EXPECT_EQ(encrypted.size(), 2 + base64Length(3 + text.size()));
      }
      EXPECT_EQ(KVDecryptString(encrypted), text);
    }
  }
  // Salt and padding are new each time.
  EXPECT_NE(KVEncryptString("same text"), KVEncryptString("same text"));
}

TEST(KVCrypto, PaddingFillsUpToTheDrawnLength) {
  struct Row {
    size_t length;
    uint32_t spread; // padded length - 10
    size_t padding;  // expected number of padding characters
  } rows[] = {{0, 0, 10}, {0, 9, 19}, {5, 0, 5},  {5, 9, 14}, {10, 0, 0},
              {12, 5, 3}, {18, 9, 1}, {19, 9, 0}, {40, 9, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.length);
    // Two salt draws, the padded length, then exactly the padding draws the text needs.
    std::vector<uint32_t> numbers = {1, 2, row.spread};
    numbers.insert(numbers.end(), row.padding, 7);
    ScriptedRandom random(numbers);
    const std::string text(row.length, 'x');
    const std::string encrypted = KVEncryptString(text, random);
    EXPECT_TRUE(random.used());
    EXPECT_EQ(encrypted.size(), 2 + base64Length(3 + row.length + row.padding));
    EXPECT_EQ(KVDecryptString(encrypted), text);
  }
}

// Texts under salt "AA" whose plain texts were made with the reference implementation. Without
// the header nothing comes back; with it, the count character says how many characters to cut
// from the end: any count the text has room for, none when it claims more or lies below "@".
TEST(KVCrypto, DecryptionCutsWhatTheHeaderCounts) {
  const struct {
    const char* text;
    const char* what;
    const char* plain;
  } rows[] = {
      {"", "empty", ""},
      {"A", "one character", ""},
      {"AA", "salt only", ""},
      {"AAZm9v!", "not Base64", ""},
      {"AAZm9", "Base64 cut short", ""},
      {"AAZm9v", "no header", ""},
      {"AAIHin", "header only: @A@", ""},
      {"AAIHsvWz3DSOZ+RAXMPw==", "wrong header: @B@helloworld", ""},
      {"ABIHin9vbZSHQ=", "another salt than the one used", ""},
      {"AAIHin9vbZSHQ=", "count 0: @A@hello", "hello"},
      {"AAIHik+F0mffg=", "count 3: @AChello", "he"},
      {"AAIHiipgiT/zM=", "count 5 on five characters: @AEabcde", ""},
      {"AAIHiza/h+zWq6RkfTi3/FFJiojpDO4fGTstLdrw==", "count 20 on 25 characters: @AThello + 20 x", "hello"},
      {"AAIHize31f6Gw=", "count 20 on five characters: @ATxxxxx", "xxxxx"},
      {"AAIHiipgiT", "count 5 on three characters: @AEabc", "abc"},
      {"AAIHiZjY7HYCZ+0ItKzQ==", "count 62 on ten characters: @A~yyyyyyyyyy", "yyyyyyyyyy"},
      {"AAIHjYKW13Vsk=", "count below zero: @A?hello", "hello"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(KVDecryptString(row.text), row.plain) << row.what;
}
