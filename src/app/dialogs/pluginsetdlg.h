#pragma once

// The "プラグイン設定" dialog: the face of CPluginSetOption over the plug-in host. Every
// change goes straight to the host; closing (by "閉じる", Esc or the window) stores the set
// shown and makes it the host's current set.

#include <QDialog>
#include <vector>

#include "decode/pluginsetoption.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QTableWidget;

namespace tamro {

class CSpiHost;

class CPluginSetDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CPluginSetDlg(CSpiHost &host, QWidget *parent = nullptr);
  void done(int result) override;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void FillSets();
  void FillLists();
  void FillViewList();
  void UpdateButtons();
  void CommitSetText();
  // Positions of the selected rows of a list.
  std::vector<int> Selected(QTableWidget *list) const;
  int SelectedArchive() const;
  void Configure(QTableWidget *list, int kind);
  void Properties(QTableWidget *list, int kind);
  void AddToView();
  void RemoveFromView();

  CPluginSetOption option_;
  QComboBox *sets_ = nullptr;
  QTableWidget *pictures_ = nullptr, *archives_ = nullptr, *view_ = nullptr;
  QPushButton *pictureUse_ = nullptr, *pictureConfig_ = nullptr, *pictureProps_ = nullptr;
  QPushButton *add_ = nullptr, *remove_ = nullptr;
  QPushButton *archiveUse_ = nullptr, *archiveConfig_ = nullptr, *archiveProps_ = nullptr;
  QCheckBox *useAll_ = nullptr;
  bool filling_ = false, closed_ = false;
};

// Shows the dialog modally. Afterwards the caller refreshes its plug-in set bar.
void RunPluginSetDialog(CSpiHost &host, QWidget *parent);

}  // namespace tamro
