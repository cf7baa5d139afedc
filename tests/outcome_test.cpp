// What `korvel run` says when the network or the disk fails it at the worst
// moment, against what the database then holds: a commit whose answer is
// lost, a reconciliation that cannot connect, a report that cannot be
// written. A fault-injecting proxy sits between the network driver and the
// embedded server's TDS endpoint.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/mount.h>
#endif

#include <cerrno>
#include <cstring>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/fault_proxy.h"
#include "tests/support/files.h"
#include "tests/support/served_folder.h"
#include "tests/support/shop.h"

namespace {

using testing_support::EmbeddedShop;
using testing_support::FaultProxy;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using Fault = FaultProxy::Fault;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The shop's server on the network, behind a proxy that breaks it.
class LostConnection : public ::testing::Test {
 protected:
  // korvel run of the departments' scheme through a proxy with `fault`.
  testing_support::CommandResult Run(Fault fault, const std::string& environment = "") {
    proxy_ = std::make_unique<FaultProxy>(served_.port(), fault);
    return RunCommand(environment + ShellQuote(testing_support::BinDir() + "/korvel") + " run --model C5to6Depart --source " +
                      ShellQuote(shop.source) + " --server 127.0.0.1," + std::to_string(proxy_->port()) +
                      " --user sa --password " + EmbeddedShop::kPassword + " --database Sales60 --report " +
                      ShellQuote(report));
  }

  std::string Departs() const { return shop.Query("select count(*) from Depart").at(0); }

  EmbeddedShop shop;
  std::string report = shop.dir.File("run.json");

 private:
  testing_support::ServedFolder served_{shop.server_folder};

 protected:
  std::unique_ptr<FaultProxy> proxy_;  // last: it goes before the server it relays to
};

TEST_F(LostConnection, ACommitThatNeverArrivedIsFoundNotCommitted) {
  const std::string before = Departs();
  const auto r = Run(Fault::kLoseCommit);
  EXPECT_TRUE(proxy_->fired());
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, "提交事务的回答没有收到")) << r.err;
  EXPECT_TRUE(Contains(r.err, "升级失败：重新连接后核对：目的数据库与升级前相同，升级没有提交")) << r.err;
  EXPECT_FALSE(Contains(r.out, "升级完成"));
  EXPECT_EQ(Departs(), before);
  EXPECT_TRUE(Contains(ReadFile(report), "\"result\": \"failed\""));
}

TEST_F(LostConnection, ACommitWhoseAnswerWasLostIsFoundCommitted) {
  const auto r = Run(Fault::kLoseCommitAnswer);
  EXPECT_TRUE(proxy_->fired());
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, "重新连接后核对：目的数据库中导入的表和帐与源数据库一致，升级已提交")) << r.err;
  EXPECT_TRUE(Contains(r.out, "相符 Depart 行数")) << r.out;
  EXPECT_TRUE(Contains(r.out, "升级完成！"));
  EXPECT_FALSE(Contains(r.err, "升级失败"));
  EXPECT_EQ(Departs(), "5");  // the sample's five departments
  EXPECT_TRUE(Contains(ReadFile(report), "\"result\": \"success\""));
}

TEST_F(LostConnection, AnAnswerLostWithNoWayToAskIsSaidToBeUnknown) {
  const auto r = Run(Fault::kLoseCommitAnswerAndRefuse);
  EXPECT_EQ(r.exit_code, 5) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, "提交结果未知：无法重新连接目的数据库核对")) << r.err;
  EXPECT_TRUE(Contains(r.err, "korvel check-database")) << r.err;
  EXPECT_FALSE(Contains(r.err, "升级失败"));
  EXPECT_EQ(Departs(), "5");  // it did commit: "unknown" is what korvel could say
  EXPECT_TRUE(Contains(ReadFile(report), "\"result\": \"unknown\""));
}

TEST_F(LostConnection, AReconciliationThatCannotConnectSaysTheUpgradeWasCommitted) {
  const auto r = Run(Fault::kRefuseAfterCommit);
  EXPECT_TRUE(proxy_->fired());
  EXPECT_EQ(r.exit_code, 4) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, "升级已提交，但对账无法完成：")) << r.err;
  EXPECT_FALSE(Contains(r.err, "升级失败"));
  EXPECT_EQ(Departs(), "5");
  EXPECT_TRUE(Contains(ReadFile(report), "\"result\": \"unreconciled\""));
}

TEST_F(LostConnection, AStalledServerIsWaitedForWithTheWaitShown) {
  // Nothing either way for 10 s once the departments' bulk load has begun.
  const auto r = Run(Fault::kStallDuringLoad);
  EXPECT_TRUE(proxy_->fired());
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, "导入数据到 [Sales60].[dbo].[Depart] (等待服务器响应 5 秒…)")) << r.err;
  EXPECT_TRUE(Contains(r.out, "升级完成！"));
  EXPECT_EQ(Departs(), "5");
}

// Packets to and from a loopback port dropped, as from a machine gone, for
// as long as it lives; iptables must be there and allowed.
class DroppedPort {
 public:
  explicit DroppedPort(int port) : port_(std::to_string(port)) {
    added_ = Rule("-I") && (Rule2("-I") || (Rule("-D"), false));
  }
  ~DroppedPort() {
    if (added_) {
      Rule("-D");
      Rule2("-D");
    }
  }
  bool added() const { return added_; }

 private:
  bool Rule(const char* op) const {
    return RunCommand(std::string("iptables ") + op + " OUTPUT -p tcp -d 127.0.0.1 --dport " + port_ + " -j DROP")
               .exit_code == 0;
  }
  bool Rule2(const char* op) const {
    return RunCommand(std::string("iptables ") + op + " OUTPUT -p tcp -s 127.0.0.1 --sport " + port_ + " -j DROP")
               .exit_code == 0;
  }
  std::string port_;
  bool added_ = false;
};

TEST_F(LostConnection, AServerThatVanishedIsFoundByKeepaliveAndNothingIsCommitted) {
  if (RunCommand("iptables -L OUTPUT -n").exit_code != 0) GTEST_SKIP() << "iptables is not there or not allowed";
  const std::string before = Departs();
  // Once the load has begun the proxy neither relays nor closes, and its
  // packets are dropped: only keepalive (2 s idle, 3 probes 1 s apart here)
  // can tell the peer is gone.
  std::unique_ptr<DroppedPort> dropped;
  std::atomic<bool> done{false};
  std::thread dropper([&] {
    while (!done && !(proxy_ && proxy_->fired())) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!done) dropped = std::make_unique<DroppedPort>(proxy_->port());
  });
  const auto r = Run(Fault::kVanishDuringLoad, "KORVEL_TCP_KEEPALIVE=2,1,3 timeout 120 ");
  done = true;
  dropper.join();
  ASSERT_TRUE(dropped && dropped->added()) << "the dropping rules could not be added";
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, "连接已断开")) << r.err;
  EXPECT_FALSE(Contains(r.out, "升级完成"));
  dropped.reset();
  proxy_.reset();  // the server sees its client go and rolls back
  EXPECT_EQ(Departs(), before);
}

#ifndef _WIN32
// A small file system of the test's own for the report, filled up.
class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder);
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k") != 0) {
      GTEST_SKIP() << "a tmpfs cannot be mounted here (" << std::strerror(errno) << ")";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(folder.c_str(), MNT_DETACH);
  }
  // Fills the file system to its last byte.
  void Fill() {
    std::ofstream filler(folder + "/filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
  }

  EmbeddedShop shop;
  std::string folder = shop.dir.File("small");

 private:
  bool mounted_ = false;
};

TEST_F(FullDisk, AReportThatCannotBeWrittenAfterACommitSaysTheUpgradeWasCommitted) {
  const std::string report = folder + "/run.json";
  testing_support::WriteFile(report, "the report of an earlier run\n");
  Fill();
  const auto r = RunCommand(ShellQuote(testing_support::BinDir() + "/korvel") + " run --model C5to6Depart --source " +
                            ShellQuote(shop.source) + " --server " + ShellQuote(shop.server) + " --user sa --password " +
                            EmbeddedShop::kPassword + " --database Sales60 --report " + ShellQuote(report));
  // The refusal of an unwritable path up front does not apply: the path can
  // be made; only its content does not fit.
  EXPECT_EQ(r.exit_code, 4) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, "无法写报告文件“" + report + "”")) << r.err;
  EXPECT_TRUE(Contains(r.err, "升级已提交，但报告没有写成，运行的结果见上面的汇总与对账")) << r.err;
  EXPECT_TRUE(Contains(r.out, "相符 Depart 行数")) << r.out;
  EXPECT_EQ(ReadFile(report), "the report of an earlier run\n");
  EXPECT_EQ(shop.Query("select count(*) from Depart").at(0), "5");
}

#else
// The full disk is a tmpfs the test mounts.
TEST(FullDisk, IsTestedOnLinuxOnly) { GTEST_SKIP() << "needs a tmpfs mounted by the test (Linux only)"; }
#endif  // _WIN32

}  // namespace
