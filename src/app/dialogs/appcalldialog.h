#pragma once

// The registration dialog of external applications ("外部アプリケーション登録") and the
// "アプリケーションで開く(&G)" menu of the views (views/appmenu.h).

#include <QDialog>
#include <functional>

#include "views/appmenu.h"

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

}  // namespace tamro
