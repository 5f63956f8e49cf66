// A plain main for a fuzz target, used where libFuzzer is not: it runs the
// target once on every file named on the command line, walking directories
// in sorted order so a failure is reproducible. A missing path is reported
// and passed over, because a target may have no reproducers yet.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesUnder(const fs::path& root) {
    std::vector<fs::path> files;
    if (fs::is_regular_file(root)) {
        files.push_back(root);
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

void Replay(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(stream)),
                                  std::istreambuf_iterator<char>());
    // An empty input is passed as a valid pointer, as libFuzzer does.
    const std::uint8_t none = 0;
    const auto* data = bytes.empty() ? &none : reinterpret_cast<const std::uint8_t*>(bytes.data());
    LLVMFuzzerTestOneInput(data, bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path root(argv[i]);
        if (!fs::exists(root)) {
            std::printf("nothing to replay at %s\n", argv[i]);
            continue;
        }
        for (const fs::path& file : FilesUnder(root)) {
            std::fprintf(stderr, "%s\n", file.string().c_str());
            Replay(file);
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    return 0;
}
