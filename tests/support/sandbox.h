#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tamro::test {

// A private temporary folder for one test, with its own XDG_CONFIG_HOME and
// XDG_DATA_HOME, removed (with everything in it) when the test ends.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox &) = delete;
  Sandbox &operator=(const Sandbox &) = delete;

  const std::filesystem::path &root() const { return root_; }
  std::filesystem::path path(std::string_view relative) const { return root_ / relative; }
  // Writes a file (creating folders) and answers its path.
  std::filesystem::path write(std::string_view relative, std::string_view bytes) const;
  std::string configFile() const;

 private:
  std::filesystem::path root_;
  std::string oldConfig_, oldData_;
  bool hadConfig_ = false, hadData_ = false;
};

std::string ReadFile(const std::filesystem::path &p);
// The names in a folder, hidden ones too, sorted; none when it is missing.
std::vector<std::string> FileNames(const std::filesystem::path &folder);
// Folder of the shared conformance pictures.
std::filesystem::path CorpusDir();
// Runs a shell command; answers its exit status (-1 when it did not exit) and its output.
int RunCommand(const std::string &command, std::string &output);

}  // namespace tamro::test
