// Cost of one settings write (what the engine does for every received batch)
// on a small settings file and on one grown to 1 MB by 1,000 job sections and
// 10,000 history records. Each run is 100,000 WriteInteger calls.
#include "storage/UnitLogFiles.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string JobSection(int n) {
    std::string s = "[" + std::to_string(n) + "]\r\n";
    s += "URL=http://www.velomar.example/files/archive" + std::to_string(n) + ".zip\r\n";
    s += "DownloadDirectory=/home/user/Downloads\r\nComment=\r\nPriority=3\r\nSockets=4\r\n";
    s += "Selected=0\r\nCompleted=1\r\nInJobList=1\r\nContent-Length=1048576\r\n";
    s += "Download.Size=1048576\r\nDownload.Ratio=100%\r\nLogCount=2\r\n";
    s += "Log1.Moment=2026-12-11 10:00:00\r\nLog1.Type=0\r\nLog1.Description=Connect\r\n";
    s += "Log1.Info=www.velomar.example:80\r\n\r\n";
    return s;
}

std::string MakeFile(int jobs, int history) {
    std::string s = "[Main]\r\nSection.Count=" + std::to_string(jobs) +
                    "\r\nJob.Count=" + std::to_string(jobs) +
                    "\r\nLogging=0\r\nPulseInterval=100\r\n";
    for (int i = 1; i <= jobs; ++i)
        s += "Job." + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    s += "\r\n";
    for (int i = 1; i <= jobs; ++i)
        s += JobSection(i);
    s += "[History]\r\nCount=" + std::to_string(history) + "\r\n";
    for (int i = 1; i <= history; ++i) {
        std::string p = "H" + std::to_string(i) + ".";
        s += p + "URL=http://www.velomar.example/f/" + std::to_string(i) + ".zip\r\n";
        s += p + "Moment=2026-12-11 10:00:00\r\n" + p + "Size=123456\r\n";
    }
    return s;
}

void WriteIntegers(benchmark::State& state, int jobs, int history) {
    char dir[] = "/tmp/velomar-bench-XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temp folder");
        return;
    }
    const std::string path = std::string(dir) + "/velomar.ini";
    const std::string text = MakeFile(jobs, history);
    std::ofstream(path, std::ios::binary) << text;
    state.counters["file_bytes"] = static_cast<double>(text.size());
    {
        TDownloaderINIFile ini(path);
        const std::string section = std::to_string(jobs / 2 + 1);
        const std::string keys[4] = {"Download.Ranges.1.Position", "Download.Ranges.2.Position",
                                     "Download.DownloadedSize", "Download.BPS"};
        std::int64_t v = 0;
        for (auto _ : state) {
            ++v;
            ini.WriteInteger(section, keys[v & 3], v * 1460);
        }
    }
    state.SetItemsProcessed(state.iterations());
    std::remove(path.c_str());
    ::rmdir(dir);
}

void BM_WriteInteger_10KB(benchmark::State& state) {
    WriteIntegers(state, 28, 0);
}
void BM_WriteInteger_1MB(benchmark::State& state) {
    WriteIntegers(state, 1000, 10000);
}

BENCHMARK(BM_WriteInteger_10KB)
    ->Iterations(100000)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kNanosecond);
BENCHMARK(BM_WriteInteger_1MB)
    ->Iterations(100000)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
