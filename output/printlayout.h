// The printed list: a text channel that lays lines out on a page device, and the
// three lines printed for each entry.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include "output/pagedevice.h"
#include "vault/secret.h"

namespace output {

// Writes text line by line onto a page device.
//  - Text starts at the left edge (x = 0) of the printable area and moves right by
//    the width of what was drawn.
//  - A line that holds text advances by its text height + 2 pixels; a line without
//    text advances by the character height.
//  - After each line end: when the new position lies below the page height less twice
//    the advance of the line just ended, a new page begins at the top-left corner.
//  - Text that would reach past the right edge is cut after the last character that
//    still fits; the rest continues on the next line.
class TextChannel {
public:
    explicit TextChannel(PageDevice& device) : dev_(device) {}

    void write(std::string_view text);
    void lineEnd();
    void writeLine(std::string_view text) {
        write(text);
        lineEnd();
    }

    int x() const { return x_; }
    int y() const { return y_; }

private:
    // How many leading characters of text fit from the current position.
    std::size_t fittingLength(std::string_view text) const;

    PageDevice& dev_;
    int x_ = 0;
    int y_ = 0;
    int lineAdvance_ = 0;  // text height + 2 of the current line; 0 while it holds no text
};

// The texts printed for one entry, as the main window's boxes hold them.
struct PrintedEntry {
    std::string name;
    std::string website;
    std::string userId;
    vault::SecretText password;
};

// "Name: <name>  <website>", "User ID: <user>  Password: <password>", " ".
void printEntry(TextChannel& channel, const PrintedEntry& entry);

// Hands each entry to print to the given sink, in order.
using EntrySource = std::function<void(const std::function<void(const PrintedEntry&)>& print)>;

// Prints what source delivers and ends the job. When source throws, the job is
// abandoned (nothing is sent) and the exception goes on to the caller.
void printList(PageDevice& device, const EntrySource& source);

}  // namespace output
