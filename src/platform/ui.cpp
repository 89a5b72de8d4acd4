#include "platform/ui.h"

#include <atomic>
#include <cstdio>

namespace tamro {

int CautiousAnswer(unsigned style) {
  switch (style & MB_TYPEMASK) {
    case MB_OK:
      return IDOK;
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    case MB_YESNO:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

namespace {

class QuietProgress : public ProgressWindow {
 public:
  void SetText(std::string_view) override {}
  void SetRange(int, int) override {}
  void SetPos(int) override {}
  void Step(int) override {}
  bool Aborted() override { return false; }
};

// Without a face, messages go to standard error and questions get the cautious answer.
class QuietUi : public UiServices {
 public:
  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    return CautiousAnswer(style);
  }
  bool InputText(std::string_view, std::string_view, std::string &) override { return false; }
  std::unique_ptr<ProgressWindow> OpenProgress(std::string_view) override {
    return std::make_unique<QuietProgress>();
  }
  void StatusText(std::string_view) override {}
};

QuietUi g_quiet;
std::atomic<UiServices *> g_ui{nullptr};

class ScriptedProgress : public ProgressWindow {
 public:
  explicit ScriptedProgress(ScriptedUi &ui) : ui_(ui) {}
  ~ScriptedProgress() override { ui_.progress.push_back("close"); }
  void SetText(std::string_view text) override { ui_.progress.push_back("text:" + std::string(text)); }
  void SetRange(int lower, int upper) override {
    ui_.progress.push_back("range:" + std::to_string(lower) + "," + std::to_string(upper));
  }
  void SetPos(int pos) override { ui_.progress.push_back("pos:" + std::to_string(pos)); }
  void Step(int by) override { ui_.progress.push_back("step:" + std::to_string(by)); }
  bool Aborted() override {
    int n = ui_.abortedCalls++;
    return ui_.abortAfter >= 0 && n >= ui_.abortAfter;
  }

 private:
  ScriptedUi &ui_;
};

}  // namespace

bool UiServices::AskSameName(SameNameQuestion &) { return false; }

bool UiServices::InputFolder(std::string_view caption, std::string_view prompt, std::string &folder) {
  return InputText(caption, prompt, folder);
}

bool UiServices::BrowseFolder(std::string_view caption, std::string &folder) {
  return InputText(caption, {}, folder);
}

void UiServices::ShowList(std::string_view caption, const std::vector<std::string> &lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
  MessageBox(text, caption, MB_OK);
}

bool ScriptedUi::AskSameName(SameNameQuestion &question) {
  sameNameQuestions.push_back(question);
  calls.push_back({"samename", question.name, question.caption, 0});
  if (sameNameAnswers.empty()) return false;
  SameNameAnswer a = sameNameAnswers.front();
  sameNameAnswers.pop_front();
  question.action = a.action;
  if (!a.name.empty()) question.name = a.name;
  question.applyToAll = a.applyToAll;
  return true;
}

UiServices &Ui() {
  UiServices *ui = g_ui.load();
  return ui ? *ui : g_quiet;
}

UiServices *SetUi(UiServices *ui) { return g_ui.exchange(ui); }

int ScriptedUi::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  // Thumbnail workers report plug-in faults from their own threads.
  std::lock_guard lock(messageMutex_);
  calls.push_back({"message", std::string(text), std::string(caption), style});
  if (answers.empty()) return CautiousAnswer(style);
  int a = answers.front();
  answers.pop_front();
  return a;
}

bool ScriptedUi::InputText(std::string_view caption, std::string_view prompt, std::string &value) {
  calls.push_back({"input", std::string(prompt), std::string(caption), 0});
  if (inputs.empty()) return false;
  std::string a = std::move(inputs.front());
  inputs.pop_front();
  if (a == "\x18") return false;
  value = std::move(a);
  return true;
}

std::unique_ptr<ProgressWindow> ScriptedUi::OpenProgress(std::string_view caption) {
  calls.push_back({"progress", {}, std::string(caption), 0});
  progress.push_back("open:" + std::string(caption));
  return std::make_unique<ScriptedProgress>(*this);
}

void ScriptedUi::StatusText(std::string_view text) { calls.push_back({"status", std::string(text), {}, 0}); }

std::vector<const ScriptedUi::Call *> ScriptedUi::Messages() const {
  std::vector<const Call *> out;
  for (const auto &c : calls)
    if (c.kind == "message") out.push_back(&c);
  return out;
}

}  // namespace tamro
