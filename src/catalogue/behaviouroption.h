#pragma once

// The logic of the "動作設定" dialog: the document's behaviour keys, the decoder switches it
// hands to the plug-in host, and what confirming it changes.

#include "catalogue/docsettings.h"

namespace tamro {

class CRXDoc;
class CSpiHost;
class UpdateObserver;

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
};

}  // namespace tamro
