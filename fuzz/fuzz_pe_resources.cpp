// Feeds any bytes to the PE resource reader as a whole file. Whatever it
// returns, a found resource must lie inside the input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "remedies/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (std::uint32_t type : {quarn::pe::kRtRcdata, 5u, 16u}) {
    quarn::pe::MemorySource source(bytes);
    const auto found = quarn::pe::find_resource(source, type, quarn::pe::kHostProgramId);
    if (found.status == quarn::pe::LookupStatus::found && found.size != 0) {
      if (found.offset > size || found.size > size - found.offset) __builtin_trap();
    }
  }
  return 0;
}
