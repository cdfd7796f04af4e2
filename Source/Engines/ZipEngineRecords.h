/* The records exchanged between the archive component and the zip and unzip engines.
 *
 * Plain C, shared by the component (C++) and both engines. The field order, the widths of the
 * value fields and the values themselves are those the engines have always taken; pointers,
 * handles and the callback address are 64 bits wide here, so each of them sits on an 8-byte
 * boundary and every offset below is documented (and checked by static_asserts in C++).
 *
 * Conventions of every record:
 *  - The caller allocates a record zero-filled for one engine call and frees it, with everything
 *    it points to, when the call returns. A field not described here stays 0.
 *  - A 32-bit Boolean holds -1 for true and 0 for false; a 16-bit Boolean holds 0xFFFF or 0.
 *    Engines take any non-zero value as true.
 *  - A text is a pointer to a NUL-terminated 8-bit copy (UTF-8 on this platform), null when absent.
 *  - Passwords travel whole in both records (no 80- or 81-character cut), so that what is added
 *    with a password can always be extracted with the same password.
 */
#ifndef KV_ZIP_ENGINE_RECORDS_H
#define KV_ZIP_ENGINE_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Version numbers the engines report; the component accepts 172 and above. */
#define KV_VIZIVI_VERSION 172
#define KV_ROZIZE_VERSION 172

/* The fixed value of the last field of both command records. */
#define KV_RECORD_CHECK 7

/* ---------------------------------------------------------------------------------------------
 * Callback record: owned and filled by the engine for one callback, valid during that callback.
 *
 *  offset width field          read by the caller                written back by the caller
 *     0     8   Handle         parent window handle (0)
 *     8     8   Caller         the Caller of the command record
 *    16     4   Version        engine version
 *    20     4   IsZipOperation not 0 while the zip engine calls
 *    24     4   ActionCode     action, 0 to 14 (ZipCallbackAction) 0 by a "cancel all" password answer
 *    28     4   ErrorCode      error code or first argument     reply flag or value
 *    32     8   FileSize       size, count or second argument   reply value (stream address, action 13)
 *    40   512   Text           NUL-terminated name or message   reply text (new name, password, comment)
 *   552   512   FileComment    the member's current comment (action 12), NUL-terminated
 *  1064     8   Data           data pointer (action 14)
 *  1072         size
 *
 * The engine always terminates Text and FileComment inside their areas; a caller reads at most
 * KV_CALLBACK_TEXT_SIZE bytes of either and writes at most KV_CALLBACK_TEXT_SIZE - 1 characters plus
 * the NUL into Text. The comment and data fields lie outside the reply text, so no reply can
 * overwrite them. The engine zeroes the reply fields before each callback, so a caller that writes
 * nothing back leaves ErrorCode and FileSize as the engine set them.
 * ------------------------------------------------------------------------------------------- */
#define KV_CALLBACK_TEXT_SIZE 512

typedef struct CallbackRecord {
  uint64_t Handle;
  void* Caller;
  int32_t Version;
  int32_t IsZipOperation;
  int32_t ActionCode;
  int32_t ErrorCode;
  int64_t FileSize;
  char Text[KV_CALLBACK_TEXT_SIZE];
  char FileComment[KV_CALLBACK_TEXT_SIZE];
  void* Data;
} CallbackRecord;

/* The callback: -1 asks the engine to stop, 0 to go on. Always called on the engine caller's thread. */
typedef int32_t (*ZipCallbackFunction)(CallbackRecord* record);

/* Action codes of CallbackRecord.ActionCode. */
enum ZipCallbackAction {
  zcaTick = 0,          /* nothing to report; lets the caller stay responsive */
  zcaNewFile = 1,       /* Text: member or file name; FileSize: its uncompressed size */
  zcaProgress = 2,      /* FileSize: bytes processed since the last progress report */
  zcaEndOfBatch = 3,    /* ErrorCode: 0; the run is over */
  zcaMessage = 4,       /* Text: message; ErrorCode: 0 for information, else the error (ZipEngineError) */
  zcaTotalFiles = 5,    /* FileSize: number of files or members to process */
  zcaTotalSize = 6,     /* FileSize: bytes to process */
  zcaNewName = 7,       /* Text: proposed member name; reply ErrorCode 1 with the new name in Text */
  zcaPassword = 8,      /* ErrorCode: KV_PASSWORD_REQUEST_ADD or KV_PASSWORD_REQUEST_EXTRACT;
                           FileSize: repeat count; reply ErrorCode 1 with the password in Text and the
                           repeat count in FileSize, or ErrorCode 0 (always written: the request's code
                           shares the field); ActionCode 0 afterwards: no more passwords in this run */
  zcaCrcError = 9,      /* ErrorCode: CRC found; FileSize: CRC expected (both unsigned 32-bit);
                           reply ErrorCode 1 keep the data, 0 discard, 2 no opinion (discarded);
                           always written, as the request's value shares the field */
  zcaOverwrite = 10,    /* ErrorCode: bit 16 set when the existing file is older, low 16 bits the member's
                           index; FileSize: 1 when the options say overwrite; reply FileSize 1 or 0 */
  zcaSkipped = 11,      /* Text: member; ErrorCode: error or 0; FileSize: ZipSkipType */
  zcaFileComment = 12,  /* Text: member; FileComment: its current comment;
                           reply ErrorCode 1 with the comment in Text */
  zcaStreamResize = 13, /* memory-stream modes only, never sent by these engines */
  zcaDataRequest = 14   /* never sent by these engines */
};

/* ErrorCode of a password request. Bit 0 asks for a password for adding (entered twice). The
 * request for adding also differs from both replies (0 and 1), so that a caller that writes nothing
 * back is told from one that answers, whatever the answer is; an unanswered request for extracting
 * reads as a refusal anyway. */
#define KV_PASSWORD_REQUEST_ADD 0x101
#define KV_PASSWORD_REQUEST_EXTRACT 0

/* Error codes of engine messages (zcaMessage, zcaSkipped). The caller keeps the low byte. */
enum ZipEngineError {
  zeOk = 0,
  zeNothingToDo = 1,  /* no file or member matched the specifications */
  zeArchiveRead = 2,  /* the archive is missing, unreadable or not a zip archive */
  zeArchiveWrite = 3, /* the archive or an extracted file could not be written */
  zeFileRead = 4,     /* a file to add could not be read */
  zeNoMemory = 5,
  zeBadParameters = 6, /* the command record is unusable */
  zePassword = 7,      /* no password, or a wrong one */
  zeCrc = 8,           /* data failed its CRC check */
  zeAbort = 9,         /* the caller asked to stop (a callback returned -1) */
  zeUnsupported = 10,  /* a method, size or archive form this engine does not handle */
  zeUnsafeName = 11,   /* a member name that would leave the base directory */
  zeBadData = 12,      /* member data that cannot be decompressed */
  zeInternal = 13      /* an unexpected failure inside the engine */
};

/* Why a member was skipped (zcaSkipped, FileSize). Numbered from 1; the caller's list of skip
 * types holds them in this order, from "on freshen" to "general extract error". */
enum ZipSkipType {
  zstOnFreshen = 1,          /* freshen: no file to freshen, or it is not older */
  zstOnUpdate = 2,           /* update: the existing file is not older */
  zstFileExists = 3,         /* the file exists and is not to be overwritten */
  zstNoPassword = 4,         /* encrypted, and no password was given */
  zstBadPassword = 5,        /* encrypted, and every password given was wrong */
  zstUnsupported = 6,        /* compression method or form not supported */
  zstUnsafeName = 7,         /* the name would leave the base directory */
  zstCrcError = 8,           /* the data failed its CRC check */
  zstGeneralExtractError = 9 /* anything else */
};
#define KV_SKIP_TYPE_COUNT 9

/* The caller's 0-based index of a skip type sent in FileSize: the low byte minus one, clamped into
 * the list so that a value out of range never indexes past it. */
static inline int32_t ZipSkipTypeIndex(int64_t fileSize) {
  int32_t index = (int32_t)(fileSize & 0xFF) - 1;
  if (index < 0) return KV_SKIP_TYPE_COUNT - 1;
  if (index >= KV_SKIP_TYPE_COUNT) return KV_SKIP_TYPE_COUNT - 1;
  return index;
}

/* ---------------------------------------------------------------------------------------------
 * File specification of an add, one per line of the caller's specification list.
 *
 *  offset width field        content
 *     0     8   FileSpec     text: the file specification (a path with wildcards * and ?)
 *     8     8   Reserved1    0
 *    16     8   Password     text: the line's password, else the command's; null when neither
 *    24     4   Encrypt      -1 or 0 from the command, 65535 when the line carries its own password,
 *                            0 when the line ends with "<"; any non-zero value encrypts
 *    28     2   Recurse      16-bit Boolean: search subdirectories
 *    30    14   Reserved2    0
 *    44     4   (alignment)
 *    48     8   RootDir      text: base directory of relative specifications; null for the current one
 *    56    64   Reserved3    0
 *   120         size
 * ------------------------------------------------------------------------------------------- */
typedef struct FileSpecRecord {
  const char* FileSpec;
  uint64_t Reserved1;
  const char* Password;
  int32_t Encrypt;
  uint16_t Recurse;
  uint8_t Reserved2[14];
  uint32_t Align1;
  const char* RootDir;
  uint8_t Reserved3[64];
} FileSpecRecord;

/* ---------------------------------------------------------------------------------------------
 * Command record of the zip engine.
 *
 *  offset width field             content
 *     0     8   Handle            parent window handle; 0 when unattended
 *     8     8   Caller            handed back in every callback
 *    16     4   Version           engine version as the caller got it
 *    20     4   (alignment)
 *    24     8   Callback          the ZipCallbackFunction
 *    32     4   Trace             Boolean
 *    36     4   (alignment)
 *    40     8   Password          text: the password, whole; null when empty
 *    48     8   StoreSuffixes     text: ".gif:.png:..." stored without compression; null when none
 *    56     4   Encrypt           Boolean
 *    60     4   AddHiddenFiles    Boolean: include hidden files (names beginning with ".")
 *    64     4   AddVolume         Boolean: add the volume label (no labels here; ignored)
 *    68     4   Reserved1         0
 *    72     4   NoSeparateDirs    Boolean: no separate directory entries
 *    76     4   AddFromDate       Boolean: only files changed on or after FromDate
 *    80     4   Verbose           Boolean
 *    84     4   MinusOne          -1
 *    88     4   Level             compression level 0 (store) to 9
 *    92     8   Reserved2         0
 *   100     4   NoDirNames        Boolean: store names without their directories
 *   104     2   Recurse           16-bit Boolean
 *   106     2   Reserved3         0
 *   108     4   NoSafe            Boolean (the archive is always written safely)
 *   112     4   ForceDOS          Boolean: DOS 8.3 upper-case names
 *   116     4   Move              Boolean: delete the files once the archive is written
 *   120     4   Reserved4         0
 *   124     4   Update            Boolean: add new files and replace older members
 *   128     4   Freshen           Boolean: replace older members only
 *   132     4   Reserved5         0
 *   136     4   ZipTime           Boolean: give the archive the time of its newest member
 *   140     8   FromDate          "mm dd yy", no terminating NUL
 *   148     4   FSpecCount        number of FileSpecRecords
 *   152     8   ZipFileName       text: the archive to write
 *   160     8   TempDir           text; null when empty (the temporary archive lies beside the target)
 *   168     8   ArchiveComment    text: the archive comment to keep; null when empty
 *   176     2   ArchiveOnly       1 or 0 (no archive attribute here; ignored)
 *   178     2   ResetArchive      1 or 0 (ignored likewise)
 *   180     4   (alignment)
 *   184     8   FSpecs            pointer to FSpecCount FileSpecRecords
 *   192     4   Reserved6         0
 *   196     4   ExclCount         number of exclusion specifications
 *   200     8   Exclusions        pointer to ExclCount texts
 *   208    32   StreamFields      0 (memory-stream modes are not used)
 *   240     4   AllowUndo         Boolean: moved files go to the trash, else they are deleted
 *   244     2   CodePage          2: names in the OEM code page (CP850), else UTF-8
 *   246    18   Reserved7         0
 *   264     4   Check             7
 *   268     4   (alignment)
 *   272         size
 * ------------------------------------------------------------------------------------------- */
typedef struct ZipCommandRecord {
  uint64_t Handle;
  void* Caller;
  int32_t Version;
  uint32_t Align1;
  ZipCallbackFunction Callback;
  int32_t Trace;
  uint32_t Align2;
  const char* Password;
  const char* StoreSuffixes;
  int32_t Encrypt;
  int32_t AddHiddenFiles;
  int32_t AddVolume;
  int32_t Reserved1;
  int32_t NoSeparateDirs;
  int32_t AddFromDate;
  int32_t Verbose;
  int32_t MinusOne;
  int32_t Level;
  uint8_t Reserved2[8];
  int32_t NoDirNames;
  uint16_t Recurse;
  uint16_t Reserved3;
  int32_t NoSafe;
  int32_t ForceDOS;
  int32_t Move;
  int32_t Reserved4;
  int32_t Update;
  int32_t Freshen;
  int32_t Reserved5;
  int32_t ZipTime;
  char FromDate[8];
  int32_t FSpecCount;
  const char* ZipFileName;
  const char* TempDir;
  const char* ArchiveComment;
  uint16_t ArchiveOnly;
  uint16_t ResetArchive;
  uint32_t Align3;
  const FileSpecRecord* FSpecs;
  int32_t Reserved6;
  int32_t ExclCount;
  const char* const* Exclusions;
  uint8_t StreamFields[32];
  int32_t AllowUndo;
  uint16_t CodePage;
  uint8_t Reserved7[18];
  int32_t Check;
  uint32_t Align4;
} ZipCommandRecord;

#define KV_CODEPAGE_OEM 2

/* ---------------------------------------------------------------------------------------------
 * Specification entry of an extract: one line of the caller's list.
 *
 *  offset width field      content
 *     0     8   FileSpec   text: member name or wildcard specification
 *     8    68   Reserved   0
 *    76     4   (alignment)
 *    80         size
 * ------------------------------------------------------------------------------------------- */
typedef struct UnzipFileSpec {
  const char* FileSpec;
  uint8_t Reserved[68];
  uint32_t Align1;
} UnzipFileSpec;

/* ---------------------------------------------------------------------------------------------
 * Command record of the unzip engine.
 *
 *  offset width field             content
 *     0     8   Handle            parent window handle; 0 when unattended
 *     8     8   Caller            handed back in every callback
 *    16     4   Version           engine version as the caller got it
 *    20     4   (alignment)
 *    24     8   Callback          the ZipCallbackFunction
 *    32     4   Trace             Boolean
 *    36     4   Reserved1         0
 *    40     8   Password          text: the password, whole (an empty text when there is none)
 *    48     4   Test              Boolean: test the members, write nothing
 *    52     8   Reserved2         0
 *    60     4   MinusOne          -1
 *    64     4   Verbose           Boolean
 *    68     4   Update            Boolean: extract new members and those newer than their file
 *    72     4   Freshen           Boolean: extract only members newer than their existing file
 *    76     4   DirNames          Boolean: recreate the members' directories
 *    80     4   Overwrite         Boolean: replace existing files
 *    84     4   FSpecCount        number of specification entries; 0 means every member
 *    88     8   ZipFileName       text: the archive to read
 *    96     8   FSpecs            pointer to the UnzipFileSpec entries
 *   104     4   Reserved3         0
 *   108     4   (alignment)
 *   112    24   StreamFields      0 (memory-stream modes are not used)
 *   136     4   PasswordReqCount  how often a password may be asked for (0: never)
 *   140     4   (alignment)
 *   144     8   ExtractBaseDir    text: target directory; null for the current one
 *   152    32   Reserved4         0
 *   184     4   Check             7
 *   188     4   (alignment)
 *   192         size
 * ------------------------------------------------------------------------------------------- */
typedef struct UnzipCommandRecord {
  uint64_t Handle;
  void* Caller;
  int32_t Version;
  uint32_t Align1;
  ZipCallbackFunction Callback;
  int32_t Trace;
  int32_t Reserved1;
  const char* Password;
  int32_t Test;
  uint8_t Reserved2[8];
  int32_t MinusOne;
  int32_t Verbose;
  int32_t Update;
  int32_t Freshen;
  int32_t DirNames;
  int32_t Overwrite;
  int32_t FSpecCount;
  const char* ZipFileName;
  const UnzipFileSpec* FSpecs;
  int32_t Reserved3;
  uint32_t Align2;
  uint8_t StreamFields[24];
  uint32_t PasswordReqCount;
  uint32_t Align3;
  const char* ExtractBaseDir;
  uint8_t Reserved4[32];
  int32_t Check;
  uint32_t Align4;
} UnzipCommandRecord;

/* Entry points, bound by name at run time: VizIviExec, GetVizIviVersion, RozIzeExec, GetRozIzeVersion.
 * The execute entry points return the number of files added (above 0: the archive was written) or the
 * number of members extracted or tested. They never let an exception out and call back only on the
 * calling thread. */
typedef int32_t (*VizIviExecFunction)(const ZipCommandRecord* command);
typedef int32_t (*GetVizIviVersionFunction)(void);
typedef int32_t (*RozIzeExecFunction)(const UnzipCommandRecord* command);
typedef int32_t (*GetRozIzeVersionFunction)(void);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(void*) == 8, "the engine records are laid out for 64-bit pointers");

static_assert(offsetof(CallbackRecord, Caller) == 8);
static_assert(offsetof(CallbackRecord, Version) == 16);
static_assert(offsetof(CallbackRecord, IsZipOperation) == 20);
static_assert(offsetof(CallbackRecord, ActionCode) == 24);
static_assert(offsetof(CallbackRecord, ErrorCode) == 28);
static_assert(offsetof(CallbackRecord, FileSize) == 32);
static_assert(offsetof(CallbackRecord, Text) == 40);
static_assert(offsetof(CallbackRecord, FileComment) == 552);
static_assert(offsetof(CallbackRecord, Data) == 1064);
static_assert(sizeof(CallbackRecord) == 1072);

static_assert(offsetof(FileSpecRecord, Password) == 16);
static_assert(offsetof(FileSpecRecord, Encrypt) == 24);
static_assert(offsetof(FileSpecRecord, Recurse) == 28);
static_assert(offsetof(FileSpecRecord, RootDir) == 48);
static_assert(sizeof(FileSpecRecord) == 120);

static_assert(offsetof(ZipCommandRecord, Caller) == 8);
static_assert(offsetof(ZipCommandRecord, Version) == 16);
static_assert(offsetof(ZipCommandRecord, Callback) == 24);
static_assert(offsetof(ZipCommandRecord, Trace) == 32);
static_assert(offsetof(ZipCommandRecord, Password) == 40);
static_assert(offsetof(ZipCommandRecord, StoreSuffixes) == 48);
static_assert(offsetof(ZipCommandRecord, Encrypt) == 56);
static_assert(offsetof(ZipCommandRecord, AddHiddenFiles) == 60);
static_assert(offsetof(ZipCommandRecord, AddVolume) == 64);
static_assert(offsetof(ZipCommandRecord, NoSeparateDirs) == 72);
static_assert(offsetof(ZipCommandRecord, AddFromDate) == 76);
static_assert(offsetof(ZipCommandRecord, Verbose) == 80);
static_assert(offsetof(ZipCommandRecord, MinusOne) == 84);
static_assert(offsetof(ZipCommandRecord, Level) == 88);
static_assert(offsetof(ZipCommandRecord, NoDirNames) == 100);
static_assert(offsetof(ZipCommandRecord, Recurse) == 104);
static_assert(offsetof(ZipCommandRecord, NoSafe) == 108);
static_assert(offsetof(ZipCommandRecord, ForceDOS) == 112);
static_assert(offsetof(ZipCommandRecord, Move) == 116);
static_assert(offsetof(ZipCommandRecord, Update) == 124);
static_assert(offsetof(ZipCommandRecord, Freshen) == 128);
static_assert(offsetof(ZipCommandRecord, ZipTime) == 136);
static_assert(offsetof(ZipCommandRecord, FromDate) == 140);
static_assert(offsetof(ZipCommandRecord, FSpecCount) == 148);
static_assert(offsetof(ZipCommandRecord, ZipFileName) == 152);
static_assert(offsetof(ZipCommandRecord, TempDir) == 160);
static_assert(offsetof(ZipCommandRecord, ArchiveComment) == 168);
static_assert(offsetof(ZipCommandRecord, ArchiveOnly) == 176);
static_assert(offsetof(ZipCommandRecord, ResetArchive) == 178);
static_assert(offsetof(ZipCommandRecord, FSpecs) == 184);
static_assert(offsetof(ZipCommandRecord, ExclCount) == 196);
static_assert(offsetof(ZipCommandRecord, Exclusions) == 200);
static_assert(offsetof(ZipCommandRecord, StreamFields) == 208);
static_assert(offsetof(ZipCommandRecord, AllowUndo) == 240);
static_assert(offsetof(ZipCommandRecord, CodePage) == 244);
static_assert(offsetof(ZipCommandRecord, Check) == 264);
static_assert(sizeof(ZipCommandRecord) == 272);

static_assert(sizeof(UnzipFileSpec) == 80);

static_assert(offsetof(UnzipCommandRecord, Caller) == 8);
static_assert(offsetof(UnzipCommandRecord, Version) == 16);
static_assert(offsetof(UnzipCommandRecord, Callback) == 24);
static_assert(offsetof(UnzipCommandRecord, Trace) == 32);
static_assert(offsetof(UnzipCommandRecord, Password) == 40);
static_assert(offsetof(UnzipCommandRecord, Test) == 48);
static_assert(offsetof(UnzipCommandRecord, MinusOne) == 60);
static_assert(offsetof(UnzipCommandRecord, Verbose) == 64);
static_assert(offsetof(UnzipCommandRecord, Update) == 68);
static_assert(offsetof(UnzipCommandRecord, Freshen) == 72);
static_assert(offsetof(UnzipCommandRecord, DirNames) == 76);
static_assert(offsetof(UnzipCommandRecord, Overwrite) == 80);
static_assert(offsetof(UnzipCommandRecord, FSpecCount) == 84);
static_assert(offsetof(UnzipCommandRecord, ZipFileName) == 88);
static_assert(offsetof(UnzipCommandRecord, FSpecs) == 96);
static_assert(offsetof(UnzipCommandRecord, StreamFields) == 112);
static_assert(offsetof(UnzipCommandRecord, PasswordReqCount) == 136);
static_assert(offsetof(UnzipCommandRecord, ExtractBaseDir) == 144);
static_assert(offsetof(UnzipCommandRecord, Check) == 184);
static_assert(sizeof(UnzipCommandRecord) == 192);
#endif

#endif /* KV_ZIP_ENGINE_RECORDS_H */
