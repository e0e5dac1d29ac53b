// Short fuzzing run, the seed files and every recorded regression input,
// each through both host paths of the DLL with all the loop's checks.
#include "DllFixture.h"

namespace velmora::fuzz::test {
namespace {

std::wstring DataDirectory() { return velmora::test::TestDataPath(L""); }

std::string Describe(const std::vector<std::string>& findings) {
    std::string text;
    for (const std::string& finding : findings) text += "  " + finding + "\n";
    return text;
}

class Fuzz : public DllTest {};

// A few hundred mutated inputs per seed value; the run is deterministic, so a
// finding can be reproduced with velmora-fuzz --seed N --count M --findings DIR.
TEST_F(Fuzz, ShortRunsFindNothing) {
    LoadDll(true, 0);  // no log: the run measures the filter, not the debugger output
    std::vector<std::string> seeds;
    for (auto& [name, bytes] : ReadDirectory(DataDirectory())) seeds.push_back(std::move(bytes));
    ASSERT_GE(seeds.size(), 10u);

    struct Run {
        uint64_t seed;
        uint64_t count;
    };
    const Run runs[] = {{1, 200}, {20261208, 200}};
    for (const Run& run : runs) {
        FuzzOptions options;
        options.seeds = seeds;
        options.seed = run.seed;
        options.count = run.count;
        options.seconds = 100;
        options.inputSeconds = 15;
        options.workDirectory = work.Path();
        options.filterTempDirectory = filterTemp.Path();
        options.spy = &spy;
        const FuzzReport report = RunFuzz(*dll, options);
        EXPECT_EQ(run.count, report.inputs) << "seed " << run.seed << ": the run stopped at its time limit";
        EXPECT_GT(report.loadedWithXmp, 0u) << "seed " << run.seed << ": no input yielded a chunk";
        EXPECT_TRUE(report.findings.empty()) << "seed " << run.seed << ":\n" << Describe(report.findings);
    }
}

// Every seed as it is: the two faces agree and nothing is left behind.
TEST_F(Fuzz, SeedFilesThroughBothFaces) {
    LoadDll(true, 0);
    const auto seeds = ReadDirectory(DataDirectory());
    ASSERT_GE(seeds.size(), 10u);
    for (const auto& [name, bytes] : seeds) {
        EXPECT_EQ("", CheckInput(*dll, bytes, work.File(L"input.bin"), filterTemp.Path(), &spy))
            << velmora::test::Narrow(name);
    }
}

// Inputs that once crashed, hung, leaked or broke the protocol.
TEST_F(Fuzz, RegressionInputsReplay) {
    LoadDll(true, 0);
    const auto inputs = ReadDirectory(velmora::test::TestDataPath(L"regressions\\"));
    size_t replayed = 0;
    for (const auto& [name, bytes] : inputs) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, L".bin") != 0) continue;
        ++replayed;
        EXPECT_EQ("", CheckInput(*dll, bytes, work.File(L"input.bin"), filterTemp.Path(), &spy))
            << velmora::test::Narrow(name);
    }
    if (replayed == 0) GTEST_SKIP() << "no regression inputs recorded";
}

}  // namespace
}  // namespace velmora::fuzz::test
