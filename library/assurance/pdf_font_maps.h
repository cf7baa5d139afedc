// The font maps of a PDF made by Qt's PDF writer, mended so that its reader
// finds the document's text.
//
// Qt writes each embedded font's ToUnicode map (the text a reader copies,
// searches or extracts for each glyph) with the lowest code point the font
// gives the glyph. The Noto CJK fonts give the glyph of 行 to the radical
// ⾏ (U+2F8F) as well, that of 页 to ⻚ (U+2EDA), that of a blank to the
// tab: the text read back from such a PDF would hold radicals and tabs
// where the document has ideographs and blanks.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QList>
#include <map>

namespace assurance {

// For each code point the fonts give a glyph of another's (a control
// character, a CJK radical), the ordinary code point of that glyph: the
// lowest one that is neither.
std::map<char16_t, char16_t> OrdinaryCodePoints(const QList<QFont>& fonts);

// Rewrites, in every ToUnicode map of `pdf`, each code point that
// `ordinary` maps, in place: the file keeps its length and its offsets.
// Maps written otherwise than Qt writes them are left as they are.
void MendToUnicodeMaps(QByteArray& pdf, const std::map<char16_t, char16_t>& ordinary);

}  // namespace assurance
