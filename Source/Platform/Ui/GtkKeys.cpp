#include "Platform/Ui/GtkKeys.h"

#include "Platform/Ui/WinApi.h"

#include <gdk/gdk.h>

namespace kv::platform {

namespace {

// Keys that the window system has no name for.
constexpr int vkLeftWin = 0x5B, vkRightWin = 0x5C, vkApps = 0x5D, vkNumLock = 0x90, vkScrollLock = 0x91,
              vkOem102 = 0xE2;

} // namespace

int VirtualKeyOfKeyval(unsigned Keyval) {
  if (Keyval >= GDK_KEY_a && Keyval <= GDK_KEY_z) return int('A' + (Keyval - GDK_KEY_a));
  if (Keyval >= GDK_KEY_A && Keyval <= GDK_KEY_Z) return int(Keyval);
  if (Keyval >= GDK_KEY_0 && Keyval <= GDK_KEY_9) return int(Keyval);
  if (Keyval >= GDK_KEY_KP_0 && Keyval <= GDK_KEY_KP_9) return VK_NUMPAD0 + int(Keyval - GDK_KEY_KP_0);
  if (Keyval >= GDK_KEY_F1 && Keyval <= GDK_KEY_F24) return VK_F1 + int(Keyval - GDK_KEY_F1);
  switch (Keyval) {
  case GDK_KEY_BackSpace:
    return VK_BACK;
  case GDK_KEY_Tab:
  case GDK_KEY_ISO_Left_Tab:
  case GDK_KEY_KP_Tab:
    return VK_TAB;
  case GDK_KEY_Return:
  case GDK_KEY_KP_Enter:
  case GDK_KEY_ISO_Enter:
    return VK_RETURN;
  case GDK_KEY_Escape:
    return VK_ESCAPE;
  case GDK_KEY_space:
  case GDK_KEY_KP_Space:
    return VK_SPACE;
  case GDK_KEY_Delete:
  case GDK_KEY_KP_Delete:
    return VK_DELETE;
  case GDK_KEY_Insert:
  case GDK_KEY_KP_Insert:
    return VK_INSERT;
  case GDK_KEY_Home:
  case GDK_KEY_KP_Home:
    return VK_HOME;
  case GDK_KEY_End:
  case GDK_KEY_KP_End:
    return VK_END;
  case GDK_KEY_Page_Up:
  case GDK_KEY_KP_Page_Up:
    return VK_PRIOR;
  case GDK_KEY_Page_Down:
  case GDK_KEY_KP_Page_Down:
    return VK_NEXT;
  case GDK_KEY_Left:
  case GDK_KEY_KP_Left:
    return VK_LEFT;
  case GDK_KEY_Up:
  case GDK_KEY_KP_Up:
    return VK_UP;
  case GDK_KEY_Right:
  case GDK_KEY_KP_Right:
    return VK_RIGHT;
  case GDK_KEY_Down:
  case GDK_KEY_KP_Down:
    return VK_DOWN;
  case GDK_KEY_KP_Begin:
  case GDK_KEY_Clear:
    return VK_CLEAR;
  case GDK_KEY_KP_Multiply:
    return VK_MULTIPLY;
  case GDK_KEY_KP_Add:
    return VK_ADD;
  case GDK_KEY_KP_Separator:
    return VK_SEPARATOR;
  case GDK_KEY_KP_Subtract:
    return VK_SUBTRACT;
  case GDK_KEY_KP_Decimal:
    return VK_DECIMAL;
  case GDK_KEY_KP_Divide:
    return VK_DIVIDE;
  case GDK_KEY_Shift_L:
  case GDK_KEY_Shift_R:
    return VK_SHIFT;
  case GDK_KEY_Control_L:
  case GDK_KEY_Control_R:
    return VK_CONTROL;
  case GDK_KEY_Alt_L:
  case GDK_KEY_Alt_R:
  case GDK_KEY_Meta_L:
  case GDK_KEY_Meta_R:
    return VK_MENU;
  case GDK_KEY_Caps_Lock:
    return VK_CAPITAL;
  case GDK_KEY_Pause:
  case GDK_KEY_Break:
    return VK_PAUSE;
  case GDK_KEY_Print:
  case GDK_KEY_Sys_Req:
    return VK_SNAPSHOT;
  case GDK_KEY_Help:
    return VK_HELP;
  case GDK_KEY_Select:
    return VK_SELECT;
  case GDK_KEY_Execute:
    return VK_EXECUTE;
  case GDK_KEY_Num_Lock:
    return vkNumLock;
  case GDK_KEY_Scroll_Lock:
    return vkScrollLock;
  case GDK_KEY_Super_L:
    return vkLeftWin;
  case GDK_KEY_Super_R:
    return vkRightWin;
  case GDK_KEY_Menu:
    return vkApps;
  case GDK_KEY_semicolon:
  case GDK_KEY_colon:
    return VK_OEM_1;
  case GDK_KEY_equal:
  case GDK_KEY_plus:
    return VK_OEM_PLUS;
  case GDK_KEY_comma:
    return VK_OEM_COMMA;
  case GDK_KEY_minus:
  case GDK_KEY_underscore:
    return VK_OEM_MINUS;
  case GDK_KEY_period:
    return VK_OEM_PERIOD;
  case GDK_KEY_slash:
  case GDK_KEY_question:
    return VK_OEM_2;
  case GDK_KEY_grave:
  case GDK_KEY_asciitilde:
    return VK_OEM_3;
  case GDK_KEY_bracketleft:
  case GDK_KEY_braceleft:
    return VK_OEM_4;
  case GDK_KEY_backslash:
  case GDK_KEY_bar:
    return VK_OEM_5;
  case GDK_KEY_bracketright:
  case GDK_KEY_braceright:
    return VK_OEM_6;
  case GDK_KEY_apostrophe:
  case GDK_KEY_quotedbl:
    return VK_OEM_7;
  case GDK_KEY_less:
  case GDK_KEY_greater:
    return vkOem102; // the extra key of 102-key keyboards
  default:
    return 0;
  }
}

std::string TypedCharacters(unsigned Keyval) {
  const gunichar c = gdk_keyval_to_unicode(Keyval);
  if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return std::string();
  char text[8] = {};
  const gint n = g_unichar_to_utf8(c, text);
  return std::string(text, static_cast<size_t>(n));
}

} // namespace kv::platform
