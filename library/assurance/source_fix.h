// A corrected copy of a 5.6 file: the fix list's changes (fix_list.h)
// applied on the way through jet::CopyDatabase, so that every other table,
// row and value is the source's, and the source itself is never written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library/assurance/fix_list.h"
#include "library/assurance/report.h"
#include "platform/jet/reader.h"

namespace assurance {

// Called as the copy goes: the table being copied and its rows so far. An
// exception thrown by it stops the copy (the partial copy is removed).
using FixProgress = std::function<void(const std::string& table, std::int64_t rows)>;

// Writes a copy of the 5.6 file at `source` (opened with `options`) to
// `output` with the changes of `lines`, and the record of what changed
// beside it (FixRecordPath); `list_path` is named in the record. The lines
// are held to the rules of the list itself (CheckFixLines), then each to
// the source, before anything is written: its table must be
// there, its row there (and still have the line's key), its column one of
// the table's, and its new value one the column's type takes (置空 not
// on a column that requires a value). Raises com::Error listing every line
// that is not ("第 4 行：…", one a line); the source's errors as the
// reader raises them; kErrFileExists when `output` or its record exists
// (both left as they are); kErrSourceChanged (3197) when the source was
// written meanwhile. On any failure neither the copy nor the record is
// left behind.
FixRecord FixSource(const std::string& source, const jet::OpenOptions& options, const std::vector<FixLine>& lines,
                    const std::string& list_path, const std::string& output, const FixProgress& progress = {});

}  // namespace assurance
