// korvel report: the PDF to sign from a JSON report that korvel run,
// korvel check or the wizard saved, with the same figures.
#include "cli/args.h"
#include "cli/commands.h"
#include "library/assurance/report.h"
#include "library/assurance/report_pdf.h"

namespace cli {

int CmdReport(const Args& args) {
  const std::string from = args.Require("from");
  const std::string pdf = args.Require("pdf");
  const assurance::Report report = assurance::ReportFromJson(ReadTextFile(from));
  assurance::WriteReportPdf(report, pdf);
  return 0;
}

}  // namespace cli
