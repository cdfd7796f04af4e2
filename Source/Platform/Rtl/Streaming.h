// Form files: the text that describes a form (or any root component) with its components,
// property values and event bindings.
//
//   object MainForm: TMainForm
//     Caption = 'Korvalis database backup/restore'
//     Font.Height = -11
//     OnShow = FormShow
//     object AutoTimer: TTimer
//       Enabled = False
//       OnTimer = AutoTimerTimer
//     end
//   end
//
// Values: integers (-5, $FF), floats (1.5, 2E-3), strings ('it''s', 'a'#13#10'b', joined
// with +), identifiers (enumerations, True/False, colours, handler and component names),
// sets ([akLeft, akTop]), string lists (('one' 'two')), collections (<item ... end>) and binary
// data ({0A1B}). Dotted names reach nested objects. Lines starting with // are comments.
#pragma once

#include "Platform/Rtl/Classes.h"

#include <string>

namespace kv::platform {

// Reads a form file into Root, whose class must be the outer object's: creates every nested
// component by class name (owned by Root, parented to its container), binds Root's fields
// and handlers by name, resolves references, then calls Loaded on Root and every created
// component in creation order. Any failure raises EReadError naming the file and line. A
// Root being designed keeps the handler names its class does not have (TDesignHandler).
void ReadComponentText(TComponent& Root, const std::string& Text, const std::string& FileName);

// Creates the outer object by its class name (owned by Owner) and reads the rest into it.
TComponent* CreateComponentFromText(const std::string& Text, const std::string& FileName, TComponent* Owner);

// Writes Root and its children: every stored property that differs from its stream default,
// in the stream order of its class.
std::string WriteComponentText(TComponent& Root);

// Form files by class name: text compiled into the program, or a file read when needed.
void RegisterFormResource(const std::string& ClassName, const std::string& Text, const std::string& FileName);
void RegisterFormFile(const std::string& ClassName, const std::string& FileName);
// The text and file name of a class's form file; false when none is registered.
bool FindFormResource(const std::string& ClassName, std::string& Text, std::string& FileName);

} // namespace kv::platform
