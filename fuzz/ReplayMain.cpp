// Runs stored inputs through a fuzz entry point, for compilers without
// libFuzzer: each argument is a file or a folder of files. The entry point
// comes from the adapter linked beside this file.
#include <cstddef>
#include <cstdint>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

int replayEntry(const std::uint8_t* data, std::size_t size);

namespace {

bool replayFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    std::printf("%s (%zu bytes)\n", path.filename().string().c_str(), bytes.size());
    std::fflush(stdout);
    replayEntry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            for (const auto& entry : fs::directory_iterator(argv[i], ec))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.emplace_back(argv[i]);
        }
    }
    std::sort(files.begin(), files.end());
    // An empty corpus would make the run pass without testing anything.
    if (files.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    int replayed = 0;
    for (const auto& file : files)
        replayed += replayFile(file) ? 1 : 0;
    std::printf("%d of %zu inputs replayed\n", replayed, files.size());
    return replayed == static_cast<int>(files.size()) ? 0 : 1;
}
