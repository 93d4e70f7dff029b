// Counts, on the host's in-memory registry, what RegistryCleaner::DeleteKeyTree asks of the
// registry for each key it removes, and how much memory a removal holds at its peak as chains of
// keys get deeper.
//
//   registry_calls_bench           markdown tables on stdout
//   registry_calls_bench --smoke   small trees only
//
// Exits with 1 when a tree is not gone afterwards or a handle is left open.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform/host/fake_registry.h"
#include "registry/registry_cleaner.h"

// ---- Heap accounting ---------------------------------------------------------------------------
//
// Every plain operator new of the program is counted: bytes live now and the most ever live while
// a measurement runs. The stand-in's call log is part of the heap too, but it is the benchmark's
// instrument, not the removal's memory: while measuring, the bytes held by log entries are taken
// off the live total before it is compared with the peak.

namespace {

struct alignas(std::max_align_t) Header {
    size_t size;
};

size_t g_live = 0;
bool g_measuring = false;
bool g_in_hook = false;
size_t g_peak = 0;            // most live bytes, log entries excluded, while measuring
size_t g_peak_handles = 0;    // most open handles seen while measuring
size_t g_log_scanned = 0;     // log entries already counted in g_log_bytes
size_t g_log_bytes = 0;       // heap bytes held by the strings of those entries

size_t StringHeapBytes(const std::string& s) {
    // A string keeps short contents inside itself; longer ones take capacity + 1 bytes.
    std::string probe;
    return s.capacity() > probe.capacity() ? s.capacity() + 1 : 0;
}

void Observe() {
    if (!g_measuring || g_in_hook) {
        return;
    }
    g_in_hook = true;
    const std::vector<fake_registry::Call>& log = fake_registry::CallLog();
    for (; g_log_scanned < log.size(); ++g_log_scanned) {
        g_log_bytes += StringHeapBytes(log[g_log_scanned].key);
    }
    size_t live = g_live - g_log_bytes;
    if (live > g_peak) {
        g_peak = live;
    }
    size_t handles = fake_registry::OpenHandleCount();
    if (handles > g_peak_handles) {
        g_peak_handles = handles;
    }
    g_in_hook = false;
}

void* Allocate(size_t size) {
    void* block = std::malloc(sizeof(Header) + size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    static_cast<Header*>(block)->size = size;
    g_live += size;
    Observe();
    return static_cast<Header*>(block) + 1;
}

void Release(void* p) {
    if (p == nullptr) {
        return;
    }
    Header* header = static_cast<Header*>(p) - 1;
    g_live -= header->size;
    std::free(header);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

// ---- Value queries -----------------------------------------------------------------------------
//
// The call log has no entry for value queries, which the removal makes too (whether a key is a
// link). The link step puts this wrapper between the registry library and the stand-in's
// RegQueryValueExA (-Wl,--wrap with its C++ name, see CMakeLists.txt).

namespace {
long long g_value_queries = 0;
}  // namespace

LONG RealQueryValue(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) __asm__(
    "__real__Z16RegQueryValueExAP6HKEY__PKcPjS3_PhS3_");
LONG CountedQueryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                       LPDWORD data_length) __asm__("__wrap__Z16RegQueryValueExAP6HKEY__PKcPjS3_PhS3_");
LONG CountedQueryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                       LPDWORD data_length) {
    ++g_value_queries;
    return RealQueryValue(key, name, reserved, type, data, data_length);
}

namespace {

const char kTreePath[] = "Software\\UninstallerBench\\tree";
const std::string kTreeFullPath = std::string("HKCU\\") + kTreePath;

int g_failures = 0;

void SetValues(HKEY key, int index) {
    std::string name = "entry " + std::to_string(index);
    DWORD size = static_cast<DWORD>(index);
    RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                   static_cast<DWORD>(name.size() + 1));
    RegSetValueExA(key, "Size", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&size), sizeof(size));
}

HKEY Create(HKEY parent, const std::string& name, int index) {
    HKEY key;
    if (RegCreateKeyExA(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "could not create %s\n", name.c_str());
        std::exit(2);
    }
    SetValues(key, index);
    return key;
}

// The same shapes as the Windows benchmark: a complete tree in breadth-first numbering, or
// chains of `depth` keys below the top key.
void BuildWide(HKEY key, int index, int keys, int fan_out) {
    for (long long c = static_cast<long long>(fan_out) * index + 1;
         c <= static_cast<long long>(fan_out) * index + fan_out && c < keys; ++c) {
        HKEY child = Create(key, "k" + std::to_string(c), static_cast<int>(c));
        BuildWide(child, static_cast<int>(c), keys, fan_out);
        RegCloseKey(child);
    }
}

void BuildDeep(HKEY top, int keys, int depth) {
    int index = 1;
    for (int chain = 0; index < keys; ++chain) {
        HKEY parent = top;
        for (int level = 0; level < depth && index < keys; ++level, ++index) {
            HKEY child = Create(parent, level == 0 ? "c" + std::to_string(chain)
                                                   : "d" + std::to_string(level), index);
            if (parent != top) RegCloseKey(parent);
            parent = child;
        }
        if (parent != top) RegCloseKey(parent);
    }
}

enum class Shape { kWide, kDeep };

void Build(Shape shape, int keys, int parameter) {
    HKEY top = Create(HKEY_CURRENT_USER, kTreePath, 0);
    if (shape == Shape::kWide) {
        BuildWide(top, 0, keys, parameter);
    } else {
        BuildDeep(top, keys, parameter);
    }
    RegCloseKey(top);
}

// Returns how many calls the removal logged; the check after it logs more.
size_t RemoveAndCheck() {
    RegistryCleaner cleaner;
    cleaner.DeleteKeyTree(HKEY_CURRENT_USER, kTreePath);
    size_t logged = fake_registry::CallLog().size();
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTreePath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        std::fprintf(stderr, "the tree is still there\n");
        ++g_failures;
    }
    if (fake_registry::OpenHandleCount() != 0) {
        std::fprintf(stderr, "%zu handles left open\n", fake_registry::OpenHandleCount());
        ++g_failures;
    }
    return logged;
}

// ---- Calls per key -----------------------------------------------------------------------------

struct KeyCalls {
    int opens = 0, enums = 0, deletes = 0, closes = 0;
    int children = 0;  // subkeys the enumeration reported
};

void CallsPerKey(const char* shape_name, Shape shape, int keys, int parameter) {
    Build(shape, keys, parameter);
    fake_registry::ClearCallLog();
    g_value_queries = 0;
    size_t logged = RemoveAndCheck();
    long long queries = g_value_queries;

    std::map<std::string, KeyCalls> per_key;
    int failed_calls = 0;
    const std::vector<fake_registry::Call>& log = fake_registry::CallLog();
    for (size_t i = 0; i < logged; ++i) {
        const fake_registry::Call& call = log[i];
        if (call.key.compare(0, kTreeFullPath.size(), kTreeFullPath) != 0) {
            continue;
        }
        KeyCalls& k = per_key[call.key];
        switch (call.op) {
        case fake_registry::Call::kOpen: ++k.opens; break;
        case fake_registry::Call::kCreate: break;
        case fake_registry::Call::kEnum:
            ++k.enums;
            if (call.result == ERROR_SUCCESS) ++k.children;
            break;
        case fake_registry::Call::kDelete: ++k.deletes; break;
        case fake_registry::Call::kClose: ++k.closes; break;
        }
        bool expected = call.result == ERROR_SUCCESS ||
                        (call.op == fake_registry::Call::kEnum && call.result == ERROR_NO_MORE_ITEMS);
        if (!expected) ++failed_calls;
    }
    if (static_cast<int>(per_key.size()) != keys) {
        std::fprintf(stderr, "%s: calls touched %zu keys, the tree has %d\n", shape_name,
                     per_key.size(), keys);
        ++g_failures;
    }
    long long opens = 0, enums = 0, deletes = 0, closes = 0, minimum = 0;
    int above_minimum = 0;
    for (const auto& entry : per_key) {
        const KeyCalls& k = entry.second;
        opens += k.opens;
        enums += k.enums;
        deletes += k.deletes;
        closes += k.closes;
        int least = 1 + (k.children + 1) + 1 + 1;
        minimum += least;
        if (k.opens + k.enums + k.deletes + k.closes > least) ++above_minimum;
    }
    double n = keys;
    std::printf("| %s | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %d | %d |\n",
                shape_name, keys, opens / n, enums / n, deletes / n, closes / n,
                (opens + enums + deletes + closes) / n, minimum / n, queries / n, above_minimum,
                failed_calls);
}

// ---- Peak memory against depth -----------------------------------------------------------------

struct Peak {
    size_t bytes;
    size_t handles;
};

Peak MeasureChain(int depth) {
    // A first removal of the same chain grows the call log to the size this one needs, so the
    // log's own array is not reallocated (and counted) while measuring.
    for (int pass = 0; pass < 2; ++pass) {
        Build(Shape::kDeep, depth + 1, depth);
        fake_registry::ClearCallLog();
        g_log_scanned = 0;
        g_log_bytes = 0;
        g_peak = g_live;
        g_peak_handles = 0;
        size_t baseline = g_live;
        g_measuring = pass == 1;
        RemoveAndCheck();
        g_measuring = false;
        if (pass == 1) {
            return {g_peak - baseline, g_peak_handles};
        }
    }
    return {0, 0};
}

}  // namespace

int main(int argc, char** argv) {
    bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;

    std::printf("Registry calls per key removed by DeleteKeyTree (host stand-in's call log). "
                "Least = per key 1 open + (subkeys + 1) enumerations + 1 delete + 1 close.\n\n");
    std::printf("| shape | keys | opens | enums | deletes | closes | total | least | "
                "value queries (not in the log) | keys above least | failed calls |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    CallsPerKey("wide, fan-out 30", Shape::kWide, smoke ? 100 : 10000, 30);
    CallsPerKey(smoke ? "deep, chains of 20" : "deep, chains of 200", Shape::kDeep,
                smoke ? 100 : 10000, smoke ? 20 : 200);

    std::printf("\nHeap held at the peak of removing one chain, above what the chain itself "
                "holds (call log entries not counted):\n\n");
    std::printf("| depth | peak bytes | bytes per level | open handles at most |\n");
    std::printf("|---:|---:|---:|---:|\n");
    const int depths[] = {10, 100, 1000};
    for (int depth : depths) {
        if (smoke && depth > 100) break;
        Peak peak = MeasureChain(depth);
        std::printf("| %d | %zu | %.0f | %zu |\n", depth, peak.bytes,
                    static_cast<double>(peak.bytes) / depth, peak.handles);
    }
    return g_failures ? 1 : 0;
}
