#include "platform/frame.h"

namespace platform {

namespace {
std::uint32_t lengthAt(const char* at) {
    const auto* b = reinterpret_cast<const unsigned char*>(at);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | std::uint32_t(b[3]);
}
}  // namespace

FrameState readFrame(const char* bytes, std::size_t size, std::vector<FrameField>& fields, std::size_t& frameSize) {
    fields.clear();
    if (size < 4) return FrameState::Incomplete;
    const std::uint32_t length = lengthAt(bytes);
    if (length > kMaxMessage) return FrameState::Refused;
    if (size - 4 < length) return FrameState::Incomplete;
    const std::size_t end = 4 + std::size_t(length);
    std::size_t at = 4;
    while (at < end) {
        if (end - at < 4) break;
        const std::uint32_t n = lengthAt(bytes + at);
        if (n > end - at - 4) break;
        fields.push_back({at + 4, n});
        at += 4 + std::size_t(n);
    }
    if (at != end) {
        fields.clear();
        return FrameState::Refused;
    }
    frameSize = end;
    return FrameState::Complete;
}

}  // namespace platform
