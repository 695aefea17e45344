// What the Linux backend reads from sysfs: report descriptors and HID
// uevent files. The first byte chooses which parser gets the rest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tessaro/hid/hid_linux.h"
#include "tessaro/hid/report_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    kv::hid::HidUevent u;
    (void)kv::hid::ParseHidUevent(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), &u);
    return 0;
  }
  kv::hid::ReportDescriptor d;
  std::string error;
  if (kv::hid::ParseReportDescriptor({data + 1, size - 1}, &d, &error)) {
    for (const auto& c : d.collections) {
      if (c.inputBytes > 4096 || c.outputBytes > 4096 || c.featureBytes > 4096) __builtin_trap();
      // The consumer field lies inside the collection's input reports, and
      // reading it from any frame (here the input itself) stays in bounds.
      const kv::hid::ArrayField& f = c.consumer;
      if (f.bitSize && f.bitOffset + f.bitSize > 8 * c.inputBytes) __builtin_trap();
      uint16_t usage = 0;
      (void)kv::hid::ReadArrayUsage(f, d.numbered, {data, size}, &usage);
    }
  } else if (error.empty()) {
    __builtin_trap();
  }
  return 0;
}
