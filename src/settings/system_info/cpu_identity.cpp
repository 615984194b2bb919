#include "settings/system_info/cpu_identity.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace qorve {

std::string VendorText(const CpuIdentity& cpu) {
  char text[12];
  std::memcpy(text, &cpu.vendorEbx, 4);
  std::memcpy(text + 4, &cpu.vendorEdx, 4);
  std::memcpy(text + 8, &cpu.vendorEcx, 4);
  std::string vendor(text, sizeof text);
  return vendor.substr(0, vendor.find('\0'));
}

CpuIdentity ReadCpuIdentity() {
  CpuIdentity cpu;
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  // __get_cpuid_max checks the ID flag of the flags register first and
  // returns 0 when the instruction is missing.
  const unsigned highest = __get_cpuid_max(0, nullptr);
  if (highest == 0) return cpu;
  cpu.hasIdInstruction = true;
  __cpuid(0, eax, ebx, ecx, edx);
  cpu.vendorEbx = ebx;
  cpu.vendorEdx = edx;
  cpu.vendorEcx = ecx;
  __cpuid(1, eax, ebx, ecx, edx);
  cpu.leaf1Eax = eax;
  cpu.leaf1Ebx = ebx;
  cpu.leaf1Ecx = ecx;
  cpu.leaf1Edx = edx;
  __cpuid(0x80000000u, eax, ebx, ecx, edx);
  cpu.highestExtendedLeaf = eax;
  if (cpu.highestExtendedLeaf >= 0x80000001u) {
    __cpuid(0x80000001u, eax, ebx, ecx, edx);
    cpu.extended1Edx = edx;
  }
  char brand[49] = {};
  for (unsigned leaf = 0x80000002u; leaf <= 0x80000004u && leaf <= cpu.highestExtendedLeaf; ++leaf) {
    __cpuid(leaf, eax, ebx, ecx, edx);
    const unsigned words[4] = {eax, ebx, ecx, edx};
    std::memcpy(brand + (leaf - 0x80000002u) * 16, words, 16);
  }
  cpu.brand = brand;
#endif
  return cpu;
}

}  // namespace qorve
