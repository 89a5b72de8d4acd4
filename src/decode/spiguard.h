#pragma once

// The guard around every call into a plug-in: a fault becomes a report and the result -1.

#include <string>

#include "platform/faultguard.h"

namespace tamro {

// "<label> :Code=<code> :Address=<address>\n" and the line for the code (none for codes
// without one).
std::string FormatSpiException(const char *label, const FaultInfo &fault);

// Shows the fault as the "SPI Exception" message box when the alert switch is on.
void ReportSpiException(const char *label, const FaultInfo &fault);

// Process-wide "SpiAlert" switch.
void SetSpiAlert(bool on);
bool SpiAlert();

// Runs `body` (a call into a plug-in, answering an int) under the guard; a fault is
// reported with `label`, sets *faulted when given, and answers `faultResult`. Only foreign
// entry points go in here, never our own code (see faultguard.h).
template <class F>
int SpiGuarded(const char *label, F &&body, int faultResult = -1, bool *faulted = nullptr) {
  int result = faultResult;
  FaultInfo fault;
  if (!RunGuarded([&] { result = body(); }, &fault)) {
    ReportSpiException(label, fault);
    if (faulted) *faulted = true;
    return faultResult;
  }
  return result;
}

}  // namespace tamro
