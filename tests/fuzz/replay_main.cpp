// A fuzz target as a plain program: feeds every file of the folders (or the
// files) named on its command line to LLVMFuzzerTestOneInput, one after the
// other, in name order. Built without libFuzzer, so that the ordinary and the
// sanitizer builds replay each target's corpus and the crash files kept in
// the repository on every test run. A failing input aborts, as under the
// fuzzer; the name of the file being fed is printed first, so the log says
// which one.
//
//   NAME_replay DIR|FILE...
//
// Exit status: 0 when every input passed, 2 when an argument cannot be read
// or names no input at all (a replay of nothing proves nothing).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize);

namespace {

namespace fs = std::filesystem;

// The regular files an argument names: itself, or a folder's own files.
bool CollectInputs(const std::string& strArg, std::vector<fs::path>& inputs) {
  std::error_code ec;
  const fs::path path(strArg);
  if (fs::is_regular_file(path, ec)) {
    inputs.push_back(path);
    return true;
  }
  if (!fs::is_directory(path, ec)) return false;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) return false;
  std::sort(files.begin(), files.end());
  inputs.insert(inputs.end(), files.begin(), files.end());
  return true;
}

bool ReadWhole(const fs::path& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR|FILE...\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!CollectInputs(argv[i], inputs)) {
      std::fprintf(stderr, "%s: %s is neither a readable folder nor a file\n", argv[0], argv[i]);
      return 2;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "%s: no input files in the folders given\n", argv[0]);
    return 2;
  }
  std::vector<std::uint8_t> bytes;
  for (const fs::path& path : inputs) {
    if (!ReadWhole(path, bytes)) {
      std::fprintf(stderr, "%s: cannot read %s\n", argv[0], path.string().c_str());
      return 2;
    }
    std::fprintf(stderr, "replay %s (%zu bytes)\n", path.string().c_str(), bytes.size());
    // A copy of exactly the input's size, so that AddressSanitizer sees a
    // read past its end as libFuzzer's own buffer would show it.
    std::vector<std::uint8_t> copy(bytes);
    LLVMFuzzerTestOneInput(copy.data(), copy.size());
  }
  std::printf("%zu inputs replayed, all passed\n", inputs.size());
  return 0;
}
