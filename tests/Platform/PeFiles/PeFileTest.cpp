#include "Platform/PeFiles/PeFile.h"
#include "Platform/PeFiles/VersionBlock.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace kv::platform;
using Bytes = std::vector<uint8_t>;

namespace {

void put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8;
}
void put32(Bytes& b, size_t at, uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}
void pad4(Bytes& b) {
  while (b.size() % 4)
    b.push_back(0);
}

Bytes utf16(const std::u16string& s) {
  Bytes out;
  for (char16_t c : s) {
    out.push_back(c & 0xFF);
    out.push_back(c >> 8);
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

// One node of a version block, laid out as the resource compiler lays it out.
Bytes node(const std::u16string& key, const Bytes& value, bool text,
           const std::vector<Bytes>& children = {}) {
  Bytes b(6, 0);
  const Bytes k = utf16(key);
  b.insert(b.end(), k.begin(), k.end());
  pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const auto& child : children) {
    pad4(b);
    b.insert(b.end(), child.begin(), child.end());
  }
  put16(b, 0, static_cast<uint16_t>(b.size()));
  put16(b, 2, static_cast<uint16_t>(text ? value.size() / 2 : value.size()));
  put16(b, 4, text ? 1 : 0);
  return b;
}

Bytes str(const std::u16string& key, const std::u16string& value) { return node(key, utf16(value), true); }

Bytes fixedBlock() {
  Bytes f(52, 0);
  put32(f, 0, 0xFEEF04BD);
  put32(f, 4, 0x00010000);
  put32(f, 8, 0x00030004);
  put32(f, 12, 0x00050006);
  return f;
}

Bytes sampleBlock() {
  Bytes translation;
  put32(translation, 0, 0x04E40409);
  return node(
      u"VS_VERSION_INFO", fixedBlock(), false,
      {node(u"StringFileInfo", {}, true,
            {node(u"040904e4", {}, true,
                  {str(u"CompanyName", u"Dolvane"), str(u"Smile", u"a\U0001F600b"),
                   str(u"Lone", std::u16string(u"x") + char16_t(0xD800) + u"y"), str(u"Empty", u"")})}),
       node(u"VarFileInfo", {}, true, {node(u"Translation", translation, false)})});
}

// A small PE image whose one section holds a resource tree with the given version block
// last, so that the block ends where the file ends.
struct ImageLayout {
  Bytes image;
  size_t resourceAt = 0; // file offset of the resource section
};

ImageLayout makeImage(const Bytes& block, bool pe32Plus) {
  ImageLayout l;
  Bytes& b = l.image;
  put16(b, 0, 0x5A4D);
  put32(b, 0x3C, 0x40);
  put32(b, 0x40, 0x00004550);
  const size_t coff = 0x44;
  put16(b, coff, pe32Plus ? 0x8664 : 0x14C);
  put16(b, coff + 2, 1);
  const uint16_t optSize = pe32Plus ? 240 : 224;
  put16(b, coff + 16, optSize);
  const size_t opt = coff + 20;
  put16(b, opt, pe32Plus ? 0x20B : 0x10B);
  const size_t countAt = opt + (pe32Plus ? 108 : 92);
  put32(b, countAt, 16);
  const size_t dirs = opt + (pe32Plus ? 112 : 96);
  const uint32_t rva = 0x1000;
  const size_t table = opt + optSize;
  b.resize(table + 40, 0);
  l.resourceAt = 0x200;
  Bytes res;
  put32(res, 0, 0);
  put16(res, 12, 0);
  put16(res, 14, 1);
  put32(res, 16, 16);                 // RT_VERSION
  put32(res, 20, 0x80000000u | 0x18); // -> name directory
  put16(res, 0x18 + 14, 1);
  put32(res, 0x18 + 16, 1);
  put32(res, 0x18 + 20, 0x80000000u | 0x30);
  put16(res, 0x30 + 14, 1);
  put32(res, 0x30 + 16, 1033);
  put32(res, 0x30 + 20, 0x48); // -> data entry
  put32(res, 0x48, rva + 0x58);
  put32(res, 0x4C, static_cast<uint32_t>(block.size()));
  res.resize(0x58, 0);
  res.insert(res.end(), block.begin(), block.end());
  put32(b, dirs + 16, rva);
  put32(b, dirs + 20, static_cast<uint32_t>(res.size()));
  std::memcpy(&b[table], ".rsrc\0\0\0", 8);
  put32(b, table + 8, static_cast<uint32_t>(res.size()));
  put32(b, table + 12, rva);
  put32(b, table + 16, static_cast<uint32_t>(res.size()));
  put32(b, table + 20, static_cast<uint32_t>(l.resourceAt));
  b.resize(l.resourceAt, 0);
  b.insert(b.end(), res.begin(), res.end());
  return l;
}

std::string textOf(const Bytes& block, const std::string& path) {
  const auto v = queryVersionValue(block, path);
  return v ? versionText(v->tail) : "<none>";
}

} // namespace

TEST(PeFile, FindsTheVersionBlockOfBothImageKinds) {
  const Bytes block = sampleBlock();
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    const auto found = readVersionResource(makeImage(block, plus).image);
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, block);
  }
}

TEST(PeFile, QueriesAnswerLikeTheWindowsVersionQuery) {
  const Bytes block = sampleBlock();
  const auto fixed = queryVersionValue(block, "\\");
  ASSERT_TRUE(fixed);
  EXPECT_EQ(Bytes(fixed->value.begin(), fixed->value.end()), fixedBlock());
  const auto translation = queryVersionValue(block, "\\varfileinfo\\TRANSLATION");
  ASSERT_TRUE(translation);
  EXPECT_EQ(Bytes(translation->value.begin(), translation->value.end()), (Bytes{0x09, 0x04, 0xE4, 0x04}));
  struct Row {
    const char* path;
    const char* text;
  } rows[] = {
      {"\\StringFileInfo\\040904E4\\CompanyName", "Dolvane"},
      {"\\stringfileinfo\\040904e4\\companyname", "Dolvane"},
      {"StringFileInfo\\\\040904E4\\CompanyName\\", "Dolvane"},
      {"\\StringFileInfo\\040904E4\\Smile", "a\xF0\x9F\x98\x80"
                                            "b"},             // surrogate pair
      {"\\StringFileInfo\\040904E4\\Lone", "x\xEF\xBF\xBDy"}, // lone surrogate
      {"\\StringFileInfo\\040904E4\\Empty", ""},
      {"\\StringFileInfo\\040904E4\\Missing", "<none>"},
      {"\\StringFileInfo\\040704B0\\CompanyName", "<none>"},
      {"\\StringFileInfo\\040904E4\\CompanyNam", "<none>"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(textOf(block, row.path), row.text) << row.path;
}

TEST(PeFile, FilesThatAreNotPeOrHaveNoVersionGiveNoBlock) {
  kvtest::TempDir dir;
  const Bytes block = sampleBlock();
  Bytes noVersion = makeImage(block, false).image;
  put32(noVersion, 0x200 + 16, 14); // the only resource is an icon group
  Bytes noResources = makeImage(block, true).image;
  put32(noResources, 0x44 + 20 + 112 + 16, 0);
  Bytes badMagic = makeImage(block, false).image;
  put16(badMagic, 0x44 + 20, 0x107);
  Bytes fewDirectories = makeImage(block, false).image;
  put32(fewDirectories, 0x44 + 20 + 92, 2);
  const std::pair<const char*, Bytes> rows[] = {
      {"empty", {}},
      {"MZ only", {'M', 'Z'}},
      {"ELF", {0x7F, 'E', 'L', 'F', 2, 1, 1, 0}},
      {"no version resource", noVersion},
      {"no resource directory", noResources},
      {"unknown optional header", badMagic},
      {"too few data directories", fewDirectories},
  };
  for (const auto& [what, image] : rows) {
    SCOPED_TRACE(what);
    EXPECT_FALSE(readVersionResource(image));
    const auto file = dir / "f.bin";
    kvtest::writeFile(file, std::string(image.begin(), image.end()));
    EXPECT_FALSE(readVersionResource(file));
  }
  EXPECT_FALSE(readVersionResource(dir / "missing.exe"));
  EXPECT_FALSE(readVersionResource(dir.path())); // a directory
  EXPECT_FALSE(readVersionResource(std::filesystem::path()));
}

TEST(PeFile, EveryTruncationEndsCleanly) {
  const Bytes image = makeImage(sampleBlock(), true).image;
  for (size_t n = 0; n < image.size(); ++n) {
    const Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(readVersionResource(cut)) << n;
  }
  EXPECT_TRUE(readVersionResource(image));
}

TEST(PeFile, DamagedResourceTreesEndCleanly) {
  const ImageLayout good = makeImage(sampleBlock(), false);
  const size_t res = good.resourceAt;
  const size_t sectionTable = 0x44 + 20 + 224;
  struct Row {
    const char* what;
    std::function<void(Bytes&)> damage;
    bool found;
  } rows[] = {
      {"name level loops to the root", [&](Bytes& b) { put32(b, res + 0x18 + 20, 0x80000000u); }, false},
      {"name level points at itself", [&](Bytes& b) { put32(b, res + 0x18 + 20, 0x80000000u | 0x18); },
       false},
      {"language level loops to the name level",
       [&](Bytes& b) { put32(b, res + 0x30 + 20, 0x80000000u | 0x18); }, false},
      {"type entry is data, not a directory", [&](Bytes& b) { put32(b, res + 20, 0x48); }, false},
      {"directory outside the section", [&](Bytes& b) { put32(b, res + 20, 0x80000000u | 0x7FFFFFF0u); },
       false},
      {"huge entry counts",
       [&](Bytes& b) {
         put16(b, res + 12, 0xFFFF);
         put16(b, res + 14, 0xFFFF);
       },
       true},
      {"huge counts, no version entry",
       [&](Bytes& b) {
         put16(b, res + 14, 0xFFFF);
         put32(b, res + 16, 3);
       },
       false},
      {"huge counts, real entry first",
       [&](Bytes& b) {
         put16(b, res + 14, 0xFFFF);
         put16(b, res + 0x18 + 14, 0xFFFF);
       },
       true},
      {"data size beyond the file", [&](Bytes& b) { put32(b, res + 0x4C, 0x7FFFFFFFu); }, false},
      {"data size all ones", [&](Bytes& b) { put32(b, res + 0x4C, 0xFFFFFFFFu); }, false},
      {"data size zero", [&](Bytes& b) { put32(b, res + 0x4C, 0); }, false},
      {"data outside every section", [&](Bytes& b) { put32(b, res + 0x48, 0x90000000u); }, false},
      {"data rva wraps around", [&](Bytes& b) { put32(b, res + 0x48, 0xFFFFFFF0u); }, false},
      {"header offset far away", [&](Bytes& b) { put32(b, 0x3C, 0xFFFFFFF0u); }, false},
      {"section data beyond the file", [&](Bytes& b) { put32(b, sectionTable + 20, 0xFFFFFF00u); }, false},
      {"section count huge", [&](Bytes& b) { put16(b, 0x44 + 2, 0xFFFF); }, true},
      {"optional header size huge", [&](Bytes& b) { put16(b, 0x44 + 16, 0xFFFF); }, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes image = good.image;
    row.damage(image);
    EXPECT_EQ(readVersionResource(image).has_value(), row.found);
  }
}

TEST(PeFile, DamagedVersionBlocksNeverReadOutside) {
  const Bytes good = sampleBlock();
  struct Row {
    const char* what;
    std::function<void(Bytes&)> damage;
  } rows[] = {
      {"root length zero", [](Bytes& b) { put16(b, 0, 0); }},
      {"root length beyond the block", [](Bytes& b) { put16(b, 0, 0xFFFF); }},
      {"value length beyond the block", [](Bytes& b) { put16(b, 2, 0xFFFF); }},
      {"first child length zero", [](Bytes& b) { put16(b, 92, 0); }},
      {"first child length five", [](Bytes& b) { put16(b, 92, 5); }},
      {"cut inside the key", [](Bytes& b) { b.resize(20); }},
      {"cut in the header", [](Bytes& b) { b.resize(4); }},
  };
  const char* paths[] = {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\CompanyName",
                         "\\StringFileInfo\\040904E4\\Empty"};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes block = good;
    row.damage(block);
    for (const char* path : paths)
      (void)textOf(block, path); // must not read outside (sanitizers watch)
  }
  // Random damage anywhere in the block: each query ends without reading outside it.
  std::mt19937 random(20040101);
  for (int round = 0; round < 3000; ++round) {
    Bytes block = good;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c)
      block[random() % block.size()] = static_cast<uint8_t>(random());
    if (round % 7 == 0) block.resize(random() % block.size());
    for (const char* path : paths)
      (void)textOf(block, path);
    (void)readVersionResource(makeImage(block, round % 2).image);
  }
}
