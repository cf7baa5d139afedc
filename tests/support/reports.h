// A report sink that keeps the plans' failed-step reports for a test.
#pragma once

#include <string>
#include <vector>

#include "library/interface/report_sink.h"

namespace testing_support {

class RecordingSink final : public korvel::ReportSink {
 public:
  std::vector<std::string> reports;
  void ShowReport(const std::string& text) override { reports.push_back(text); }
};

}  // namespace testing_support
