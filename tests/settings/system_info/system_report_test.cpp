// The system report: its wording rules over given values, and its sections in
// order on this machine.
#include "settings/system_info/cpu_clock.h"
#include "settings/system_info/system_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qorve {
namespace {

constexpr uint64_t kMiB = 1024ull * 1024;

struct MemoryCase {
  const char* name;
  uint64_t total;
  uint64_t available;
  const char* text;
};

class MemoryWordingTest : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(MemoryWordingTest, MegabytesBelowOneGigabyteElseGigabytes) {
  EXPECT_EQ(MemoryWording(GetParam().total, GetParam().available), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MemoryWordingTest,
    ::testing::Values(MemoryCase{"half_gigabyte", 512 * kMiB, 300 * kMiB + 5, "総 512MB / 空 300MB"},
                      MemoryCase{"just_below_one_gigabyte", 1023 * kMiB + kMiB - 1, 10 * kMiB, "総 1023MB / 空 10MB"},
                      MemoryCase{"one_gigabyte", 1024 * kMiB, 512 * kMiB, "総 1.000GB / 空 0.500GB"},
                      MemoryCase{"two_gigabytes", 2048 * kMiB, 1536 * kMiB, "総 2.000GB / 空 1.500GB"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ThreadsCase {
  const char* name;
  uint32_t edx;
  uint32_t logical;
  const char* text;
};

class HyperThreadingTest : public ::testing::TestWithParam<ThreadsCase> {};

TEST_P(HyperThreadingTest, FlagAndLogicalCountGiveTheWording) {
  CpuIdentity cpu;
  cpu.hasIdInstruction = true;
  cpu.leaf1Edx = GetParam().edx;
  cpu.leaf1Ebx = GetParam().logical << 16 | 0x0800;  // other EBX bits must not matter
  EXPECT_EQ(HyperThreadingWording(cpu), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Processors, HyperThreadingTest,
                         ::testing::Values(ThreadsCase{"no_flag", 0, 8, "未対応"}, ThreadsCase{"no_count", 1u << 28, 0, "未対応"},
                                           ThreadsCase{"one", 1u << 28, 1, "対応 (仮想プロセサ数 = 1 なので無意味)"},
                                           ThreadsCase{"sixteen", 1u << 28, 16, "対応 (仮想プロセサ数 = 16)"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CpuWordingTest, GivenRegistersGiveTheFeatureVendorVersionAndBrandLines) {
  CpuIdentity cpu;
  cpu.hasIdInstruction = true;
  std::memcpy(&cpu.vendorEbx, "Genu", 4);
  std::memcpy(&cpu.vendorEdx, "ineI", 4);
  std::memcpy(&cpu.vendorEcx, "ntel", 4);
  cpu.leaf1Eax = 0x00001F2A;  // type 1, family 15, model 2, stepping 10
  cpu.leaf1Ecx = 1;           // SSE3
  cpu.leaf1Edx = (1u << 23) | (1u << 26) | (1u << 28);  // MMX, SSE2 (no SSE), HT
  cpu.leaf1Ebx = 2u << 16;
  cpu.extended1Edx = 1u << 31;  // 3DNow!
  cpu.brand = "      Test CPU 3.0GHz";
  EXPECT_EQ(CpuWording(cpu, 2999999999.0),
            "CPU情報\r\n動作周波数: 2999 MHz\r\nサポート命令: CPUID MMX SSE2 SSE3 3DNow! \r\n"
            "ハイパースレッディング: 対応 (仮想プロセサ数 = 2)\r\nベンダー: GenuineIntel\r\n"
            "バージョン: Type = 1,Family = 15,Model = 2,Stepping = 10\r\nブランド名: Test CPU 3.0GHz\r\n");
}

TEST(CpuWordingTest, WithoutIdentificationInstructionTheTextEndsAfterTheSupportHeading) {
  EXPECT_EQ(CpuWording(CpuIdentity{}, 800e6), "CPU情報\r\n動作周波数:  800 MHz\r\nサポート命令: ");
}

TEST(OsWordingTest, DistributionKernelAndBuildNumber) {
  EXPECT_EQ(OsWording("Debian GNU/Linux 12 (bookworm)", "Linux", "6.1.0-18-amd64", "#1 SMP PREEMPT_DYNAMIC"),
            "Debian GNU/Linux 12 (bookworm) Linux 6.1.0-18-amd64 Build:1");
  // Nothing known of the distribution and a version without "#n".
  EXPECT_EQ(OsWording("", "Linux", "5.10", "SMP"), "Linux 5.10 Build:0");
}

bool DevicesAreBlock(const std::string& source) { return source.rfind("/dev/sd", 0) == 0; }

TEST(DiskTest, EachBlockDeviceOnceWithEscapesUndoneAndOtherMountsLeftOut) {
  const std::string table =
      "proc /proc proc rw 0 0\n"
      "/dev/sda1 / ext4 rw 0 0\n"
      "tmpfs /run tmpfs rw 0 0\n"
      "/dev/sdb1 /media/My\\040Disk vfat rw 0 0\n"
      "/dev/sda1 /srv/bind ext4 rw 0 0\n"
      "short\n";
  const std::vector<MountedDisk> disks = BlockDeviceMounts(table, DevicesAreBlock);
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].device, "/dev/sda1");
  EXPECT_EQ(disks[0].mountPoint, "/");
  EXPECT_EQ(disks[1].mountPoint, "/media/My Disk");
  EXPECT_EQ(disks[1].fileSystem, "vfat");
}

TEST(DiskTest, LineHasLabelRightAlignedAndSizesInGigabytes) {
  const MountedDisk disk{"/dev/sda1", "/", "ROOT", "ext4", 64 * 1024 * kMiB, 16 * 1024 * kMiB + 512 * kMiB};
  EXPECT_EQ(DiskLine(disk), "/[                ROOT] 総 64.000GB\t空 16.500GB\text4\r\n");
}

struct SourceCase {
  const char* name;
  int64_t fineNs;
  int64_t millisecondNs;
  int kind;
  double countsPerSecond;
};

class TimerSourceTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(TimerSourceTest, FinestUsableClockIsChosen) {
  const TimerSource source = ChooseTimerSource(GetParam().fineNs, GetParam().millisecondNs);
  EXPECT_EQ(source.kind, GetParam().kind);
  EXPECT_EQ(source.countsPerSecond, GetParam().countsPerSecond);
}

INSTANTIATE_TEST_SUITE_P(Clocks, TimerSourceTest,
                         ::testing::Values(SourceCase{"fine", 1, 1, 2, 1e9}, SourceCase{"fine_clock_at_one_ms", 1'000'000, 1'000'000, 1, 1000.0},
                                           SourceCase{"millisecond_clock_below_10ms", 0, 9'999'999, 1, 1000.0},
                                           SourceCase{"millisecond_clock_at_10ms", 0, 10'000'000, 0, 1000.0}, SourceCase{"no_clock_resolution", -1, 0, 0, 1000.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SystemReportTest, SectionsComeInOrderOnThisMachine) {
  const std::string report = SystemReport();
  const char* const sections[] = {"OS情報\r\nバージョン: ", " Build:", "\r\n\r\nCPU情報\r\n動作周波数: ",
                                  " MHz\r\nサポート命令: CPUID ", "ハイパースレッディング: ", "ベンダー: ",
                                  "バージョン: Type = ", "ブランド名: ", "\r\n\r\nメモリ情報: 総 ",
                                  "\r\n\r\nディスク情報:\r\n"};
  std::size_t at = 0;
  for (const char* section : sections) {
    const std::size_t found = report.find(section, at);
    ASSERT_NE(found, std::string::npos) << section << " missing after offset " << at << " in\n" << report;
    at = found + std::strlen(section);
  }
  EXPECT_TRUE(report.ends_with("\r\n")) << report;
}

TEST(SystemReportTest, MeasuredClockIsPlausible) {
#if defined(__x86_64__)
  const double hz = MeasureCpuHz(10);
  EXPECT_GT(hz, 100e6);
  EXPECT_LT(hz, 10e9);
#else
  GTEST_SKIP() << "no time-stamp counter";
#endif
}

}  // namespace
}  // namespace qorve
