// A private folder for the temporary archives of one add or extract: the packed archive
// before it is spread over volumes, and the joined copy of a spanned set. Both can be a
// whole copy of the database, so nobody but this user may look into the folder, and it
// goes with everything in it however the operation ends.
#pragma once

#include <string>

namespace ZavOzeriz {

class TScratchFolder {
public:
  TScratchFolder() = default;
  ~TScratchFolder() { Remove(); }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  // Makes a new folder of mode 0700 in Base under a name nobody can guess; false when
  // none can be made.
  bool Create(const std::string& Base);
  // The folder with its trailing delimiter; empty until created.
  const std::string& Path() const { return path_; }
  // A new name in the folder with the prefix and extension; no file is left under it.
  std::string NewFileName(const std::string& Prefix, const std::string& Extension) const;
  // Removes the folder and everything in it.
  void Remove();

private:
  std::string path_;
};

} // namespace ZavOzeriz
