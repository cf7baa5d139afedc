#include <cstdio>
#include <mutex>

#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "library/interface/report_sink.h"

namespace korvel {

CConnection::CConnection() = default;
CConnection::~CConnection() = default;

IPackage::IPackage() = default;
IPackage::~IPackage() = default;
void IPackage::KorvelInit(CConnection& SourceConn, CConnection& DestinationConn) {
  (void)SourceConn;
  (void)DestinationConn;
}
void IPackage::KorvelExec() {}
std::shared_ptr<dts::Package> IPackage::GetPackage() { return nullptr; }

ReportSink::~ReportSink() = default;

namespace {

class StderrSink final : public ReportSink {
 public:
  void ShowReport(const std::string& text) override {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
  }
};

std::mutex g_sink_mutex;
std::shared_ptr<ReportSink> g_sink;

}  // namespace

std::shared_ptr<ReportSink> CurrentReportSink() {
  static const auto fallback = std::make_shared<StderrSink>();
  std::lock_guard lock(g_sink_mutex);
  return g_sink ? g_sink : fallback;
}

ScopedReportSink::ScopedReportSink(std::shared_ptr<ReportSink> sink) : previous_(std::move(sink)) {
  std::lock_guard lock(g_sink_mutex);
  std::swap(g_sink, previous_);
}

ScopedReportSink::~ScopedReportSink() {
  std::lock_guard lock(g_sink_mutex);
  g_sink = std::move(previous_);
}

void KorvelExecReportingTo(IPackage& plan, std::shared_ptr<ReportSink> reports) {
  const ScopedReportSink installed(std::move(reports));
  plan.KorvelExec();
}

}  // namespace korvel
