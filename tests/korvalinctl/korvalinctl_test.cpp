// korvalinctl end to end: the built program run against a simulated keyboard
// in a state file, each test in a folder of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "keys/key_strings.h"
#include "keys/working_config.h"
#include "macro/macro_image.h"
#include "macro/macro_record.h"
#include "profile/keyboard_backup.h"
#include "profile/profile_store.h"
#include "tessaro/hid/report_descriptor.h"
#include "tessaro/sim/sim_keyboard.h"
#include "tests/device_events/recording_ui.h"

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

Bytes readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Result {
  int rc;
  std::string out;
  std::string err;
};

class KorvalinctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("kvctl-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "files");
    ASSERT_EQ(Run({"sim-new"}).rc, 0);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs korvalinctl in the test's folder with the simulated keyboard and no
  // round trip. Without it, the keyboards are those of the test's own
  // hidraw tree (empty unless the test adds one), never the machine's.
  Result Run(const std::vector<std::string>& args, bool withSim = true) {
    std::string cmd = "cd " + quote(dir_.string()) + " && KORVALIN_HIDRAW_ROOT=" + quote((dir_ / "hidraw").string()) +
                      " " + quote(KORVALINCTL_PATH);
    if (withSim) cmd += " --sim kb.state --round-trip 0";
    for (const std::string& a : args) cmd += " " + quote(a);
    cmd += " >" + quote((dir_ / "stdout").string()) + " 2>" + quote((dir_ / "stderr").string());
    int status = std::system(cmd.c_str());
    Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, {}};
    Bytes o = readAll(dir_ / "stdout"), e = readAll(dir_ / "stderr");
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    fs::remove(dir_ / "stdout");
    fs::remove(dir_ / "stderr");
    return r;
  }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  // A refused run: the status, no output, one line on stderr that says
  // `says`, and every file of the folder as it was.
  void ExpectRefused(const std::vector<std::string>& args, bool withSim, int rc, const std::string& says) {
    std::string line;
    for (const std::string& a : args) line += a + " ";
    SCOPED_TRACE(line);
    auto before = Snapshot();
    Result r = Run(args, withSim);
    EXPECT_EQ(r.rc, rc);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("korvalinctl: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(Snapshot() == before) << "a file changed";
  }

  // Every file of the folder, with its bytes.
  std::map<std::string, Bytes> Snapshot() const {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::recursive_directory_iterator(dir_))
      if (e.is_regular_file()) files[fs::relative(e.path(), dir_).string()] = readAll(e.path());
    return files;
  }

  kv::sim::SimMemory State() {
    kv::sim::SimMemory m;
    std::string why;
    EXPECT_TRUE(kv::sim::ParseState(readAll(Path("kb.state")), &m, &why)) << why;
    return m;
  }
  void SetState(const kv::sim::SimMemory& m) { writeAll(Path("kb.state"), kv::sim::SerializeState(m)); }

  // The OUT reports of a trace file.
  std::vector<Bytes> Sent(const std::string& traceName) {
    std::vector<Bytes> out;
    std::ifstream in(Path(traceName));
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("OUT ", 0) != 0) continue;
      auto bytes = kv::sim::ParseHex(line.substr(4));
      EXPECT_TRUE(bytes && bytes->size() == 64) << line;
      if (bytes) out.push_back(*bytes);
    }
    return out;
  }

  fs::path dir_;
};

// A profile file made with the profile store, as the program saves one.
struct ProfileBuilder {
  ProfileBuilder() : store(config, snapshot, ui, fs::path(), [] { return 0; }) {
    std::lock_guard lock(config.lock);
    EXPECT_TRUE(store.createDefaultProfile());
  }
  void Assign(int profile, int slot, kv::ActionType type, uint32_t value, uint16_t aux = 0) {
    std::lock_guard lock(config.lock);
    EXPECT_TRUE(kv::writeAssignment(*config.table, config.strings, profile, slot, type, aux, value));
  }
  void String(int profile, int slot, std::u16string_view text) {
    std::lock_guard lock(config.lock);
    EXPECT_TRUE(kv::attachString(config.strings, kv::entryIndex(profile, slot), text));
  }
  void Macro(uint16_t id, std::u16string_view name, uint8_t cycles, int actions) {
    kv::MacroRecord m{};
    kv::setMacroName(m, name);
    m.id = id;
    m.cycles = cycles;
    m.actionCount = static_cast<uint16_t>(actions);
    for (int i = 0; i < actions; ++i)
      m.actions[i] = {static_cast<uint32_t>(10 * (i + 1)), 0x1E, static_cast<uint16_t>(i % 2)};
    std::lock_guard lock(config.lock);
    config.macros.push_back(m);
  }
  void Save(const fs::path& p) {
    std::lock_guard lock(config.lock);
    ASSERT_TRUE(store.saveProfileFile(p));
  }

  kv::WorkingConfig config;
  kv::ApplySnapshot snapshot;
  kvtest::RecordingUi ui;
  kv::ProfileStore store;
};

// What the keyboard can hold of a profile, set up the same way in `source`
// and `expected`; the source also carries what it cannot.
void KeyboardShaped(ProfileBuilder& b) {
  b.Assign(0, 0x1E, kv::ActionType::SingleKey, 0x30);  // A -> B
  b.Assign(0, 0x3B, kv::ActionType::Disabled, 0);      // F1
  b.Assign(1, 0x10, kv::ActionType::PlayMacro, 1);     // Q plays the macro
  b.Assign(1, 0x12, kv::ActionType::FunctionKey, 2);   // E
  b.Assign(2, 0x11, kv::ActionType::Media, 3);         // W
  b.Assign(2, 0x13, kv::ActionType::StopMacro, 0);     // R
  b.Macro(1, u"Hello", 2, 4);
}

TEST_F(KorvalinctlTest, WriteReadAndShowRoundTrip) {
  ProfileBuilder source, expected;
  KeyboardShaped(source);
  KeyboardShaped(expected);
  source.Assign(0, 0x2C, kv::ActionType::LaunchProgram, 0);  // the keyboard keeps the factory action
  source.String(0, 0x2C, u"C:\\Tools\\calc.exe");
  source.Save(Path("files/source.kvp"));
  expected.Save(Path("files/expected.kvp"));

  Result shown = Run({"file", "show", "files/source.kvp"});
  ASSERT_EQ(shown.rc, 0) << shown.err;
  EXPECT_NE(shown.out.find("\"text\": \"C:\\\\Tools\\\\calc.exe\""), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("\"type\": \"LaunchProgram\""), std::string::npos);

  Result w = Run({"write", "files/source.kvp"});
  ASSERT_EQ(w.rc, 0) << w.err;
  EXPECT_EQ(w.err, "");
  Result r = Run({"read", "files/back.kvp"});
  ASSERT_EQ(r.rc, 0) << r.err;

  Result back = Run({"file", "show", "files/back.kvp"});
  Result want = Run({"file", "show", "files/expected.kvp"});
  ASSERT_EQ(back.rc, 0) << back.err;
  ASSERT_EQ(want.rc, 0) << want.err;
  EXPECT_EQ(back.out, want.out);
  EXPECT_NE(back.out.find("\"target\": \"B\""), std::string::npos) << back.out;
  EXPECT_NE(back.out.find("\"name\": \"Hello\""), std::string::npos);
  EXPECT_NE(back.out.find("\"state\": \"release\""), std::string::npos);
  EXPECT_EQ(back.out.find("LaunchProgram"), std::string::npos);

  Result check = Run({"file", "check", "files/back.kvp"});
  EXPECT_EQ(check.rc, 0);
  EXPECT_NE(check.out.find("valid profile file (1 macros, 6 entries"), std::string::npos) << check.out;
}

TEST_F(KorvalinctlTest, BadInputIsRefusedWithOneLineAndNothingWritten) {
  writeAll(Path("files/garbage.kvp"), Bytes(40000, 0x5A));
  Bytes broken = readAll(Path("kb.state"));
  ProfileBuilder big;
  big.Macro(1, u"Long", 1, 400);
  big.Save(Path("files/big.kvp"));
  ProfileBuilder fine;
  fine.Save(Path("files/fine.kvp"));
  writeAll(Path("files/existing.kvp"), Bytes{1, 2, 3});
  writeAll(Path("bad.state"), Bytes(100, 7));

  // A second state without the per-key effect and with 128 bytes of macro memory.
  ASSERT_EQ(Run({"--sim", "small.state", "sim-new", "--macro-units", "1"}, false).rc, 0);
  {
    kv::sim::SimMemory m;
    std::string why;
    ASSERT_TRUE(kv::sim::ParseState(readAll(Path("small.state")), &m, &why));
    std::replace(m.info.begin() + 16, m.info.end(), uint8_t{254}, uint8_t{0});
    writeAll(Path("small.state"), kv::sim::SerializeState(m));
  }
  const std::vector<std::string> small = {"--sim", "small.state", "--round-trip", "0"};
  auto onSmall = [&](std::vector<std::string> args) {
    args.insert(args.begin(), small.begin(), small.end());
    return args;
  };

  struct Case {
    std::vector<std::string> args;
    bool withSim;
    int rc;
    std::string says;  // part of the error line
  };
  const Case cases[] = {
      {{"frobnicate"}, true, 2, "unknown command 'frobnicate'"},
      {{}, true, 2, "no command given"},
      {{"--frob", "info"}, true, 2, "unknown option '--frob'"},
      {{"info", "--profile", "1"}, true, 2, "takes no option --profile"},
      {{"info", "extra"}, true, 2, "unexpected argument 'extra'"},
      {{"--trace", "files/t.txt", "lighting", "brightness", "5"}, true, 2, "N must be 0-4, not '5'"},
      {{"lighting", "speed", "-1"}, true, 2, "POSITION must be 0-4"},
      {{"lighting", "user-mode", "10"}, true, 2, "M must be 0-9"},
      {{"lighting", "paint-tool", "2"}, true, 2, "must be 0-1"},
      {{"lighting", "effect", "29"}, true, 2, "CODE must be an effect 1-28 or 254"},
      {{"lighting", "effect", "0x1E"}, true, 2, "CODE must be an effect"},
      {{"lighting", "show", "--profile", "3"}, true, 2, "--profile must be 0-2, not '3'"},
      {{"lighting", "glow"}, true, 2, "unknown subcommand 'glow'"},
      {{"lighting"}, true, 2, "missing subcommand"},
      {{"lighting", "paint"}, true, 2, "missing KEY"},
      {{"lighting", "paint", "A", "Nokey"}, true, 2, "no key is named 'Nokey'"},
      {{"lighting", "paint", "Enter"}, true, 2, "several keys are named 'Enter' (give the code: 0x01C 0x11C)"},
      {{"lighting", "erase", "G1"}, true, 2, "'G1' has no LED of its own"},
      {{"lighting", "paint", "0x0FF"}, true, 2, "no key of the keyboard has the code '0x0FF'"},
      {{"report-rate", "4"}, true, 2, "INDEX must be 0-3, not '4'"},
      {{"report-rate", "2", "--profile", "x"}, true, 2, "--profile must be 0-2"},
      {{"switch", "3"}, true, 2, "P must be 0-2, not '3'"},
      {{"dump", "colours", "3"}, true, 2, "P must be 0-2"},
      {{"dump", "everything"}, true, 2, "unknown region 'everything'"},
      {{"sim-new", "--macro-units", "0"}, true, 2, "--macro-units must be 1-255"},
      {{"sim-new"}, false, 2, "needs --sim STATE"},
      {{"--round-trip", "fast", "info"}, true, 2, "--round-trip must be 0-1000 ms"},
      {{"--round-trip", ".", "info"}, true, 2, "--round-trip must be 0-1000 ms"},
      {{"lighting", "brightness", "0xFFFFFFFFF"}, true, 2, "N must be 0-4"},
      {{"lighting", "brightness", "+1"}, true, 2, "N must be 0-4"},
      {{"--sim", "", "info"}, false, 2, "--sim needs a state file"},
      {{"--sim"}, false, 2, "option --sim needs a value"},
      {{"write", "files/missing.kvp"}, true, 2, "files/missing.kvp: no such file"},
      {{"write", "files"}, true, 2, "files: not a file"},
      {{"write", "files/garbage.kvp"}, true, 2, "files/garbage.kvp: not a valid profile file"},
      {{"file", "show", "files/garbage.kvp"}, true, 2, "not a valid profile file"},
      {{"file", "check", "files/missing.kvp"}, true, 2, "no such file"},
      {{"file", "show"}, true, 2, "missing argument"},
      {{"read", "nofolder/back.kvp"}, true, 2, "nofolder/back.kvp: no such folder"},
      {{"file", "new", "files"}, true, 2, "files: is a folder"},
      {{"--sim", "missing.state", "info"}, false, 2, "missing.state: no such state file"},
      {{"--sim", "bad.state", "info"}, false, 2, "bad.state: not a simulated keyboard state file"},
      {{"info"}, false, 3, "no keyboard"},
      {onSmall({"write", "files/big.kvp"}), false, 2, "do not fit the keyboard's 128 bytes of macro memory"},
      {onSmall({"lighting", "effect", "254"}), false, 2, "the keyboard does not offer effect 254"},
      {onSmall({"lighting", "paint", "A"}), false, 2, "the keyboard has no per-key effect"},
      {onSmall({"lighting", "fill"}), false, 2, "the keyboard has no per-key effect"},
      {onSmall({"lighting", "user-mode", "3"}), false, 2, "the keyboard has no per-key effect"},
  };
  for (const Case& c : cases) ExpectRefused(c.args, c.withSim, c.rc, c.says);
  EXPECT_FALSE(fs::exists(Path("bad.state.bad")));
}

// An output on the state file or on another file of the run would corrupt
// the keyboard or that file: refused by file identity, not by spelling.
TEST_F(KorvalinctlTest, NoOutputLandsOnTheStateFileOrAnotherFileOfTheRun) {
  ProfileBuilder fine;
  fine.Save(Path("files/fine.kvp"));
  fs::create_hard_link(Path("kb.state"), Path("hard.state"));
  fs::create_symlink(Path("kb.state"), Path("files/soft.state"));
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"--trace", "kb.state", "info"}, "--trace kb.state is the same file as --sim kb.state"},
      {{"--trace", "./files/../kb.state", "lighting", "show"}, "is the same file as --sim kb.state"},
      {{"--trace", "hard.state", "switch", "1"}, "--trace hard.state is the same file as --sim kb.state"},
      {{"read", "kb.state"}, "the output file kb.state is the same file as --sim kb.state"},
      {{"read", "files/soft.state"}, "the output file files/soft.state is the same file as --sim kb.state"},
      {{"file", "new", "hard.state"}, "is the same file as --sim kb.state"},
      {{"--trace", "files/new.kvp", "read", "files/./new.kvp"}, "--trace files/new.kvp is the same file as the output file files/./new.kvp"},
      {{"--trace", "files/fine.kvp", "write", "files/fine.kvp"}, "--trace files/fine.kvp is the same file as the profile file files/fine.kvp"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    auto before = Snapshot();
    Result r = Run(c.args);
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(Snapshot() == before) << "a file changed";
  }
  // Distinct files still work, and the state stays readable.
  Result ok = Run({"--trace", "files/t.txt", "read", "files/back.kvp"});
  EXPECT_EQ(ok.rc, 0) << ok.err;
  State();
}

// The command line names what is wrong with a refused profile file, in its
// own words rather than the window's.
TEST_F(KorvalinctlTest, RefusedProfileFilesSayWhatIsWrong) {
  ProfileBuilder fine;
  fine.Save(Path("files/fine.kvp"));
  const Bytes good = readAll(Path("files/fine.kvp"));
  auto fixSum = [](Bytes& b) { b[31] = kv::profileHeaderChecksum(std::span<const uint8_t, 32>(b.data(), 32)); };
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    std::string says;
  };
  const Case cases[] = {
      {"short", [](Bytes& b) { b.resize(1000); }, "too short (1000 bytes, a profile file has at least 32832)"},
      {"magic", [](Bytes& b) { b.assign(40000, 0x5A); }, "header field magic is 0x5A5A, must be 0x4446"},
      {"checksum", [](Bytes& b) { b[31] ^= 1; },
       "header field checksum is " + std::to_string(good[31] ^ 1) + ", must be " + std::to_string(good[31])},
      {"format", [&](Bytes& b) { b[4] = 4; fixSum(b); }, "header field format id is 4, must be 3"},
      {"macros", [&](Bytes& b) { b[14] = 101; fixSum(b); }, "header field macro count is 101, must be at most 100"},
      {"size field", [&](Bytes& b) { b[8] += 2; fixSum(b); },
       "header field file size is 32834, must be 32832 (32832 + 16512 x 0 macros + 0 bytes of strings)"},
      {"claims a macro", [&](Bytes& b) {
         b[14] = 1; uint32_t size = 32832 + 16512; std::memcpy(&b[8], &size, 4); fixSum(b); },
       "shorter than its header says (32832 bytes, header field file size 49344)"},
      {"shared string", [&](Bytes& b) {
         // every entry a program at offset 0 of a 6-byte pool
         for (size_t e = 0; e < 2048; ++e) { b[64 + 16 * e] = 3; b[65 + 16 * e] = 0; std::memset(&b[68 + 16 * e], 0, 4); }
         uint32_t pool = 6, size = 32832 + 6;
         std::memcpy(&b[16], &pool, 4); std::memcpy(&b[8], &size, 4); fixSum(b);
         b.insert(b.end(), {'a', 0, 'b', 0, 0, 0}); },
       "its key strings add up to more than its 6-byte string pool"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = good;
    c.damage(bytes);
    writeAll(Path("files/bad.kvp"), bytes);
    for (std::vector<std::string> args : {std::vector<std::string>{"file", "check", "files/bad.kvp"},
                                          std::vector<std::string>{"write", "files/bad.kvp"}}) {
      Result r = Run(args);
      EXPECT_EQ(r.rc, 2);
      EXPECT_NE(r.err.find("files/bad.kvp: not a valid profile file: " + c.says), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("revert"), std::string::npos) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
  }
}

TEST_F(KorvalinctlTest, ReportRateOnProfileTwoWritesOneByteAtNinetyNine) {
  Result r = Run({"--trace", "trace.txt", "report-rate", "2", "--profile", "2"});
  ASSERT_EQ(r.rc, 0) << r.err;
  std::vector<Bytes> sent = Sent("trace.txt");
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0][3], 0x01);
  EXPECT_EQ(sent[1][3], 0x06);
  EXPECT_EQ(sent[1][4], 1);
  EXPECT_EQ(sent[1][5] | sent[1][6] << 8, 99);
  EXPECT_EQ(sent[1][8], 2);
  EXPECT_EQ(sent[2][3], 0x02);
  EXPECT_EQ(State().settings[99], 2);

  // Each report's answer is traced after it.
  std::ifstream in(Path("trace.txt"));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(std::regex_search(text, std::regex("\nOUT 04[0-9A-F]{4}060163000002[0]{110}\nIN 04[0-9A-F]{4}06016300")))
      << text;

  Result shown = Run({"lighting", "show", "--profile", "2"});
  EXPECT_NE(shown.out.find("\"report_rate\": 2"), std::string::npos) << shown.out;
}

TEST_F(KorvalinctlTest, SpeedPositionAndUnchangedValues) {
  kv::sim::SimMemory m = State();
  m.settings[2] = 3;  // profile 0 speed value 3
  SetState(m);
  Result same = Run({"--trace", "same.txt", "lighting", "speed", "1"});
  ASSERT_EQ(same.rc, 0) << same.err;
  for (const Bytes& b : Sent("same.txt")) EXPECT_NE(b[3], 0x06);
  Result moved = Run({"--trace", "moved.txt", "lighting", "speed", "3"});
  ASSERT_EQ(moved.rc, 0) << moved.err;
  std::vector<Bytes> writes;
  for (const Bytes& b : Sent("moved.txt"))
    if (b[3] == 0x06) writes.push_back(b);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0][5], 2);
  EXPECT_EQ(writes[0][8], 1);
  EXPECT_EQ(State().settings[2], 1);
}

TEST_F(KorvalinctlTest, PaintEraseFillClearAndResetTheUserPattern) {
  ASSERT_EQ(Run({"lighting", "user-mode", "2", "--profile", "1"}).rc, 0);
  EXPECT_EQ(State().settings[42 + 3], 2);
  const size_t fnByte = 256 + 2 * 18 + 5;
  ASSERT_EQ(Run({"lighting", "paint", "Fn", "0x01E", "--profile", "1"}).rc, 0);
  EXPECT_EQ(State().colours[fnByte] & 0x20, 0x20);
  EXPECT_EQ(State().colours[256 + 2 * 18 + 1] & 0x08, 0x08);  // A, LED 11
  ASSERT_EQ(Run({"lighting", "erase", "fn", "--profile", "1"}).rc, 0);
  EXPECT_EQ(State().colours[fnByte] & 0x20, 0);
  EXPECT_EQ(State().settings[42 + 16], 1);  // the erase tool was selected on the way

  ASSERT_EQ(Run({"lighting", "fill", "--profile", "1"}).rc, 0);
  kv::sim::SimMemory m = State();
  EXPECT_TRUE(std::all_of(m.colours.begin() + 256 + 36, m.colours.begin() + 256 + 54, [](uint8_t b) { return b == 0xFF; }));
  ASSERT_EQ(Run({"lighting", "clear", "--profile", "1"}).rc, 0);
  m = State();
  EXPECT_TRUE(std::all_of(m.colours.begin() + 256 + 36, m.colours.begin() + 256 + 54, [](uint8_t b) { return b == 0; }));

  ASSERT_EQ(Run({"--trace", "reset.txt", "lighting", "reset", "--profile", "1"}).rc, 0);
  m = State();
  const uint8_t pattern2[] = {0x27, 0x0E, 0x0E, 0x2E, 0x0A, 0x18, 0x10, 0x00, 0x00, 0x00, 0x04};
  EXPECT_TRUE(std::equal(std::begin(pattern2), std::end(pattern2), m.colours.begin() + 256 + 36));
  EXPECT_EQ(m.settings[42], 1);
  EXPECT_EQ(m.settings[43], 4);
  EXPECT_EQ(m.settings[44], 2);
  EXPECT_TRUE(std::all_of(m.settings.begin() + 45, m.settings.begin() + 42 + 35, [](uint8_t b) { return b == 0; }));
  int colourWrites = 0;
  for (const Bytes& b : Sent("reset.txt")) colourWrites += b[3] == 0x11;
  EXPECT_EQ(colourWrites, 5);

  Result shown = Run({"lighting", "show", "--profile", "1"});
  EXPECT_NE(shown.out.find("\"bytes\": \"270E0E2E0A18100000000400000000000000\",\n      \"keys\": [\"A\", \"B\", "
                           "\"D\", \"E\", \"F\", \"G\", \"P\", \"Q\", \"S\", \"V\", \"W\", \"1\", \"2\", \"3\", \"4\", "
                           "\"Esc\", \"Tab\", \"Space\", \"^\", \"LCTRL\"]"),
            std::string::npos)
      << shown.out;
}

TEST_F(KorvalinctlTest, InfoSwitchAndDump) {
  Result info = Run({"info"});
  ASSERT_EQ(info.rc, 0) << info.err;
  EXPECT_NE(info.out.find("\"active_profile\": 0"), std::string::npos);
  EXPECT_NE(info.out.find("\"macro_memory\": 8192"), std::string::npos);
  EXPECT_NE(info.out.find("[1, 2, 3,"), std::string::npos);
  EXPECT_NE(info.out.find("28, 254]"), std::string::npos);

  ASSERT_EQ(Run({"switch", "2"}).rc, 0);
  EXPECT_NE(Run({"info"}).out.find("\"active_profile\": 2"), std::string::npos);
  // --profile follows the active profile when not given.
  ASSERT_EQ(Run({"report-rate", "1"}).rc, 0);
  EXPECT_EQ(State().settings[2 * 42 + 15], 1);

  Result dump = Run({"dump", "info"});
  ASSERT_EQ(dump.rc, 0) << dump.err;
  EXPECT_TRUE(std::regex_match(dump.out, std::regex("0000  01 00 00 00 00 00 00 00 00 00 02 40 00 00 00 00\n"
                                                     "0010  01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10\n"
                                                     "0020  11 12 13 14 15 16 17 18 19 1A 1B 1C FE 00 00 00\n")))
      << dump.out;
  struct Region {
    std::vector<std::string> args;
    size_t lines;
  };
  for (const Region& r : std::vector<Region>{{{"dump", "settings"}, 8},
                                             {{"dump", "colours", "1"}, 16},
                                             {{"dump", "keys", "2"}, 21},
                                             {{"dump", "default-keys"}, 21},
                                             {{"dump", "macros"}, 512}}) {
    Result d = Run(r.args);
    EXPECT_EQ(d.rc, 0) << r.args[1];
    EXPECT_EQ(static_cast<size_t>(std::count(d.out.begin(), d.out.end(), '\n')), r.lines) << r.args[1];
  }
}

TEST_F(KorvalinctlTest, HelpExplainsEveryCommand) {
  Result all = Run({"--help"}, false);
  ASSERT_EQ(all.rc, 0);
  for (const char* cmd : {"sim-new", "info", "read FILE", "write FILE", "switch P", "report-rate INDEX", "lighting show",
                          "dump info", "file new FILE", "--sim STATE", "--trace FILE", "--profile", "backup FILE",
                          "restore FILE [--verify]", "--verify", "--sim-fault F"})
    EXPECT_NE(all.out.find(cmd), std::string::npos) << cmd;
  for (const char* cmd : {"sim-new", "info", "read", "write", "switch", "report-rate", "lighting", "dump", "file",
                          "backup", "restore", "devices"}) {
    Result one = Run({cmd, "--help"}, false);
    EXPECT_EQ(one.rc, 0) << cmd;
    EXPECT_EQ(one.out.rfind(std::string("Usage: korvalinctl"), 0), 0u) << cmd;
    EXPECT_NE(one.out.find(cmd), std::string::npos) << cmd;
  }
  Result sub = Run({"lighting", "paint", "--help"}, false);
  EXPECT_EQ(sub.rc, 0);
  EXPECT_NE(sub.out.find("paint KEY..."), std::string::npos);
}

// ---- the real keyboard through hidraw (a fake sysfs tree) -------------------------------------

// JSON without the blanks and line breaks between its tokens.
std::string compactJson(const std::string& s) {
  std::string out;
  bool inString = false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (inString) {
      out += c;
      if (c == '\\' && i + 1 < s.size()) out += s[++i];
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
      out += c;
    } else if (c != ' ' && c != '\n') {
      out += c;
    }
  }
  return out;
}

TEST_F(KorvalinctlTest, DevicesListsTheHidrawKeyboardsAndTheOneInUse) {
  fs::path root = Path("hidraw");
  auto node = [&](const std::string& name, const std::string& id, const std::string& phys, const Bytes& descriptor) {
    fs::path device = root / "sys/class/hidraw" / name / "device";
    fs::create_directories(device);
    std::ofstream(device / "uevent") << "HID_ID=" << id << "\nHID_PHYS=" << phys << "\n";
    writeAll(device / "report_descriptor", descriptor);
    fs::create_directories(root / "dev");
    std::ofstream(root / "dev" / name);
  };
  auto expected = kv::hid::ExpectedKeyboardDescriptor();
  Bytes config(expected.begin(), expected.end());
  Bytes boot = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x00, 0xC0};

  Result none = Run({"devices"}, false);
  EXPECT_EQ(none.rc, 3);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("no keyboard attached"), std::string::npos) << none.err;
  Result info = Run({"info"}, false);
  EXPECT_EQ(info.rc, 3) << "the default is the real keyboard, and there is none";

  node("hidraw0", "0003:00000C45:00006518", "usb-0000:00:14.0-3/input0", boot);
  node("hidraw1", "0003:00000C45:00006518", "usb-0000:00:14.0-3/input1", config);
  node("hidraw2", "0003:0000046D:0000C52B", "usb-0000:00:14.0-4/input2", config);
  node("hidraw3", "0003:00000C45:00006518", "usb-0000:00:14.0-1/input1", config);
  Result r = Run({"devices"}, false);
  ASSERT_EQ(r.rc, 0) << r.err;
  const std::string dev = (root / "dev").string();
  EXPECT_EQ(compactJson(r.out), compactJson(
            "{\"keyboards\": 2, \"collections\": {\"command\": 2, \"consumer\": 2, \"led\": 2}, \"found\": ["
            "{\"device\": \"usb-0000:00:14.0-1\", \"in_use\": true, \"collections\": ["
            "{\"usage_page\": \"0x000C\", \"usage\": \"0x0001\", \"path\": \"" + dev + "/hidraw3\"}, "
            "{\"usage_page\": \"0xFF1C\", \"usage\": \"0x0092\", \"path\": \"" + dev + "/hidraw3\"}, "
            "{\"usage_page\": \"0x0008\", \"usage\": \"0x0089\", \"path\": \"" + dev + "/hidraw3\"}]}, "
            "{\"device\": \"usb-0000:00:14.0-3\", \"in_use\": false, \"collections\": ["
            "{\"usage_page\": \"0x0001\", \"usage\": \"0x0006\", \"path\": \"" + dev + "/hidraw0\"}, "
            "{\"usage_page\": \"0x000C\", \"usage\": \"0x0001\", \"path\": \"" + dev + "/hidraw1\"}, "
            "{\"usage_page\": \"0xFF1C\", \"usage\": \"0x0092\", \"path\": \"" + dev + "/hidraw1\"}, "
            "{\"usage_page\": \"0x0008\", \"usage\": \"0x0089\", \"path\": \"" + dev + "/hidraw1\"}]}]}"));
  EXPECT_EQ(r.err, "korvalinctl: 2 keyboards attached; using usb-0000:00:14.0-1\n");

  Result sim = Run({"devices"});
  ASSERT_EQ(sim.rc, 0) << sim.err;
  EXPECT_EQ(compactJson(sim.out), compactJson("{\"keyboards\": 1, \"collections\": {\"command\": 1, \"consumer\": 1, "
                                              "\"led\": 1}, \"simulated\": \"kb.state\"}"));
}

TEST_F(KorvalinctlTest, NodeThatMayNotBeOpenedNamesItselfAndTheRule) {
  // Root opens any node: the refusal needs another user, which setpriv gives.
  if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs root and setpriv to run as another user";
  fs::path root = Path("hidraw");
  fs::path device = root / "sys/class/hidraw/hidraw5/device";
  fs::create_directories(device);
  std::ofstream(device / "uevent") << "HID_ID=0003:00000C45:00006518\nHID_PHYS=usb-1/input1\n";
  auto expected = kv::hid::ExpectedKeyboardDescriptor();
  writeAll(device / "report_descriptor", Bytes(expected.begin(), expected.end()));
  fs::create_directories(root / "dev");
  std::ofstream(root / "dev" / "hidraw5");
  fs::permissions(root / "dev" / "hidraw5", fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(dir_, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);

  std::string cmd = "KORVALIN_HIDRAW_ROOT=" + quote(root.string()) +
                    " setpriv --reuid=65534 --regid=65534 --clear-groups " + quote(KORVALINCTL_PATH) + " info 2>" +
                    quote(Path("denied.txt").string());
  int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << "a keyboard that is there is not 'no keyboard'";
  Bytes e = readAll(Path("denied.txt"));
  std::string err(e.begin(), e.end());
  EXPECT_NE(err.find("cannot open " + (root / "dev" / "hidraw5").string()), std::string::npos) << err;
  EXPECT_NE(err.find("permission denied"), std::string::npos) << err;
  EXPECT_NE(err.find("60-korvalin.rules"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

// True when s is one JSON value and nothing else: what a script's parser needs.
bool parsesAsJson(const std::string& s) {
  size_t i = 0;
  std::function<bool()> value;
  auto blank = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\t' || s[i] == '\r')) ++i;
  };
  auto string = [&] {
    if (i >= s.size() || s[i] != '"') return false;
    for (++i; i < s.size(); ++i) {
      if (s[i] == '\\') ++i;
      else if (s[i] == '"') return ++i, true;
      else if (static_cast<unsigned char>(s[i]) < 0x20) return false;
    }
    return false;
  };
  auto sequence = [&](char close, bool members) {
    ++i;
    blank();
    if (i < s.size() && s[i] == close) return ++i, true;
    for (;;) {
      blank();
      if (members) {
        if (!string()) return false;
        blank();
        if (i >= s.size() || s[i++] != ':') return false;
      }
      if (!value()) return false;
      blank();
      if (i < s.size() && s[i] == ',') {
        ++i;
        continue;
      }
      return i < s.size() && s[i++] == close;
    }
  };
  value = [&]() -> bool {
    blank();
    if (i >= s.size()) return false;
    if (s[i] == '{') return sequence('}', true);
    if (s[i] == '[') return sequence(']', false);
    if (s[i] == '"') return string();
    for (const char* word : {"true", "false", "null"})
      if (s.compare(i, std::strlen(word), word) == 0) return i += std::strlen(word), true;
    size_t start = i;
    if (s[i] == '-') ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    return i > start;
  };
  if (!value()) return false;
  blank();
  return i == s.size();
}

TEST_F(KorvalinctlTest, DoctorExitsByWhatItFoundAndItsJsonParses) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool withSim;
    int rc;
    const char* verdict;
  };
  const Case cases[] = {
      {"simulated keyboard", {"doctor"}, true, 0, "verdict: the keyboard can be used"},
      {"keyboard that does not answer", {"--sim-fault", "drop 1000", "doctor"}, true, 1,
       "verdict: the keyboard cannot be used: information block: could not be read"},
      {"no keyboard", {"doctor"}, false, 1,
       "verdict: the keyboard cannot be used: keyboard on the bus: no HID device 0C45:6518"},
      {"an argument", {"doctor", "now"}, true, 2, nullptr},
      {"an option of another command", {"doctor", "--verify"}, true, 2, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result text = Run(c.args, c.withSim);
    EXPECT_EQ(text.rc, c.rc) << text.out << text.err;
    if (!c.verdict) {
      EXPECT_EQ(text.out, "");
      EXPECT_NE(text.err.find("see korvalinctl doctor --help"), std::string::npos) << text.err;
      continue;
    }
    EXPECT_NE(text.out.find(c.verdict), std::string::npos) << text.out;
    // One line per check, then the verdict.
    EXPECT_EQ(text.out.rfind("verdict: ", text.out.size() - 2), text.out.rfind('\n', text.out.size() - 2) + 1);
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    Result json = Run(args, c.withSim);
    EXPECT_EQ(json.rc, c.rc);
    EXPECT_TRUE(parsesAsJson(json.out)) << json.out;
    EXPECT_NE(json.out.find(c.rc == 0 ? "\"usable\": true" : "\"usable\": false"), std::string::npos) << json.out;
  }
  Result ok = Run({"doctor", "--json"});
  size_t times = ok.out.find("\"round_trips_us\": [");
  ASSERT_NE(times, std::string::npos) << ok.out;
  std::string list = ok.out.substr(times, ok.out.find(']', times) - times);
  EXPECT_EQ(std::count(list.begin(), list.end(), ','), 19) << "20 round trips: " << list;
}

TEST_F(KorvalinctlTest, DoctorOnANodeThatMayNotBeOpenedNamesTheMissingRule) {
  if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs root and setpriv to run as another user";
  fs::path root = Path("hidraw");
  fs::path device = root / "sys/class/hidraw/hidraw5/device";
  fs::create_directories(device);
  std::ofstream(device / "uevent") << "HID_ID=0003:00000C45:00006518\nHID_PHYS=usb-0000:00:14.0-2/input1\n";
  auto expected = kv::hid::ExpectedKeyboardDescriptor();
  writeAll(device / "report_descriptor", Bytes(expected.begin(), expected.end()));
  fs::create_directories(root / "dev");
  std::ofstream(root / "dev" / "hidraw5");
  fs::permissions(root / "dev" / "hidraw5", fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(dir_, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);

  std::string cmd = "KORVALIN_HIDRAW_ROOT=" + quote(root.string()) +
                    " setpriv --reuid=65534 --regid=65534 --clear-groups " + quote(KORVALINCTL_PATH) + " doctor >" +
                    quote(Path("doctor.txt").string());
  int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  Bytes o = readAll(Path("doctor.txt"));
  std::string out(o.begin(), o.end());
  const std::string node = (root / "dev" / "hidraw5").string();
  EXPECT_NE(out.find("ok      keyboard on the bus: 0C45:6518 at usb-0000:00:14.0-2, 3 collections"), std::string::npos)
      << out;
  EXPECT_NE(out.find("problem command collection: " + node + ": permission denied"), std::string::npos) << out;
  EXPECT_NE(out.find("problem udev rule: 60-korvalin.rules is in neither /usr/lib/udev/rules.d nor /etc/udev/rules.d"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("problem seat: "), std::string::npos) << out;
  EXPECT_NE(out.find("skipped protocol"), std::string::npos) << out;
  EXPECT_NE(out.find("verdict: the keyboard cannot be used: command collection: " + node +
                     ": permission denied; next: reinstall the korvalin package"),
            std::string::npos)
      << out;
}

TEST_F(KorvalinctlTest, SimNewTakesMacroUnitsAndProfile) {
  Result r = Run({"sim-new", "--macro-units", "0x10", "--profile=1"});
  ASSERT_EQ(r.rc, 0) << r.err;
  kv::sim::SimMemory m = State();
  EXPECT_EQ(m.macro.size(), 16u * 128);
  EXPECT_EQ(m.info[10], 1);
  EXPECT_EQ(Run({"file", "new", "files/new.kvp"}).rc, 0);
  EXPECT_EQ(Run({"write", "files/new.kvp"}).rc, 0);
  EXPECT_EQ(Run({"file", "check", "files/new.kvp"}).rc, 0);
}

// ---- backup, restore and --verify ---------------------------------------------------

// Every byte of every region changed from factory contents, profile 1
// active: a restore that loses any byte shows it.
kv::sim::SimMemory Customised(kv::sim::SimMemory m) {
  auto change = [](std::span<uint8_t> region, uint8_t salt) {
    for (size_t i = 0; i < region.size(); ++i) region[i] ^= static_cast<uint8_t>((salt + i * 7) | 1);
  };
  change(m.settings, 0x10);
  change(m.colours, 0x20);
  change(m.keyTables, 0x30);
  change(m.macro, 0x40);
  m.info[10] = 1;
  return m;
}

// The checksum over a deliberately changed backup, so only the change is wrong.
void Reseal(Bytes& file) {
  uint32_t crc = kv::crc32(std::span(file).first(28));
  crc = kv::crc32(std::span(file).subspan(32), crc);
  std::memcpy(file.data() + 28, &crc, 4);
}

TEST_F(KorvalinctlTest, BackupThenRestoreOntoAFactoryNewKeyboardIsByteIdentical) {
  SetState(Customised(State()));
  Result b = Run({"backup", "files/kb.kvb"});
  ASSERT_EQ(b.rc, 0) << b.err;
  EXPECT_EQ(b.err, "");
  const Bytes file = readAll(Path("files/kb.kvb"));
  ASSERT_EQ(file.size(), 1898u + 8192u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 8), "KVBACKUP");

  ASSERT_EQ(Run({"--sim", "new.state", "sim-new"}, false).rc, 0);
  Result r = Run({"--sim", "new.state", "--round-trip", "0", "restore", "files/kb.kvb", "--verify"}, false);
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // The state file holds the information block, the settings, the per-key
  // regions, the key tables and the macro memory: all equal.
  EXPECT_TRUE(readAll(Path("new.state")) == readAll(Path("kb.state")));
}

TEST_F(KorvalinctlTest, DamagedBackupsAreRefusedWithNothingWritten) {
  SetState(Customised(State()));
  ASSERT_EQ(Run({"backup", "files/kb.kvb"}).rc, 0);
  const Bytes good = readAll(Path("files/kb.kvb"));
  Bytes truncated(good.begin(), good.end() - 1);
  writeAll(Path("files/truncated.kvb"), truncated);
  writeAll(Path("files/header-only.kvb"), Bytes(good.begin(), good.begin() + 20));
  Bytes flipped = good;
  flipped[1898 + 4000] ^= 0x08;  // a bit of the macro memory
  writeAll(Path("files/flipped.kvb"), flipped);
  Bytes version = good;
  version[8] = 2;
  Reseal(version);
  writeAll(Path("files/version2.kvb"), version);
  writeAll(Path("files/big.kvb"), Bytes(kv::kMaxBackupFileSize + 1, 0));
  ProfileBuilder profile;
  profile.Save(Path("files/profile.kvp"));
  writeAll(Path("files/empty.kvb"), {});

  // A keyboard of 1024 bytes of macro memory, and a backup whose macros need 2000.
  ASSERT_EQ(Run({"--sim", "small.state", "sim-new", "--macro-units", "8"}, false).rc, 0);
  {
    kv::sim::SimMemory m = State();
    kv::MacroList macros;
    kv::MacroRecord macro{};
    kv::setMacroName(macro, u"Long");
    macro.id = 1;
    macro.actionCount = 494;  // 16 + 2 + 4 + 4 x 494 + 2 x 4 = 2006 bytes
    macros.push_back(macro);
    ASSERT_TRUE(kv::buildMacroImage(macros, m.macro, 2006, true));
    SetState(m);
  }
  ASSERT_EQ(Run({"backup", "files/long.kvb"}).rc, 0);

  const std::vector<std::string> onSmall = {"--sim", "small.state", "--round-trip", "0", "restore"};
  auto small = [&](const std::string& file) {
    std::vector<std::string> args = onSmall;
    args.push_back(file);
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {small("files/truncated.kvb"), "files/truncated.kvb: damaged keyboard backup: 10089 bytes where its header says 10090"},
      {small("files/header-only.kvb"), "not a keyboard backup (20 bytes, shorter than a backup's header)"},
      {small("files/flipped.kvb"), "files/flipped.kvb: damaged keyboard backup: checksum 0x"},
      {small("files/version2.kvb"), "keyboard backup of format version 2; this program reads version 1"},
      {small("files/big.kvb"), "files/big.kvb: not a keyboard backup (34539 bytes, more than any backup holds)"},
      {small("files/profile.kvp"), "files/profile.kvp: not a keyboard backup"},
      {small("files/empty.kvb"), "not a keyboard backup (0 bytes"},
      {small("files/missing.kvb"), "files/missing.kvb: no such file"},
      {small("files"), "files: not a file"},
      {small("files/long.kvb"), "files/long.kvb: its macros need 2006 bytes of macro memory; the keyboard has 1024"},
      {{"--sim", "small.state", "restore", "files/kb.kvb", "--verify=yes"}, "option --verify takes no value"},
      {{"--sim", "small.state", "restore"}, "missing argument"},
      {{"--sim", "small.state", "backup", "files/kb.kvb", "--verify"}, "takes no option --verify"},
      {{"--sim", "small.state", "backup", "nofolder/kb.kvb"}, "nofolder/kb.kvb: no such folder"},
      {{"--sim", "small.state", "--sim-fault", "lie", "restore", "files/kb.kvb"}, "--sim-fault: 'lie' is no fault command"},
      {{"--sim-fault", "lie 1", "info"}, "--sim-fault applies to --sim only"},
  };
  for (const Case& c : cases) ExpectRefused(c.args, false, 2, c.says);
}

TEST_F(KorvalinctlTest, ASmallerKeyboardTakesABackupWhoseMacrosFit) {
  kv::sim::SimMemory m = State();
  kv::MacroList macros;
  kv::MacroRecord macro{};
  kv::setMacroName(macro, u"Short");
  macro.id = 1;
  macro.cycles = 3;
  macro.actionCount = 100;  // 16 + 2 + 4 + 400 + 10 = 432 bytes
  macros.push_back(macro);
  ASSERT_TRUE(kv::buildMacroImage(macros, m.macro, 432, true));
  std::fill(m.macro.begin() + 432, m.macro.end(), 0x77);  // unused, and past the smaller memory
  SetState(m);
  ASSERT_EQ(Run({"backup", "files/kb.kvb"}).rc, 0);

  ASSERT_EQ(Run({"--sim", "small.state", "sim-new", "--macro-units", "8"}, false).rc, 0);
  Result r = Run({"--sim", "small.state", "--round-trip", "0", "restore", "files/kb.kvb", "--verify"}, false);
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.err, "korvalinctl: restore: the backup's 8192 bytes of macro memory cut to the keyboard's 1024 "
                   "(its macros use 432)\n");
  kv::sim::SimMemory small;
  std::string why;
  ASSERT_TRUE(kv::sim::ParseState(readAll(Path("small.state")), &small, &why)) << why;
  EXPECT_TRUE(std::equal(small.macro.begin(), small.macro.end(), m.macro.begin()));
  EXPECT_EQ(small.keyTables, m.keyTables);
  EXPECT_EQ(small.info[11], 8);
}

// The keyboard acknowledges one write without storing it; --verify reads
// back and names the region and its first lost byte; without the fault the
// same runs pass quietly.
TEST_F(KorvalinctlTest, VerifyCatchesALyingKeyboard) {
  SetState(Customised(State()));
  ASSERT_EQ(Run({"backup", "files/kb.kvb"}).rc, 0);
  ProfileBuilder source;
  KeyboardShaped(source);
  source.Save(Path("files/source.kvp"));

  struct Case {
    std::vector<std::string> args;
    std::string fault;     // for --sim-fault; reports counted from the first command
    std::string expected;  // a regular expression for the line
  };
  // restore: the information block, BeginConfig, 147 macro chunks and key
  // table 0 pass, and the first chunk of key table 1 is lost; or all 185
  // reports of the bracket and the information-block read pass, and the
  // active profile is lost. write: the information block, the factory key
  // table (6) and BeginConfig pass, and the macro image is lost; or they,
  // the image's one chunk and key table 0 pass.
  const Case cases[] = {
      {{"restore", "files/kb.kvb", "--verify"}, "after 155; lie 1",
       "verify failed: keys 1 differs at offset 0x0000: expected 0x[0-9A-F]{2}, found 0x[0-9A-F]{2}"},
      {{"restore", "files/kb.kvb", "--verify"}, "after 187; lie 1",
       "verify failed: info differs at offset 0x000A: expected 0x01, found 0x00"},
      {{"write", "files/source.kvp", "--verify"}, "after 15; lie 1",
       "verify failed: keys 1 differs at offset 0x00([0-2][0-9A-F]|3[0-7]): expected 0x[0-9A-F]{2}, found 0x[0-9A-F]{2}"},
      {{"write", "files/source.kvp", "--verify"}, "after 8; lie 1",
       "verify failed: macros differs at offset 0x0000: expected 0xAA, found 0x00"},
      {{"lighting", "fill", "--verify"}, "lie 1",
       "verify failed: colours 0 differs at offset 0x00[0-9A-F]{2}: expected 0xFF, found 0x[0-9A-F]{2}"},
      {{"lighting", "brightness", "0", "--profile", "2", "--verify"}, "lie 1",
       "verify failed: settings differs at offset 0x0055: expected 0x00, found 0x0[1-4]"},
      {{"report-rate", "2", "--profile", "1", "--verify"}, "lie 1",
       "verify failed: settings differs at offset 0x0039: expected 0x02, found 0x0[013]"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line + "with " + c.fault);
    for (bool lying : {true, false}) {
      ASSERT_EQ(Run({"--sim", "new.state", "sim-new"}, false).rc, 0);
      std::vector<std::string> args = {"--sim", "new.state", "--round-trip", "0"};
      if (lying) args.insert(args.end(), {"--sim-fault", c.fault});
      args.insert(args.end(), c.args.begin(), c.args.end());
      Result r = Run(args, false);
      if (!lying) {
        EXPECT_EQ(r.rc, 0) << r.err;
        EXPECT_EQ(r.err, "");
        continue;
      }
      EXPECT_EQ(r.rc, 1);
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      EXPECT_TRUE(std::regex_search(r.err, std::regex("^korvalinctl: [a-z -]+: " + c.expected + "\n$"))) << r.err;
    }
  }
}

}  // namespace
