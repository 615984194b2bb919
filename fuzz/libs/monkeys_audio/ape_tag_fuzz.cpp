// Any bytes as the end of a file: the APE tag reader walks whatever fields it
// finds, each with a non-empty key, and never reads past the bytes.
#include "ape_tag.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  monkeys_audio::MemoryReader reader(std::string_view(reinterpret_cast<const char*>(data), size));
  CAPETag tag(reader);
  tag.Analyze();
  CAPETagField* field = nullptr;
  std::size_t total = 0;
  for (bool first = true; tag.GetNextTagField(first, &field); first = false) {
    if (field == nullptr || std::strlen(field->GetFieldName()) == 0) std::abort();
    total += static_cast<std::size_t>(field->GetFieldValueSize());
  }
  if (total > size) std::abort();
  return 0;
}
