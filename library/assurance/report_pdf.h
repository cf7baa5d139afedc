// The report to sign: a run's or a check's record (report.h) as an A4 PDF
// document in Chinese, made with Qt's own PDF writer.
#pragma once

#include <string>

#include "library/assurance/report.h"

namespace assurance {

// Renders `report` to a PDF file at `path`, written whole or not at all.
// Raises com::Error when it cannot be written.
void WriteReportPdf(const Report& report, const std::string& path);

}  // namespace assurance
