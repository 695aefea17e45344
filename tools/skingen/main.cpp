// Writes the skin layout as JSON for the picture painter (tools/skingen/paint.py)
// and the resource script generator, and the control-id header
// (resources/control_ids.h): skingen_layout [layout.json [control_ids.h]].
#include <cstdio>
#include <exception>
#include <string>

#include "tools/skingen/layout.h"

namespace {

bool writeFile(const char* path, const std::string& text) {
  FILE* out = path ? std::fopen(path, "wb") : stdout;
  if (!out) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (out != stdout) ok = std::fclose(out) == 0 && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    auto layouts = kv::skingen::allLayouts();
    if (!writeFile(argc > 1 ? argv[1] : nullptr, kv::skingen::layoutJson(layouts))) return 1;
    if (argc > 2 && !writeFile(argv[2], kv::skingen::controlIdsHeader(layouts))) return 1;
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skingen: %s\n", e.what());
    return 2;
  }
}
