#include "catalogue/behaviouroption.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "catalogue/rxdoc.h"
#include "catalogue/updatehint.h"
#include "decode/spihost.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace tamro {

namespace {

using IntField = int DocSettings::*;

// Keys whose change may change what the listing shows.
const IntField kListingKeys[] = {&DocSettings::archive, &DocSettings::downScan, &DocSettings::scanSpi};

// The document's copies of the decoder switches.
const IntField kDecoderKeys[] = {
    &DocSettings::innerBmp,  &DocSettings::innerJpeg,  &DocSettings::innerJpegFast, &DocSettings::innerGif,
    &DocSettings::innerTiff, &DocSettings::innerText,  &DocSettings::innerAvi,      &DocSettings::innerMpeg,
    &DocSettings::pluginExt, &DocSettings::dynamicSpi,
};

const IntField kOtherKeys[] = {
    &DocSettings::syncFind,      &DocSettings::naturalSort,
    &DocSettings::restoreFolder, &DocSettings::thumbsCreate,
    &DocSettings::threads,       &DocSettings::exifRotate,
    &DocSettings::colorManage,   &DocSettings::cp,
    &DocSettings::cacheFolder,   &DocSettings::autoCacheFolder,
    &DocSettings::trashCan,      &DocSettings::delQA,
    &DocSettings::dadMove,       &DocSettings::synchronous,
    &DocSettings::syncJump,      &DocSettings::sleepDraw,
    &DocSettings::folderMonitor,
};

// Copies `keys` from `from` into `to`; answers whether any differed.
template <std::size_t N>
bool Take(DocSettings &to, const DocSettings &from, const IntField (&keys)[N]) {
  bool changed = false;
  for (IntField f : keys) {
    changed = changed || to.*f != from.*f;
    to.*f = from.*f;
  }
  return changed;
}

// The host's own keys; a value the store already answers is not written again.
void WriteHostKey(Profile &p, const char *key, int value, int def) {
  if (p.Has("SPI", key) ? p.GetInt("SPI", key, ~value) == value : value == def) return;
  p.WriteInt("SPI", key, value);
}

constexpr const char *kViewer = "COneView";

}  // namespace

bool ParseZoomStep(std::string_view text, double &step) {
  text = TrimBlanks(text);
  double v = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v <= 0.0) return false;
  step = v;
  return true;
}

void ViewerDefaults::Read(const Profile &p) {
  const ViewerDefaults d;
  fitSize = p.GetInt(kViewer, "FitSize", d.fitSize);
  scaleMode = p.GetInt(kViewer, "ScaleMode", d.scaleMode);
  angleUnit = p.GetInt(kViewer, "AngleUnit", d.angleUnit);
  delayTime = p.GetInt(kViewer, "DelayTime", d.delayTime);
  allView = p.GetInt(kViewer, "AllView", 0) != 0;
  repeat = p.GetInt(kViewer, "Repeat", 0) != 0;
  zoomUp = p.GetInt(kViewer, "ZoomUp", 1) != 0;
  zoomDw = p.GetInt(kViewer, "ZoomDw", 1) != 0;
  if (!ParseZoomStep(p.GetString(kViewer, "ZoomStep", "0.5"), zoomStep)) zoomStep = d.zoomStep;
}

bool ViewerDefaults::Write(Profile &p) const {
  const ViewerDefaults d;
  std::vector<Profile::Entry> changed;
  auto put = [&](const char *key, int value, int def) {
    if (p.GetInt(kViewer, key, def) != value) changed.push_back({key, std::to_string(value)});
  };
  put("FitSize", fitSize, d.fitSize);
  put("ScaleMode", scaleMode, d.scaleMode);
  put("AngleUnit", angleUnit, d.angleUnit);
  put("DelayTime", delayTime, d.delayTime);
  put("AllView", allView, d.allView);
  put("Repeat", repeat, d.repeat);
  put("ZoomUp", zoomUp, d.zoomUp);
  put("ZoomDw", zoomDw, d.zoomDw);
  double stored = d.zoomStep;
  ParseZoomStep(p.GetString(kViewer, "ZoomStep", "0.5"), stored);
  if (stored != zoomStep && std::isfinite(zoomStep) && zoomStep > 0.0) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, zoomStep);  // a point in every locale
    if (error == std::errc()) changed.push_back({"ZoomStep", std::string(text, end)});
  }
  return !changed.empty() && p.WriteStrings(kViewer, changed);
}

void CBehaviourOption::Load(const CRXDoc &doc, const CSpiHost *host) {
  settings = doc.Settings();
  const Profile &store = Profile::App();
  viewer.Read(store);
  if (host) {
    const SpiSwitches sw = host->Switches();
    settings.innerBmp = sw.useBmp;
    settings.innerJpeg = sw.useJpeg;
    settings.innerJpegFast = sw.fastJpeg;
    settings.innerGif = sw.useGif;
    settings.innerTiff = sw.useTiff;
    settings.innerText = sw.useText;
    settings.innerAvi = sw.useAvi;
    settings.innerMpeg = sw.useMpeg;
    settings.pluginExt = sw.pluginExt;
    settings.dynamicSpi = sw.dynamicLoading;
    macBinCheck = sw.macBinCheck;
    spiAlert = CSpiHost::Alert() ? 1 : 0;
  } else {
    // The host keeps its MPEG switch under a key of its own.
    settings.innerMpeg = store.GetInt("SPI", "#InnerMPG", settings.innerMpeg);
    macBinCheck = store.GetInt("SPI", "#MacbinCheck", 0);
    spiAlert = store.GetInt("SPI", "SpiAlert", 1);
  }
}

BehaviourChanges CBehaviourOption::Confirm(CRXDoc &doc, CSpiHost *host, UpdateObserver *sender) {
  const DocSettings old = doc.Settings();
  DocSettings s = old;
  BehaviourChanges changes;

  // An empty pattern list would list nothing; the listing reads it as every file.
  std::string mask(TrimBlanks(settings.pathMask));
  if (mask.empty()) mask = "*.*";
  const bool maskChanged = mask != old.pathMask;
  bool listing = Take(s, settings, kListingKeys) || maskChanged;
  const bool docSwitches = Take(s, settings, kDecoderKeys);
  bool other = Take(s, settings, kOtherKeys);
  s.threads = std::clamp(s.threads, 0, kMaxThreads);
  s.sleepDraw = std::max(s.sleepDraw, 0);
  other = other || s.homeFolder != settings.homeFolder;
  s.homeFolder = settings.homeFolder;
  // Thumbnails made with the other decoding switches no longer fit; the entries take the new
  // switches with the settings, and drawing again rebuilds them.
  changes.thumbnails = s.exifRotate != old.exifRotate || s.colorManage != old.colorManage;
  changes.captions = s.nameFormat != settings.nameFormat;
  s.nameFormat = settings.nameFormat;

  Profile &store = Profile::App();
  const int alert = spiAlert ? 1 : 0;
  other = other || alert != (CSpiHost::Alert() ? 1 : 0);
  CSpiHost::SetAlert(alert != 0);
  if (host) {
    const SpiSwitches before = host->Switches();
    SpiSwitches sw = before;  // keeps the learnt file-input-only values
    sw.useBmp = s.innerBmp;
    sw.useJpeg = s.innerJpeg;
    sw.fastJpeg = s.innerJpegFast;
    sw.useGif = s.innerGif;
    sw.useTiff = s.innerTiff;
    sw.useText = s.innerText;
    sw.useAvi = s.innerAvi;
    sw.useMpeg = s.innerMpeg;
    sw.pluginExt = s.pluginExt;
    sw.dynamicLoading = s.dynamicSpi;
    sw.macBinCheck = macBinCheck;
    changes.decoders = std::memcmp(&before, &sw, sizeof sw) != 0;
    if (changes.decoders) {
      host->SetSwitches(sw);
      // Switching dynamic loading on unloads the plug-ins that no set member uses.
      if (sw.dynamicLoading) host->ApplyDynamicLoading();
    }
  } else {
    changes.decoders = docSwitches || macBinCheck != store.GetInt("SPI", "#MacbinCheck", 0);
  }
  WriteHostKey(store, "#InnerMPG", s.innerMpeg, 0);
  WriteHostKey(store, "#MacbinCheck", macBinCheck, 0);
  WriteHostKey(store, "SpiAlert", alert, 1);
  // New picture windows start with these; the open ones keep their own.
  ViewerDefaults viewerValues = viewer;
  viewerValues.angleUnit = std::clamp(viewerValues.angleUnit, 1, 359);
  other = viewerValues.Write(store) || other;

  // Which files are kept depends on the switches when the listing asks the decoders.
  listing = listing || (changes.decoders && (s.scanSpi || s.archive));
  const bool haveFolder = !doc.Folder().empty();
  // With a folder shown the mask goes in through the display filter, which also turns the
  // pattern of the listing and lists again.
  s.pathMask = haveFolder && maskChanged ? old.pathMask : mask;
  doc.ApplySettings(s);
  if (changes.captions) doc.SetUseInfo(false);
  if (changes.captions || changes.thumbnails) doc.UpdateAllViews(sender, kHintRedrawAll);
  if (haveFolder && maskChanged) {
    doc.ApplyDisplayFilter(doc.Filter(), mask);
    doc.SaveSettings();
  } else if (haveFolder && listing) {
    doc.RefreshFolder();
  }
  changes.listing = haveFolder && listing;
  changes.any = listing || docSwitches || changes.decoders || changes.captions || other;
  return changes;
}

}  // namespace tamro
