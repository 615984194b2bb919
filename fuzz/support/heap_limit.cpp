// Linked into every fuzz target: while QORVE_FUZZ_HEAP_LIMIT_MB is set, the
// process's live heap may not pass that many megabytes. An input that makes a
// loader allocate far more than its own size is then a finding even when it
// does so in many allocations of modest size, which libFuzzer's
// -malloc_limit_mb (single allocations) and -rss_limit_mb (resident size, which
// AddressSanitizer's quarantine and shadow inflate) do not tell reliably.
#include <sanitizer/allocator_interface.h>
#include <sanitizer/common_interface_defs.h>

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<int64_t> liveBytes{0};
int64_t limitBytes = 0;
std::atomic<bool> reported{false};

void OnMalloc(const volatile void*, size_t size) {
  const int64_t live = liveBytes.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed) +
                       static_cast<int64_t>(size);
  if (live <= limitBytes || reported.exchange(true)) return;
  std::fprintf(stderr,
               "==%d== ERROR: heap limit: %lld MB live after an allocation of %zu bytes (limit %lld MB, "
               "QORVE_FUZZ_HEAP_LIMIT_MB)\n",
               static_cast<int>(getpid()), static_cast<long long>(live >> 20), size,
               static_cast<long long>(limitBytes >> 20));
  __sanitizer_print_stack_trace();
  // libFuzzer's handler for the signal keeps the input as a crash.
  std::abort();
}

void OnFree(const volatile void* pointer) {
  if (pointer == nullptr) return;
  liveBytes.fetch_sub(static_cast<int64_t>(__sanitizer_get_allocated_size(pointer)), std::memory_order_relaxed);
}

// Runs before libFuzzer's main: what the process holds already is the start.
[[maybe_unused]] const bool installed = [] {
  const char* text = std::getenv("QORVE_FUZZ_HEAP_LIMIT_MB");
  const long long megabytes = text != nullptr ? std::atoll(text) : 0;
  if (megabytes <= 0) return false;
  limitBytes = static_cast<int64_t>(megabytes) << 20;
  liveBytes.store(static_cast<int64_t>(__sanitizer_get_current_allocated_bytes()));
  return __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
}();

}  // namespace
