#include "library/assurance/pdf_font_maps.h"

#include <QRawFont>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

namespace assurance {
namespace {

// A code point that shares its glyph with, and stands below, the one a
// text means: the C0 and C1 controls, the CJK radicals.
bool Aliases(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0x2E80 && c < 0x2FE0);
}

// An unsigned decimal number at `at`, after blanks; -1 when there is none.
qsizetype NumberAt(const QByteArray& pdf, qsizetype at) {
  while (at < pdf.size() && (pdf[at] == ' ' || pdf[at] == '\r' || pdf[at] == '\n')) ++at;
  qsizetype n = -1;
  for (; at < pdf.size() && pdf[at] >= '0' && pdf[at] <= '9'; ++at) n = (n < 0 ? 0 : n * 10) + (pdf[at] - '0');
  return n;
}

// Where object `number` starts, by the cross-reference table the file ends
// with (Qt writes one section from object 0); -1 when it cannot be found.
qsizetype ObjectOffset(const QByteArray& pdf, qsizetype number) {
  const qsizetype startxref = pdf.lastIndexOf("startxref");
  if (startxref < 0) return -1;
  const qsizetype xref = NumberAt(pdf, startxref + 9);
  if (xref < 0 || !pdf.mid(xref, 4).startsWith("xref")) return -1;
  qsizetype at = xref + 4;
  while (at < pdf.size() && (pdf[at] == '\r' || pdf[at] == '\n')) ++at;
  if (NumberAt(pdf, at) != 0) return -1;
  const qsizetype count_at = pdf.indexOf(' ', at);
  const qsizetype count = count_at < 0 ? -1 : NumberAt(pdf, count_at);
  const qsizetype first_entry = pdf.indexOf('\n', at) + 1;
  if (number >= count || first_entry <= 0) return -1;
  const qsizetype entry = first_entry + number * 20;  // "0000001234 00000 n \n"
  if (entry + 20 > pdf.size() || pdf[entry + 17] != 'n') return -1;
  return NumberAt(pdf, entry);
}

// Rewrites the destination code points of a CMap's bfchar and bfrange
// entries; source codes are left alone.
void MendCMap(char* begin, char* end, const std::map<char16_t, char16_t>& ordinary) {
  enum class Mode { kNone, kChar, kRange } mode = Mode::kNone;
  int field = 0;  // which hex string of its entry comes next
  bool in_array = false;
  for (char* p = begin; p < end; ++p) {
    const std::string_view rest(p, static_cast<std::size_t>(end - p));
    if (*p == '<') {
      char* close = p + 1;
      while (close < end && *close != '>') ++close;
      if (close == end) return;
      const bool destination = (mode == Mode::kChar && field == 1) || (mode == Mode::kRange && (in_array || field == 2));
      if (destination && close - p == 5) {
        char digits[5] = {p[1], p[2], p[3], p[4], 0};
        char* parsed = nullptr;
        const auto code = static_cast<char16_t>(std::strtoul(digits, &parsed, 16));
        const auto it = ordinary.find(code);
        if (parsed == digits + 4 && it != ordinary.end()) {
          std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(it->second));
          std::copy(digits, digits + 4, p + 1);
        }
      }
      if (!in_array && mode != Mode::kNone) field = (field + 1) % (mode == Mode::kChar ? 2 : 3);
      p = close;
    } else if (*p == '[') {
      in_array = true;
    } else if (*p == ']') {
      in_array = false;
      field = 0;
    } else if (rest.starts_with("beginbfchar")) {
      mode = Mode::kChar;
      field = 0;
    } else if (rest.starts_with("beginbfrange")) {
      mode = Mode::kRange;
      field = 0;
    } else if (rest.starts_with("endbf")) {
      mode = Mode::kNone;
    }
  }
}

}  // namespace

std::map<char16_t, char16_t> OrdinaryCodePoints(const QList<QFont>& fonts) {
  QString all;
  for (char16_t c = 1; c < 0xD800; ++c) all += QChar(c);
  for (char16_t c = 0xE000; c < 0xFFFE; ++c) all += QChar(c);
  std::map<char16_t, char16_t> ordinary;
  for (const QFont& font : fonts) {
    const QList<quint32> glyphs = QRawFont::fromFont(font).glyphIndexesForString(all);
    if (glyphs.size() != all.size()) continue;
    std::unordered_map<quint32, char16_t> owner;  // a glyph's lowest ordinary code point
    for (qsizetype i = 0; i < all.size(); ++i) {
      const char16_t c = all[i].unicode();
      if (glyphs[i] != 0 && !Aliases(c)) owner.emplace(glyphs[i], c);
    }
    for (qsizetype i = 0; i < all.size(); ++i) {
      const char16_t c = all[i].unicode();
      if (glyphs[i] == 0 || !Aliases(c)) continue;
      if (const auto it = owner.find(glyphs[i]); it != owner.end()) ordinary.emplace(c, it->second);
    }
  }
  return ordinary;
}

void MendToUnicodeMaps(QByteArray& pdf, const std::map<char16_t, char16_t>& ordinary) {
  if (ordinary.empty()) return;
  constexpr char kKey[] = "/ToUnicode";
  for (qsizetype at = pdf.indexOf(kKey); at >= 0; at = pdf.indexOf(kKey, at + 1)) {
    const qsizetype object = ObjectOffset(pdf, NumberAt(pdf, at + sizeof kKey - 1));
    if (object < 0) continue;
    // "N 0 obj\n<< /Length L >>\nstream\n" then L bytes of the map.
    // A compressed map, or one whose length is written elsewhere, is not
    // Qt's way: left alone.
    const qsizetype stream = pdf.indexOf("stream", object);
    if (stream < 0) continue;
    const QByteArray dictionary = pdf.mid(object, stream - object);
    const qsizetype length_key = dictionary.indexOf("/Length");
    const qsizetype close = dictionary.indexOf(">>", length_key);
    if (length_key < 0 || close < 0 || dictionary.contains("/Filter")) continue;
    const QByteArray value = dictionary.mid(length_key + 7, close - length_key - 7).trimmed();
    bool ok = false;
    const qsizetype length = value.toLongLong(&ok);
    if (!ok || length < 0) continue;
    qsizetype data = stream + 6;
    if (data < pdf.size() && pdf[data] == '\r') ++data;
    if (data < pdf.size() && pdf[data] == '\n') ++data;
    if (data + length > pdf.size()) continue;
    char* begin = pdf.data() + data;
    MendCMap(begin, begin + length, ordinary);
  }
}

}  // namespace assurance
