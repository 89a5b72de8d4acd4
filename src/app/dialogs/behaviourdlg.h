#pragma once

// The "動作設定" dialog: the face of CBehaviourOption, its keys grouped on tabs.

#include <QDialog>
#include <vector>

#include "app/dialogs/formparts.h"
#include "catalogue/behaviouroption.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;
class QTabWidget;

namespace tamro {

class CDisplayModeForm;
class CRXDoc;
class CSpiHost;
class UpdateObserver;

class CBehaviourDlg : public QDialog {
  Q_OBJECT

 public:
  // `host` may be null (the switches then go to the settings store only).
  CBehaviourDlg(CRXDoc &doc, CSpiHost *host, UpdateObserver *sender = nullptr, QWidget *parent = nullptr);

  // What OK changed (nothing before OK).
  const BehaviourChanges &Changes() const { return changes_; }
  // OK: the widgets' values go into the option, which confirms them.
  void accept() override;

 private:
  void Store();

  CRXDoc &doc_;
  CSpiHost *host_;
  UpdateObserver *sender_;
  CBehaviourOption option_;
  BehaviourChanges changes_;
  SettingChecks checks_;
  QTabWidget *tabs_ = nullptr;
  QLineEdit *pathMask_ = nullptr, *homeFolder_ = nullptr, *nameFormat_ = nullptr;
  QSpinBox *threads_ = nullptr;
  CDisplayModeForm *viewer_ = nullptr;
};

// Shows the dialog modally; answers what OK changed.
BehaviourChanges RunBehaviourDialog(CRXDoc &doc, CSpiHost *host, UpdateObserver *sender, QWidget *parent);

}  // namespace tamro
