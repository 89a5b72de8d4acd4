#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tamro {

// Message box styles and answers, with the values the rest of the program stores and compares.
enum MessageStyle : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_ABORTRETRYIGNORE = 0x2,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5,
  MB_TYPEMASK = 0xF,
  MB_ICONHAND = 0x10,
  MB_ICONSTOP = 0x10,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONWARNING = 0x30,
  MB_ICONASTERISK = 0x40,
  MB_ICONINFORMATION = 0x40,
  MB_ICONMASK = 0xF0,
  MB_DEFBUTTON1 = 0x000,
  MB_DEFBUTTON2 = 0x100,
  MB_DEFBUTTON3 = 0x200,
};
enum MessageAnswer : int {
  IDOK = 1,
  IDCANCEL = 2,
  IDABORT = 3,
  IDRETRY = 4,
  IDIGNORE = 5,
  IDYES = 6,
  IDNO = 7
};

// The answer a box of this style gives when nobody can be asked: the cautious one.
int CautiousAnswer(unsigned style);

// One progress window, closed when destroyed.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void SetText(std::string_view text) = 0;
  virtual void SetRange(int lower, int upper) = 0;
  virtual void SetPos(int pos) = 0;
  virtual void Step(int by = 1) = 0;
  // Lets pending events run and answers whether the user asked to stop.
  virtual bool Aborted() = 0;
};

struct SameNameQuestion;

// The rules behind the same-name dialog's controls. The core keeps them; the face calls them
// as the user clicks and types, and shows the record again after each call.
class SameNameRules {
 public:
  virtual ~SameNameRules() = default;
  // An action button was chosen.
  virtual void ChooseAction(SameNameQuestion &question, int action) = 0;
  // The name box now holds `text`.
  virtual void EditName(SameNameQuestion &question, const std::string &text) = 0;
  // Escape in the name box.
  virtual void RestoreName(SameNameQuestion &question) = 0;
  virtual bool ApplyToAllEnabled() const = 0;
};

// The question asked when a file of the same name is in the way (copy, move, save as): the
// dialog's whole state. The face shows it and writes the answer back into the same record.
struct SameNameQuestion {
  std::string caption;                             // the dialog's title
  std::string sourceName, sourceSize, sourceDate;  // shown as given
  std::string destinationName, destinationSize, destinationDate;
  std::string name;                // the name box: in the opened target, out the chosen one
  int action = 0;                  // 0..5: in the starting action, out the chosen one
  unsigned disabledActions = 0;    // bit n set: action n shown but disabled
  bool applyToAll = false;         // out: "以降全て(&A)" was pressed
  SameNameRules *rules = nullptr;  // the core's rules while the question is open
};

// What the core asks of the user interface. The application installs the Qt face; tests
// install ScriptedUi. The core never shows anything itself.
class UiServices {
 public:
  virtual ~UiServices() = default;
  // A message box; answers one of MessageAnswer.
  virtual int MessageBox(std::string_view text, std::string_view caption, unsigned style) = 0;
  // One-line text input; false when cancelled. `value` holds the initial text.
  virtual bool InputText(std::string_view caption, std::string_view prompt, std::string &value) = 0;
  virtual std::unique_ptr<ProgressWindow> OpenProgress(std::string_view caption) = 0;
  // The same-name question; false when cancelled. Without a face it is cancelled.
  virtual bool AskSameName(SameNameQuestion &question);
  // A folder typed or browsed for (`folder` holds the initial text); false when cancelled.
  // Without a face of its own this is InputText.
  virtual bool InputFolder(std::string_view caption, std::string_view prompt, std::string &folder);
  // The system's folder chooser starting at `folder`; false when cancelled. Without a face of
  // its own this is InputText with no prompt.
  virtual bool BrowseFolder(std::string_view caption, std::string &folder);
  // A list of lines to read and confirm (a report). Without a face of its own the lines go
  // into one message box.
  virtual void ShowList(std::string_view caption, const std::vector<std::string> &lines);
  // A line for the status bar (empty clears it).
  virtual void StatusText(std::string_view text) = 0;
};

// The installed services; a quiet stand-in that answers cautiously until one is installed.
UiServices &Ui();
// Installs `ui` (not owned); null puts the quiet stand-in back. Answers the previous one.
UiServices *SetUi(UiServices *ui);

// For tests: records every call and answers from a queue (or cautiously when it is empty).
class ScriptedUi : public UiServices {
 public:
  struct Call {
    std::string kind;  // "message", "input", "progress", "status", "samename"
    std::string text, caption;
    unsigned style = 0;
  };

  std::vector<Call> calls;
  std::deque<int> answers;         // message box answers
  std::deque<std::string> inputs;  // input answers; "\x18" means cancel
  // Same-name answers: the action, the name ("" keeps the offered one) and the all-following
  // flag; an empty queue cancels. Every question asked is kept.
  struct SameNameAnswer {
    int action = 1;
    std::string name;
    bool applyToAll = false;
  };
  std::deque<SameNameAnswer> sameNameAnswers;
  std::vector<SameNameQuestion> sameNameQuestions;
  std::vector<std::string> progress;  // "open:caption", "text:..", "range:a,b", "pos:n", "step:n", "close"
  int abortAfter = -1;                // Aborted() answers true from this call count on

  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  bool InputText(std::string_view caption, std::string_view prompt, std::string &value) override;
  std::unique_ptr<ProgressWindow> OpenProgress(std::string_view caption) override;
  bool AskSameName(SameNameQuestion &question) override;
  void StatusText(std::string_view text) override;

  int abortedCalls = 0;
  std::vector<const Call *> Messages() const;

 private:
  std::mutex messageMutex_;
};

// Installs a UiServices for a scope.
class ScopedUi {
 public:
  explicit ScopedUi(UiServices &ui) : previous_(SetUi(&ui)) {}
  ~ScopedUi() { SetUi(previous_); }
  ScopedUi(const ScopedUi &) = delete;
  ScopedUi &operator=(const ScopedUi &) = delete;

 private:
  UiServices *previous_;
};

}  // namespace tamro
