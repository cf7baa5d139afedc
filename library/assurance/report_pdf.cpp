#include "library/assurance/report_pdf.h"

#include "platform/com/error.h"

namespace assurance {

void WriteReportPdf(const Report&, const std::string& path) {
  throw com::Error(com::kErrInvalidArgument, "korvel", "无法写报告文件“" + path + "”：尚不能生成 PDF");
}

}  // namespace assurance
