#pragma once

// The catalogue engine: everything the window, tamro-batch and the benchmarks share, made
// and wired in one place: the plug-in host and the one decoder interface over it, the
// thumbnail store, the folder document, the thumbnail builder, the cell painter, the worker
// pool and the thumbnail scheduler on it. Hooks come in through the constructor.

#include <memory>
#include <string>

#include "catalogue/cellpainter.h"
#include "catalogue/fdthumbcache.h"
#include "catalogue/hostdecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/thumbscheduler.h"
#include "catalogue/thumbstore.h"
#include "catalogue/workerpool.h"
#include "decode/spihost.h"

class QObject;

namespace tamro {

class InterruptSource;
class Profile;

struct EngineHooks {
  FileIconSource *icons = nullptr;       // file icons; null draws plain glyphs
  InterruptSource *interrupt = nullptr;  // asked between files of a listing
  DescriptionLookup describe;            // JPEG descriptions; empty asks the optional library
  int threads = -1;                      // workers; below 0 takes RXDoc/Threads
  bool writeSettings = true;             // false: SaveSettings writes nothing (tools)
  std::string sharedThumbs{};            // the shared thumbnail cache's folder; empty: none
};

class CatalogueEngine {
 public:
  // Reads the document's settings from `profile`.
  explicit CatalogueEngine(Profile &profile, EngineHooks hooks = {});
  // Stops the workers first; writes nothing (see SaveSettings).
  ~CatalogueEngine();
  CatalogueEngine(const CatalogueEngine &) = delete;
  CatalogueEngine &operator=(const CatalogueEngine &) = delete;

  // Scans the plug-in folder (from the settings, else beside the executable), loads the
  // current plug-in set and applies dynamic loading.
  void LoadPlugins(const SpiStatusSink &status = {});
  const std::string &PluginFolder() const { return pluginFolder_; }

  // A new document over `profile` (tamro-batch lists each target with its own settings);
  // queued thumbnail work of the old one is dropped.
  CRXDoc &ResetDocument(Profile &profile);

  // Runs thumbnail results on the thread that made the engine (through its event loop);
  // tools without one call Thumbs().Finish() instead.
  void DeliverResultsHere();

  // Writes the document's and the plug-in host's settings (at shutdown).
  void SaveSettings();

  CSpiHost &Host() { return host_; }
  HostDecoders &Decoders() { return decoders_; }
  CThumbStore &Store() { return store_; }
  CRXDoc &Doc() { return *doc_; }
  CThumbBuilder &Builder() { return *builder_; }
  CCellPainter &Painter() { return *painter_; }
  WorkerPool &Pool() { return pool_; }
  CThumbScheduler &Thumbs() { return *thumbs_; }

 private:
  void MakeDocument(Profile &profile);

  EngineHooks hooks_;
  std::string pluginFolder_;
  CSpiHost host_;
  HostDecoders decoders_{host_};
  CThumbStore store_{&decoders_};
  GlyphIconSource glyphs_;
  WorkerPool pool_;
  std::unique_ptr<FdThumbCache> shared_;
  std::unique_ptr<CRXDoc> doc_;
  std::unique_ptr<CThumbBuilder> builder_;
  std::unique_ptr<CCellPainter> painter_;
  std::unique_ptr<CThumbScheduler> thumbs_;
  std::unique_ptr<QObject> deliverer_;
};

}  // namespace tamro
