// The browser window's channel: whatever bytes the other process sends, the framing
// never reads outside them; a frame it takes is exactly its fields, one after another;
// what is too large or does not fill its frame is refused; a message written whole
// reads back as itself, and never before its last byte has come.
#include "common.h"
#include "platform/frame.h"

namespace {

std::string frameOf(const std::vector<std::string>& fields) {
    std::string body;
    char length[4];
    for (const std::string& f : fields) {
        platform::putFrameLength(length, std::uint32_t(f.size()));
        body.append(length, 4);
        body += f;
    }
    platform::putFrameLength(length, std::uint32_t(body.size()));
    return std::string(length, 4) + body;
}

}  // namespace

std::vector<std::string> FuzzSeeds() {
    return {
        std::string(1, '\0') + frameOf({"open", "BANK", "https://bank.example/", "carol", "p\"w", "1"}),
        std::string(1, '\1') + "\x04open\x04" + "fill\x00" + "\x05" + "https",
        std::string(1, '\0') + frameOf({"fill"}) + frameOf({}) + frameOf({"copy", std::string("pa\0ss", 5)}),
        std::string(1, '\0') + std::string("\x00\x10\x00\x01", 4) + "xx",
        std::string(1, '\0') + std::string("\x00\x00\x00\x05\x00\x00\x00\x02", 8) + "ab",
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t mode = in.byte();
    std::vector<platform::FrameField> fields;
    if (mode & 1) {
        // Fields taken from the input, written as a frame, read back whole and in parts.
        std::vector<std::string> message;
        while (in.left()) message.push_back(in.shortText());
        const std::string frame = frameOf(message);
        std::size_t used = 0;
        FUZZ_CHECK(platform::readFrame(frame.data(), frame.size(), fields, used) == platform::FrameState::Complete);
        FUZZ_CHECK(used == frame.size() && fields.size() == message.size());
        for (std::size_t i = 0; i < fields.size(); ++i)
            FUZZ_CHECK(frame.compare(fields[i].at, fields[i].size, message[i]) == 0);
        const std::string more = frame + frame.substr(0, frame.size() / 2);
        FUZZ_CHECK(platform::readFrame(more.data(), more.size(), fields, used) == platform::FrameState::Complete &&
                   used == frame.size());
        for (std::size_t cut = 0; cut < frame.size(); cut += 1 + cut / 3)
            FUZZ_CHECK(platform::readFrame(frame.data(), cut, fields, used) == platform::FrameState::Incomplete);
        return 0;
    }
    // Any bytes, as they would sit in the channel's buffer: frame after frame.
    const std::string bytes = in.rest();
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t used = 0;
        const platform::FrameState state = platform::readFrame(bytes.data() + at, bytes.size() - at, fields, used);
        if (state != platform::FrameState::Complete) {
            FUZZ_CHECK(fields.empty());
            if (state == platform::FrameState::Incomplete) {
                const std::size_t left = bytes.size() - at;
                FUZZ_CHECK(left < 4 || left - 4 < (std::uint32_t(std::uint8_t(bytes[at])) << 24 |
                                                   std::uint32_t(std::uint8_t(bytes[at + 1])) << 16 |
                                                   std::uint32_t(std::uint8_t(bytes[at + 2])) << 8 |
                                                   std::uint32_t(std::uint8_t(bytes[at + 3]))));
            }
            break;
        }
        // The fields lie one after another, each behind its length, and fill the frame.
        std::size_t next = 4;
        for (const platform::FrameField& f : fields) {
            FUZZ_CHECK(f.at == next + 4);
            next = f.at + f.size;
        }
        FUZZ_CHECK(next == used && used >= 4 && used <= bytes.size() - at && used - 4 <= platform::kMaxMessage);
        at += used;
    }
    return 0;
}
