// Replays saved fuzz inputs through a fuzz target without libFuzzer, so every
// ordinary build runs them under ctest. Each argument is a directory of inputs;
// a broken invariant or a crash ends the process, which fails the test.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i)
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++count;
    }
  std::cerr << count << " inputs replayed\n";
  return count > 0 ? 0 : 1;
}
