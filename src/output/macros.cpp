#include "output/macros.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tamro {

namespace {

// Plain decimal notation with at most ten significant digits, trailing zeros dropped.
// Built from the "%.9e" digits so that no magnitude ever produces an exponent.
std::string PlainDecimal(double value) {
  if (!std::isfinite(value) || std::fabs(value) < 1e-10) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.9e", value);
  std::string text(buffer);
  bool negative = text[0] == '-';
  if (negative) text.erase(0, 1);
  std::size_t e = text.find('e');
  if (e == std::string::npos) return "0";
  int exponent = std::atoi(text.c_str() + e + 1);
  std::string digits;
  for (std::size_t i = 0; i < e; ++i)
    if (text[i] != '.') digits += text[i];

  std::string integer, fraction;
  int point = exponent + 1;  // digits before the decimal point
  if (point <= 0) {
    integer = "0";
    fraction = std::string(static_cast<std::size_t>(-point), '0') + digits;
  } else if (point >= static_cast<int>(digits.size())) {
    integer = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
  } else {
    integer = digits.substr(0, static_cast<std::size_t>(point));
    fraction = digits.substr(static_cast<std::size_t>(point));
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (integer == "0" && fraction.empty()) return "0";
  std::string result = negative ? "-" : "";
  result += integer;
  if (!fraction.empty()) result += "." + fraction;
  return result;
}

}  // namespace

std::string GroupThousands(double value, int decimals) {
  if (decimals >= 0 && std::isfinite(value)) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals > 20 ? 20 : decimals, value);
    value = std::strtod(buffer, nullptr);
  }
  std::string text = PlainDecimal(value);
  std::string sign;
  if (!text.empty() && text[0] == '-') {
    sign = "-";
    text.erase(0, 1);
  }
  std::size_t point = text.find('.');
  std::string integer = text.substr(0, point);
  std::string fraction = point == std::string::npos ? std::string() : text.substr(point);
  if (integer.size() >= 4) {
    std::string grouped;
    std::size_t first = integer.size() % 3;
    if (first == 0) first = 3;
    grouped = integer.substr(0, first);
    for (std::size_t i = first; i < integer.size(); i += 3) grouped += "," + integer.substr(i, 3);
    integer = grouped;
  }
  return sign + integer + fraction;
}

std::string FormatByteCount(uint32_t low, uint32_t high, bool withUnit, int decimals, int firstUnit, int lastUnit) {
  static const char *const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
  constexpr int kLast = 4;
  double value = static_cast<double>(low) + static_cast<double>(high) * 4294967296.0;
  int unit = firstUnit < 0 ? 0 : (firstUnit > kLast ? kLast : firstUnit);
  int limit = (lastUnit < 0 || lastUnit > kLast) ? kLast : lastUnit;
  // The test is against 1000, not 1024: 1000 bytes already read as "1KB".
  while (value >= 1000.0 && unit < limit) {
    value /= 1024.0;
    ++unit;
  }
  std::string text = GroupThousands(value, decimals < 0 ? 0 : decimals);
  if (withUnit) text += kUnits[unit];
  return text;
}

std::string PathPart(std::string_view path, unsigned mask) {
  std::size_t slash = path.rfind('/');
  std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
  std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::size_t dot = file.rfind('.');
  std::string_view name = dot == std::string_view::npos ? file : file.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : file.substr(dot);

  std::string result;
  if (mask & kPathFolder) result += folder;
  if (mask & kPathName) result += name;
  if (mask & kPathExt) result += ext;
  if ((mask & 0xF) == (kPathDrive | kPathFolder) && result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

}  // namespace tamro
