#include "settings/system_info/system_report.h"

#include "settings/system_info/cpu_clock.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace qorve {
namespace {

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;

template <typename... Args>
std::string Format(const char* format, Args... args) {
  const int size = std::snprintf(nullptr, 0, format, args...);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value of KEY=value in an os-release file, its quotes removed.
std::string OsReleaseValue(const std::string& file, const std::string& key) {
  std::istringstream lines(file);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(key + "=", 0) != 0) continue;
    std::string value = line.substr(key.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return {};
}

// Mount tables write blanks, tabs, newlines and backslashes as \ooo (octal);
// udev's /dev/disk/by-label names write them as \xNN. Both are undone.
std::string DecodeEscapes(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string octal = field.substr(i + 1, 3);
      if (octal.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::stoi(octal, nullptr, 8));
        i += 3;
        continue;
      }
      if (field[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(field[i + 2])) &&
          std::isxdigit(static_cast<unsigned char>(field[i + 3]))) {
        out += static_cast<char>(std::stoi(field.substr(i + 2, 2), nullptr, 16));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

bool IsBlockDevice(const std::string& source) {
  struct stat info{};
  return stat(source.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
}

// The label whose /dev/disk/by-label link leads to the device, or "".
std::string LabelOf(const std::string& device) {
  std::error_code error;
  const std::filesystem::path target = std::filesystem::canonical(device, error);
  if (error) return {};
  // Stepped with error codes: a folder that vanishes midway ends the search.
  std::filesystem::directory_iterator entry("/dev/disk/by-label", error);
  for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    std::error_code linkError;
    if (std::filesystem::canonical(entry->path(), linkError) == target && !linkError) {
      return DecodeEscapes(entry->path().filename().string());
    }
  }
  return {};
}

}  // namespace

std::string OsWording(const std::string& prettyName, const std::string& kernelName,
                      const std::string& kernelRelease, const std::string& kernelVersion) {
  std::string name = prettyName.empty() ? std::string() : prettyName + " ";
  name += kernelName;
  if (!kernelRelease.empty()) name += (kernelName.empty() ? "" : " ") + kernelRelease;
  int build = 0;
  if (!kernelVersion.empty() && kernelVersion.front() == '#') {
    build = std::atoi(kernelVersion.c_str() + 1);
  }
  return Format("%s Build:%d", name.c_str(), build);
}

std::string OsText() {
  std::string osRelease = ReadWholeFile("/etc/os-release");
  if (osRelease.empty()) osRelease = ReadWholeFile("/usr/lib/os-release");
  utsname kernel{};
  if (uname(&kernel) != 0) return OsWording(OsReleaseValue(osRelease, "PRETTY_NAME"), "", "", "");
  return OsWording(OsReleaseValue(osRelease, "PRETTY_NAME"), kernel.sysname, kernel.release, kernel.version);
}

std::string MemoryWording(uint64_t totalBytes, uint64_t availableBytes) {
  if ((totalBytes >> 20) < 1024) {
    return Format("総 %dMB / 空 %dMB", static_cast<int>(totalBytes >> 20), static_cast<int>(availableBytes >> 20));
  }
  return Format("総 %5.3fGB / 空 %5.3fGB", static_cast<double>(totalBytes) / kGiB,
                static_cast<double>(availableBytes) / kGiB);
}

std::string MemoryText() {
  struct sysinfo info{};
  if (sysinfo(&info) != 0) return {};
  const uint64_t unit = info.mem_unit ? info.mem_unit : 1;
  const uint64_t total = static_cast<uint64_t>(info.totalram) * unit;
  uint64_t available = (static_cast<uint64_t>(info.freeram) + info.bufferram) * unit;
  std::istringstream meminfo(ReadWholeFile("/proc/meminfo"));
  std::string key;
  uint64_t kilobytes = 0;
  std::string unitText;
  while (meminfo >> key >> kilobytes) {
    std::getline(meminfo, unitText);
    if (key == "MemAvailable:") {
      available = kilobytes * 1024;
      break;
    }
  }
  return MemoryWording(total, available);
}

std::string DiskLine(const MountedDisk& disk) {
  return Format("%s[%20s] 総 %5.3fGB\t空 %5.3fGB\t%s\r\n", disk.mountPoint.c_str(), disk.label.c_str(),
                static_cast<double>(disk.totalBytes) / kGiB, static_cast<double>(disk.freeBytes) / kGiB,
                disk.fileSystem.c_str());
}

std::vector<MountedDisk> BlockDeviceMounts(const std::string& mountTable,
                                           bool (*isBlockDevice)(const std::string& source)) {
  std::vector<MountedDisk> disks;
  std::set<std::string> seen;
  std::istringstream lines(mountTable);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string source, mountPoint, type;
    if (!(fields >> source >> mountPoint >> type)) continue;
    source = DecodeEscapes(source);
    if (!isBlockDevice(source) || !seen.insert(source).second) continue;
    disks.push_back(MountedDisk{source, DecodeEscapes(mountPoint), {}, DecodeEscapes(type), 0, 0});
  }
  return disks;
}

std::string DiskText() {
  std::string text;
  for (MountedDisk& disk : BlockDeviceMounts(ReadWholeFile("/proc/self/mounts"), IsBlockDevice)) {
    struct statvfs sizes{};
    // A filesystem that cannot answer (gone, not ready) is left out.
    if (statvfs(disk.mountPoint.c_str(), &sizes) != 0) continue;
    disk.totalBytes = static_cast<uint64_t>(sizes.f_blocks) * sizes.f_frsize;
    disk.freeBytes = static_cast<uint64_t>(sizes.f_bfree) * sizes.f_frsize;
    disk.label = LabelOf(disk.device);
    text += DiskLine(disk);
  }
  return text;
}

std::string HyperThreadingWording(const CpuIdentity& cpu) {
  const int logical = static_cast<int>((cpu.leaf1Ebx >> 16) & 0xFF);
  if (!(cpu.leaf1Edx & (1u << 28)) || logical == 0) return "未対応";
  if (logical == 1) return "対応 (仮想プロセサ数 = 1 なので無意味)";
  return Format("対応 (仮想プロセサ数 = %d)", logical);
}

std::string CpuWording(const CpuIdentity& cpu, double clockHz) {
  std::string text = "CPU情報\r\n";
  text += "動作周波数: " + Format("%4d MHz", static_cast<int>(clockHz * 0.000001)) + "\r\n";
  text += "サポート命令: ";
  if (!cpu.hasIdInstruction) return text;
  text += "CPUID ";
  if (cpu.leaf1Edx & (1u << 23)) text += "MMX ";
  if (cpu.leaf1Edx & (1u << 25)) text += "SSE ";
  if (cpu.leaf1Edx & (1u << 26)) text += "SSE2 ";
  if (cpu.leaf1Ecx & 1u) text += "SSE3 ";
  if (cpu.extended1Edx & (1u << 31)) text += "3DNow! ";
  text += "\r\n";
  text += "ハイパースレッディング: " + HyperThreadingWording(cpu) + "\r\n";
  text += "ベンダー: " + VendorText(cpu) + "\r\n";
  const uint32_t version = cpu.leaf1Eax;
  text += "バージョン: " + Format("Type = %d,Family = %d,Model = %d,Stepping = %d", (version >> 12) & 0xF,
                                  (version >> 8) & 0xF, (version >> 4) & 0xF, version & 0xF) + "\r\n";
  const std::size_t start = cpu.brand.find_first_not_of(' ');
  text += "ブランド名: " + (start == std::string::npos ? std::string() : cpu.brand.substr(start)) + "\r\n";
  return text;
}

std::string SystemReport() {
  std::string report = "OS情報\r\n";
  report += "バージョン: " + OsText() + "\r\n\r\n";
  const CpuIdentity cpu = ReadCpuIdentity();
  report += CpuWording(cpu, MeasureCpuHz(10));
  // A processor without identification ends the report after its clock.
  if (!cpu.hasIdInstruction) return report;
  report += "\r\nメモリ情報: " + MemoryText() + "\r\n";
  report += "\r\nディスク情報:\r\n" + DiskText() + "\r\n";
  return report;
}

}  // namespace qorve
