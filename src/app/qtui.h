#pragma once

// The Qt face of the questions, messages and progress windows the core asks for.

#include <functional>

#include "platform/ui.h"

class QWidget;

namespace tamro {

class QtUi : public UiServices {
 public:
  // `parent` is the window boxes belong to (may be null); `status` shows status lines.
  explicit QtUi(QWidget *parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget *parent) { parent_ = parent; }
  void SetStatusSink(std::function<void(std::string_view)> sink) { status_ = std::move(sink); }

  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  bool InputText(std::string_view caption, std::string_view prompt, std::string &value) override;
  std::unique_ptr<ProgressWindow> OpenProgress(std::string_view caption) override;
  bool AskSameName(SameNameQuestion &question) override;
  bool InputFolder(std::string_view caption, std::string_view prompt, std::string &folder) override;
  bool BrowseFolder(std::string_view caption, std::string &folder) override;
  void ShowList(std::string_view caption, const std::vector<std::string> &lines) override;
  void StatusText(std::string_view text) override;

 private:
  // Questions go above whatever modal window is open (a progress window during a run).
  QWidget *Owner() const;

  QWidget *parent_;
  std::function<void(std::string_view)> status_;
};

}  // namespace tamro
