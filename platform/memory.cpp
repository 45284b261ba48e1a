#include "platform/memory.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/sysinfo.h>
#endif

namespace platform {

std::int64_t megabytesRounded(std::uint64_t bytes) {
    // The floating-point default rounding: to the nearest, halves to the even one.
    return static_cast<std::int64_t>(std::nearbyint(static_cast<double>(bytes) / 1048576.0));
}

#ifdef _WIN32

namespace {
struct MemoryStatusEx {  // MEMORYSTATUSEX, 64 bytes
    DWORD dwLength;
    DWORD dwMemoryLoad;
    DWORDLONG ullTotalPhys;
    DWORDLONG ullAvailPhys;
    DWORDLONG ullTotalPageFile;
    DWORDLONG ullAvailPageFile;
    DWORDLONG ullTotalVirtual;
    DWORDLONG ullAvailVirtual;
    DWORDLONG ullAvailExtendedVirtual;
};
static_assert(sizeof(MemoryStatusEx) == 64, "MEMORYSTATUSEX is 64 bytes");
using GlobalMemoryStatusExFn = BOOL(WINAPI*)(MemoryStatusEx*);
}  // namespace

std::int64_t memoryFigure(MemoryKind kind) {
    HMODULE kernel = LoadLibraryA("kernel32.dll");
    if (kernel) {
        auto fn = reinterpret_cast<GlobalMemoryStatusExFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "GlobalMemoryStatusEx")));
        if (fn) {
            MemoryStatusEx status;
            std::memset(&status, 0, sizeof status);
            status.dwLength = 64;
            std::uint64_t bytes = 0;
            if (fn(&status)) bytes = kind == MemoryKind::TotalPhysical ? status.ullTotalPhys : status.ullAvailPhys;
            const std::int64_t mb = megabytesRounded(bytes);
            FreeLibrary(kernel);
            return mb;
        }
        FreeLibrary(kernel);
    }
    MEMORYSTATUS status;
    std::memset(&status, 0, sizeof status);
    status.dwLength = 32;
    GlobalMemoryStatus(&status);
    const std::uint32_t bytes =
        static_cast<std::uint32_t>(kind == MemoryKind::TotalPhysical ? status.dwTotalPhys : status.dwAvailPhys);
    return megabytesRounded(bytes);
}

#else

namespace {
// A figure of /proc/meminfo in bytes, or -1.
long long meminfoBytes(const char* key) {
    FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return -1;
    char line[256];
    long long result = -1;
    const std::size_t keyLen = std::strlen(key);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, key, keyLen) == 0 && line[keyLen] == ':') {
            long long kb = 0;
            if (std::sscanf(line + keyLen + 1, "%lld", &kb) == 1) result = kb * 1024;
            break;
        }
    }
    std::fclose(f);
    return result;
}
}  // namespace

std::int64_t memoryFigure(MemoryKind kind) {
    long long bytes = meminfoBytes(kind == MemoryKind::TotalPhysical ? "MemTotal" : "MemAvailable");
    if (bytes < 0) {
        struct sysinfo info;
        if (sysinfo(&info) != 0) return 0;
        const unsigned long long unit = info.mem_unit ? info.mem_unit : 1;
        bytes = static_cast<long long>((kind == MemoryKind::TotalPhysical ? info.totalram : info.freeram) * unit);
    }
    return megabytesRounded(static_cast<std::uint64_t>(bytes));
}

#endif

MemoryLines memoryLines(std::int64_t totalMb, std::int64_t availMb) {
    MemoryLines lines;
    lines.total = QStringLiteral("RAM memory on your system   : %1k").arg(totalMb);
    lines.available = QStringLiteral("RAM memory currently available    : %1k").arg(availMb);
    // avail div (total div 100); below 100 MB the hundredth is 0, so the share is
    // taken directly as avail * 100 div total (and 0 when there is no total at all).
    const std::int64_t hundredth = totalMb / 100;
    std::int64_t percent;
    if (hundredth != 0)
        percent = availMb / hundredth;
    else if (totalMb > 0)
        percent = availMb * 100 / totalMb;
    else
        percent = 0;
    lines.percent = QStringLiteral("RAM memory available: %1%").arg(percent);
    return lines;
}

}  // namespace platform
