#include "fakedecoders.h"

#include <fstream>
#include <sstream>

namespace tamro::test {

std::vector<FakeDecoders::Member> FakeDecoders::Parse(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::string line;
  std::vector<Member> out;
  if (!std::getline(f, line) || line != "ARC") return out;
  while (std::getline(f, line)) {
    std::stringstream s(line);
    Member m;
    std::string size, time;
    std::getline(s, m.name, ',');
    std::getline(s, size, ',');
    std::getline(s, time, ',');
    std::getline(s, m.content);
    m.size = std::stol(size);
    m.time = std::stoi(time);
    out.push_back(m);
  }
  return out;
}

}  // namespace tamro::test
