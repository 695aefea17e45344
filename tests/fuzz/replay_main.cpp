// Replays a fuzz corpus: runs LLVMFuzzerTestOneInput once on every file of the
// folders (or files) given, so the test suite re-checks every input the fuzzer
// ever kept under the sanitizers of the build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static bool runFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", p.string().c_str());
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

int main(int argc, char** argv) {
  size_t count = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    fs::path p(argv[i]);
    if (fs::is_directory(p)) {
      for (const auto& e : fs::recursive_directory_iterator(p))
        if (e.is_regular_file()) { ok = runFile(e.path()) && ok; ++count; }
    } else {
      ok = runFile(p) && ok;
      ++count;
    }
  }
  std::printf("replayed %zu inputs\n", count);
  if (count == 0) {
    std::fprintf(stderr, "empty corpus\n");
    return 1;
  }
  return ok ? 0 : 1;
}
