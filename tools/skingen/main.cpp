// Writes the skin layout as JSON for the picture painter (tools/skingen/paint.py).
#include <cstdio>
#include <exception>

#include "tools/skingen/layout.h"

int main(int argc, char** argv) {
  try {
    std::string json = kv::skingen::layoutJson(kv::skingen::allLayouts());
    FILE* out = argc > 1 ? std::fopen(argv[1], "wb") : stdout;
    if (!out) return 1;
    std::fwrite(json.data(), 1, json.size(), out);
    if (out != stdout) std::fclose(out);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skingen: %s\n", e.what());
    return 2;
  }
}
