// File name handling with the native '/' separator: what the class library's
// ExtractFilePath, ExtractFileName, ExtractFileExt, ChangeFileExt and ExpandFileName do.
#pragma once

#include <string>

namespace kv::platform {

inline constexpr char PathDelim = '/';

// An absolute name: relative names are taken in the current directory, "." and ".."
// parts and repeated separators are resolved by the text alone (links are not followed).
std::string expandFileName(const std::string& name);
// Directory part with its trailing separator ("/a/b/" of "/a/b/c.zip"); empty for a bare name.
std::string extractFilePath(const std::string& name);
// Directory part without its trailing separator, except for the root ("/").
std::string extractFileDir(const std::string& name);
// The part after the last separator.
std::string extractFileName(const std::string& name);
// From the last '.' of the file part, the dot included; empty when there is none.
std::string extractFileExt(const std::string& name);
// The name with its extension replaced by ext (which carries its own dot, or is empty).
std::string changeFileExt(const std::string& name, const std::string& ext);
// Path ending in one separator; an empty path stays empty.
std::string includeTrailingPathDelimiter(const std::string& path);
// Path without a trailing separator, except the root itself.
std::string excludeTrailingPathDelimiter(const std::string& path);
// Joins a directory and a name with exactly one separator.
std::string joinPath(const std::string& dir, const std::string& name);

} // namespace kv::platform
