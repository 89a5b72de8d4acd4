#pragma once

// The registration dialog of external applications ("外部アプリケーション登録") and the
// "アプリケーションで開く(&G)" menu of the views.

#include <QDialog>
#include <functional>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace tamro {

class CAppCallOption;
class Profile;

class CAppCallDialog : public QDialog {
  Q_OBJECT

 public:
  // `option` has been loaded.
  CAppCallDialog(QWidget *parent, CAppCallOption &option);

  // "閉じる": stores and writes everything unless the current title or command is missing.
  void accept() override;

 private:
  // Takes the fields, runs one list step (add, delete, move) and shows the list again.
  void Edit(void (CAppCallOption::*step)());
  void StoreFields();
  void ShowList();
  void ShowFields();
  void Select(int row);
  void ListMenu(const QPoint &at);
  void BrowseCommand();
  void BrowseFolder();

  CAppCallOption &option_;
  QListWidget *list_;
  QLineEdit *title_, *command_, *arguments_, *folder_;
  QCheckBox *perFile_;
  QPushButton *remove_;
  bool showing_ = false;
};

// Loads the registered applications and shows the dialog; true when it was closed with
// "閉じる" (the list is then written).
bool EditApplications(QWidget *parent, Profile *profile = nullptr);

// Fills `menu` (emptied first) with one item per registered application, titled as
// registered and carrying the command number 20000 + n as its data; choosing an item calls
// `run` with that number. The menu's own title becomes "アプリケーションで開く(&G)".
// Answers the number of items; with none the caller leaves the submenu out.
int FillApplicationMenu(QMenu *menu, const std::function<void(int command)> &run, Profile *profile = nullptr);

}  // namespace tamro
