// The framing of the browser window's channel, in plain C++ (no Qt), so that the
// fuzzers and the sanitizer build take it too: a message is a 4-byte big-endian length
// and then its fields, each a 4-byte big-endian length and its bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// A message larger than this is no message of ours.
constexpr std::uint32_t kMaxMessage = 1 << 20;

// Where one field of a frame lies in the bytes read.
struct FrameField {
    std::size_t at;
    std::size_t size;
};

enum class FrameState {
    Incomplete,  // the frame's bytes have not all arrived yet
    Complete,    // fields and frameSize are set
    Refused,     // too large, or its fields do not fill it exactly: no message of ours
};

// The first frame of bytes: its fields and its whole size, length included.
FrameState readFrame(const char* bytes, std::size_t size, std::vector<FrameField>& fields, std::size_t& frameSize);

// The length as the frame writes it.
inline void putFrameLength(char out[4], std::uint32_t n) {
    out[0] = char(n >> 24);
    out[1] = char(n >> 16);
    out[2] = char(n >> 8);
    out[3] = char(n);
}

}  // namespace platform
