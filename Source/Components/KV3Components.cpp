// The library's table for the form designer. A designer that opens libKV3Components.so finds
// each component unit's Register routine by the unit's name: "<Unit>_Register", a C function
// without arguments and without result. Applications that only use the components never
// call them; the palette is filled by the designer alone.
#include "Animbtn.h"
#include "DockPanel.h"
#include "DropDownListView.h"
#include "ExStringGrid.h"
#include "KVControls.h"
#include "KVGeneralPurposeWindow.h"
#include "KVWindow.h"
#include "Prnprev.h"
#include "VnkSingleInst.h"
#include "Window.h"
#if __has_include("PrnRichEdit.h")
#include "PrnRichEdit.h"
#endif
#if __has_include("ExtDBGrid.h")
#include "ExtDBGrid.h"
#endif

// No exception may leave through the C entry: a unit that could not register keeps whatever
// it put on the palette before it failed, and the designer goes on with the next unit.
#define KV_EXPORT_REGISTER(Unit)                                                                             \
  extern "C" __attribute__((visibility("default"))) void Unit##_Register() noexcept {                        \
    try {                                                                                                    \
      Unit::Register();                                                                                      \
    } catch (...) {                                                                                          \
    }                                                                                                        \
  }

KV_EXPORT_REGISTER(KVWindow)
KV_EXPORT_REGISTER(DropDownListView)
KV_EXPORT_REGISTER(DockPanel)
KV_EXPORT_REGISTER(Animbtn)
KV_EXPORT_REGISTER(Window)
KV_EXPORT_REGISTER(Prnprev)
KV_EXPORT_REGISTER(ExStringGrid)
#if __has_include("PrnRichEdit.h")
KV_EXPORT_REGISTER(PrnRichEdit)
#endif
KV_EXPORT_REGISTER(KVControls)
#if __has_include("ExtDBGrid.h")
KV_EXPORT_REGISTER(ExtDBGrid)
#endif
KV_EXPORT_REGISTER(VnkSingleInst)
KV_EXPORT_REGISTER(KVGeneralPurposeWindow)
