#include "tools/tamro-batch/terminalui.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>

#include "platform/text.h"

namespace tamro::batch {

namespace {

std::atomic<int> g_interrupts{0};
// The folder a second signal removes before the program ends; set once.
char g_scratch[4096];
std::atomic<bool> g_haveScratch{false};

void OnInterrupt(int sig) {
  if (g_interrupts.fetch_add(1) >= 1) {
    if (g_haveScratch.load()) RemoveTreeFromSignal(g_scratch);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
}

// Removes `name` below the open folder `parent`, contents first, with calls a signal
// handler may make (no memory allocation, no stdio).
void RemoveTreeAt(int parent, const char *name, int depth) {
  if (::unlinkat(parent, name, 0) == 0 || errno != EISDIR || depth > 16) return;
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  // Removing entries while reading the folder may skip some; another pass finds them.
  for (int pass = 0; pass < 3; ++pass) {
    alignas(dirent64) char buffer[2048];
    ssize_t n;
    while ((n = ::getdents64(fd, buffer, sizeof buffer)) > 0) {
      for (ssize_t at = 0; at < n;) {
        const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
        at += entry->d_reclen;
        const char *child = entry->d_name;
        if (child[0] == '.' && (child[1] == '\0' || (child[1] == '.' && child[2] == '\0'))) continue;
        RemoveTreeAt(fd, child, depth + 1);
      }
    }
    if (::unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno != ENOTEMPTY) break;
    ::lseek(fd, 0, SEEK_SET);
  }
  ::close(fd);
}

int TerminalWidth(std::FILE *f) {
  winsize ws{};
  if (::ioctl(::fileno(f), TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) return ws.ws_col;
  return 80;
}

// Display columns of UTF-8 text, counting East Asian characters as two.
int Columns(std::string_view s) {
  int n = 0;
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    // Half-width katakana (U+FF61..U+FF9F, EF BD A1 .. EF BE 9F) take one column.
    const bool halfKana = len == 3 && c == 0xEF && i + 1 < s.size() &&
                          (static_cast<unsigned char>(s[i + 1]) == 0xBD || static_cast<unsigned char>(s[i + 1]) == 0xBE);
    n += len >= 3 && !halfKana ? 2 : 1;
    i += static_cast<std::size_t>(len);
  }
  return n;
}

// The text cut to at most `width` columns on a character boundary.
std::string Clip(std::string_view s, int width) {
  std::string out;
  int n = 0;
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    const std::string_view ch = s.substr(i, len);
    const int w = Columns(ch);
    if (n + w > width) break;
    out += ch;
    n += w;
    i += len;
  }
  return out;
}

const char *Buttons(unsigned style) {
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: return "[o]k / [c]ancel";
    case MB_ABORTRETRYIGNORE: return "[a]bort / [r]etry / [i]gnore";
    case MB_YESNOCANCEL: return "[y]es / [n]o / [c]ancel";
    case MB_YESNO: return "[y]es / [n]o";
    case MB_RETRYCANCEL: return "[r]etry / [c]ancel";
    default: return nullptr;
  }
}

// The answer a typed letter gives in a box of this style, 0 for none.
int AnswerFor(unsigned style, char c) {
  const unsigned type = style & MB_TYPEMASK;
  switch (c) {
    case 'o': return type == MB_OKCANCEL ? IDOK : 0;
    case 'c': return type == MB_OKCANCEL || type == MB_YESNOCANCEL || type == MB_RETRYCANCEL ? IDCANCEL : 0;
    case 'y': return type == MB_YESNO || type == MB_YESNOCANCEL ? IDYES : 0;
    case 'n': return type == MB_YESNO || type == MB_YESNOCANCEL ? IDNO : 0;
    case 'a': return type == MB_ABORTRETRYIGNORE ? IDABORT : 0;
    case 'r': return type == MB_ABORTRETRYIGNORE || type == MB_RETRYCANCEL ? IDRETRY : 0;
    case 'i': return type == MB_ABORTRETRYIGNORE ? IDIGNORE : 0;
    default: return 0;
  }
}

// The answer --yes gives: the affirmative button of the box, 0 when it has none.
int YesAnswer(unsigned style) {
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: return IDOK;
    case MB_YESNO:
    case MB_YESNOCANCEL: return IDYES;
    default: return 0;
  }
}

// The same-name actions by their button texts.
const char *const kActionNames[6] = {"新しい日付のみ(&T)", "上書き(&O)", "スキップ(&S)",
                                     "名前変更(&R)",       "自動連番(&N)", "大きなサイズ(&B)"};

}  // namespace

std::string FormatDuration(std::chrono::seconds s) {
  const long long t = s.count() < 0 ? 0 : s.count();
  char text[32];
  if (t >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", t / 3600, t / 60 % 60, t % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", t / 60, t % 60);
  return text;
}

TerminalUi::TerminalUi(TerminalUiOptions options, std::FILE *in, std::FILE *err)
    : options_(options), in_(in), err_(err) {}

void TerminalUi::RequestAbort() { g_interrupts.fetch_add(1); }
bool TerminalUi::AbortRequested() { return g_interrupts.load() > 0; }

void TerminalUi::InstallInterruptHandler() {
  // No SA_RESTART: a question waiting for an answer gives up when the run is stopped.
  struct sigaction sa {};
  sa.sa_handler = &OnInterrupt;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

void TerminalUi::RemoveOnSecondInterrupt(const std::string &folder) {
  if (folder.empty() || folder.size() >= sizeof g_scratch) return;
  g_haveScratch.store(false);
  std::memcpy(g_scratch, folder.c_str(), folder.size() + 1);
  g_haveScratch.store(true);
}

void RemoveTreeFromSignal(const char *path) { RemoveTreeAt(AT_FDCWD, path, 0); }

void TerminalUi::EndBarLine() {
  if (!barShown_) return;
  std::fputs("\r\033[K", err_);
  barShown_ = false;
}

std::optional<std::string> TerminalUi::ReadLine() {
  std::fflush(err_);
  if (AbortRequested()) return std::nullopt;
  std::string line;
  int c;
  while ((c = std::fgetc(in_)) != EOF && c != '\n') line += static_cast<char>(c);
  if (c == EOF && line.empty()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void TerminalUi::Refuse(std::string_view what, std::string_view hint) {
  ++unanswered_;
  std::fprintf(err_, "tamro-batch: 端末が対話できないため、次の質問に答えられません: %.*s\n", static_cast<int>(what.size()),
               what.data());
  if (!hint.empty()) std::fprintf(err_, "tamro-batch: %.*s\n", static_cast<int>(hint.size()), hint.data());
}

int TerminalUi::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  EndBarLine();
  const unsigned icon = style & MB_ICONMASK;
  const char *buttons = Buttons(style);
  if (!buttons) {
    // A message only: show it. A stop or warning icon means the engine gave up on something.
    if (icon == MB_ICONSTOP || icon == MB_ICONWARNING) ++failures_;
    std::fprintf(err_, "%.*s%s%.*s\n", static_cast<int>(caption.size()), caption.data(), caption.empty() ? "" : ": ",
                 static_cast<int>(text.size()), text.data());
    return IDOK;
  }
  if (options_.yes) {
    if (const int yes = YesAnswer(style)) {
      if (!options_.quiet)
        std::fprintf(err_, "%.*s -> yes (--yes)\n", static_cast<int>(text.size()), text.data());
      return yes;
    }
  }
  if (!options_.interactive) {
    Refuse(text, YesAnswer(style) ? "--yes を指定すると「はい」と答えます" : "");
    return CautiousAnswer(style);
  }
  for (;;) {
    std::fprintf(err_, "%.*s%s%.*s  %s? ", static_cast<int>(caption.size()), caption.data(),
                 caption.empty() ? "" : ": ", static_cast<int>(text.size()), text.data(), buttons);
    const auto line = ReadLine();
    if (!line) return CautiousAnswer(style);
    const std::string_view t = TrimBlanks(*line);
    if (t.empty()) continue;
    if (const int a = AnswerFor(style, AsciiLower(t[0]))) return a;
  }
}

bool TerminalUi::InputText(std::string_view caption, std::string_view prompt, std::string &value) {
  EndBarLine();
  if (!options_.interactive) {
    Refuse(std::string(caption) + ": " + std::string(prompt), "");
    return false;
  }
  std::fprintf(err_, "%.*s: %.*s [%s] ", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(prompt.size()), prompt.data(), value.c_str());
  const auto line = ReadLine();
  if (!line) return false;
  if (!line->empty()) value = *line;
  return true;
}

bool TerminalUi::Answer(SameNameQuestion &q, int action) {
  q.action = action;
  // An empty name box means the destination the question was opened with; the box itself
  // may hold a numbered name left from the action the dialog starts with.
  q.name.clear();
  // Never "all following": the engine asks again for the next file and gets the same
  // answer, so every skipped file is known.
  q.applyToAll = false;
  if (action == 2) skipped_.push_back(q.sourceName);
  return true;
}

bool TerminalUi::AskSameName(SameNameQuestion &q) {
  EndBarLine();
  if (options_.sameNameAction) {
    const int action = *options_.sameNameAction;
    if (q.disabledActions >> action & 1u) {
      Refuse(q.caption + ": " + q.destinationName,
             std::string("--on-conflict で指定した扱い (") + kActionNames[action] + ") はこの操作では選べません");
      return false;
    }
    return Answer(q, action);
  }
  if (!options_.interactive) {
    Refuse(q.caption + ": " + q.destinationName,
           "--on-conflict=skip|overwrite|number|newer|larger で同名ファイルの扱いを指定してください");
    return false;
  }
  std::fprintf(err_, "%s\n  %s  %s  %s\n  %s  %s  %s\n", q.caption.c_str(), q.sourceName.c_str(),
               q.sourceSize.c_str(), q.sourceDate.c_str(), q.destinationName.c_str(), q.destinationSize.c_str(),
               q.destinationDate.c_str());
  for (int i = 0; i < 6; ++i) {
    if (i == 3 || (q.disabledActions >> i & 1u)) continue;  // renaming by hand needs the dialog's name box
    std::fprintf(err_, "  %d %s\n", i, kActionNames[i]);
  }
  for (;;) {
    std::fprintf(err_, "番号 (末尾に a で以降全て, 空でキャンセル) [%d]? ", q.action);
    const auto line = ReadLine();
    if (!line) return false;
    std::string_view t = TrimBlanks(*line);
    if (t.empty()) return false;
    bool all = false;
    if (t.size() > 1 && AsciiLower(t.back()) == 'a') {
      all = true;
      t.remove_suffix(1);
    }
    if (t.size() == 1 && t[0] >= '0' && t[0] <= '5' && t[0] != '3' && !(q.disabledActions >> (t[0] - '0') & 1u)) {
      const int action = t[0] - '0';
      if (all) options_.sameNameAction = action;
      return Answer(q, action);
    }
  }
}

void TerminalUi::StatusText(std::string_view text) {
  if (options_.quiet || text.empty()) return;
  EndBarLine();
  std::fprintf(err_, "%.*s\n", static_cast<int>(text.size()), text.data());
}

class TerminalProgress : public ProgressWindow {
 public:
  TerminalProgress(TerminalUi &ui, std::string_view caption)
      : ui_(ui), caption_(caption), start_(std::chrono::steady_clock::now()) {}
  ~TerminalProgress() override {
    if (ui_.options_.quiet) return;
    if (ui_.options_.progressBar && drawn_) {
      Draw(true);
      std::fputc('\n', ui_.err_);
      ui_.barShown_ = false;
    }
  }
  void SetText(std::string_view text) override { text_ = text; }
  void SetRange(int lower, int upper) override {
    lower_ = lower;
    upper_ = upper;
  }
  void SetPos(int pos) override {
    pos_ = pos;
    Show();
  }
  void Step(int by) override {
    pos_ += by;
    Show();
  }
  bool Aborted() override { return TerminalUi::AbortRequested(); }

 private:
  void Show() {
    if (ui_.options_.quiet) return;
    if (!ui_.options_.progressBar) {
      std::fprintf(ui_.err_, "%s %d/%d %s\n", caption_.c_str(), pos_ - lower_, upper_ - lower_, text_.c_str());
      return;
    }
    Draw(false);
  }
  void Draw(bool final) {
    const auto now = std::chrono::steady_clock::now();
    if (!final && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) && pos_ < upper_) return;
    lastDraw_ = now;
    drawn_ = true;
    const int total = std::max(upper_ - lower_, 0), done = std::clamp(pos_ - lower_, 0, std::max(total, 0));
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - start_);
    std::string eta = "--:--";
    if (done > 0 && total > 0)
      eta = FormatDuration(std::chrono::seconds(elapsed.count() * (total - done) / done));
    char counts[96];
    std::snprintf(counts, sizeof counts, " %d/%d 経過 %s 残り %s ", done, total, FormatDuration(elapsed).c_str(),
                  eta.c_str());
    const int width = TerminalWidth(ui_.err_) - 1;
    const int barWidth = 20;
    std::string bar = "[";
    const int filled = total > 0 ? barWidth * done / total : 0;
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(barWidth - filled), '-');
    bar += "]";
    std::string line = caption_ + " " + bar + counts;
    line = Clip(line, width);
    line += Clip(text_, std::max(width - Columns(line), 0));
    std::fprintf(ui_.err_, "\r\033[K%s", line.c_str());
    std::fflush(ui_.err_);
    ui_.barShown_ = true;
  }

  TerminalUi &ui_;
  std::string caption_, text_;
  int lower_ = 0, upper_ = 0, pos_ = 0;
  std::chrono::steady_clock::time_point start_, lastDraw_;
  bool drawn_ = false;
};

std::unique_ptr<ProgressWindow> TerminalUi::OpenProgress(std::string_view caption) {
  EndBarLine();
  return std::make_unique<TerminalProgress>(*this, caption);
}

}  // namespace tamro::batch
