#include "Archive/ZipMessages.h"

#include "Platform/Strings/Strings.h"

namespace ZipMessages {

const ZipMessageText ZipMessageTable[] = {
    {GE_FatalZip, "Fatal Error in VizIVI.DLL: abort exception"},
    {GE_NoZipSpecified, "Error - no zip file specified!"},
    {GE_NoMemory, "Requested memory not available"},
    {GE_PasswordsDoNotMatch, "Error - passwords do NOT match\nPassword ignored"},
    {GE_Copying, "Copying: "},
    {GE_CopyingSFXHeader, "Error while copying the SFX header"}, // no operation of ours shows it
    {GE_RenameImplementedSpannedZip,
     "Rename is not implemented for a spanned zip file"}, // no operation of ours shows it
    {GE_Processing, "Processing: "},                      // no operation of ours shows it
    {GE_Renamed, " renamed to: "},                        // no operation of ours shows it
    {GE_NoAddPasswordGiven, "Error - no add password given"},
    {GE_NoExtractPasswordGiven, "Error - no extract password given"},
    {GE_Ok, "&Ok"},
    {GE_Cancel, "&Cancel"},
    {GE_Password, "Password"},
    {GE_EnterPassword, "Enter Password "},
    {GE_ConfirmPassword, "Confirm Password "},
    {GE_CancelAll, "Cancel all"},
    {GE_Abort, "Abort"},
    {GE_File, " for file: "}, // no operation of ours shows it
    {GE_SourceArchiveSameAs,
     "Source archive is the same as the destination archive!"},            // no operation of ours shows it
    {GE_OverwriteFile, "Overwrite file '%s' in '%s' ?"},                   // no operation of ours shows it
    {GE_CopyingFileFromFailed, "Copying a file from '%s' to '%s' failed"}, // no operation of ours shows it
    {GE_FilePresent, "File '%s' is not present in '%s'!"},                 // no operation of ours shows it
    {GE_CopyingSFXData, "Error while copying the SFX data"},               // no operation of ours shows it
    {GE_DestinationZipArchiveCould,
     "Destination zip archive could not be opened!"}, // no operation of ours shows it
    {GE_CopyZippedFilesImplementedSpannedZip,
     "CopyZippedFiles is not implemented for a spanned zip file"}, // no operation of ours shows it
    {LI_SeekError, "Seek error reading Zip archive!"},
    {LI_UnknownError, "Unknown error in List() function\n"},
    {LI_ErrorInStructure, "Warning - Error in zip structure!"},
    {LI_GarbageAtEnd, "Warning - Garbage at the end of the zipfile!"},
    {AD_NoFilesZip, "Error - no files to zip!"},
    {AD_UnattendedActionPossibleWithout, "Unattended action not possible without a password"},
    {AD_AddFreshenAddUpdatePossibleSpanned, "AddFreshen or AddUpdate not possible on a spanned archive"},
    {AD_OccurredDuringAutoSFX, "Error %.1d occurred during Auto SFX creation."},
    {AD_VizIVIDllUseStreams,
     "Error - your VizIVI.dll can not use streams, please update to version >= 1.60"}, // no operation of ours
                                                                                       // shows it
    {AD_InputStreamMaySet,
     "Input stream may not be set to the output stream"}, // no operation of ours shows it
    {AD_WildcardsAreAllowedFilename,
     "Wildcards are not allowed in Filename or file specification"},        // no operation of ours shows it
    {DL_NoFilesSelectedDeletion, "Error - no files selected for deletion"}, // no operation of ours shows it
    {DL_DeleteFilesFromArchive,
     "Delete files from archive not implemented for a spanned zip file"}, // no operation of ours shows it
    {EX_FatalUnzip, "Fatal Error in RozIZE.DLL: abort exception"},
    {EX_WarningUnattendedExtractPossible, "Warning - Unattended Extract: possible not all files extracted"},
    {EX_RozIZEDllUseStreams,
     "Error - your RozIZE.dll can not use streams, please update to version >= 1.60"}, // no operation of ours
                                                                                       // shows it
    {LZ_ZIPDLLLoaded, "ZIP DLL Loaded"},
    {LZ_VizIviExecFunctionFoundVIZIVI, "VizIviExec function not found in VIZIVI.DLL!"},
    {LZ_GetVizIviVersionFunctionFoundVIZIVI, "GetVizIviVersion function not found in VIZIVI.DLL!"},
    {LZ_NotFound, "VIZIVI.DLL not found!"},
    {LZ_OldVersion, "Attempted to load old VizIvi from "},
    {LU_ROZIZELoaded, "ROZIZE Loaded!"},
    {LU_RozIzeExecFunctionFoundROZIZE, "RozIzeExec function not found in ROZIZE.DLL!"},
    {LU_GetRozIzeVersionFunctionFoundROZIZE, "GetRozIzeVersion function not found in ROZIZE.DLL!"},
    {LU_NotFound, "ROZIZE.DLL not found!"},
    {LU_OldVersion, "Attempted to load old RozIze from "},
    {SF_More4PropertyStrings,
     "Error - On or more of the 4 property strings mentioned below exceeds 255 characters!"},
    {SF_ZAVSFXBINFound, "Error - ZAVSFX.BIN not found!"},
    {SF_InputFileZipFile, "Error: input file is not a zip file"},
    {SF_SFXFunctionsSupported, "SFX functions not supported"},
    {CF_NoEXEFileSpecified, "Error - no .EXE file specified"},
    {CF_InputFileEXEFile, "Error: input file is not an .EXE file"},
    {CF_DeterminingTypeSFXArchive,
     "Error determining the type of SFX archive"}, // no operation of ours shows it
    {DS_NoInFile, "Input file does not exist"},
    {DS_NoOpen, "Zip file could not be opened"},
    {DS_NotAValidDrive, "Not a valid drive: %s"},
    {DS_DriveNotDefined, "Drive %s is NOT defined"},
    {DS_VolumeLabelCouldSet, "Volume label could not be set"},
    {DS_NoMemoryForBox, "Not enough memory to display MsgBox"},
    {DS_Canceled, "User canceled operation"},
    {DS_FailedSeek, "Seek error in input file"},
    {DS_CreationOutputFileFailed, "Creation of output file failed"},
    {DS_WriteOutputFile, "Write error in output file"},
    {DS_EOCBadRead, "Error while reading the End Of Central Directory"},
    {DS_ReadingLocalHeader, "Error while reading a local header"},
    {DS_CEHBadRead, "Error while reading a central header"},
    {DS_LocalHeaderSignatureWrong, "A local header signature is wrong"},
    {DS_CEHWrongSig, "A central header signature is wrong"},
    {DS_ReadingLocalFileName, "Error while reading a local file name"},
    {DS_CENameLen, "Error while reading a central file name"},
    {DS_ReadingLocalExtraField, "Error while reading a local extra field"},
    {DS_ReadingCentralExtraField, "Error while reading a central extra field"},
    {DS_ReadingWritingDataDescriptor, "Error while reading/writing a data descriptor area"},
    {DS_ReadingZippedData, "Error while reading zipped data"},
    {DS_CECommentLen, "Error while reading a file comment"},
    {DS_ReadingArchiveComment, "Error while reading the archive comment"},
    {DS_UnknownCopyError,
     "UnKnown error in function ReadSpan(), WriteSpan(), Rename() or CopyZippedFiles()\n"},
    {DS_UnattendedSpan, "Unattended disk spanning not implemented"},
    {DS_LocalHeaderFoundInternal, "A local header not found in internal structure"},
    {DS_TemporaryFileCouldCreated, "Temporary file could not be created"},
    {DS_WritingLocalHeader, "Error while writing a local header"},
    {DS_WritingCentralHeader, "Error while writing a central header"},
    {DS_WritingEndCentralDirectory, "Error while writing the End Of Central Directory"},
    {DS_ReadingExtendedLocalSignature, "Error while reading a Extended Local signature"},
    {DS_DiskHasEnoughFree, "This disk has not enough free space available"},
    {DS_InsertLastDisk, "Please insert last disk"},
    {DS_InsertVolume, "Please insert disk volume %.1d of %.1d"},
    {DS_InDrive, "\nin drive: %s"},
    {DS_NotAValidZip, "This archive is not a valid Zip archive"},
    {DS_FirstInSet, "This is the first disk in a backup set,\nplease insert the last disk of this set"},
    {DS_NthInSet, "This is the %dth disk in a backup set,\nplease insert the last disk of this set"},
    {DS_ThereAlreadyFileNDo, "There is already a file %s\nDo you want to overwrite this file"},
    {DS_ATTENTIONPreviousDiskNo,
     "ATTENTION: This is previous disk no %d!!!\nAre you sure you want to overwrite the contents"},
    {DS_SelfExtractingArchivesExe, "Error - Self extracting archives(.exe) can not be spanned"},
    {DS_CopyingFilenameCEHStructure,
     "Error while copying a filename of a CEH structure"}, // no operation of ours shows it
    {DS_SeekSkippingEOCStructure,
     "Seek error while skipping a EOC structure"}, // no operation of ours shows it
    {DS_CopyingZipArchiveComment,
     "Error while copying the zip archive comment"}, // no operation of ours shows it
    {DS_FirstFileInSet, "This is the first file in a backup set,\nplease choose the last file of this set"},
    {DS_InsertAVolume, "Please insert disk volume %.1d"},
    {DS_CentralDirectory, "Central directory"},
    {DS_DiskSpanningSupported, "Disk Spanning not supported"}, // no operation of ours shows it
};
const int ZipMessageCount = static_cast<int>(sizeof ZipMessageTable / sizeof ZipMessageTable[0]);

void RegisterZipMessages() {
  static const bool done = [] {
    for (const auto& m : ZipMessageTable)
      kv::platform::resourceStrings().add(m.id, m.text);
    return true;
  }();
  (void)done;
}

} // namespace ZipMessages
