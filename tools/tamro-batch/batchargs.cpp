#include "tools/tamro-batch/batchargs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tamro::batch {

namespace {

struct OptionInfo {
  const char *name;
  char shortName;
  bool hasValue;
  const char *commands;  // blank-separated subcommands, or "*" for all
  const char *help;
};

const char *const kCommands[] = {"thumbs", "html", "sheet", "convert", "rename", "report", "print", "unpack"};

// Listing switches are common to the subcommands that list folders.
constexpr const char *kListing = "thumbs html sheet convert report print";

const OptionInfo kOptions[] = {
    {"quiet", 'q', false, "*", "進行状況を表示しない"},
    {"yes", 'y', false, "*", "確認の質問に「はい」と答える"},
    {"on-conflict", 0, true, "*", "同名ファイルの扱い: skip|overwrite|number|newer|larger"},
    {"mask", 0, true, kListing, "ファイル名パターン (PathMask、; 区切り)。名前フィルタを有効にする"},
    {"all-files", 0, false, kListing, "表示フィルタ (名前・日付・サイズ) を使わず全ファイルを対象にする"},
    {"archive", 0, false, kListing, "書庫ファイルを展開して一覧する (Archive)"},
    {"no-archive", 0, false, kListing, "書庫ファイルを展開しない"},
    {"down-scan", 0, false, kListing, "サブフォルダも一覧する (DownScan)"},
    {"no-down-scan", 0, false, kListing, "サブフォルダを一覧しない"},
    {"recursive", 'r', false, "thumbs", "サブフォルダごとに _THUMBS_.RXI を作成する"},
    {"cell", 0, true, "thumbs sheet", "サムネイルのセルの大きさ WxH (ThumbsSize)"},
    {"scale-mode", 0, true, "thumbs convert", "縮小方法 (ScaleMode: 1, 2, 3, 10, その他)"},
    {"unsharp", 0, false, "thumbs convert", "縮小後にシャープをかける (Unsharp)"},
    {"no-unsharp", 0, false, "thumbs", "シャープをかけない"},
    {"jobs", 'j', true, "thumbs", "同時にデコードする数 (既定: CPU の数)"},
    {"out", 'o', true, "html sheet convert report unpack", "出力先 (フォルダまたはファイル)"},
    {"name", 0, true, "html", "HTMLファイル名 (既定: 履歴の先頭、なければ catalog.htm)"},
    {"template", 0, true, "html", "HTML形式定義ファイル (.rxm)"},
    {"page-count", 0, true, "html", "頁当たりの画像数 (0:制限なし)"},
    {"jpeg", 0, false, "html sheet convert", "JPEG形式で保存する"},
    {"bmp", 0, false, "sheet convert", "BMP形式で保存する"},
    {"quality", 0, true, "html sheet convert", "JPEG圧縮品質 (0-100)"},
    {"resize", 0, false, "html", "リンク画像をサムネイルの大きさに縮小する"},
    {"cols", 0, true, "sheet", "横の個数 (0:自動)"},
    {"rows", 0, true, "sheet", "縦の個数 (0:自動)"},
    {"size", 0, true, "convert", "出力の大きさ WxH"},
    {"scale", 0, true, "convert", "倍率"},
    {"rotate", 0, true, "convert", "回転角度 (度)"},
    {"pattern", 0, true, "rename", "連番の名前のパターン"},
    {"start", 0, true, "rename", "開始番号"},
    {"format", 0, true, "report", "レポートの書式 (既定: 履歴の先頭)"},
    {"pdf", 0, true, "print", "印刷先のPDFファイル"},
    {"definition", 0, true, "print", "印刷定義ファイル (.dps)"},
};

bool Applies(const OptionInfo &o, const std::string &command) {
  if (std::strcmp(o.commands, "*") == 0) return true;
  const std::string list = std::string(" ") + o.commands + " ";
  return list.find(" " + command + " ") != std::string::npos;
}

const OptionInfo *FindLong(std::string_view name) {
  for (const OptionInfo &o : kOptions)
    if (name == o.name) return &o;
  return nullptr;
}

const OptionInfo *FindShort(char c) {
  for (const OptionInfo &o : kOptions)
    if (o.shortName == c) return &o;
  return nullptr;
}

}  // namespace

bool Args::Has(const std::string &name) const {
  return std::find(flags.begin(), flags.end(), name) != flags.end() || values.count(name) != 0;
}

std::optional<std::string> Args::Value(const std::string &name) const {
  auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

bool ParseArgs(int argc, char **argv, Args &args, std::string &error) {
  int i = 1;
  if (i < argc && (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)) {
    args.help = true;
    return true;
  }
  if (i >= argc) {
    error = "サブコマンドがありません";
    return false;
  }
  args.command = argv[i++];
  if (std::find(std::begin(kCommands), std::end(kCommands), args.command) == std::end(kCommands)) {
    error = "不明なサブコマンドです: " + args.command;
    return false;
  }
  bool operandsOnly = false;
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (operandsOnly || a.size() < 2 || a[0] != '-') {
      args.operands.push_back(a);
      continue;
    }
    if (a == "--") {
      operandsOnly = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      args.help = true;
      continue;
    }
    const OptionInfo *info = nullptr;
    std::optional<std::string> inlineValue;
    if (a[1] == '-') {
      std::string name = a.substr(2);
      if (auto eq = name.find('='); eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        name.resize(eq);
      }
      info = FindLong(name);
    } else if (a.size() == 2) {
      info = FindShort(a[1]);
    }
    if (!info) {
      error = "不明なオプションです: " + a;
      return false;
    }
    if (!Applies(*info, args.command)) {
      error = "--" + std::string(info->name) + " は " + args.command + " では使えません";
      return false;
    }
    if (!info->hasValue) {
      if (inlineValue) {
        error = "--" + std::string(info->name) + " は値を取りません";
        return false;
      }
      args.flags.push_back(info->name);
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= argc) {
        error = "--" + std::string(info->name) + " に値がありません";
        return false;
      }
      inlineValue = argv[++i];
    }
    args.values[info->name] = *inlineValue;
  }
  return true;
}

std::string HelpText() {
  std::string out =
      "使い方: tamro-batch <サブコマンド> [オプション] 対象...\n"
      "\n"
      "Tamro の一覧・サムネイル・出力の機能をコマンドラインから実行します。\n"
      "フォルダの一覧は Tamro 本体と同じ設定 ($XDG_CONFIG_HOME/QEV/Tamro.ini) で作り、\n"
      "一覧の全画像 (ファイルを指定したときはそのファイル) を対象にします。\n"
      "\n"
      "サブコマンド:\n"
      "  thumbs [-r] DIR...                     _THUMBS_.RXI を作成する (有効な記録はそのまま)\n"
      "  html DIR --out FOLDER [--name N] [--template T.rxm] [--page-count N]\n"
      "       [--jpeg [--quality Q] [--resize]]  HTMLカタログを作成する\n"
      "  sheet DIR --out FILE [--cols C] [--rows R] [--jpeg [--quality Q]]\n"
      "                                         コンタクトシートを作成する\n"
      "  convert DIR|FILE... --out FOLDER [--bmp | --jpeg [--quality Q]]\n"
      "       [--size WxH | --scale F] [--scale-mode M] [--unsharp] [--rotate DEG]\n"
      "                                         画像形式を変換して保存する\n"
      "  rename FILE... --pattern P [--start N]  連番でファイル名を変更する\n"
      "  report DIR --out FILE [--format F]     レポートファイルを作成する\n"
      "  print DIR --pdf OUT.pdf [--definition FILE.dps]\n"
      "                                         PDFファイルに印刷する\n"
      "  unpack ARCHIVE... --out FOLDER         書庫の中のファイルを取り出す\n"
      "\n"
      "オプション:\n";
  for (const OptionInfo &o : kOptions) {
    std::string left = "  ";
    left += o.shortName ? std::string("-") + o.shortName + ", " : std::string("    ");
    left += "--" + std::string(o.name) + (o.hasValue ? " X" : "");
    if (left.size() < 24) left.resize(24, ' ');
    out += left + " " + o.help;
    if (std::strcmp(o.commands, "*") != 0) out += std::string(" [") + o.commands + "]";
    out += "\n";
  }
  out +=
      "  -h, --help               この説明を表示する\n"
      "\n"
      "質問 (同名ファイル、フォルダの作成、上書き) は --on-conflict と --yes で答えます。\n"
      "端末から実行したときは端末で尋ね、端末でないときは答えられない質問を失敗として報告します。\n"
      "\n"
      "終了コード: 0 すべて成功、1 失敗した項目あり (標準エラーに表示)、2 使い方の誤り。\n";
  return out;
}

std::optional<long> ParseInt(const std::string &text, long lo, long hi) {
  errno = 0;
  char *end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno || end == text.c_str() || *end || v < lo || v > hi) return std::nullopt;
  return v;
}

bool ParseSize(const std::string &text, int lo, int hi, int &width, int &height) {
  const auto x = text.find_first_of("xX,");
  if (x == std::string::npos) return false;
  auto w = ParseInt(text.substr(0, x), lo, hi), h = ParseInt(text.substr(x + 1), lo, hi);
  if (!w || !h) return false;
  width = static_cast<int>(*w);
  height = static_cast<int>(*h);
  return true;
}

}  // namespace tamro::batch
