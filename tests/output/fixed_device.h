// A page device with fixed metrics that records what is drawn.
#pragma once
#include <string>
#include <string_view>
#include <vector>
#include "output/pagedevice.h"

struct DrawnText {
    int page;
    int x;
    int y;
    std::string text;
};

class FixedDevice : public output::PageDevice {
public:
    FixedDevice(int width, int height, int charWidth = 10, int textHeight = 20, int charHeight = 17)
        : width_(width), height_(height), charWidth_(charWidth), textHeight_(textHeight), charHeight_(charHeight) {}

    int pageWidth() const override { return width_; }
    int pageHeight() const override { return height_; }
    int textWidth(std::string_view t) const override {
        // "W" is twice as wide as the other characters, so cuts depend on the text.
        int w = 0;
        for (char c : t) w += c == 'W' ? 2 * charWidth_ : charWidth_;
        return w;
    }
    int textHeight(std::string_view) const override { return textHeight_; }
    int charHeight() const override { return charHeight_; }
    void drawText(int x, int y, std::string_view t) override { drawn.push_back({page, x, y, std::string(t)}); }
    void newPage() override { ++page; }
    void finish() override { ++finished; }
    void abandon() override { ++abandoned; }

    // What was drawn, a piece a line: "text@x,y".
    std::vector<std::string> pieces() const {
        std::vector<std::string> all;
        for (const DrawnText& d : drawn) all.push_back(d.text + "@" + std::to_string(d.x) + "," + std::to_string(d.y));
        return all;
    }

    std::vector<DrawnText> drawn;
    int page = 0;
    int finished = 0;
    int abandoned = 0;

private:
    int width_, height_, charWidth_, textHeight_, charHeight_;
};
