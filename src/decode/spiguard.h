#pragma once

// The guard around every call into a decoder: a fault becomes a report and the result -1.

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

// Runs `body` (which answers an int) under the guard; a fault is reported with `label`
// and answers `faultResult`.
template <class F>
int SpiGuarded(const char *label, F &&body, int faultResult = -1) {
  int result = faultResult;
  FaultInfo fault;
  if (!RunGuarded([&] { result = body(); }, &fault)) {
    ReportSpiException(label, fault);
    return faultResult;
  }
  return result;
}

}  // namespace tamro
