// The record layout both sides of the engine boundary compile against, as the header documents it.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

struct Field {
  const char* name;
  size_t actual;
  size_t documented;
};

TEST(ZipEngineRecords, OffsetsAreAsDocumented) {
  const Field fields[] = {
      {"CallbackRecord.Caller", offsetof(CallbackRecord, Caller), 8},
      {"CallbackRecord.IsZipOperation", offsetof(CallbackRecord, IsZipOperation), 20},
      {"CallbackRecord.ActionCode", offsetof(CallbackRecord, ActionCode), 24},
      {"CallbackRecord.ErrorCode", offsetof(CallbackRecord, ErrorCode), 28},
      {"CallbackRecord.FileSize", offsetof(CallbackRecord, FileSize), 32},
      {"CallbackRecord.Text", offsetof(CallbackRecord, Text), 40},
      {"CallbackRecord.FileComment", offsetof(CallbackRecord, FileComment), 552},
      {"CallbackRecord.Data", offsetof(CallbackRecord, Data), 1064},
      {"sizeof CallbackRecord", sizeof(CallbackRecord), 1072},
      {"FileSpecRecord.Password", offsetof(FileSpecRecord, Password), 16},
      {"FileSpecRecord.Encrypt", offsetof(FileSpecRecord, Encrypt), 24},
      {"FileSpecRecord.Recurse", offsetof(FileSpecRecord, Recurse), 28},
      {"FileSpecRecord.RootDir", offsetof(FileSpecRecord, RootDir), 48},
      {"sizeof FileSpecRecord", sizeof(FileSpecRecord), 120},
      {"ZipCommandRecord.Callback", offsetof(ZipCommandRecord, Callback), 24},
      {"ZipCommandRecord.Password", offsetof(ZipCommandRecord, Password), 40},
      {"ZipCommandRecord.Level", offsetof(ZipCommandRecord, Level), 88},
      {"ZipCommandRecord.Recurse", offsetof(ZipCommandRecord, Recurse), 104},
      {"ZipCommandRecord.FromDate", offsetof(ZipCommandRecord, FromDate), 140},
      {"ZipCommandRecord.FSpecCount", offsetof(ZipCommandRecord, FSpecCount), 148},
      {"ZipCommandRecord.ZipFileName", offsetof(ZipCommandRecord, ZipFileName), 152},
      {"ZipCommandRecord.FSpecs", offsetof(ZipCommandRecord, FSpecs), 184},
      {"ZipCommandRecord.Exclusions", offsetof(ZipCommandRecord, Exclusions), 200},
      {"ZipCommandRecord.CodePage", offsetof(ZipCommandRecord, CodePage), 244},
      {"ZipCommandRecord.Check", offsetof(ZipCommandRecord, Check), 264},
      {"sizeof ZipCommandRecord", sizeof(ZipCommandRecord), 272},
      {"sizeof UnzipFileSpec", sizeof(UnzipFileSpec), 80},
      {"UnzipCommandRecord.Password", offsetof(UnzipCommandRecord, Password), 40},
      {"UnzipCommandRecord.Overwrite", offsetof(UnzipCommandRecord, Overwrite), 80},
      {"UnzipCommandRecord.FSpecCount", offsetof(UnzipCommandRecord, FSpecCount), 84},
      {"UnzipCommandRecord.FSpecs", offsetof(UnzipCommandRecord, FSpecs), 96},
      {"UnzipCommandRecord.PasswordReqCount", offsetof(UnzipCommandRecord, PasswordReqCount), 136},
      {"UnzipCommandRecord.ExtractBaseDir", offsetof(UnzipCommandRecord, ExtractBaseDir), 144},
      {"UnzipCommandRecord.Check", offsetof(UnzipCommandRecord, Check), 184},
      {"sizeof UnzipCommandRecord", sizeof(UnzipCommandRecord), 192},
  };
  for (const auto& f : fields)
    EXPECT_EQ(f.actual, f.documented) << f.name;
}

TEST(ZipEngineRecords, SkipTypeIndexStaysInsideTheList) {
  const struct {
    int64_t size;
    int32_t index;
  } cases[] = {{1, 0}, {9, 8}, {5, 4}, {0, 8}, {10, 8}, {255, 8}, {0x101, 0}, {-1, 8}};
  for (const auto& c : cases)
    EXPECT_EQ(ZipSkipTypeIndex(c.size), c.index) << c.size;
}

TEST(ZipEngineRecords, EnginesReportAnAcceptableVersion) {
  EXPECT_GE(enginetest::engines().zipVersion(), 172);
  EXPECT_GE(enginetest::engines().unzipVersion(), 172);
}

TEST(ZipEngineRecords, NullCommandRecordIsRefusedQuietly) {
  EXPECT_EQ(enginetest::engines().zipExec(nullptr), 0);
  EXPECT_EQ(enginetest::engines().unzipExec(nullptr), 0);
}

} // namespace
