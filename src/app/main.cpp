#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/startup.h"

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  tamro::Profile &profile = tamro::Profile::App();
  char cwd[4096];
  std::string current = getcwd(cwd, sizeof cwd) ? cwd : ".";
  std::string folder = tamro::ChooseStartingFolder(args, profile, tamro::ExecutableFolder(), current);
  std::printf("Tamro: starting folder %s\n", folder.c_str());
  return 0;
}
