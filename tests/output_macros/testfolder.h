#pragma once

// A folder of files listed by a real folder document, for the output generators' tests.

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "platform/profile.h"
#include "support/guiapp.h"
#include "support/sandbox.h"

namespace tamro::test {

// Nanoseconds of a local date and time.
inline FileTime LocalFileTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
  tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = second;
  tm.tm_isdst = -1;  // as the zone has it on that day
  return static_cast<FileTime>(std::mktime(&tm)) * kNanosPerSecond;
}

// Lists `folder` into a new document read by `decoders` (none: every file is an entry).
inline std::unique_ptr<CRXDoc> ListFolder(const std::filesystem::path &folder,
                                          PictureDecoders *decoders = nullptr) {
  auto doc = std::make_unique<CRXDoc>(&Profile::App());
  doc->SetDecoders(decoders);
  doc->ChangeFolder(folder.string(), nullptr, false);
  return doc;
}

inline int FindEntry(CRXDoc &doc, const std::string &name) {
  for (int i = 0; i < doc.GetEntryCount(); ++i)
    if (CPicEntry *e = doc.GetEntry(i); e && e->name == name) return i;
  return -1;
}

inline void Select(CRXDoc &doc, const std::vector<std::string> &names) {
  for (const std::string &name : names)
    if (int i = FindEntry(doc, name); i >= 0) doc.SetEntryFlags(i, doc.GetEntry(i)->flags | CPicEntry::kSelected);
}

// Names of the entries in display order.
inline std::vector<std::string> EntryNames(CRXDoc &doc) {
  std::vector<std::string> names;
  for (int i = 0; i < doc.GetEntryCount(); ++i) names.push_back(doc.GetEntry(i)->name);
  return names;
}

}  // namespace tamro::test
