// Replays stored inputs through one fuzz target's entry point, so that every
// build (with or without clang and libFuzzer) runs the inputs that once made
// a target fail. Arguments are folders (each file in them is one input) or
// single files. A target reports a broken invariant by aborting, and the
// sanitizer build catches what the target alone would not; a clean replay of
// every input exits 0.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> InputsIn(const std::filesystem::path& place) {
  std::vector<std::filesystem::path> inputs;
  std::error_code error;
  if (std::filesystem::is_regular_file(place, error)) return {place};
  for (const auto& entry : std::filesystem::directory_iterator(place, error)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());  // the same order on every machine
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::filesystem::path& input : InputsIn(argv[i])) {
      std::ifstream file(input, std::ios::binary);
      std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      if (!file.good() && !file.eof()) {
        std::fprintf(stderr, "%s: cannot read\n", input.string().c_str());
        return 1;
      }
      // An exact-size copy lets the sanitizers see a read past the input.
      std::vector<uint8_t> exact(bytes.begin(), bytes.end());
      std::fprintf(stderr, "replaying %s\n", input.string().c_str());
      LLVMFuzzerTestOneInput(exact.data(), exact.size());
      ++replayed;
    }
  }
  std::printf("%zu inputs replayed\n", replayed);
  return 0;
}
