#include "output/printlayout.h"

namespace output {

std::size_t TextChannel::fittingLength(std::string_view text) const {
    const int room = dev_.pageWidth() - x_;
    if (dev_.textWidth(text) <= room) return text.size();
    // Widths grow with every character added: find the longest prefix that fits.
    std::size_t lo = 0, hi = text.size() - 1;  // prefix lo fits (or is empty), hi + 1 does not
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo + 1) / 2;
        if (dev_.textWidth(text.substr(0, mid)) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

void TextChannel::write(std::string_view text) {
    while (!text.empty()) {
        std::size_t n = fittingLength(text);
        // A character wider than a whole line still goes out, clipped, rather than
        // holding the channel in an endless run of empty lines.
        if (n == 0 && x_ == 0) n = 1;
        if (n > 0) {
            const std::string_view piece = text.substr(0, n);
            int h = dev_.textHeight(piece) + 2;
            if (h > lineAdvance_) lineAdvance_ = h;
            dev_.drawText(x_, y_, piece);
            x_ += dev_.textWidth(piece);
            text.remove_prefix(n);
        }
        if (!text.empty()) lineEnd();
    }
}

void TextChannel::lineEnd() {
    x_ = 0;
    y_ += lineAdvance_ == 0 ? dev_.charHeight() : lineAdvance_;
    if (y_ > dev_.pageHeight() - 2 * lineAdvance_) {
        dev_.newPage();
        y_ = 0;
    }
    lineAdvance_ = 0;
}

void printEntry(TextChannel& channel, const PrintedEntry& e) {
    channel.writeLine("Name: " + e.name + "  " + e.website);
    // The line with the password is made in one block of its final size, wiped after.
    vault::SecretText line;
    line.reserve(e.userId.size() + e.password.size() + 21);
    line.append("User ID: ").append(e.userId).append("  Password: ").append(e.password);
    channel.writeLine(line);
    channel.writeLine(" ");
}

void printList(PageDevice& device, const EntrySource& source) {
    try {
        TextChannel channel(device);
        source([&](const PrintedEntry& e) { printEntry(channel, e); });
    } catch (...) {
        device.abandon();
        throw;
    }
    device.finish();
}

}  // namespace output
