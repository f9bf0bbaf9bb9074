// Replays every committed input of every fuzz target: the seed corpus
// (corpus/<target>/) and each input that ever made a target fail
// (crashes/<target>/). A failed property is a test failure naming the file.
//
// pending_faults.txt lists inputs that fail because of a known fault whose
// fix is under way elsewhere, one per line: "<target>/<folder>/<file> <what
// the fault is>". Such an input is replayed like the others; while it still
// fails, it is reported by the PendingFaults test as skipped, with the fault.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace zv::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kFuzzFolder = ZV_FUZZ_FOLDER;

// "<target>/<folder>/<file>" -> the fault.
std::map<std::string, std::string> pendingFaults() {
    std::map<std::string, std::string> faults;
    std::ifstream in(kFuzzFolder / "pending_faults.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        faults[line.substr(0, blank)] = line.substr(blank + 1);
    }
    return faults;
}

struct TInput {
    std::string key;  // "<target>/<folder>/<file>"
    fs::path path;
};

std::vector<TInput> inputsOf(const std::string& target) {
    std::vector<TInput> inputs;
    for (const std::string folder : {"corpus", "crashes"}) {
        const fs::path dir = kFuzzFolder / folder / target;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string file = entry.path().filename().string();
            if (entry.is_regular_file() && file[0] != '.')
                inputs.push_back({target + "/" + folder + "/" + file, entry.path()});
        }
    }
    std::sort(inputs.begin(), inputs.end(), [](const TInput& a, const TInput& b) { return a.key < b.key; });
    return inputs;
}

std::string readInput(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Inputs of pending faults that still fail, with the fault and the failure.
std::vector<std::string>& stillPending() {
    static std::vector<std::string> pending;
    return pending;
}

void replayTarget(const std::string& name) {
    const auto& targets = registeredTargets();
    auto target = std::find_if(targets.begin(), targets.end(), [&](const TTarget& t) { return t.name == name; });
    ASSERT_NE(target, targets.end()) << "no fuzz target named " << name;
    const auto faults = pendingFaults();
    const std::vector<TInput> inputs = inputsOf(name);
    EXPECT_FALSE(inputs.empty()) << "no committed inputs for " << name;
    for (const auto& [key, path] : inputs) {
        const std::string bytes = readInput(path);
        std::string failure;
        try {
            target->entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        } catch (const std::exception& e) {
            failure = e.what();
        }
        if (failure.empty()) {
            if (faults.count(key))
                std::printf("note: %s passes now; its line in pending_faults.txt can go\n", key.c_str());
            continue;
        }
        if (auto fault = faults.find(key); fault != faults.end()) {
            stillPending().push_back(key + ": " + fault->second + " (" + failure + ")");
            continue;
        }
        ADD_FAILURE() << key << ": " << failure;
    }
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzReplay, EveryCommittedInputKeepsTheTargetsProperties) { replayTarget(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         ::testing::Values("request", "record", "store", "journal", "phonebook", "date_time",
                                           "smtp_reply", "settings", "schedule", "ical"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Runs after the replays in the same process when all run together; on its
// own it replays the pending inputs itself.
TEST(FuzzReplayPending, InputsOfFaultsBeingFixedElsewhere) {
    if (stillPending().empty()) {
        std::map<std::string, bool> seen;
        for (const auto& [key, fault] : pendingFaults()) {
            const std::string target = key.substr(0, key.find('/'));
            if (!seen[target]) {
                seen[target] = true;
                replayTarget(target);
            }
        }
    }
    if (stillPending().empty()) return;
    std::string all;
    for (const std::string& p : stillPending()) all += "\n  " + p;
    GTEST_SKIP() << "inputs that wait for a fix:" << all;
}

}  // namespace
}  // namespace zv::fuzz
