// What a key of a real keyboard means to the class library: the Windows virtual-key code of a
// GDK key symbol, and the characters a key symbol types.
#pragma once

#include <string>

namespace kv::platform {

// The virtual-key code of a key symbol as the keyboard gives it without shift (the key's
// first level), 0 for keys that have none. Letters and digits are their upper-case ASCII
// codes; punctuation keys are the OEM codes of the US keyboard.
int VirtualKeyOfKeyval(unsigned Keyval);

// The UTF-8 text that a key symbol types: its character when that is a printable one, else
// empty (control keys such as Return or Delete type what the window system makes of them).
std::string TypedCharacters(unsigned Keyval);

} // namespace kv::platform
