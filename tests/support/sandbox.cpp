#include "support/sandbox.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/profile.h"

namespace tamro::test {

Sandbox::Sandbox() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tamro-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) std::abort();
  root_ = tmpl;
  if (const char *c = std::getenv("XDG_CONFIG_HOME")) hadConfig_ = true, oldConfig_ = c;
  if (const char *d = std::getenv("XDG_DATA_HOME")) hadData_ = true, oldData_ = d;
  setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
  Profile::ResetApp();
}

Sandbox::~Sandbox() {
  std::error_code ec;
  std::filesystem::permissions(root_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(root_, ec);
  if (hadConfig_) setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
  if (hadData_) setenv("XDG_DATA_HOME", oldData_.c_str(), 1); else unsetenv("XDG_DATA_HOME");
  Profile::ResetApp();
}

std::filesystem::path Sandbox::write(std::string_view relative, std::string_view bytes) const {
  auto p = root_ / relative;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return p;
}

std::string Sandbox::configFile() const { return (root_ / "config/QEV/Tamro.ini").string(); }

std::string ReadFile(const std::filesystem::path &p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<std::string> FileNames(const std::filesystem::path &folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto &e : std::filesystem::directory_iterator(folder, ec))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::filesystem::path CorpusDir() {
  if (const char *c = std::getenv("TAMRO_CORPUS")) return c;
  return TAMRO_CORPUS_DIR;
}

int RunCommand(const std::string &command, std::string &output) {
  output.clear();
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tamro::test

// Under the leak checker, blocks that system libraries keep for the life of the process are
// not leaks of ours: fontconfig's caches (held by Qt's font database) and the HEVC encoder's
// (used to make HEIC test files).
extern "C" __attribute__((used, visibility("default"))) const char *__lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libx265.so\n";
}
