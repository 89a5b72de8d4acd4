#include "catalogue/engine.h"

#include <QCoreApplication>
#include <QObject>

#include "platform/cpdecode.h"
#include "platform/profile.h"
#include "platform/startup.h"

namespace tamro {

namespace {

int GoOn(int, int, long) { return 0; }

}  // namespace

CatalogueEngine::CatalogueEngine(Profile &profile, EngineHooks hooks)
    : hooks_(std::move(hooks)),
      pool_(hooks_.threads >= 0 ? hooks_.threads : profile.GetInt("RXDoc", "Threads", 0)) {
  if (!hooks_.icons) hooks_.icons = &glyphs_;
  if (!hooks_.sharedThumbs.empty()) shared_ = std::make_unique<FdThumbCache>(hooks_.sharedThumbs);
  host_.SetProgressCallback(&GoOn);
  MakeDocument(profile);
}

CatalogueEngine::~CatalogueEngine() {
  // Workers may still be decoding for the document; they go before it does.
  thumbs_.reset();
  deliverer_.reset();
}

void CatalogueEngine::MakeDocument(Profile &profile) {
  thumbs_.reset();
  painter_.reset();
  builder_.reset();
  doc_ = std::make_unique<CRXDoc>(&profile);
  doc_->SetDecoders(&decoders_);
  doc_->SetThumbCache(&store_);
  if (hooks_.interrupt) doc_->SetInterruptSource(hooks_.interrupt);
  builder_ = std::make_unique<CThumbBuilder>(&decoders_, &store_, &doc_->Settings());
  if (hooks_.describe) builder_->SetDescriptionLookup(hooks_.describe);
  builder_->SetSharedCache(shared_.get());
  painter_ = std::make_unique<CCellPainter>(builder_.get(), hooks_.icons);
  painter_->SetCaptionLines(&doc_->CaptionItems());
  builder_->SetCaptionLines(&doc_->CaptionItems());
  thumbs_ = std::make_unique<CThumbScheduler>(*doc_, *builder_, pool_);
  if (deliverer_) DeliverResultsHere();
}

CRXDoc &CatalogueEngine::ResetDocument(Profile &profile) {
  MakeDocument(profile);
  return *doc_;
}

void CatalogueEngine::DeliverResultsHere() {
  // A fresh target per scheduler: deleting the old one drops calls still posted to it.
  deliverer_ = std::make_unique<QObject>();
  QObject *target = deliverer_.get();
  CThumbScheduler *thumbs = thumbs_.get();
  thumbs_->SetWake([target, thumbs] {
    QMetaObject::invokeMethod(
        target, [thumbs] { thumbs->Drain(); }, Qt::QueuedConnection);
  });
}

void CatalogueEngine::LoadPlugins(const SpiStatusSink &status) {
  Profile &app = Profile::App();
  pluginFolder_ = LookupPluginFolder(app, ExecutableFolder());
  const std::string setName = app.GetString("SPI", "SPISet", "");
  host_.ScanPlugins(pluginFolder_ + "/*.SPI", status, setName);
  host_.LoadPluginSet(setName);
  host_.ApplyDynamicLoading();
}

void CatalogueEngine::SaveSettings() {
  if (!hooks_.writeSettings) return;
  doc_->SaveSettings();
  host_.SaveSettings();
}

}  // namespace tamro
