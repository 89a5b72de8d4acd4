#pragma once

// What the picture windows ask of the application: the file dialogs, the note dialog, the
// display mode dialog, wallpaper, printing and the main window.

#include "views/onewnd.h"

namespace tamro {

class CatalogueEngine;

class CPictureHost : public PictureWindowHost {
 public:
  CPictureHost(CatalogueEngine &engine, QWidget *mainWindow) : engine_(engine), main_(mainWindow) {}
  int Transfer(QWidget *parent, const EntryId &picture, bool move) override;
  bool EditNote(QWidget *parent, const EntryId &picture) override;
  bool DisplayMode(QWidget *parent, OneViewSettings &settings, int &interval) override;
  void Wallpaper(QWidget *parent, HDIB picture) override;
  void Print(QWidget *parent, const EntryId &picture) override;
  void ActivateMain() override;
  QRect KeepClear() const override;

 private:
  CatalogueEngine &engine_;
  QWidget *main_;
};

}  // namespace tamro
