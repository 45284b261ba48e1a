// A page-oriented output device with text: what the printed list needs of a printer.
// All measures are in device pixels; the origin is the top-left corner of the
// printable area. Text is 8-bit (Windows-1252) as the vault keeps it, and it may hold a
// password: a device copies of it only what it must, and wipes that.
#pragma once
#include <string_view>

namespace output {

class PageDevice {
public:
    virtual ~PageDevice() = default;

    // The printable area of a page.
    virtual int pageWidth() const = 0;
    virtual int pageHeight() const = 0;

    // The extent of a piece of text in the device's font.
    virtual int textWidth(std::string_view text) const = 0;
    virtual int textHeight(std::string_view text) const = 0;
    // The font's character height (the advance of a line without text).
    virtual int charHeight() const = 0;

    // Draws text with its top-left corner at (x, y) on the current page.
    virtual void drawText(int x, int y, std::string_view text) = 0;
    virtual void newPage() = 0;

    // Ends the job and hands the pages to the printer.
    virtual void finish() = 0;
    // Drops the job: nothing that was drawn reaches the printer.
    virtual void abandon() = 0;
};

}  // namespace output
