// Feeds files to a fuzz target's entry point, one call per file, as libFuzzer
// would: the regression replay of the sanitizer build (which has no
// libFuzzer). Each argument is a file or a folder, read recursively in name
// order; a folder that does not exist holds no inputs.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> InputsUnder(const fs::path& root) {
  std::vector<fs::path> files;
  std::error_code ec;
  if (fs::is_regular_file(root, ec)) return {root};
  if (!fs::is_directory(root, ec)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root, ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    for (const fs::path& file : InputsUnder(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
      if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
        return 1;
      }
      std::fprintf(stderr, "%s\n", file.c_str());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++count;
    }
  }
  std::printf("%d inputs replayed\n", count);
  return 0;
}
