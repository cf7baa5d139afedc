// The report to sign: a run's or a check's record (report.h) as an A4 PDF
// document in Chinese, made with Qt's own PDF writer: the scheme, the
// source file with its SHA-256, the destination and login, the times, the
// result, every step, the cut values, the check's findings, the
// reconciliation and lines to sign on; every page numbered and dated with
// the run's start. Figures are written as the JSON report writes them, so
// the PDF made at the run and the one made later from its JSON report
// (`korvel report`) read the same.
#pragma once

#include <string>

#include "library/assurance/report.h"

namespace assurance {

// Renders `report` to a PDF file at `path`, written whole or not at all.
// Needs a QGuiApplication: in a program without a Qt application (korvel)
// one is made on the offscreen platform and kept for the process, Qt's
// messages other than critical ones silenced. Raises com::Error when the
// program's application is not a QGuiApplication, when the Noto CJK fonts
// are missing, or when the file cannot be written (naming it).
void WriteReportPdf(const Report& report, const std::string& path);

}  // namespace assurance
