#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/interrupt.h"
#include "catalogue/rxdoc.h"
#include "fakedecoders.h"
#include "platform/profile.h"
#include "support/sandbox.h"

namespace tamro::test {

// Sets a file's access and modification times to `seconds` since 1970.
inline void SetTimes(const std::string &path, long long seconds) {
  struct timespec t[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

// Records every hint it is told.
struct HintLog : UpdateObserver {
  struct Seen {
    int hint;
    long value, extra;
    std::string text;
  };
  std::vector<Seen> seen;
  std::function<void(int, const UpdateArgument &)> react;
  void OnUpdate(UpdateObserver *, int hint, const UpdateArgument &arg) override {
    seen.push_back({hint, arg.value, arg.extra, std::string(arg.text)});
    if (react) react(hint, arg);
  }
  std::vector<int> Hints() const {
    std::vector<int> h;
    for (const auto &s : seen) h.push_back(s.hint);
    return h;
  }
};

// A queue of pending input, as the application's event queue would hold it.
struct FakeInput : PendingInput {
  std::deque<int> keys;
  bool button = false;
  int peeks = 0;
  std::optional<int> PeekKey() override {
    ++peeks;
    if (keys.empty()) return std::nullopt;
    return keys.front();
  }
  void DropKey() override {
    if (!keys.empty()) keys.pop_front();
  }
  bool ButtonPending() override { return button; }
};

// A sandbox folder of pictures with a document over it.
class DocTest : public ::testing::Test {
 protected:
  Sandbox box;
  Profile profile{box.configFile()};
  FakeDecoders decoders;
  HintLog log;

  std::string Folder(const std::string &sub = "pics") const { return box.path(sub).string(); }
  std::string Write(const std::string &relative, const std::string &bytes) const {
    return box.write(relative, bytes).string();
  }
  std::unique_ptr<CRXDoc> MakeDoc() {
    auto d = std::make_unique<CRXDoc>(&profile);
    d->SetDecoders(&decoders);
    d->AddObserver(&log);
    return d;
  }
  // A document listing `folder` (the pictures' folder when empty).
  std::unique_ptr<CRXDoc> ListedDoc(const std::string &folder = "") {
    auto d = MakeDoc();
    d->ChangeFolder(folder.empty() ? Folder() : folder, nullptr, false);
    return d;
  }
  static std::vector<std::string> Names(CRXDoc &doc) {
    std::vector<std::string> n;
    for (int i = 0; i < doc.GetEntryCount(); ++i) n.push_back(doc.GetEntry(i)->name);
    return n;
  }
  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
};

}  // namespace tamro::test
