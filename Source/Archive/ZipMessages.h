// Every message of the archive component: its id and its text. The ids are the
// component's error codes; the texts are what the user sees (typos included).
#pragma once

#include <string>

namespace ZipMessages {

inline constexpr int GE_FatalZip = 10101;
inline constexpr int GE_NoZipSpecified = 10102;
inline constexpr int GE_NoMemory = 10103;
inline constexpr int GE_PasswordsDoNotMatch = 10104;
inline constexpr int GE_Copying = 10105;
inline constexpr int GE_CopyingSFXHeader = 10140;
inline constexpr int GE_RenameImplementedSpannedZip = 10141;
inline constexpr int GE_Processing = 10142;
inline constexpr int GE_Renamed = 10143;
inline constexpr int GE_NoAddPasswordGiven = 10150;
inline constexpr int GE_NoExtractPasswordGiven = 10151;
inline constexpr int GE_Ok = 10152;
inline constexpr int GE_Cancel = 10153;
inline constexpr int GE_Password = 10154;
inline constexpr int GE_EnterPassword = 10155;
inline constexpr int GE_ConfirmPassword = 10156;
inline constexpr int GE_CancelAll = 10157;
inline constexpr int GE_Abort = 10158;
inline constexpr int GE_File = 10159;
inline constexpr int GE_SourceArchiveSameAs = 10180;
inline constexpr int GE_OverwriteFile = 10181;
inline constexpr int GE_CopyingFileFromFailed = 10182;
inline constexpr int GE_FilePresent = 10183;
inline constexpr int GE_CopyingSFXData = 10184;
inline constexpr int GE_DestinationZipArchiveCould = 10185;
inline constexpr int GE_CopyZippedFilesImplementedSpannedZip = 10186;
inline constexpr int LI_SeekError = 10201;
inline constexpr int LI_UnknownError = 10202;
inline constexpr int LI_ErrorInStructure = 10203;
inline constexpr int LI_GarbageAtEnd = 10204;
inline constexpr int AD_NoFilesZip = 10301;
inline constexpr int AD_UnattendedActionPossibleWithout = 10302;
inline constexpr int AD_AddFreshenAddUpdatePossibleSpanned = 10303;
inline constexpr int AD_OccurredDuringAutoSFX = 10304;
inline constexpr int AD_VizIVIDllUseStreams = 10305;
inline constexpr int AD_InputStreamMaySet = 10306;
inline constexpr int AD_WildcardsAreAllowedFilename = 10307;
inline constexpr int DL_NoFilesSelectedDeletion = 10401;
inline constexpr int DL_DeleteFilesFromArchive = 10402;
inline constexpr int EX_FatalUnzip = 10501;
inline constexpr int EX_WarningUnattendedExtractPossible = 10502;
inline constexpr int EX_RozIZEDllUseStreams = 10503;
inline constexpr int LZ_ZIPDLLLoaded = 10601;
inline constexpr int LZ_VizIviExecFunctionFoundVIZIVI = 10602;
inline constexpr int LZ_GetVizIviVersionFunctionFoundVIZIVI = 10603;
inline constexpr int LZ_NotFound = 10604;
inline constexpr int LZ_OldVersion = 10605;
inline constexpr int LU_ROZIZELoaded = 10701;
inline constexpr int LU_RozIzeExecFunctionFoundROZIZE = 10702;
inline constexpr int LU_GetRozIzeVersionFunctionFoundROZIZE = 10703;
inline constexpr int LU_NotFound = 10704;
inline constexpr int LU_OldVersion = 10705;
inline constexpr int SF_More4PropertyStrings = 10801;
inline constexpr int SF_ZAVSFXBINFound = 10802;
inline constexpr int SF_InputFileZipFile = 10803;
inline constexpr int SF_SFXFunctionsSupported = 10804;
inline constexpr int CF_NoEXEFileSpecified = 10901;
inline constexpr int CF_InputFileEXEFile = 10902;
inline constexpr int CF_DeterminingTypeSFXArchive = 10903;
inline constexpr int DS_NoInFile = 11001;
inline constexpr int DS_NoOpen = 11002;
inline constexpr int DS_NotAValidDrive = 11003;
inline constexpr int DS_DriveNotDefined = 11004;
inline constexpr int DS_VolumeLabelCouldSet = 11005;
inline constexpr int DS_NoMemoryForBox = 11006;
inline constexpr int DS_Canceled = 11007;
inline constexpr int DS_FailedSeek = 11008;
inline constexpr int DS_CreationOutputFileFailed = 11009;
inline constexpr int DS_WriteOutputFile = 11010;
inline constexpr int DS_EOCBadRead = 11011;
inline constexpr int DS_ReadingLocalHeader = 11012;
inline constexpr int DS_CEHBadRead = 11013;
inline constexpr int DS_LocalHeaderSignatureWrong = 11014;
inline constexpr int DS_CEHWrongSig = 11015;
inline constexpr int DS_ReadingLocalFileName = 11016;
inline constexpr int DS_CENameLen = 11017;
inline constexpr int DS_ReadingLocalExtraField = 11018;
inline constexpr int DS_ReadingCentralExtraField = 11019;
inline constexpr int DS_ReadingWritingDataDescriptor = 11020;
inline constexpr int DS_ReadingZippedData = 11021;
inline constexpr int DS_CECommentLen = 11022;
inline constexpr int DS_ReadingArchiveComment = 11023;
inline constexpr int DS_UnknownCopyError = 11024;
inline constexpr int DS_UnattendedSpan = 11025;
inline constexpr int DS_LocalHeaderFoundInternal = 11026;
inline constexpr int DS_TemporaryFileCouldCreated = 11027;
inline constexpr int DS_WritingLocalHeader = 11028;
inline constexpr int DS_WritingCentralHeader = 11029;
inline constexpr int DS_WritingEndCentralDirectory = 11030;
inline constexpr int DS_ReadingExtendedLocalSignature = 11031;
inline constexpr int DS_DiskHasEnoughFree = 11032;
inline constexpr int DS_InsertLastDisk = 11033;
inline constexpr int DS_InsertVolume = 11034;
inline constexpr int DS_InDrive = 11035;
inline constexpr int DS_NotAValidZip = 11036;
inline constexpr int DS_FirstInSet = 11037;
inline constexpr int DS_NthInSet = 11038;
inline constexpr int DS_ThereAlreadyFileNDo = 11039;
inline constexpr int DS_ATTENTIONPreviousDiskNo = 11040;
inline constexpr int DS_SelfExtractingArchivesExe = 11041;
inline constexpr int DS_CopyingFilenameCEHStructure = 11042;
inline constexpr int DS_SeekSkippingEOCStructure = 11043;
inline constexpr int DS_CopyingZipArchiveComment = 11044;
inline constexpr int DS_FirstFileInSet = 11045;
inline constexpr int DS_InsertAVolume = 11046;
inline constexpr int DS_CentralDirectory = 11047;
inline constexpr int DS_DiskSpanningSupported = 11048;

// The texts of the table in id order (107 of them).
struct ZipMessageText {
  int id;
  const char* text;
};
extern const ZipMessageText ZipMessageTable[];
extern const int ZipMessageCount;

// Puts the table into the program's string table (once; later calls do nothing).
void RegisterZipMessages();

} // namespace ZipMessages
