#pragma once

// Parts the output dialogs share: the editable drop-down list over a text history, and
// the tab order.

#include <QString>
#include <initializer_list>
#include <string>

class QComboBox;
class QHBoxLayout;
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

// Tab moves through `widgets` in the order given.
void ChainTabOrder(std::initializer_list<QWidget *> widgets);

}  // namespace tamro
