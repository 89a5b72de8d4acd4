#pragma once

#include <string>
#include <string_view>

namespace tamro {

// Comma lists as settings and transfer records hold them. A double quote opens a run that
// ends at the next double quote; commas inside it do not separate fields.

// Field n (from 0) into `out`. A field holding a double quote gives the text strictly
// between its first and last quote; otherwise the field as it is, blanks kept. Answers
// the length of `out`, or -1 (and empty `out`) when the list has fewer than n+1 fields.
int GetListField(std::string_view text, int n, std::string &out);
std::string GetListField(std::string_view text, int n);

// Decimal value of field n into `out` (sign allowed; empty, non-numeric or missing
// fields store 0). Answers -1 when the field is missing or does not start with one of
// "0123456789-+", else the field's length.
int GetListInt(std::string_view text, int n, int &out);

// Replaces field n of `record`, or appends it with as many "," as needed; the value is
// wrapped in double quotes when `quote` is set.
void SetListField(std::string &record, int n, std::string_view value, bool quote);

}  // namespace tamro
