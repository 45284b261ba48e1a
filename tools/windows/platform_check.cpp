// Runs the Windows-only code of platform/ on 32-bit Windows (under Wine here): the
// per-user application-data folder from SHGetSpecialFolderPathA, and the memory figures
// from GlobalMemoryStatusEx looked up by name in kernel32.dll. The shell opener
// (ShellExecuteA) is built and linked but not called: it would start a program.
#include <cstdio>

#include "platform/appdata.h"
#include "platform/memory.h"
#include "platform/shell.h"

namespace platform {
std::string toWindows1252(const QString& text) { return text.s; }
}  // namespace platform

int main() {
    const std::string appData = platform::appDataFolder();
    const auto total = platform::memoryFigure(platform::MemoryKind::TotalPhysical);
    const auto avail = platform::memoryFigure(platform::MemoryKind::AvailablePhysical);
    const platform::MemoryLines lines = platform::memoryLines(total, avail);
    std::printf("application data: %s\n%s\n%s\n%s\n", appData.c_str(), lines.total.s.c_str(), lines.available.s.c_str(),
                lines.percent.s.c_str());
    void (*opener)(const QString&, QObject*, std::function<void()>, platform::ShellShow) = &platform::shellOpen;
    const bool ok =
        !appData.empty() && appData.find(':') == 1 && total > 0 && avail > 0 && avail <= total && opener != nullptr;
    std::printf("%s\n", ok ? "platform check passed" : "platform check FAILED");
    return ok ? 0 : 1;
}
