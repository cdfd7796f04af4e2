/* The self-extractor's window part and the stub program that loads it.
 *
 * The stub carries its window part inside itself and loads it only where a display is there;
 * the window part holds the class library and needs GTK, the stub itself needs neither. Each
 * side carries its own C++ run-time, so nothing but plain C crosses between them, and no
 * exception leaves a function of this table.
 *
 * Texts are NUL-terminated UTF-8. A text the window part returns stays its own and valid until
 * the next call into it. */
#ifndef KV_SFX_WINDOW_API_H
#define KV_SFX_WINDOW_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KV_SFX_WINDOW_VERSION 1
/* The one function the window part exports, of type KvSfxWindowOpenFunction. */
#define KV_SFX_WINDOW_OPEN "kvSfxWindowOpen"

typedef struct KvSfxMember {
  const char* name; /* as it will be written below the target folder */
  uint64_t size;
} KvSfxMember;

/* What the start window shows. */
typedef struct KvSfxStart {
  const char* caption;
  const char* directory; /* the proposed target folder */
  const KvSfxMember* members;
  size_t memberCount;
  int32_t chooseFiles;   /* not 0: the member list, every member chosen at first */
  int32_t showOverwrite; /* not 0: the choice what to do with existing files */
  int32_t overwrite;     /* the header's overwrite byte: 0 always, 1 never, 2 ask */
} KvSfxStart;

/* What the user chose in it. */
typedef struct KvSfxChoice {
  const char* directory; /* the window part's text */
  uint8_t* chosen;       /* memberCount flags, given by the caller, set by the window part */
  int32_t overwrite;
} KvSfxChoice;

typedef struct KvSfxWindow {
  void* self;
  /* The start window, until Extract (1, the choice filled in) or Close (0). After Extract the
   * window stays on the screen and shows the progress. */
  int32_t (*start)(void* self, const KvSfxStart* request, KvSfxChoice* choice);
  /* Where the extraction stands; keeps the window alive. 0 when the user asked to stop. */
  int32_t (*progress)(void* self, const char* name, uint64_t done, uint64_t total);
  /* A message box (Windows style flags); the id of the button pressed. */
  int32_t (*messageBox)(void* self, const char* text, const char* caption, uint32_t flags);
  /* The password prompt: the password, or NULL when the user cancelled. */
  const char* (*password)(void* self, const char* caption, const char* prompt);
  /* The command line shown for change before it runs in the folder: the command to run, or NULL
   * when it is not to run. */
  const char* (*editCommand)(void* self, const char* directory, const char* command);
  /* Takes every window of the part away. */
  void (*close)(void* self);
} KvSfxWindow;

/* Fills the table and returns 1 when the display can be used; 0 when not (nothing is open). */
typedef int32_t (*KvSfxWindowOpenFunction)(int32_t version, KvSfxWindow* window);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif
