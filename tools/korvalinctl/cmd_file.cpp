// file: profile files without a keyboard.
#include <mutex>

#include "base/text_table.h"
#include "keys/key_action.h"
#include "macro/macro_record.h"
#include "model/key_info.h"
#include "tools/korvalinctl/json.h"
#include "tools/korvalinctl/session.h"

namespace kvctl {

namespace {

Json profileJson(const kv::WorkingConfig& config) {
  const kv::KeyActionTable& table = *config.table;
  Json entries = Json::array();
  Json strings = Json::array();
  for (int block = 0; block < kv::kBlockCount; ++block) {
    for (int slot = 0; slot < kv::kSlotsPerBlock; ++slot) {
      const int index = kv::entryIndex(block, slot);
      const kv::KeyActionEntry& e = table.entries[index];
      if (e.type == kv::ActionType::Default) continue;
      const auto type = static_cast<uint16_t>(e.type);
      Json j = Json::object();
      j.set("profile", block).set("slot", slot).set("key", slotName(slot));
      if (type < kActionTypeNames.size()) {
        j.set("type", kActionTypeNames[type]);
      } else {
        j.set("type", static_cast<int>(type));
      }
      j.set("aux", static_cast<int>(e.aux)).set("value", static_cast<int64_t>(e.value));
      switch (e.type) {
        case kv::ActionType::SingleKey:
          if (e.value <= 0xFFFF) j.set("target", keyNameUtf8(static_cast<kv::KeyCode>(e.value)));
          break;
        case kv::ActionType::PlayMacro:
          for (const kv::MacroRecord& m : config.macros)
            if (m.id == e.value) j.set("macro", kv::toUtf8(kv::macroName(m)));
          break;
        case kv::ActionType::Media: j.set("function", kv::toUtf8(kv::mediaFunctionName(e.value))); break;
        case kv::ActionType::FunctionKey: j.set("function", kv::toUtf8(kv::functionKeyName(e.value))); break;
        default: break;
      }
      entries.push(std::move(j));
      if (kv::usesString(e.type) && !config.strings.text(index).empty()) {
        Json s = Json::object();
        s.set("profile", block).set("slot", slot).set("key", slotName(slot)).set("text", kv::toUtf8(config.strings.text(index)));
        strings.push(std::move(s));
      }
    }
  }
  Json macros = Json::array();
  for (const kv::MacroRecord& m : config.macros) {
    Json actions = Json::array();
    for (size_t i = 0; i < kv::macroActionCount(m); ++i) {
      const kv::MacroAction& a = m.actions[i];
      Json aj = Json::object();
      aj.set("key", hexCode(a.key, 3))
          .set("name", a.key ? keyNameUtf8(a.key) : std::string())
          .set("state", a.state == kv::kMacroRelease ? "release" : "press")
          .set("delay", static_cast<int64_t>(a.delay));
      actions.push(std::move(aj));
    }
    Json mj = Json::object();
    mj.set("id", static_cast<int>(m.id))
        .set("name", kv::toUtf8(kv::macroName(m)))
        .set("cycles", static_cast<int>(m.cycles))
        .set("play_mode", static_cast<int>(m.playMode))
        .set("actions", std::move(actions));
    macros.push(std::move(mj));
  }
  Json j = Json::object();
  j.set("macro_count", static_cast<int>(config.macros.size()))
      .set("string_bytes", static_cast<int64_t>(config.strings.total))
      .set("entries", std::move(entries))
      .set("macros", std::move(macros))
      .set("strings", std::move(strings));
  return j;
}

}  // namespace

namespace {

int fileNew(Session& s) {
  const std::string& file = s.words()[2];
  if (int r = s.checkOutputPath(file)) return r;
  if (!s.store.createDefaultProfile(pathOf(file))) return s.fail(kExitFailed, file + ": could not be written");
  return kExitOk;
}

int fileCheck(Session& s) {
  const std::string& file = s.words()[2];
  if (int r = s.loadProfileArgument(file)) return r;
  std::lock_guard lock(s.config.lock);
  int changed = 0;
  for (const kv::KeyActionEntry& e : s.config.table->entries) changed += e.type != kv::ActionType::Default;
  s.out << file << ": valid profile file (" << s.config.macros.size() << " macros, " << changed
        << " entries not at their factory function, " << s.config.strings.total << " bytes of strings)\n";
  return kExitOk;
}

int fileShow(Session& s) {
  if (int r = s.loadProfileArgument(s.words()[2])) return r;
  std::lock_guard lock(s.config.lock);
  s.out << profileJson(s.config).dump() << '\n';
  return kExitOk;
}

constexpr Subcommand kFileCommands[] = {{"new", 1, fileNew}, {"check", 1, fileCheck}, {"show", 1, fileShow}};

}  // namespace

int cmdFile(Session& s) { return runSubcommand(s, kFileCommands, "subcommand", {}); }

}  // namespace kvctl
