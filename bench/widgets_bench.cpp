// The folder browser through the ui_modules bundle: listing a folder of 10 000 and of
// 100 000 empty files (its ItemList text built and sent once per listing). A listing that
// is linear in the entries costs the same per entry at both sizes; a quadratic one ten
// times as much at the larger. Prints, in processor time (user and system: the listing is
// mostly directory reads),
//   ratio file_browser_list_us_per_entry_10k <microseconds per entry>
//   ratio file_browser_list_us_per_entry_100k <microseconds per entry>
//   ratio file_browser_100k_over_10k_per_entry <the second over the first; 1 is linear>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "harness/gui_module.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"

namespace fs = std::filesystem;

namespace {

std::shared_ptr<mphost::Bundle> bundle()
{
    static const auto loaded = mphost::Bundle::load(std::string(MP_BUNDLE_DIR) + "/ui_modules.so");
    return loaded;
}

const mphost::BundleDescription& descriptions()
{
    static const auto loaded = mphost::BundleDescription::loadFile(std::string(MP_BUNDLE_DIR) + "/ui_modules.json");
    return loaded;
}

// Folders of `count` empty .wav files under one temporary folder, made once and removed
// at exit.
class Folders {
public:
    ~Folders() { fs::remove_all(root); }
    const fs::path& of(int count)
    {
        for (const auto& [entries, folder] : made)
            if (entries == count)
                return folder;
        const fs::path folder = root / std::to_string(count);
        fs::create_directories(folder);
        for (int i = 0; i < count; ++i) {
            const std::string name = (folder / ("take" + std::to_string(i) + ".wav")).string();
            const int descriptor = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
            if (descriptor >= 0)
                ::close(descriptor);
        }
        made.emplace_back(count, folder);
        return made.back().second;
    }

private:
    fs::path root = fs::temp_directory_path() / ("widgets-bench-" + std::to_string(::getpid()));
    std::vector<std::pair<int, fs::path>> made;
};

Folders& folders()
{
    static Folders instance;
    return instance;
}

std::wstring wide(const fs::path& path)
{
    const std::string narrow = path.string();
    return std::wstring(narrow.begin(), narrow.end());
}

std::unique_ptr<mphost::GuiModule> browser()
{
    auto module = std::make_unique<mphost::GuiModule>(bundle(), *descriptions().find("FileBrowser"));
    module->start();
    module->setPin("Ext", std::wstring(L"wav"));
    return module;
}

// One listing of `folder`: the browser is first sent elsewhere (an empty path lists
// nothing here) so that the Path change lists again.
void listOnce(mphost::GuiModule& module, const fs::path& folder)
{
    module.setPin("Path", std::wstring(L"/nonexistent-folder"));
    module.setPin("Path", wide(folder));
    module.takeTransmissions();
}

void BM_FileBrowser_List(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const fs::path& folder = folders().of(count);
    auto module = browser();
    for (auto _ : state)
        listOnce(*module, folder);
    state.counters["entries"] = benchmark::Counter(static_cast<double>(count) * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FileBrowser_List)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

double processorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The fastest of `rounds` listings of `count` entries, in microseconds per entry.
double microsecondsPerEntry(int count, int rounds)
{
    const fs::path& folder = folders().of(count);
    auto module = browser();
    listOnce(*module, folder);  // warm the directory cache
    double best = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const double start = processorSeconds();
        listOnce(*module, folder);
        best = std::min(best, processorSeconds() - start);
    }
    return best * 1e6 / count;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double small = microsecondsPerEntry(10000, 3);
    const double large = microsecondsPerEntry(100000, 2);
    std::printf("ratio file_browser_list_us_per_entry_10k %.4f\n", small);
    std::printf("ratio file_browser_list_us_per_entry_100k %.4f\n", large);
    std::printf("ratio file_browser_100k_over_10k_per_entry %.3f\n", small > 0 ? large / small : 0.0);
    return 0;
}
