#pragma once

// Parts the output dialogs share: the editable drop-down list over a text history, the
// destination rows, the create row and the tab order.

#include <QString>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialog;
class QGridLayout;
class QHBoxLayout;
class QLayout;
class QPushButton;
class QWidget;

namespace tamro {

class TextHistory;

// An editable list that never adds what is typed to its items (the option class keeps
// the history) and is wide enough for a path.
QComboBox *MakeHistoryBox(QWidget *parent);
// Completion from the items only proposes: the stock inline completion would turn a typed
// ".../dest" into a listed ".../dest2" and confirm that instead.
void ProposeOnlyCompletion(QComboBox *box);
// The history's items, with `text` in the edit field.
void FillHistoryBox(QComboBox *box, const TextHistory &history, const std::string &text);
// The edit field's text.
std::string BoxText(const QComboBox *box);

// The "作成" button (the default, named "create") and "キャンセル" at the right of a row.
struct CreateCancelRow {
  QPushButton *create;
  QPushButton *cancel;
  QHBoxLayout *row;
};
CreateCancelRow MakeCreateCancelRow(QWidget *parent);

// The rows an output dialog that writes files opens with: "保存先フォルダ：" with its
// chooser ("folder", "browseFolder") and "ファイル名書式：" ("fileName"), on a grid whose
// further rows are labelled the same way. The fields span `fieldColumns` grid columns.
struct OutputFileRows {
  OutputFileRows(QWidget *parent, int fieldColumns);
  // A label naming `buddy` in the first column of the current row.
  void Label(const char *text, QWidget *buddy);

  QWidget *parent;
  QGridLayout *grid;
  QComboBox *folder, *fileName;
  QPushButton *browseFolder;
  int row = 0;
};
// Lays `dialog` out at its natural size: the grid, the `more` layouts, a gap and the
// create row; "作成" calls `onCreate`, "キャンセル" rejects.
CreateCancelRow FinishOutputDialog(QDialog *dialog, QGridLayout *grid, std::initializer_list<QLayout *> more,
                                   std::function<void()> onCreate);
// The folder chooser of a folder field, starting at the typed folder taken from
// `currentFolder` (the folder shown); the chosen folder goes into the field.
void BrowseOutputFolder(QWidget *parent, QComboBox *folder, const std::string &currentFolder);

// Check boxes over 0/1 settings: each shows its setting, and Store writes them all back, so a
// settings dialog takes its switches in one place when OK is pressed.
class SettingChecks {
 public:
  // A box named `key` (the setting's name), checked when *value is not 0.
  QCheckBox *Add(const char *key, const QString &label, int *value, QWidget *parent = nullptr);
  void Store() const;

 private:
  std::vector<std::pair<QCheckBox *, int *>> checks_;
};

// Tab moves through `widgets` in the order given.
void ChainTabOrder(std::initializer_list<QWidget *> widgets);

}  // namespace tamro
