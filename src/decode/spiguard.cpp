#include "decode/spiguard.h"

#include <atomic>
#include <cstdio>

#include "platform/ui.h"

namespace tamro {

namespace {

std::atomic<bool> g_alert{true};

// Exclamation icon, system modal.
constexpr unsigned kAlertStyle = 0x1030;

const char *CodeLine(uint32_t code) {
  switch (code) {
    case 0xC0000006: return "ファイルシステム、デバイスドライバが読み出しエラーを起こした";
    case 0xC0000008: return "";
    case 0xC000001D: return "無効な命令を実行した";
    case 0xC0000025: return "継続不可能な例外を起こした命令に対して再実行を試みた";
    case 0xC0000026: return "例外ハンドラの戻り値が不正";
    case 0xC000008C: return "配列の範囲外をアクセスしようとした";
    case 0xC000008D: return "浮動小数点演算において非正規化数を検知した";
    case 0xC000008E: return "浮動小数点演算において０による除算を行おうとした";
    case 0xC000008F: return "浮動小数点演算の結果が１０進小数で表現できない";
    case 0xC0000090: return "浮動小数点演算例外";
    case 0xC0000091: return "浮動小数点演算の指数部が有効範囲を超えた";
    case 0xC0000092: return "浮動小数点演算の結果スタックがオーバーフロー、あるいはアンダーフローを起こした";
    case 0xC0000093: return "浮動小数点演算の指数部が有効範囲以下である";
    case 0xC0000094: return "整数演算で０による除算を行おうとした";
    case 0xC0000095: return "整数演算の結果、オーバーフローが発生した";
    case 0xC0000096: return "特権命令を実行しようとした";
    case 0xC00000FD: return "ユーザースタックを使い果たした";
    case 0x80000001: return "ガードされているメモリページにアクセスしようとした";
    case 0x80000002: return "メモリアクセスにおいてミスアラインメントを起こした";
    case 0x80000003: return "ブレークポイントに到達した";
    case 0x80000004: return "シングルステップ機構が実行終了を通知した";
    default: return nullptr;
  }
}

}  // namespace

std::string FormatSpiException(const char *label, const FaultInfo &fault) {
  char head[160];
  std::snprintf(head, sizeof head, "%s :Code=%X :Address=%llX\n", label ? label : "", fault.code,
                static_cast<unsigned long long>(fault.address));
  std::string text = head;
  if (fault.code == kFaultAccessViolation) {
    char line[96];
    std::snprintf(line, sizeof line, "ｱﾄﾞﾚｽ %llXの%s違反", static_cast<unsigned long long>(fault.dataAddress),
                  fault.write ? "書込" : "読込");
    text += line;
  } else if (const char *line = CodeLine(fault.code)) {
    text += line;
  }
  return text;
}

void ReportSpiException(const char *label, const FaultInfo &fault) {
  if (!SpiAlert()) return;
  Ui().MessageBox(FormatSpiException(label, fault), "SPI Exception", kAlertStyle);
}

void SetSpiAlert(bool on) { g_alert.store(on); }
bool SpiAlert() { return g_alert.load(); }

}  // namespace tamro
