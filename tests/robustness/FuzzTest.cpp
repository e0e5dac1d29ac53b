// Short fuzzing run, the seed files and every recorded regression input,
// each through both host paths of the DLL with all the loop's checks.
#include "DllFixture.h"
#include "PropertyPack.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

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
    // With the property pack, so that its wildcard paths meet the huge arrays.
    velmora::test::DeclarePropertyPack();
    LoadDll(true, 0);  // no log: the run measures the filter, not the debugger output
    std::vector<std::string> seeds;
    for (auto& [name, bytes] : ReadDirectory(DataDirectory())) seeds.push_back(std::move(bytes));
    for (auto& [name, bytes] : ReadDirectory(DataDirectory() + L"raw\\")) seeds.push_back(std::move(bytes));
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

// The camera raw files alone as seeds, so that their readers meet forged
// offsets and lengths of their own structures in every input.
TEST_F(Fuzz, ShortRunOverTheRawContainersFindsNothing) {
    LoadDll(true, 0);
    std::vector<std::string> seeds;
    for (auto& [name, bytes] : ReadDirectory(DataDirectory() + L"raw\\")) seeds.push_back(std::move(bytes));
    ASSERT_GE(seeds.size(), 10u);
    FuzzOptions options;
    options.seeds = seeds;
    options.seed = 27;
    options.count = 400;
    options.seconds = 100;
    options.inputSeconds = 15;
    options.workDirectory = work.Path();
    options.filterTempDirectory = filterTemp.Path();
    options.spy = &spy;
    const FuzzReport report = RunFuzz(*dll, options);
    EXPECT_EQ(options.count, report.inputs) << "the run stopped at its time limit";
    EXPECT_GT(report.loadedWithXmp, 0u) << "no input yielded a chunk";
    EXPECT_TRUE(report.findings.empty()) << Describe(report.findings);
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

// What the README of the regression inputs says each one gives: the load
// result and the chunks, from the last column of the file's table row, for
// example "S_OK, no chunks" or "S_OK, 4 chunks".
struct ExpectedOutcome {
    std::string load;    // "S_OK", "E_FAIL" or a code in hex
    std::string chunks;  // "no chunks" or "N chunks"
};

std::map<std::string, ExpectedOutcome> ReadExpectedOutcomes() {
    std::map<std::string, ExpectedOutcome> outcomes;
    std::string readme;
    if (!ReadWholeFile(velmora::test::TestDataPath(L"regressions\\README.md"), readme)) return outcomes;
    std::istringstream lines(readme);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 2 || line.compare(0, 2, "| ") != 0) continue;
        const size_t nameEnd = line.find(" |");
        const size_t lastStart = line.rfind("| ", line.size() - 2);
        if (nameEnd == std::string::npos || lastStart == std::string::npos || lastStart <= nameEnd) continue;
        const std::string name = line.substr(2, nameEnd - 2);
        std::string last = line.substr(lastStart + 2);
        if (last.size() >= 2 && last.compare(last.size() - 2, 2, " |") == 0) last.resize(last.size() - 2);
        const size_t comma = last.find(", ");
        if (comma == std::string::npos) continue;
        outcomes[name] = {last.substr(0, comma), last.substr(comma + 2)};
    }
    return outcomes;
}

std::string LoadName(HRESULT hr) {
    if (hr == S_OK) return "S_OK";
    if (hr == E_FAIL) return "E_FAIL";
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string ChunksName(const DrainResult& drain) {
    const size_t chunks = drain.valueChunks + drain.textChunks;
    return chunks == 0 ? "no chunks" : std::to_string(chunks) + " chunks";
}

// Inputs that once crashed, hung, leaked or broke the protocol: each still
// passes every check, and gives the outcome its README line states.
TEST_F(Fuzz, RegressionInputsReplay) {
    LoadDll(true, 0);
    const auto inputs = ReadDirectory(velmora::test::TestDataPath(L"regressions\\"));
    const auto expected = ReadExpectedOutcomes();
    size_t replayed = 0;
    for (const auto& [name, bytes] : inputs) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, L".bin") != 0) continue;
        ++replayed;
        const std::string file = velmora::test::Narrow(name);
        SCOPED_TRACE(file);
        EXPECT_EQ("", CheckInput(*dll, bytes, work.File(L"input.bin"), filterTemp.Path(), &spy));

        const auto outcome = expected.find(file);
        if (outcome == expected.end()) {
            ADD_FAILURE() << "README.md states no expected outcome for " << file;
            continue;
        }
        const std::wstring path = work.File(L"replay.bin");
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        for (Face face : {Face::File, Face::Stream}) {
            SCOPED_TRACE(face == Face::File ? "file" : "stream");
            const HostRun run = RunDocument(*dll, face, path, bytes);
            EXPECT_EQ(outcome->second.load, LoadName(run.load));
            if (SUCCEEDED(run.load)) {
                EXPECT_EQ(outcome->second.chunks, ChunksName(run.drain));
            }
        }
        DeleteFileW(path.c_str());
    }
    if (replayed == 0) GTEST_SKIP() << "no regression inputs recorded";
}

}  // namespace
}  // namespace velmora::fuzz::test
