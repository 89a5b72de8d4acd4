#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "catalogue/picturedecoders.h"
#include "catalogue/wildcard.h"
#include "decode/spihost.h"

namespace tamro::test {

// Decoders for listing tests. A picture is a file whose bytes start with "PIC"; an archive
// a file starting with "ARC\n" followed by member lines "name,size,time,content". The
// picture decoder is "FAKEPIC" at position 0, the archive plug-in "FAKEARC" at position 0.
class FakeDecoders : public PictureDecoders {
 public:
  int pictureQueries = 0;
  int archiveListings = 0;
  bool listFails = false;
  std::string pictureFilter = "*.pic;*.jpg";

  int FindPictureDecoder(const std::string &, const unsigned char *head, std::size_t length, int,
                         int) override {
    ++pictureQueries;
    return length >= 3 && std::memcmp(head, "PIC", 3) == 0 ? 0 : -1;
  }
  int FindArchiveDecoder(const std::string &, const unsigned char *head, std::size_t length,
                         int start) override {
    return start == 0 && length >= 4 && std::memcmp(head, "ARC\n", 4) == 0 ? 0 : -1;
  }
  bool HasArchiveDecoders() override { return true; }
  int ListArchive(int position, const std::string &path, std::vector<ArchiveMember> &members) override {
    ++archiveListings;
    if (position != 0 || listFails) return -1;
    members.clear();
    for (const auto &m : Parse(path)) {
      ArchiveMember r;
      r.method = "store";
      r.position = static_cast<uint32_t>(members.size() * 100);
      r.fileSize = static_cast<uint32_t>(m.size);
      r.timeStamp = m.time;
      r.name = m.name;
      members.push_back(r);
    }
    return 0;
  }
  int ExtractMember(int position, const std::string &path, uint32_t memberPosition,
                    GlobalHandle &block) override {
    if (position != 0) return -1;
    auto all = Parse(path);
    std::size_t i = memberPosition / 100;
    if (i >= all.size()) return -1;
    const std::string &bytes = all[i].content;
    block = GlobalHandle::Allocate(bytes.size());
    GlobalLockGuard lock(block.get());
    if (!bytes.empty()) std::memcpy(lock.get(), bytes.data(), bytes.size());
    return 0;
  }
  std::string PictureFilter() override { return pictureFilter; }
  std::string ArchiveFilter() override { return "*.arc"; }
  std::string ArchiveMemberFilter(int) override { return "*.pic"; }
  int FindDecoderByName(std::string_view name, int kind) override {
    if (kind == kPicture && (name == "FAKEPIC" || name == "--BMP--")) return name == "FAKEPIC" ? 0 : 1000;
    if (kind == kArchive && name == "FAKEARC") return 0;
    return -1;
  }
  std::string DecoderName(int position, int) override {
    return position == 0 ? "FAKEPIC" : position == 1000 ? "--BMP--" : position == 7 ? "AAA" : "";
  }

  // The text of an archive file with these members.
  struct Member {
    std::string name;
    long size = 0;
    int time = 0;
    std::string content;
  };
  static std::string MakeArchive(const std::vector<Member> &members) {
    std::string s = "ARC\n";
    for (const auto &m : members)
      s += m.name + "," + std::to_string(m.size) + "," + std::to_string(m.time) + "," + m.content + "\n";
    return s;
  }

 private:
  static std::vector<Member> Parse(const std::string &path);
};

}  // namespace tamro::test
