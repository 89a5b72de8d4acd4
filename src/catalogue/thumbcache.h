#pragma once

#include <string>

namespace tamro {

class CPicEntry;

// The document's side of the thumbnail store: what listing and removing entries ask of it.
// The store itself comes with the thumbnail builder; without one these steps do nothing.
class ThumbCache {
 public:
  virtual ~ThumbCache() = default;
  // Puts the entry's thumbnail into its folder's store; 1 on success.
  virtual int Add(CPicEntry &entry, int quality) = 0;
  // Takes the entry's record out of its folder's store.
  virtual void Remove(CPicEntry &entry) = 0;
  // Writes every changed folder store.
  virtual void Flush() = 0;
  // Drops every folder store without writing.
  virtual void Clear() = 0;
  // A listing of the folder starts: its store may be read meanwhile, off the main thread.
  virtual void ReadAhead(const std::string &) {}
};

}  // namespace tamro
