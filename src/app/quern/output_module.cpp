#include "app/quern/output_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// Where the module is looked for: beside the program, in ../lib/quern from
// it (an installed tree), then by the loader's own search (LD_LIBRARY_PATH).
std::vector<std::string> ModuleCandidates() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  std::vector<std::string> candidates;
  if (!ec) {
    const std::filesystem::path dir = self.parent_path();
    candidates.push_back((dir / kOutputModuleFile).string());
    candidates.push_back((dir / ".." / "lib" / "quern" / kOutputModuleFile).string());
  }
  candidates.push_back(kOutputModuleFile);
  return candidates;
}

}  // namespace

const OutputModule* LoadOutputModule(std::string* error) {
  static const OutputModule* module = nullptr;
  if (module != nullptr) return module;
  std::string reasons;
  for (const std::string& candidate : ModuleCandidates()) {
    const bool by_path = candidate.find('/') != std::string::npos;
    std::error_code ec;
    if (by_path && !std::filesystem::exists(candidate, ec)) continue;
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = dlerror();
      reasons += std::string(reasons.empty() ? "" : "; ") + (why ? why : candidate);
      continue;
    }
    using Entry = const OutputModule* (*)();
    auto entry = reinterpret_cast<Entry>(dlsym(handle, kOutputModuleEntry));
    if (entry == nullptr || entry() == nullptr) {
      reasons +=
          std::string(reasons.empty() ? "" : "; ") + candidate + ": not a quern output module";
      dlclose(handle);
      continue;
    }
    module = entry();
    return module;
  }
  *error = std::string("the MIDI outputs could not be loaded (") + kOutputModuleFile +
           (reasons.empty() ? " not found" : ": " + reasons) + ")";
  return nullptr;
}
