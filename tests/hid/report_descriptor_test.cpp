// Report descriptors: collections and report lengths of the expected
// keyboard, of an unnumbered device, and refusals of broken descriptors.
#include <gtest/gtest.h>

#include "tessaro/hid/report_descriptor.h"

namespace {

using kv::hid::ParseReportDescriptor;
using kv::hid::ReportDescriptor;

TEST(ReportDescriptor, ExpectedKeyboardHasItsThreeCollections) {
  ReportDescriptor d;
  std::string error;
  ASSERT_TRUE(ParseReportDescriptor(kv::hid::ExpectedKeyboardDescriptor(), &d, &error)) << error;
  EXPECT_TRUE(d.numbered);
  ASSERT_EQ(d.collections.size(), 3u);
  const auto& cons = d.collections[0];
  EXPECT_EQ(cons.usagePage, 0x000C);
  EXPECT_EQ(cons.usage, 0x0001);
  EXPECT_EQ(cons.inputReportIds, (std::vector<uint8_t>{3}));
  EXPECT_EQ(cons.inputBytes, 2u);
  EXPECT_EQ(cons.outputBytes, 0u);
  const auto& ctrl = d.collections[1];
  EXPECT_EQ(ctrl.usagePage, 0xFF1C);
  EXPECT_EQ(ctrl.usage, 0x0092);
  EXPECT_EQ(ctrl.inputReportIds, (std::vector<uint8_t>{4}));
  EXPECT_EQ(ctrl.inputBytes, 63u);
  EXPECT_EQ(ctrl.outputBytes, 63u);
  const auto& led = d.collections[2];
  EXPECT_EQ(led.usagePage, 0x0008);
  EXPECT_EQ(led.usage, 0x0089);
  EXPECT_TRUE(led.inputReportIds.empty());
  EXPECT_EQ(led.outputBytes, 1u);
}

TEST(ReportDescriptor, UnnumberedBootKeyboardWithNestedCollectionAndPushPop) {
  const uint8_t bytes[] = {
      0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,              // Generic Desktop / Keyboard, Application
      0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x75, 0x01,  // modifiers: 8 bits
      0x95, 0x08, 0x81, 0x02,                          //
      0xA4, 0x75, 0x08, 0x95, 0x01, 0x81, 0x01, 0xB4,  // push, 1 reserved byte, pop
      0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x91, 0x02,  // 5 LED bits out
      0x95, 0x01, 0x75, 0x03, 0x91, 0x01,              // 3 padding bits out
      0xA1, 0x00, 0x95, 0x06, 0x75, 0x08, 0x81, 0x00, 0xC0,  // a nested physical collection: 6 keys
      0xFE, 0x02, 0x10, 0xAA, 0xBB,                    // a long item, skipped
      0xC0};
  ReportDescriptor d;
  std::string error;
  ASSERT_TRUE(ParseReportDescriptor(bytes, &d, &error)) << error;
  EXPECT_FALSE(d.numbered);
  ASSERT_EQ(d.collections.size(), 1u);
  EXPECT_EQ(d.collections[0].usagePage, 0x0001);
  EXPECT_EQ(d.collections[0].usage, 0x0006);
  EXPECT_EQ(d.collections[0].inputReportIds, (std::vector<uint8_t>{0}));
  EXPECT_EQ(d.collections[0].inputBytes, 8u);
  EXPECT_EQ(d.collections[0].outputBytes, 1u);
}

TEST(ReportDescriptor, ExtendedUsageCarriesItsOwnPage) {
  const uint8_t bytes[] = {0x05, 0x01, 0x0B, 0x01, 0x00, 0x0C, 0x00, 0xA1, 0x01,
                           0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0};
  ReportDescriptor d;
  std::string error;
  ASSERT_TRUE(ParseReportDescriptor(bytes, &d, &error)) << error;
  EXPECT_EQ(d.collections[0].usagePage, 0x000C);
  EXPECT_EQ(d.collections[0].usage, 0x0001);
}

// What real devices send that a strict reading refuses or misreads.
TEST(ReportDescriptor, RealDeviceQuirksAreReadAsThePlatformsReadThem) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint16_t page, usage;
    size_t inputBytes;
  };
  const std::vector<Case> cases = {
      // The page that a 1- or 2-byte usage belongs to is the one in force at the main item.
      {"usage before usage page",
       {0x09, 0x92, 0x06, 0x1C, 0xFF, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x3F, 0x81, 0x02, 0xC0},
       0xFF1C, 0x0092, 63},
      {"usage page changed after the usage",
       {0x05, 0x01, 0x09, 0x01, 0x05, 0x0C, 0xA1, 0x01, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0},
       0x000C, 0x0001, 2},
      // Keyboards and tablets end with a 0x00 byte; Linux warns, Windows takes it.
      {"trailing 0x00 pad", {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x00, 0xC0, 0x00},
       0x0001, 0x0006, 8},
      {"several pad bytes", {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x00, 0xC0, 0x00, 0x00},
       0x0001, 0x0006, 8},
      {"unknown main item inside",
       {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x00, 0xD1, 0x05, 0xC0}, 0x0001, 0x0006, 8},
  };
  for (const Case& c : cases) {
    ReportDescriptor d;
    std::string error;
    ASSERT_TRUE(ParseReportDescriptor(c.bytes, &d, &error)) << c.name << ": " << error;
    ASSERT_EQ(d.collections.size(), 1u) << c.name;
    EXPECT_EQ(d.collections[0].usagePage, c.page) << c.name;
    EXPECT_EQ(d.collections[0].usage, c.usage) << c.name;
    EXPECT_EQ(d.collections[0].inputBytes, c.inputBytes) << c.name;
  }
}

// Where a consumer collection's usage is: its first input array of
// consumer usages, after whatever comes before it in the report.
TEST(ReportDescriptor, ConsumerArrayFieldIsFoundWhereverItIs) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    kv::hid::ArrayField field;
    std::vector<uint8_t> frame;
    uint16_t usage;
  };
  const std::vector<Case> cases = {
      {"expected keyboard",
       {kv::hid::ExpectedKeyboardDescriptor().begin(), kv::hid::ExpectedKeyboardDescriptor().begin() + 25},
       {3, 16, 0, 0, 0},
       {0x03, 0xFF, 0x02},
       0x02FF},
      {"10-bit usage after a constant byte",
       {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x75, 0x08, 0x95, 0x01, 0x81, 0x01, 0x15, 0x00, 0x26, 0xFF,
        0x03, 0x19, 0x00, 0x2A, 0xFF, 0x03, 0x75, 0x0A, 0x95, 0x01, 0x81, 0x00, 0x75, 0x06, 0x81, 0x01, 0xC0},
       {2, 10, 8, 0, 0},
       {0x02, 0x77, 0xE9, 0xFC},  // 0xFC: the pad bits above the usage are not part of it
       0x00E9},
      {"logical minimum 1, usage minimum 1",
       {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x01, 0x26, 0x00, 0x04, 0x19, 0x01, 0x2A, 0x00, 0x04, 0x75, 0x10,
        0x95, 0x01, 0x81, 0x00, 0xC0},
       {0, 16, 0, 1, 1},
       {0x00, 0xB5, 0x00},
       0x00B5},
      {"nothing pressed below the logical minimum",
       {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x01, 0x26, 0x00, 0x04, 0x19, 0x01, 0x2A, 0x00, 0x04, 0x75, 0x10,
        0x95, 0x01, 0x81, 0x00, 0xC0},
       {0, 16, 0, 1, 1},
       {0x00, 0x00, 0x00},
       0},
  };
  for (const Case& c : cases) {
    ReportDescriptor d;
    std::string error;
    ASSERT_TRUE(ParseReportDescriptor(c.bytes, &d, &error)) << c.name << ": " << error;
    const kv::hid::ArrayField& f = d.collections[0].consumer;
    EXPECT_EQ(f.reportId, c.field.reportId) << c.name;
    EXPECT_EQ(f.bitSize, c.field.bitSize) << c.name;
    EXPECT_EQ(f.bitOffset, c.field.bitOffset) << c.name;
    EXPECT_EQ(f.logicalMinimum, c.field.logicalMinimum) << c.name;
    EXPECT_EQ(f.usageMinimum, c.field.usageMinimum) << c.name;
    uint16_t usage = 0xFFFF;
    ASSERT_TRUE(kv::hid::ReadArrayUsage(f, d.numbered, c.frame, &usage)) << c.name;
    EXPECT_EQ(usage, c.usage) << c.name;
  }
  // Another report of the collection, or one too short, is not read as the field.
  kv::hid::ArrayField f{3, 16, 0, 0, 0};
  uint16_t usage = 0;
  EXPECT_FALSE(kv::hid::ReadArrayUsage(f, true, std::vector<uint8_t>{0x04, 0xFF, 0x02}, &usage));
  EXPECT_FALSE(kv::hid::ReadArrayUsage(f, true, std::vector<uint8_t>{0x03, 0xFF}, &usage));
}

TEST(ReportDescriptor, BrokenDescriptorsAreRefusedWithAReason) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"empty", {}, "empty"},
      {"truncated item", {0x05, 0x01, 0x09}, "truncated item"},
      {"truncated long item", {0xFE, 0x09, 0x00, 0x01}, "truncated long item"},
      {"report id 0", {0x09, 0x01, 0xA1, 0x01, 0x85, 0x00, 0xC0}, "report id 0"},
      {"unclosed", {0x09, 0x01, 0xA1, 0x01}, "not closed"},
      {"end without start", {0xC0}, "never opened"},
      {"pop without push", {0xB4}, "pop without push"},
      {"no collection", {0x05, 0x01, 0x09, 0x06}, "no top-level collection"},
      {"reserved type", {0x0C}, "reserved item type"},
      {"huge report", {0x09, 0x01, 0xA1, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0xC0},
       "longer than 4096"},
  };
  for (const Case& c : cases) {
    ReportDescriptor d;
    std::string error;
    EXPECT_FALSE(ParseReportDescriptor(c.bytes, &d, &error)) << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
  }
  std::vector<uint8_t> deep;
  for (int i = 0; i < 40; ++i) deep.insert(deep.end(), {0xA1, 0x00});
  ReportDescriptor d;
  std::string error;
  EXPECT_FALSE(ParseReportDescriptor(deep, &d, &error));
  EXPECT_NE(error.find("too deep"), std::string::npos) << error;
}

}  // namespace
