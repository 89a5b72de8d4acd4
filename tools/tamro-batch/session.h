#pragma once

// What every subcommand shares: the decoder host set up as the main window sets it up, the
// folder document built from the program's settings (with the command line's overrides),
// the thumbnail store and builder, and the tally of failed items.

#include <memory>
#include <string>
#include <vector>

#include "catalogue/engine.h"
#include "platform/profile.h"
#include "tools/tamro-batch/batchargs.h"

class QTemporaryDir;

namespace tamro::batch {

// What one listing covers: a whole folder, named files of one folder, or an archive file
// opened as the main window opens one.
// What a command reads of the listed files beyond their names.
struct ListingNeeds {
  bool fileFacts = true;  // sizes and times
  bool decoders = true;   // anything the plug-ins tell (picture facts, their files)
};

struct Target {
  enum Kind { kFolder, kFiles, kArchive } kind = kFolder;
  std::string folder;              // absolute
  std::vector<std::string> files;  // kFiles: absolute paths; kArchive: the archive
};

// Sorts the operands into targets: each folder is one, the files of one folder together
// are one (in the order first named). With `openArchives` a file that an archive plug-in
// reads is opened on its own, as the main window opens an archive path: all its members.
// Missing operands are reported and counted.
class Session;
std::vector<Target> CollectTargets(Session &session, const std::vector<std::string> &operands,
                                   bool openArchives);

class Session {
 public:
  explicit Session(const Args &args);
  ~Session();
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  // Reads the settings, applies the overrides, loads the plug-ins. False with the reason
  // for an override that does not parse (a usage error).
  bool Init(std::string &error);

  // Lists a target into a fresh document and selects what it names. Every named file
  // that the listing did not produce is reported as failed. Null only when the target
  // produced no document at all.
  // `needs` says what the command reads beyond names; the plug-ins are loaded for a listing
  // when it or the listing settings need them (archives, the decoders' checks).
  CRXDoc *Open(const Target &target, bool forceNoDownScan = false, ListingNeeds needs = {});
  CatalogueEngine &Engine() { return *engine_; }
  CRXDoc *Doc() { return opened_ ? &engine_->Doc() : nullptr; }
  CThumbBuilder &Builder() { return engine_->Builder(); }
  CCellPainter &Cells() { return engine_->Painter(); }
  CThumbStore &Store() { return engine_->Store(); }
  CSpiHost &Host() {
    LoadPlugins();
    return engine_->Host();
  }
  PictureDecoders &Decoders() {
    LoadPlugins();
    return engine_->Decoders();
  }
  FileIconSource &Icons() { return *engine_->Painter().Icons(); }

  // The entry's picture, reduced toward and scaled by the automatic method into a box of
  // width x height (never enlarged), or at full size for 0 x 0. Owned by the caller.
  HDIB LoadPicture(CPicEntry &entry, int boxWidth, int boxHeight);

  // Whether an archive plug-in reads the file.
  bool IsArchive(const std::string &path);

  // One item that failed: reported on standard error at once.
  void Fail(const std::string &what, const std::string &why);
  int Failures() const { return failures_; }
  const Args &Arguments() const { return args_; }
  // The private folder of the run's settings copies, removed when the session ends; empty
  // before Init.
  std::string ScratchFolder() const;

 private:
  bool WriteOverrides(Profile &profile, bool filesOnly, std::string &error);
  // Once, when first needed: a report of names never pays for loading them.
  void LoadPlugins();

  const Args &args_;
  std::unique_ptr<QTemporaryDir> scratch_;
  // The program's settings with the command line's overrides, in private copies so that
  // nothing the tool changes reaches the main window's store: one for folders, one for
  // named files (which are taken whatever the display filter says).
  std::unique_ptr<Profile> folderProfile_, filesProfile_;
  std::unique_ptr<CatalogueEngine> engine_;
  bool opened_ = false;
  bool pluginsLoaded_ = false;
  int failures_ = 0;
};

}  // namespace tamro::batch
