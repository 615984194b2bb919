// settings/system_info/: what the about box reports of the computer.
//
// The about box's plain-text report of the computer: operating system,
// processor, memory and mounted disks, in fixed wording and order. The
// wording rules are pure functions over given values; the *Text functions
// read this machine. Lines end in CR LF.
#pragma once

#include "settings/system_info/cpu_identity.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qorve {

// "<name> <kernel> Build:<n>": the distribution's PRETTY_NAME (from
// os-release) and a blank, then the kernel name and release (in the place of
// the service pack), then the kernel's build number (the "#n" of its version
// text, 0 when it has none).
std::string OsWording(const std::string& prettyName, const std::string& kernelName,
                      const std::string& kernelRelease, const std::string& kernelVersion);
std::string OsText();

// "総 %dMB / 空 %dMB" below 1024 MB of total memory, else "総 %5.3fGB / 空 %5.3fGB".
std::string MemoryWording(uint64_t totalBytes, uint64_t availableBytes);
// Total memory from sysinfo; available memory from MemAvailable of
// /proc/meminfo, else sysinfo's free and buffer memory.
std::string MemoryText();

// One mounted block-device filesystem, standing in for a drive letter.
struct MountedDisk {
  std::string device;      // the block device, e.g. /dev/sda1
  std::string mountPoint;
  std::string label;       // the filesystem label, empty when it has none
  std::string fileSystem;  // the filesystem type
  uint64_t totalBytes;
  uint64_t freeBytes;
};
// "<mount point>[<label right-aligned in 20>] 総 %5.3fGB\t空 %5.3fGB\t<type>\r\n".
std::string DiskLine(const MountedDisk& disk);
// Block-device filesystems of a mount table in /proc/self/mounts form, each
// device once (its first mount point); labels and sizes are left empty. `isBlockDevice`
// decides which sources count.
std::vector<MountedDisk> BlockDeviceMounts(const std::string& mountTable,
                                           bool (*isBlockDevice)(const std::string& source));
// One line per mounted block-device filesystem of this machine whose size can
// be read.
std::string DiskText();

// "未対応", "対応 (仮想プロセサ数 = 1 なので無意味)" or "対応 (仮想プロセサ数 = %d)".
std::string HyperThreadingWording(const CpuIdentity& cpu);
// The processor part of the report from "CPU情報" on, for a given processor
// and measured clock.
std::string CpuWording(const CpuIdentity& cpu, double clockHz);

// The whole report: OS, processor (clock measured over 10 ms), memory, disks.
std::string SystemReport();

}  // namespace qorve
