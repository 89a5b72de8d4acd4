#include "tools/tamro-batch/session.h"

#include <sys/stat.h>

#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "output/entrypicture.h"
#include "platform/fileio.h"
#include "platform/startup.h"
#include "platform/ui.h"

namespace fs = std::filesystem;

namespace tamro::batch {

namespace {

std::string Absolute(const std::string &path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return path;
  return p.lexically_normal().string();
}

std::string Parent(const std::string &path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool SamePath(const std::string &a, const std::string &b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return a == b;
}

}  // namespace

std::vector<Target> CollectTargets(Session &session, const std::vector<std::string> &operands,
                                   bool openArchives) {
  std::vector<Target> targets;
  for (const std::string &operand : operands) {
    std::error_code ec;
    const fs::file_status st = fs::status(operand, ec);
    if (ec || !fs::exists(st)) {
      session.Fail(operand, "ファイルまたはフォルダが見つかりません");
      continue;
    }
    std::string path = Absolute(operand);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (fs::is_directory(st)) {
      targets.push_back(Target{Target::kFolder, path, {}});
      continue;
    }
    if (openArchives && session.IsArchive(path)) {
      targets.push_back(Target{Target::kArchive, Parent(path), {path}});
      continue;
    }
    const std::string folder = Parent(path);
    auto it = std::find_if(targets.begin(), targets.end(),
                           [&](const Target &t) { return t.kind == Target::kFiles && t.folder == folder; });
    if (it == targets.end()) {
      targets.push_back(Target{Target::kFiles, folder, {}});
      it = targets.end() - 1;
    }
    it->files.push_back(path);
  }
  return targets;
}

Session::Session(const Args &args) : args_(args) {}

Session::~Session() = default;

std::string Session::ScratchFolder() const {
  return scratch_ && scratch_->isValid() ? scratch_->path().toStdString() : std::string();
}

bool Session::IsArchive(const std::string &path) {
  std::string head;
  if (!ReadFileHead(path, SPI_HEAD_BYTES, head) || head.empty()) return false;
  head.resize(SPI_HEAD_BYTES, '\0');
  return Decoders().FindArchiveDecoder(path, reinterpret_cast<const unsigned char *>(head.data()),
                                       head.size(), 0) >= 0;
}

void Session::Fail(const std::string &what, const std::string &why) {
  ++failures_;
  std::fprintf(stderr, "tamro-batch: %s: %s\n", what.c_str(), why.c_str());
}

bool Session::WriteOverrides(Profile &p, bool filesOnly, std::string &error) {
  bool ok = true;
  auto put = [&](const char *section, const char *key, const std::string &value) {
    if (p.GetString(section, key, "\x01") != value) ok = p.WriteString(section, key, value) && ok;
  };
  if (auto mask = args_.Value("mask")) {
    put("RXDoc", "PathMask", *mask);
    put("Filter", "FileName", "1");
  }
  if (args_.Has("all-files")) {
    put("Filter", "FileName", "0");
    put("Filter", "FileDate", "0");
    put("Filter", "FileSize", "0");
  }
  if (args_.Has("archive")) put("RXDoc", "Archive", "1");
  if (args_.Has("no-archive")) put("RXDoc", "Archive", "0");
  if (args_.Has("down-scan")) put("RXDoc", "DownScan", "1");
  if (args_.Has("no-down-scan")) put("RXDoc", "DownScan", "0");
  if (auto cell = args_.Value("cell")) {
    int w = 0, h = 0;
    if (!ParseSize(*cell, 10, 4096, w, h)) {
      error = "--cell は WxH (10 から 4096) で指定してください: " + *cell;
      return false;
    }
    put("RXDoc", "ThumbsSize", std::to_string(w) + "," + std::to_string(h));
    // The limit must not raise the cell size given here.
    put("RXDoc", "ThumbsLimitSize", std::to_string(std::min(w, 40)) + "," + std::to_string(std::min(h, 40)));
  }
  if (auto mode = args_.Value("scale-mode")) {
    auto m = ParseInt(*mode, 0, 1000);
    if (!m) {
      error = "--scale-mode は数値で指定してください: " + *mode;
      return false;
    }
    put("RXDoc", "ScaleMode", std::to_string(*m));
  }
  if (args_.Has("unsharp")) put("RXDoc", "Unsharp", "1");
  if (args_.Has("no-unsharp")) put("RXDoc", "Unsharp", "0");
  if (filesOnly) {
    // Files named on the command line are taken as named.
    put("Filter", "FileName", "0");
    put("Filter", "FileDate", "0");
    put("Filter", "FileSize", "0");
  }
  if (!ok) error = "設定の作業用の複製を書き込めません: " + p.path();
  return ok;
}

bool Session::Init(std::string &error) {
  scratch_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tamro-batch-XXXXXX"));
  if (!scratch_->isValid()) {
    error = "作業用フォルダを作成できません";
    return false;
  }
  const std::string dir = scratch_->path().toStdString();
  const std::string settings = Profile::App().path();
  for (const char *name : {"/folders.ini", "/files.ini"}) {
    std::error_code ec;
    if (fs::exists(settings, ec))
      fs::copy_file(settings, dir + name, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      error = "設定を読み込めません: " + settings;
      return false;
    }
  }
  // What the engines remember of a run (answers to same-name questions, dialog histories)
  // goes to a copy as well: a batch run leaves the user's settings as they were.
  {
    std::error_code ec;
    fs::create_directories(dir + "/config/QEV", ec);
    if (!ec && fs::exists(settings, ec))
      fs::copy_file(settings, dir + "/config/QEV/Tamro.ini", fs::copy_options::overwrite_existing, ec);
    if (ec) {
      error = "設定を読み込めません: " + settings;
      return false;
    }
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    Profile::ResetApp();
  }
  folderProfile_ = std::make_unique<Profile>(dir + "/folders.ini");
  filesProfile_ = std::make_unique<Profile>(dir + "/files.ini");
  if (!WriteOverrides(*folderProfile_, false, error) || !WriteOverrides(*filesProfile_, true, error))
    return false;

  int jobs = 0;  // one worker per processor
  if (auto j = args_.Value("jobs")) {
    auto n = ParseInt(*j, 1, 256);
    if (!n) {
      error = "--jobs は 1 から 256 の数で指定してください: " + *j;
      return false;
    }
    jobs = *n;
  }
  // The plug-ins as the main window loads them; the tool never writes any settings back.
  engine_ =
      std::make_unique<CatalogueEngine>(*folderProfile_, EngineHooks{nullptr, nullptr, {}, jobs, false});
  return true;
}

void Session::LoadPlugins() {
  if (pluginsLoaded_) return;
  pluginsLoaded_ = true;
  // The plug-ins as the main window loads them; the tool never writes any settings back.
  engine_->LoadPlugins();
}

CRXDoc *Session::Open(const Target &target, bool forceNoDownScan, ListingNeeds needs) {
  Profile *profile = target.kind == Target::kFiles ? filesProfile_.get() : folderProfile_.get();
  if (forceNoDownScan && profile->GetInt("RXDoc", "DownScan", 0) != 0)
    profile->WriteInt("RXDoc", "DownScan", 0);
  CRXDoc *doc = &engine_->ResetDocument(*profile);
  doc->SetFileFactsWanted(needs.fileFacts);
  const DocSettings &s = doc->Settings();
  if (needs.decoders || target.kind == Target::kArchive || s.archive || s.scanSpi || s.pluginExt)
    LoadPlugins();
  opened_ = true;

  const bool useInfo = doc->Settings().cacheFolder != 0;
  if (target.kind == Target::kArchive)
    doc->ChangeFolder(target.files.front(), nullptr, useInfo);
  else
    doc->ChangeFolder(target.folder, nullptr, useInfo);

  const int count = doc->GetEntryCount();
  if (target.kind != Target::kFiles) {
    for (int i = 0; i < count; ++i) doc->SetEntryFlags(i, CPicEntry::kSelected);
    return doc;
  }
  // Named files: each selects its own entry, or the members of an archive it names.
  std::vector<bool> found(target.files.size(), false);
  for (int i = 0; i < count; ++i) {
    CPicEntry *e = doc->GetEntry(i);
    if (!e) continue;
    const std::string path = e->FilePath();
    for (std::size_t f = 0; f < target.files.size(); ++f) {
      if (path == target.files[f] || SamePath(path, target.files[f])) {
        doc->SetEntryFlags(i, e->flags | CPicEntry::kSelected);
        found[f] = true;
        break;
      }
    }
  }
  for (std::size_t f = 0; f < target.files.size(); ++f)
    if (!found[f]) Fail(target.files[f], "一覧に含まれません (読み込める画像ではありません)");
  return doc;
}

HDIB Session::LoadPicture(CPicEntry &entry, int boxWidth, int boxHeight) {
  return LoadEntryPicture(Builder(), entry, boxWidth, boxHeight);
}

}  // namespace tamro::batch
