#include "tessaro/hid/report_descriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>

namespace kv::hid {

namespace {

// Generous bounds: real descriptors are a few hundred bytes, a few levels deep.
constexpr size_t kMaxDescriptor = 4096;
constexpr int kMaxDepth = 32;
constexpr size_t kMaxGlobalStack = 16;
constexpr uint64_t kMaxReportBits = 8 * 4096;
constexpr size_t kMaxCollections = 64;
constexpr uint16_t kConsumerPage = 0x000C;

// A Usage as written: a 1- or 2-byte one takes the Usage Page in force at
// the main item that consumes it, which may come after it.
struct LocalUsage {
  uint32_t value;
  bool extended;  // 4 bytes: its page is its high half
};

uint32_t resolve(const LocalUsage& u, uint32_t page) {
  return u.extended ? u.value : (page << 16 | (u.value & 0xFFFF));
}

int32_t signExtend(uint32_t value, size_t size) {
  if (size == 1) return static_cast<int8_t>(value);
  if (size == 2) return static_cast<int16_t>(value);
  return static_cast<int32_t>(value);
}

struct Globals {
  uint32_t usagePage = 0;
  int32_t logicalMinimum = 0;
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  uint32_t reportId = 0;
};

enum Kind { kInput = 0, kOutput = 1, kFeature = 2 };

struct Building {
  TopLevelCollection collection;
  std::map<std::pair<int, uint8_t>, uint64_t> bits;  // (kind, report id) -> bits
};

constexpr uint8_t kExpected[] = {
    0x05, 0x0C,        // Usage Page (Consumer)
    0x09, 0x01,        // Usage (Consumer Control)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x03,        //   Report ID (3)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0xFF,  //   Logical Maximum (65535)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0xFF, 0xFF,  //   Usage Maximum (65535)
    0x75, 0x10,        //   Report Size (16)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x00,        //   Input (Data, Array)
    0xC0,              // End Collection
    0x06, 0x1C, 0xFF,  // Usage Page (0xFF1C)
    0x09, 0x92,        // Usage (0x92)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x04,        //   Report ID (4)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x3F,        //   Report Count (63)
    0x09, 0x01,        //   Usage (1)
    0x81, 0x02,        //   Input (Data, Variable)
    0x09, 0x02,        //   Usage (2)
    0x91, 0x02,        //   Output (Data, Variable)
    0xC0,              // End Collection
    0x05, 0x08,        // Usage Page (LED)
    0x09, 0x89,        // Usage (0x89)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x05,        //   Report ID (5)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x01,        //   Report Count (1)
    0x09, 0x01,        //   Usage (1)
    0x91, 0x02,        //   Output (Data, Variable)
    0xC0,              // End Collection
};

}  // namespace

std::span<const uint8_t> ExpectedKeyboardDescriptor() { return kExpected; }

bool ParseReportDescriptor(std::span<const uint8_t> bytes, ReportDescriptor* out, std::string* error) {
  auto fail = [&](std::string why, size_t at) {
    *error = std::move(why) + " at byte " + std::to_string(at);
    return false;
  };
  if (bytes.empty()) {
    *error = "empty report descriptor";
    return false;
  }
  if (bytes.size() > kMaxDescriptor) {
    *error = "report descriptor longer than " + std::to_string(kMaxDescriptor) + " bytes";
    return false;
  }

  ReportDescriptor result;
  Globals globals;
  std::vector<Globals> stack;
  std::vector<LocalUsage> usages;  // local usages since the last main item
  std::optional<LocalUsage> usageMinimum;
  int depth = 0;
  std::vector<Building> built;
  bool inTopLevel = false;

  size_t i = 0;
  while (i < bytes.size()) {
    const size_t at = i;
    const uint8_t prefix = bytes[i++];
    if (prefix == 0xFE) {  // long item: size, tag, data; carries nothing we use
      if (bytes.size() - i < 2) return fail("truncated long item", at);
      size_t size = bytes[i];
      i += 2;
      if (bytes.size() - i < size) return fail("truncated long item", at);
      i += size;
      continue;
    }
    static constexpr std::array<size_t, 4> kSizes = {0, 1, 2, 4};
    const size_t size = kSizes[prefix & 3];
    if (bytes.size() - i < size) return fail("truncated item", at);
    uint32_t value = 0;
    for (size_t b = 0; b < size; ++b) value |= static_cast<uint32_t>(bytes[i + b]) << (8 * b);
    i += size;
    const int type = (prefix >> 2) & 3;
    const int tag = prefix >> 4;

    if (type == 1) {  // global
      switch (tag) {
        case 0: globals.usagePage = value; break;
        case 1: globals.logicalMinimum = signExtend(value, size); break;
        case 7: globals.reportSize = value; break;
        case 8:
          if (value == 0 || value > 255) return fail("report id " + std::to_string(value), at);
          globals.reportId = value;
          result.numbered = true;
          break;
        case 9: globals.reportCount = value; break;
        case 10:
          if (stack.size() >= kMaxGlobalStack) return fail("push nested too deep", at);
          stack.push_back(globals);
          break;
        case 11:
          if (stack.empty()) return fail("pop without push", at);
          globals = stack.back();
          stack.pop_back();
          break;
        default: break;
      }
      continue;
    }
    if (type == 2) {  // local
      if (tag == 0 && usages.size() < 256) usages.push_back({value, size == 4});
      if (tag == 1) usageMinimum = LocalUsage{value, size == 4};
      continue;
    }
    if (type == 3) return fail("reserved item type", at);

    // main
    switch (tag) {
      case 10: {  // Collection
        if (depth >= kMaxDepth) return fail("collections nested too deep", at);
        if (depth == 0) {
          if (built.size() >= kMaxCollections) return fail("too many collections", at);
          Building b;
          uint32_t u = usages.empty() ? (globals.usagePage << 16) : resolve(usages.front(), globals.usagePage);
          b.collection.usagePage = static_cast<uint16_t>(u >> 16);
          b.collection.usage = static_cast<uint16_t>(u);
          built.push_back(std::move(b));
          inTopLevel = true;
        }
        ++depth;
        break;
      }
      case 12:  // End Collection
        if (depth == 0) return fail("end of a collection never opened", at);
        if (--depth == 0) inTopLevel = false;
        break;
      case 8:
      case 9:
      case 11: {  // Input, Output, Feature
        if (!inTopLevel) break;  // outside every collection: no reports the system routes
        int kind = tag == 8 ? kInput : tag == 9 ? kOutput : kFeature;
        uint64_t add = static_cast<uint64_t>(globals.reportSize) * globals.reportCount;
        uint64_t& bits = built.back().bits[{kind, static_cast<uint8_t>(globals.reportId)}];
        if (add > kMaxReportBits || bits + add > kMaxReportBits) return fail("report longer than 4096 bytes", at);
        // The first consumer array (Data, Array) of 1-16 bits holds the events.
        ArrayField& consumer = built.back().collection.consumer;
        const bool array = !(value & 1) && !(value & 2);
        if (kind == kInput && array && consumer.bitSize == 0 && globals.reportSize >= 1 &&
            globals.reportSize <= 16 && globals.reportCount >= 1) {
          std::optional<LocalUsage> first = usageMinimum;
          if (!first && !usages.empty()) first = usages.front();
          uint32_t u = first ? resolve(*first, globals.usagePage) : globals.usagePage << 16;
          if (u >> 16 == kConsumerPage) {
            consumer.reportId = static_cast<uint8_t>(globals.reportId);
            consumer.bitOffset = static_cast<uint32_t>(bits);
            consumer.bitSize = static_cast<uint16_t>(globals.reportSize);
            consumer.logicalMinimum = globals.logicalMinimum;
            consumer.usageMinimum = u & 0xFFFF;
          }
        }
        bits += add;
        break;
      }
      default: break;  // unknown (a trailing 0x00 pad): skipped, as the platforms' parsers do
    }
    usages.clear();
    usageMinimum.reset();
  }
  if (depth != 0) {
    *error = "collection not closed";
    return false;
  }
  if (built.empty()) {
    *error = "no top-level collection";
    return false;
  }
  for (Building& b : built) {
    for (const auto& [key, bits] : b.bits) {
      size_t length = static_cast<size_t>((bits + 7) / 8);
      auto [kind, id] = key;
      if (kind == kInput) {
        if (length > 0) b.collection.inputReportIds.push_back(id);
        b.collection.inputBytes = std::max(b.collection.inputBytes, length);
      } else if (kind == kOutput) {
        b.collection.outputBytes = std::max(b.collection.outputBytes, length);
      } else {
        b.collection.featureBytes = std::max(b.collection.featureBytes, length);
      }
    }
    result.collections.push_back(std::move(b.collection));
  }
  *out = std::move(result);
  return true;
}

}  // namespace kv::hid
