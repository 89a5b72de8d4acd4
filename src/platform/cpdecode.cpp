#include "platform/cpdecode.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "platform/listfield.h"
#include "platform/startup.h"

namespace tamro {

namespace {

using CpDecodeProc = int (*)(const char *, char *, int);

class Library {
 public:
  explicit Library(const std::string &path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle_) dlclose(handle_);
  }
  Library(const Library &) = delete;
  Library &operator=(const Library &) = delete;
  void *Symbol(const char *name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

 private:
  void *handle_;
};

}  // namespace

std::string CpDecodeLibraryPath() { return LibraryFolder() + "/libcpdecode.so"; }

std::string CpDecodeText(const std::string &picturePath) {
  return CpDecodeText(picturePath, CpDecodeLibraryPath());
}

std::string CpDecodeText(const std::string &picturePath, const std::string &libraryPath) {
  std::string joined;
  {
    Library library(libraryPath);
    auto proc = reinterpret_cast<CpDecodeProc>(library.Symbol("CpDecode"));
    if (!proc) return {};
    // One spare byte beyond what the library is told, so an unterminated answer still ends.
    char buffer[kCpDecodeBufferSize + 1] = {};
    int ok = proc(picturePath.c_str(), buffer, kCpDecodeBufferSize);
    buffer[kCpDecodeBufferSize] = '\0';
    if (ok == 0) return {};
    std::string text(buffer, std::strlen(buffer));
    std::replace(text.begin(), text.end(), ':', ',');
    std::string field;
    for (int i = 0; GetListField(text, i, field) >= 0; ++i) {
      if (field.empty()) continue;
      if (!joined.empty()) joined += ',';
      joined += field;
    }
  }
  std::string result, field;
  for (int i = 0; GetListField(joined, i, field) > 0; ++i) result += "[" + field + "] ";
  return result;
}

}  // namespace tamro
