#pragma once

// The display filter dialog ("表示ﾌｨﾙﾀの設定"): name patterns, a date range and a size range
// for the listing. The histories, checks and what is written live in CFilterOption.

#include <QDialog>

#include "catalogue/displayfilter.h"

class QCheckBox;
class QComboBox;
class QDateEdit;

namespace tamro {

class CRXDoc;
class Profile;

class CFilterDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows the histories and switches of `profile` and the document's pattern and dates.
  CFilterDialog(CRXDoc &doc, Profile &profile, QWidget *parent = nullptr);

  // Confirms: stays open (false) when the first day is after the last.
  void accept() override;
  // The clear command: every filter off, pattern "*.*"; closes as confirmed.
  void ClearFilter();

  // What was confirmed (valid after the dialog closed with OK or clear).
  const DisplayFilter &Filter() const { return filter_; }
  const std::string &Pattern() const { return option_.pattern; }

 private:
  Profile &profile_;
  CFilterOption option_;
  DisplayFilter filter_;
  QCheckBox *nameOn_, *dateOn_, *sizeOn_;
  QComboBox *pattern_, *sizeBegin_, *sizeEnd_, *unitBegin_, *unitEnd_;
  QDateEdit *firstDay_, *lastDay_;
};

// Runs the dialog; a confirmed change of any filter value reads the folder again. True when
// it was confirmed.
bool RunFilterDialog(CRXDoc &doc, Profile &profile, QWidget *parent);

}  // namespace tamro
