// kvmkdemo: writes a small sample Korv3 database, real Paradox tables and a few other files,
// into a directory, for the demo and for tests of the backup program.
//
//   kvmkdemo DIR [--password PASSWORD]
//
// DIR is created when missing. With --password, CONFIG.DB and LANG.DB are written encrypted with it
// (the backup program's table password opens them), LANG.MB enciphered with LANG.DB's key. Exit codes: 0
// written, 2 wrong arguments, 3 a file could not be written.
#include "Platform/Database/Database.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace kv::platform;

namespace {

FieldValue num(std::int64_t v) { return v; }
FieldValue text(std::string s) { return s; }

std::string repeated(const std::string& paragraph, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += paragraph;
  return out;
}

void writeText(const fs::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out.flush()) throw EInOutError("Cannot write " + file.string());
}

void makeDatabase(const fs::path& dir, const std::string& password) {
  fs::create_directories(dir);

  CreateTable(dir / "CONFIG.DB",
              {{"cid", TFieldType::ftInteger, 0},
               {"cname", TFieldType::ftString, 40},
               {"cvalue", TFieldType::ftString, 120}},
              {{num(1), text("DatabaseVersion"), text("3.0")},
               {num(2), text("Company"), text("Dolvane Demo")},
               {num(3), text("DefaultLanguage"), text("EN")}},
              password);

  CreateTable(dir / "MODULES.DB",
              {{"mid", TFieldType::ftInteger, 0},
               {"mname", TFieldType::ftString, 40},
               {"mfile", TFieldType::ftString, 80},
               {"mactive", TFieldType::ftBoolean, 0}},
              {{num(1), text("Densitometer"), text("kvdenso.so"), num(1)},
               {num(2), text("Charts"), text("kvcharts.so"), num(1)},
               {num(3), text("Holidays"), text("kvholidays.so"), num(0)}});

  // The language table as the product keeps it: texts escape-encoded in code page 1252, long
  // ones (lislong 1) in the memo field, most of them too long for the record and so in LANG.MB.
  CreateTable(
      dir / "LANG.DB",
      {{"lid", TFieldType::ftInteger, 0},
       {"lfkmodid", TFieldType::ftInteger, 0},
       {"llang", TFieldType::ftInteger, 0},
       {"ltext", TFieldType::ftString, 120},
       {"llongtext", TFieldType::ftMemo, 240},
       {"lislong", TFieldType::ftSmallint, 0}},
      {{num(1), num(1), num(1), text("Measure"), FieldValue{}, num(0)},
       {num(1), num(1), num(2), text("Messen"), FieldValue{}, num(0)},
       {num(2), num(2), num(1), text("Density over days"),
        text("Shows the measured densities of the chosen days."), num(1)},
       {num(2), num(2), num(2), text("Dichte \\FCber Tage"),
        text("Zeigt die gemessenen Dichten der gew\\E4hlten Tage."), num(1)},
       {num(3), num(2), num(1), text("Help"),
        text(repeated("Each point is the mean density of one day; a day without measurements leaves a "
                      "gap in the line. ",
                      40)),
        num(1)},
       {num(3), num(2), num(2), text("Hilfe"),
        text(repeated("Jeder Punkt ist die mittlere Dichte eines Tages; ein Tag ohne Messung l\\E4sst "
                      "eine L\\FCcke. ",
                      8)),
        num(1)},
       {num(1), num(3), num(1), text("Holidays"),
        text(repeated("New Year, Epiphany, Good Friday, Easter Monday, Labour Day, Ascension, Whit "
                      "Monday, Corpus Christi, Assumption, German Unity, All Saints, Christmas. ",
                      500)),
        num(1)}},
      password);

  CreateTable(dir / "LDEF.DB", {{"llang", TFieldType::ftInteger, 0}, {"lname", TFieldType::ftString, 40}},
              {{num(1), text("English")}, {num(2), text("Deutsch")}});

  CreateTable(dir / "MEASURE.DB",
              {{"mid", TFieldType::ftInteger, 0},
               {"mday", TFieldType::ftString, 10},
               {"mdensity", TFieldType::ftFloat, 0}},
              {{num(1), text("2004-12-23"), 1.42},
               {num(2), text("2004-12-24"), 1.47},
               {num(3), text("2004-12-27"), 1.39}});

  writeText(dir / "KORV3.INI", "[Korvalis]\r\nLanguage=EN\r\nUnits=metric\r\n");
  writeText(dir / "README.TXT", "Sample database of the Korvalis demo.\r\n");
}

} // namespace

int main(int argc, char** argv) {
  std::string dir, password;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--password" && i + 1 < argc)
      password = argv[++i];
    else if (dir.empty() && !arg.empty() && arg[0] != '-')
      dir = arg;
    else
      dir.clear(), i = argc;
  }
  if (dir.empty()) {
    std::fputs("usage: kvmkdemo DIR [--password PASSWORD]\n", stderr);
    return 2;
  }
  try {
    makeDatabase(dir, password);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kvmkdemo: %s\n", e.what());
    return 3;
  }
  return 0;
}
