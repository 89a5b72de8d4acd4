// Stand-ins for the description library, answering by the path they are given.
#include <cstring>

extern "C" __attribute__((visibility("default"))) int CpDecode(const char *path, char *buffer, int size) {
  auto put = [&](const char *text) {
    std::strncpy(buffer, text, static_cast<std::size_t>(size) - 1);
    buffer[size - 1] = '\0';
  };
  if (std::strcmp(path, "zero") == 0) {
    put("text:that:is:ignored");
    return 0;
  }
  if (std::strcmp(path, "quoted") == 0) {
    put("\"a,b\"::c:\"\":d");
    return 1;
  }
  if (std::strcmp(path, "unterminated") == 0) {
    std::memset(buffer, 'x', static_cast<std::size_t>(size));  // no NUL anywhere
    return 1;
  }
  if (std::strcmp(path, "size") == 0) {
    put(size == 128 ? "told 128" : "wrong size");
    return 7;
  }
  put("");
  return 1;
}
