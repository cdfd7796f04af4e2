// The turned font description: its logical-font record after every change, and copying.
#include "uExFont.h"

#include "Platform/Graphics/GdiObjects.h"
#include "Platform/Rtl/Streaming.h"
#include "Platform/Ui/Graphics.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kv::platform;
using uExFont::TExFont;

TEST(ExFont, NewFontGivesAPlainRecord) {
  TExFont f;
  const LOGFONTA& lf = f.LogFont;
  EXPECT_EQ(lf.lfHeight, 0);
  EXPECT_EQ(lf.lfWidth, 0);
  EXPECT_EQ(lf.lfEscapement, 0);
  EXPECT_EQ(lf.lfOrientation, 0);
  EXPECT_EQ(lf.lfWeight, 400);
  EXPECT_EQ(lf.lfItalic + lf.lfUnderline + lf.lfStrikeOut + lf.lfCharSet + lf.lfPitchAndFamily, 0);
  EXPECT_EQ(lf.lfFaceName[0], '\0');
}

TEST(ExFont, RecordFieldsFollowTheProperties) {
  struct Row {
    TFontStyles style;
    TFontPitch pitch;
    int weight, italic, underline, strikeOut, pitchAndFamily;
  };
  const Row rows[] = {
      {{fsBold, fsUnderline}, TFontPitch::fpDefault, 700, 0, 1, 0, 0},
      {{fsItalic}, TFontPitch::fpVariable, 400, 1, 0, 0, 2},
      {{fsStrikeOut}, TFontPitch::fpFixed, 400, 0, 0, 1, 1},
      {{fsBold, fsItalic, fsUnderline, fsStrikeOut}, TFontPitch::fpDefault, 700, 1, 1, 1, 0},
  };
  for (const Row& r : rows) {
    TExFont f;
    f.SetStyle(r.style);
    f.SetPitch(r.pitch);
    f.SetHeight(-13);
    f.SetAngle(900);
    f.SetCharset(238);
    f.SetName("Arial");
    const LOGFONTA& lf = f.LogFont;
    EXPECT_EQ(lf.lfWeight, r.weight);
    EXPECT_EQ(lf.lfItalic, r.italic);
    EXPECT_EQ(lf.lfUnderline, r.underline);
    EXPECT_EQ(lf.lfStrikeOut, r.strikeOut);
    EXPECT_EQ(lf.lfPitchAndFamily, r.pitchAndFamily);
    EXPECT_EQ(lf.lfHeight, -13);
    EXPECT_EQ(lf.lfEscapement, 900);
    EXPECT_EQ(lf.lfOrientation, 0);
    EXPECT_EQ(lf.lfCharSet, 238);
    EXPECT_STREQ(lf.lfFaceName, "Arial");
  }
}

TEST(ExFont, SizeAndColourRebuildAndNotifyButLeaveTheRecordAlone) {
  TExFont f;
  f.SetName("Arial");
  int changes = 0;
  f.OnChange.Bind([&](TObject* sender) {
    EXPECT_EQ(sender, &f);
    ++changes;
  });
  const LOGFONTA before = f.LogFont;
  f.SetSize(12);
  f.SetColor(clRed);
  f.SetName("Arial"); // unchanged still notifies
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(std::memcmp(&before, &f.LogFont, sizeof before), 0);
}

TEST(ExFont, ALongNameIsCutInsideTheRecord) {
  TExFont f;
  const std::string name(40, 'x');
  f.SetName(name);
  EXPECT_EQ(f.Name, name); // the property keeps what it was given
  EXPECT_EQ(std::strlen(f.LogFont.lfFaceName), 31u);
  EXPECT_EQ(f.LogFont.lfFaceName[31], '\0');
}

TEST(ExFont, AssignCopiesEveryFieldAndRebuilds) {
  TExFont a, b;
  b.SetHeight(-20);
  b.SetSize(15);
  b.SetColor(clBlue);
  b.SetCharset(2);
  b.SetName("Courier New");
  b.SetPitch(TFontPitch::fpFixed);
  b.SetStyle({fsItalic});
  b.SetAngle(450);
  int changes = 0;
  a.OnChange.Bind([&](TObject*) { ++changes; });
  a.Assign(b);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(a.Height, -20);
  EXPECT_EQ(a.Size, 15);
  EXPECT_EQ(a.Color, clBlue);
  EXPECT_EQ(a.Charset, 2);
  EXPECT_EQ(a.Name, "Courier New");
  EXPECT_EQ(a.Pitch, TFontPitch::fpFixed);
  EXPECT_TRUE(a.Style == TFontStyles{fsItalic});
  EXPECT_EQ(a.LogFont.lfEscapement, 450);
  EXPECT_EQ(a.LogFont.lfItalic, 1);
  EXPECT_STREQ(a.LogFont.lfFaceName, "Courier New");
}

TEST(ExFont, AssigningToAClassLibraryFontFails) {
  TExFont ex;
  TFont font;
  EXPECT_THROW(font.Assign(ex), EConvertError);
}

TEST(ExFont, EveryPropertyIsPublishedWithoutADefaultInOrder) {
  const TClassInfo& info = TExFont::StaticClassInfo();
  const char* expected[] = {"Charset", "Color", "Height", "Name", "Pitch", "Size", "Style", "Angle"};
  ASSERT_EQ(info.Props.size(), 8u);
  TExFont f;
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(info.Props[i].Name, expected[i]);
    EXPECT_FALSE(info.Props[i].IsDefault(f)) << expected[i]; // always stored
  }
}
