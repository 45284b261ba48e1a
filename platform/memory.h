// Physical memory figures for the main window's "Your Computer:" panel.
#pragma once
#include <cstdint>
#include <QString>

namespace platform {

enum class MemoryKind {
    TotalPhysical,
    AvailablePhysical
};

// Whole megabytes of total or available physical memory (bytes / 1048576, rounded to
// the nearest whole number, halves to even).
std::int64_t memoryFigure(MemoryKind kind);

// bytes / 1048576.0 rounded halves to even.
std::int64_t megabytesRounded(std::uint64_t bytes);

// The three lines of the panel for the given megabytes.
struct MemoryLines {
    QString total;      // Label9
    QString available;  // Label10
    QString percent;    // Label11
};
MemoryLines memoryLines(std::int64_t totalMb, std::int64_t availMb);

}  // namespace platform
