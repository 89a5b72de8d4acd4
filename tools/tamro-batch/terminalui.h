#pragma once

// The engines' questions, messages and progress windows on a terminal. Questions are
// answered by the command line's switches first; on an interactive terminal the user is
// asked; otherwise the question is refused with a message that names the switch, so a
// run from a script never waits for an answer nobody can give.

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace tamro::batch {

struct TerminalUiOptions {
  bool quiet = false;          // no progress output
  bool yes = false;            // answer Yes / OK to every question
  std::optional<int> sameNameAction;  // same-name action 0..5 for every file in the way
  bool interactive = false;    // a person is at the terminal (input and error both terminals)
  bool progressBar = false;    // standard error is a terminal: redraw one line
};

class TerminalUi : public UiServices {
 public:
  // `in` and `err` are where answers come from and where everything is shown.
  TerminalUi(TerminalUiOptions options, std::FILE *in = stdin, std::FILE *err = stderr);

  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  bool InputText(std::string_view caption, std::string_view prompt, std::string &value) override;
  std::unique_ptr<ProgressWindow> OpenProgress(std::string_view caption) override;
  bool AskSameName(SameNameQuestion &question) override;
  void StatusText(std::string_view text) override;

  // Questions that could not be put to anybody (each already reported).
  int Unanswered() const { return unanswered_; }
  // Messages shown with a stop or warning icon: the engine reported a failure.
  int Failures() const { return failures_; }
  // Sources whose same-name question was answered "skip". Every question is answered
  // singly (never "all following"), so each skip is seen here.
  const std::vector<std::string> &Skipped() const { return skipped_; }

  // Set by the interrupt handler; every progress window then answers aborted.
  static void RequestAbort();
  static bool AbortRequested();
  // Ctrl+C (and SIGTERM, SIGHUP) stops the current run at the next item, so the program
  // ends normally and cleans up after itself; a second one ends it at once, after removing
  // the folder given to RemoveOnSecondInterrupt.
  static void InstallInterruptHandler();
  static void RemoveOnSecondInterrupt(const std::string &folder);

  const TerminalUiOptions &Options() const { return options_; }

 private:
  friend class TerminalProgress;
  // Reads one line; nullopt at the end of input.
  std::optional<std::string> ReadLine();
  void Refuse(std::string_view what, std::string_view hint);

  TerminalUiOptions options_;
  std::FILE *in_, *err_;
  bool Answer(SameNameQuestion &q, int action);

  std::vector<std::string> skipped_;
  int unanswered_ = 0;
  int failures_ = 0;
  bool barShown_ = false;  // a progress line is on screen and must be ended before text
  void EndBarLine();
};

// Removes a folder and everything in it, calling only what a signal handler may.
void RemoveTreeFromSignal(const char *path);

// "1:23" or "12:03:45".
std::string FormatDuration(std::chrono::seconds s);

}  // namespace tamro::batch
