#pragma once

// The logic of the "動作設定" dialog: the document's behaviour keys, the decoder switches it
// hands to the plug-in host, and what confirming it changes.

#include <string_view>

#include "catalogue/docsettings.h"

namespace tamro {

class CRXDoc;
class CSpiHost;
class Profile;
class UpdateObserver;

// The picture window's defaults (section COneView): what every new window starts with. A window
// changes its own copy only; the behaviour settings dialog changes these.
struct ViewerDefaults {
  enum Fit : int { kAsIs = 0, kPictureSize = 1, kStretch = 2, kKeepAspect = 3 };
  int fitSize = kPictureSize;
  int scaleMode = 0;  // 0 plain, 1 nearest, 2 linear, 3 RGB average, 10 automatic
  int angleUnit = 90;
  int delayTime = 100;  // shortest animation frame, ms
  bool allView = false;
  bool repeat = false;
  bool zoomUp = true;
  bool zoomDw = true;
  double zoomStep = 0.5;

  void Read(const Profile &profile);
  // Writes the keys whose values the store does not answer already; true when it wrote any.
  bool Write(Profile &profile) const;
};

// A zoom step as typed or stored: a positive decimal number with a point in any locale. Anything
// else (nothing, 0, a negative number) would leave zooming stuck or turn it round: false.
bool ParseZoomStep(std::string_view text, double &step);
inline constexpr const char *kZoomStepRefusedText = "伸縮きざみには正の数を入力してください";

// What a confirmation changed.
struct BehaviourChanges {
  bool any = false;
  bool listing = false;     // the folder was listed again
  bool decoders = false;    // the host got new switches
  bool captions = false;    // the caption format changed; hint 0 was sent
  bool thumbnails = false;  // the decoding switches changed; hint 0 was sent
  explicit operator bool() const { return any; }
};

class CBehaviourOption {
 public:
  static constexpr int kMaxThreads = 256;

  CBehaviourOption() = default;
  CBehaviourOption(const CRXDoc &doc, const CSpiHost *host) { Load(doc, host); }
  // The document's values; the decoder switches and the plug-in alert come from the host
  // when there is one (it holds the live values), else from the settings store.
  void Load(const CRXDoc &doc, const CSpiHost *host);

  // Takes the behaviour keys of `settings` (and nothing else of it) into the document, which
  // writes them; hands the switches to the host and writes the host's own keys; lists the
  // folder again when what the listing shows may differ.
  BehaviourChanges Confirm(CRXDoc &doc, CSpiHost *host, UpdateObserver *sender);

  // Edited in place: the RXDoc and MainFrame behaviour keys, the SPI switches, NameFormat.
  DocSettings settings;
  // The host's own switches, not kept by the document.
  int macBinCheck = 0, spiAlert = 1;
  // The picture window's defaults; the slide show wait is settings.sleepDraw.
  ViewerDefaults viewer;
};

}  // namespace tamro
