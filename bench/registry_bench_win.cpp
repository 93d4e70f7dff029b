// Times the removal of whole key trees below HKEY_CURRENT_USER\Software\UninstallerBench:
// RegistryCleaner::DeleteKeyTree against RegDeleteTreeA (+ RegDeleteKeyA for the top key) and
// SHDeleteKeyA, on identical wide and deep trees, and `reg delete` on the largest ones.
//
//   registry_bench              the full run: markdown tables on stdout
//   registry_bench --smoke      tiny trees, one removal per method, checks only
//   registry_bench --probe      how deep a chain of keys can go and still be removed
//   registry_bench --calls      one removal per method and shape between marker opens, for a
//                               wineserver trace (WINEDEBUG=+server) to count the requests
//
// Every removal is followed by a check that the tree's top key no longer opens; the program
// exits with 1 when one is still there, 2 on a failure to build a tree.
#include "platform/windows_api.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "registry/registry_cleaner.h"

namespace {

const char kBenchRoot[] = "Software\\UninstallerBench";

enum class Shape { kWide, kDeep };

struct Tree {
    Shape shape;
    int keys;     // every key of the tree, its top key included
    int fan_out;  // wide: subkeys per key
    int depth;    // deep: keys per chain below the top key
};

const char* ShapeName(Shape shape) { return shape == Shape::kWide ? "wide" : "deep"; }

std::string TreePath(const Tree& tree) {
    return std::string(kBenchRoot) + "\\" + ShapeName(tree.shape) + std::to_string(tree.keys);
}

// A few small values on every key, as an application's settings would have.
bool SetValues(HKEY key, int index) {
    std::string name = "entry " + std::to_string(index);
    std::string path = "C:\\Program Files\\Example\\item" + std::to_string(index) + ".dat";
    DWORD size = static_cast<DWORD>(index) * 7u;
    return RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                          static_cast<DWORD>(name.size() + 1)) == ERROR_SUCCESS &&
           RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                          static_cast<DWORD>(path.size() + 1)) == ERROR_SUCCESS &&
           RegSetValueExA(key, "Size", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&size),
                          sizeof(size)) == ERROR_SUCCESS;
}

bool CreateChild(HKEY parent, const std::string& name, int index, HKEY* child) {
    DWORD disposition = 0;
    if (RegCreateKeyExA(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, child, &disposition) != ERROR_SUCCESS) {
        return false;
    }
    if (!SetValues(*child, index)) {
        RegCloseKey(*child);
        return false;
    }
    return true;
}

// Wide trees are complete trees in breadth-first numbering: key i has the subkeys
// fan_out*i+1 .. fan_out*i+fan_out that are below `keys`. Built depth first, so only one handle
// per level is open at a time.
bool BuildWide(HKEY key, int index, const Tree& tree) {
    long long first = static_cast<long long>(tree.fan_out) * index + 1;
    for (long long child_index = first;
         child_index < first + tree.fan_out && child_index < tree.keys; ++child_index) {
        HKEY child;
        int i = static_cast<int>(child_index);
        if (!CreateChild(key, "k" + std::to_string(i), i, &child)) {
            return false;
        }
        bool ok = BuildWide(child, i, tree);
        RegCloseKey(child);
        if (!ok) {
            return false;
        }
    }
    return true;
}

// Deep trees are chains of `depth` keys hanging from the top key, the last one shorter.
bool BuildDeep(HKEY top, const Tree& tree) {
    int index = 1;
    for (int chain = 0; index < tree.keys; ++chain) {
        HKEY parent = top;
        for (int level = 0; level < tree.depth && index < tree.keys; ++level, ++index) {
            std::string name = level == 0 ? "c" + std::to_string(chain) : "d" + std::to_string(level);
            HKEY child;
            bool ok = CreateChild(parent, name, index, &child);
            if (parent != top) {
                RegCloseKey(parent);
            }
            if (!ok) {
                return false;
            }
            parent = child;
        }
        if (parent != top) {
            RegCloseKey(parent);
        }
    }
    return true;
}

bool KeyExists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool BuildTree(const Tree& tree) {
    std::string path = TreePath(tree);
    if (KeyExists(path)) {
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    }
    HKEY top;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &top, &disposition) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = SetValues(top, 0) &&
              (tree.shape == Shape::kWide ? BuildWide(top, 0, tree) : BuildDeep(top, tree));
    RegCloseKey(top);
    return ok;
}

enum Method { kOurs, kRegDeleteTree, kShDeleteKey, kRegExe, kMethodCount };

const char* MethodName(int method) {
    static const char* const kNames[] = {"DeleteKeyTree", "RegDeleteTreeA", "SHDeleteKeyA",
                                         "reg delete"};
    return kNames[method];
}

// `reg delete HKCU\<path> /f` in its own process, as someone would type it; its output goes to
// NUL. Returns the process's exit code, or -1 when it could not be started.
int RunRegDelete(const std::string& path) {
    char system_dir[MAX_PATH];
    UINT length = GetSystemDirectoryA(system_dir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return -1;
    }
    std::string program = std::string(system_dir) + "\\reg.exe";
    std::string command = "reg delete \"HKCU\\" + path + "\" /f";
    std::vector<char> command_line(command.begin(), command.end());
    command_line.push_back('\0');

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                                  nullptr, nullptr, &startup, &process);
    if (nul != INVALID_HANDLE_VALUE) {
        CloseHandle(nul);
    }
    if (!started) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

void Remove(int method, const std::string& path) {
    switch (method) {
    case kOurs: {
        RegistryCleaner cleaner;
        cleaner.DeleteKeyTree(HKEY_CURRENT_USER, path.c_str());
        break;
    }
    case kRegDeleteTree:
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
        break;
    case kShDeleteKey:
        SHDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
        break;
    case kRegExe:
        RunRegDelete(path);
        break;
    }
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

int g_failures = 0;

// Builds the tree (untimed), removes it with `method` (timed) and checks that it is gone.
// Returns the seconds the removal took, or a negative number when the tree could not be built.
double TimedRemoval(const Tree& tree, int method) {
    if (!BuildTree(tree)) {
        std::fprintf(stderr, "could not build the %s tree of %d keys\n", ShapeName(tree.shape),
                     tree.keys);
        return -1;
    }
    std::string path = TreePath(tree);
    double start = Now();
    Remove(method, path);
    double seconds = Now() - start;
    if (KeyExists(path)) {
        ++g_failures;
        std::fprintf(stderr, "%s left HKCU\\%s in place\n", MethodName(method), path.c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    }
    return seconds;
}

void RemoveBenchRoot() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kBenchRoot);
    RegDeleteKeyA(HKEY_CURRENT_USER, kBenchRoot);
}

constexpr int kFanOut = 30;
// Chains stay well below the 512 levels Windows allows a key tree; Wine takes deeper ones.
constexpr int kChainDepth = 200;
// Removals per method and tree size. The smallest trees take a tenth of a second, where one
// hiccup of the machine weighs most, so they get the most rounds.
int RoundsFor(int keys) { return keys <= 1000 ? 15 : keys <= 10000 ? 7 : 3; }

int Smoke() {
    const Tree trees[] = {{Shape::kWide, 31, 5, 0}, {Shape::kDeep, 41, 0, 20}};
    for (const Tree& tree : trees) {
        for (int method = 0; method < kMethodCount; ++method) {
            int before = g_failures;
            if (TimedRemoval(tree, method) < 0) {
                RemoveBenchRoot();
                return 2;
            }
            std::printf("%s tree of %d keys: %s %s\n", ShapeName(tree.shape), tree.keys,
                        MethodName(method), g_failures == before ? "removed it" : "LEFT IT");
        }
    }
    RemoveBenchRoot();
    if (KeyExists(kBenchRoot)) {
        std::fprintf(stderr, "HKCU\\%s is still there\n", kBenchRoot);
        return 1;
    }
    return g_failures ? 1 : 0;
}

// Chains of growing depth: the deepest that can be made, and whether each method removes it.
int Probe() {
    const int depths[] = {100, 200, 300, 500, 1000, 2000};
    std::printf("| chain depth | path length | built | %s | %s | %s | %s |\n", MethodName(0),
                MethodName(1), MethodName(2), MethodName(3));
    std::printf("|---:|---:|---|---|---|---|---|\n");
    for (int depth : depths) {
        Tree tree = {Shape::kDeep, depth + 1, 0, depth};
        size_t path_length = TreePath(tree).size() + 3;  // "\c0"
        for (int level = 1; level < depth; ++level) {
            path_length += 2 + std::to_string(level).size();
        }
        std::printf("| %d | %zu |", depth, path_length);
        if (!BuildTree(tree)) {
            std::printf(" no | | | | |\n");
            RemoveBenchRoot();
            continue;
        }
        std::printf(" yes |");
        for (int method = 0; method < kMethodCount; ++method) {
            int before = g_failures;
            TimedRemoval(tree, method);
            std::printf(" %s |", g_failures == before ? "removed" : "**left**");
        }
        std::printf("\n");
    }
    RemoveBenchRoot();
    return 0;
}

// Opens a key that does not exist, so that the name shows in a wineserver trace. The trace
// reader (bench/server_calls) counts the requests the thread made between two of these.
void Mark(const char* what, int method, const Tree& tree) {
    std::string path = std::string(kBenchRoot) + "\\bench-" + what + "-" + MethodName(method) +
                       "-" + ShapeName(tree.shape) + "-" + std::to_string(tree.keys);
    for (char& c : path) {
        if (c == ' ') c = '_';
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

int Calls() {
    const Tree trees[] = {{Shape::kWide, 1000, kFanOut, 0}, {Shape::kDeep, 1000, 0, kChainDepth}};
    for (const Tree& tree : trees) {
        for (int method = 0; method < kMethodCount - 1; ++method) {
            if (!BuildTree(tree)) {
                RemoveBenchRoot();
                return 2;
            }
            std::string path = TreePath(tree);
            Mark("begin", method, tree);
            Remove(method, path);
            Mark("end", method, tree);
            if (KeyExists(path)) {
                ++g_failures;
                std::fprintf(stderr, "%s left HKCU\\%s in place\n", MethodName(method), path.c_str());
            }
        }
    }
    RemoveBenchRoot();
    return g_failures ? 1 : 0;
}

// What a round times, in turn: the three removals, and ours once more on trees up to 10,000
// keys. Ours against ours again shows how far apart two equal removals land on this machine:
// a ratio against a peer that is no further from 1 tells nothing.
const int kSlotMethod[] = {kOurs, kRegDeleteTree, kShDeleteKey, kOurs};
constexpr int kOursAgain = 3;
constexpr int kSlots = 4;
int SlotsFor(int keys) { return keys <= 10000 ? kSlots : kSlots - 1; }

struct Result {
    Tree tree;
    int slots;
    double median[kSlots];
    double ratio[kSlots];  // median over rounds of ours/slot, measured in the same round
    double lowest[kSlots];
    double highest[kSlots];
};

std::string RatioCell(const Result& r, int method) {
    if (method >= r.slots) {
        return "-";
    }
    char cell[64];
    std::snprintf(cell, sizeof(cell), "%.2f (%.2f-%.2f)", r.ratio[method], r.lowest[method],
                  r.highest[method]);
    return cell;
}

int Full() {
    const int sizes[] = {1000, 10000, 30000};
    const Shape shapes[] = {Shape::kWide, Shape::kDeep};
    std::vector<Result> results;

    // One untimed pass first, so that no method pays for first-time setup inside Wine.
    for (int method = 0; method < kMethodCount - 1; ++method) {
        if (TimedRemoval({Shape::kWide, 1000, kFanOut, 0}, method) < 0) {
            RemoveBenchRoot();
            return 2;
        }
    }

    // Round by round over every tree, so that a slow spell of the machine falls on all sizes
    // alike rather than on one of them.
    struct Series {
        Tree tree;
        int rounds;
        int slots;
        std::vector<double> times[kSlots];
        std::vector<double> ratios[kSlots];
    };
    std::vector<Series> series;
    int most_rounds = 0;
    for (Shape shape : shapes) {
        for (int keys : sizes) {
            Series s = {{shape, keys, kFanOut, kChainDepth}, RoundsFor(keys), SlotsFor(keys), {}, {}};
            most_rounds = std::max(most_rounds, s.rounds);
            series.push_back(s);
        }
    }
    for (int round = 0; round < most_rounds; ++round) {
        for (Series& s : series) {
            if (round >= s.rounds) {
                continue;
            }
            double t[kSlots];
            // Each round starts with a different slot, so none always runs first.
            for (int k = 0; k < s.slots; ++k) {
                int slot = (round + k) % s.slots;
                t[slot] = TimedRemoval(s.tree, kSlotMethod[slot]);
                if (t[slot] < 0) {
                    RemoveBenchRoot();
                    return 2;
                }
                s.times[slot].push_back(t[slot]);
            }
            for (int slot = 0; slot < s.slots; ++slot) {
                s.ratios[slot].push_back(t[kOurs] / t[slot]);
            }
        }
        std::fprintf(stderr, "round %d of %d done\n", round + 1, most_rounds);
    }
    for (const Series& s : series) {
        Result result = {s.tree, s.slots, {}, {}, {}, {}};
        for (int slot = 0; slot < s.slots; ++slot) {
            const std::vector<double>& ratios = s.ratios[slot];
            result.median[slot] = Median(s.times[slot]);
            result.ratio[slot] = Median(ratios);
            result.lowest[slot] = *std::min_element(ratios.begin(), ratios.end());
            result.highest[slot] = *std::max_element(ratios.begin(), ratios.end());
        }
        results.push_back(result);
    }

    std::printf("Removal time, median of %d, %d and %d rounds at 1,000, 10,000 and 30,000 keys. "
                "ours/peer = median over rounds of (our time / peer time) in the same round, "
                "lowest-highest in brackets; below 1 means ours was faster. ours/ours: the same "
                "removal timed twice per round, the noise floor of a ratio.\n\n",
                RoundsFor(1000), RoundsFor(10000), RoundsFor(30000));
    std::printf("| shape | keys | DeleteKeyTree ms | RegDeleteTreeA ms | SHDeleteKeyA ms | "
                "ours/RegDeleteTreeA | ours/SHDeleteKeyA | ours/ours | ours us/key |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Result& r : results) {
        std::printf("| %s | %d | %.1f | %.1f | %.1f | %s | %s | %s | %.1f |\n",
                    ShapeName(r.tree.shape), r.tree.keys, r.median[kOurs] * 1e3,
                    r.median[kRegDeleteTree] * 1e3, r.median[kShDeleteKey] * 1e3,
                    RatioCell(r, kRegDeleteTree).c_str(), RatioCell(r, kShDeleteKey).c_str(),
                    RatioCell(r, kOursAgain).c_str(),
                    r.median[kOurs] * 1e6 / r.tree.keys);
    }

    std::printf("\nCost per key at 30,000 keys over cost per key at 1,000 keys (medians):\n\n");
    std::printf("| shape | DeleteKeyTree | RegDeleteTreeA | SHDeleteKeyA |\n");
    std::printf("|---|---:|---:|---:|\n");
    for (Shape shape : shapes) {
        const Result* small = nullptr;
        const Result* large = nullptr;
        for (const Result& r : results) {
            if (r.tree.shape == shape && r.tree.keys == sizes[0]) small = &r;
            if (r.tree.shape == shape && r.tree.keys == sizes[2]) large = &r;
        }
        std::printf("| %s |", ShapeName(shape));
        for (int method = 0; method < 3; ++method) {
            double growth = (large->median[method] / large->tree.keys) /
                            (small->median[method] / small->tree.keys);
            std::printf(" %.2f |", growth);
        }
        std::printf("\n");
    }

    // By hand: one process per removal, so the start of reg.exe is measured on a one-key tree.
    std::printf("\n`reg delete HKCU\\...\\<tree> /f` started with CreateProcess, median of 3 "
                "(process start included):\n\n");
    std::printf("| shape | keys | reg delete ms | DeleteKeyTree ms (above) |\n");
    std::printf("|---|---:|---:|---:|\n");
    const Tree by_hand[] = {{Shape::kWide, 1, kFanOut, 0},
                                {Shape::kWide, 30000, kFanOut, 0},
                                {Shape::kDeep, 30000, 0, kChainDepth}};
    for (const Tree& tree : by_hand) {
        std::vector<double> samples;
        for (int round = 0; round < 3; ++round) {
            double t = TimedRemoval(tree, kRegExe);
            if (t < 0) {
                RemoveBenchRoot();
                return 2;
            }
            samples.push_back(t);
        }
        double ours = 0;
        for (const Result& r : results) {
            if (r.tree.shape == tree.shape && r.tree.keys == tree.keys) ours = r.median[kOurs];
        }
        std::printf("| %s | %d | %.1f | %s |\n", tree.keys == 1 ? "one key" : ShapeName(tree.shape),
                    tree.keys, Median(samples) * 1e3,
                    ours > 0 ? std::to_string(static_cast<int>(ours * 1e3 + 0.5)).c_str() : "-");
    }

    RemoveBenchRoot();
    if (g_failures) {
        std::fprintf(stderr, "%d removals left their tree in place\n", g_failures);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    RemoveBenchRoot();  // whatever an interrupted run left behind
    if (mode == "--smoke") {
        return Smoke();
    }
    if (mode == "--probe") {
        return Probe();
    }
    if (mode == "--calls") {
        return Calls();
    }
    if (!mode.empty()) {
        std::fprintf(stderr, "usage: registry_bench [--smoke | --probe | --calls]\n");
        return 2;
    }
    return Full();
}
