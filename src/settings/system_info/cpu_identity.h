// What the processor says about itself through its identification
// instruction (CPUID on x86-64; other processors have none here).
#pragma once

#include <cstdint>
#include <string>

namespace qorve {

// The registers of the leaves the system report reads. All zero when the
// processor has no identification instruction.
struct CpuIdentity {
  bool hasIdInstruction = false;
  uint32_t vendorEbx = 0, vendorEdx = 0, vendorEcx = 0;                 // leaf 0
  uint32_t leaf1Eax = 0, leaf1Ebx = 0, leaf1Ecx = 0, leaf1Edx = 0;      // leaf 1
  uint32_t highestExtendedLeaf = 0;                                     // leaf 0x80000000 EAX
  uint32_t extended1Edx = 0;                                            // leaf 0x80000001 EDX
  std::string brand;  // leaves 0x80000002..4 as far as available, cut at the first NUL
};

// Reads this machine's processor.
CpuIdentity ReadCpuIdentity();

// The 12-character vendor text (EBX, EDX, ECX in that order).
std::string VendorText(const CpuIdentity& cpu);

}  // namespace qorve
