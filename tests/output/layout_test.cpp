#include <stdexcept>
#include <string>
#include <gtest/gtest.h>
#include "fixed_device.h"
#include "output/printlayout.h"

using output::PrintedEntry;
using output::TextChannel;
using Pieces = std::vector<std::string>;

TEST(PrintLayout, TextMovesRightAndLinesAdvanceByTheirHeight) {
    FixedDevice dev(1000, 10000);
    TextChannel ch(dev);
    ch.write("AB");
    ch.write("CDE");
    EXPECT_EQ(ch.x(), 50);
    ch.lineEnd();
    EXPECT_EQ(ch.x(), 0);
    EXPECT_EQ(ch.y(), 22);  // text height 20 + 2
    ch.lineEnd();           // a line without text: the character height
    EXPECT_EQ(ch.y(), 39);
    ch.writeLine(" ");
    EXPECT_EQ(ch.y(), 61);
    EXPECT_EQ(dev.pieces(), (Pieces{"AB@0,0", "CDE@20,0", " @0,39"}));
}

TEST(PrintLayout, PageBreaksOnlyPastTheThreshold) {
    // Advance 22: after six lines y = 132 = 176 - 2 * 22, which is not past it.
    {
        FixedDevice dev(1000, 176);
        TextChannel ch(dev);
        for (int i = 0; i < 6; ++i) ch.writeLine("x");
        EXPECT_EQ(dev.page, 0);
        EXPECT_EQ(ch.y(), 132);
        ch.writeLine("x");  // 154 > 132
        EXPECT_EQ(dev.page, 1);
        EXPECT_EQ(ch.y(), 0);
        ch.writeLine("next page");
        EXPECT_EQ(dev.drawn.back().page, 1);
        EXPECT_EQ(dev.drawn.back().y, 0);
    }
    // One pixel less of page and the sixth line already breaks.
    {
        FixedDevice dev(1000, 175);
        TextChannel ch(dev);
        for (int i = 0; i < 5; ++i) ch.writeLine("x");
        EXPECT_EQ(dev.page, 0);
        ch.writeLine("x");
        EXPECT_EQ(dev.page, 1);
    }
    // After a line without text the threshold is the page height itself.
    {
        FixedDevice dev(1000, 34);
        TextChannel ch(dev);
        ch.lineEnd();
        ch.lineEnd();  // y = 34, not past 34
        EXPECT_EQ(dev.page, 0);
        ch.lineEnd();
        EXPECT_EQ(dev.page, 1);
        EXPECT_EQ(ch.y(), 0);
    }
}

TEST(PrintLayout, EntryLinesAndAnEmptyWebsite) {
    FixedDevice dev(10000, 10000);
    TextChannel ch(dev);
    output::printEntry(ch, PrintedEntry{"BANK", "", "me", "pw"});
    output::printEntry(ch, PrintedEntry{"MAIL", "https://mail.example", "u", "p"});
    EXPECT_EQ(dev.pieces(),
              (Pieces{"Name: BANK  @0,0", "User ID: me  Password: pw@0,22", " @0,44",
                      "Name: MAIL  https://mail.example@0,66", "User ID: u  Password: p@0,88", " @0,110"}));
}

TEST(PrintLayout, LongLinesAreCutBetweenCharactersAndContinued) {
    // 255-character name on a page 1000 pixels wide; "W" is 20 pixels, others 10.
    std::string name;
    for (int i = 0; i < 255; ++i) name += (i % 3 == 0) ? 'W' : 'A' + i % 26;
    FixedDevice dev(1000, 100000);
    TextChannel ch(dev);
    output::printEntry(ch, PrintedEntry{name, "https://x.example", "user", std::string(25, 'p')});

    const std::string first = "Name: " + name + "  https://x.example";
    std::string joined;
    std::size_t i = 0;
    int y = 0;
    for (; i < dev.drawn.size() && joined.size() < first.size(); ++i) {
        const DrawnText& d = dev.drawn[i];
        EXPECT_EQ(d.x, 0);
        EXPECT_EQ(d.y, y);
        EXPECT_LE(dev.textWidth(d.text), 1000);
        // Every piece but the last was cut because the next character did not fit.
        if (joined.size() + d.text.size() < first.size()) {
            EXPECT_GT(dev.textWidth(d.text + first[joined.size() + d.text.size()]), 1000) << i;
        }
        joined += d.text;
        y += 22;
    }
    EXPECT_EQ(joined, first);
    EXPECT_GE(i, 4u);  // about 3400 pixels of text
    ASSERT_EQ(dev.drawn.size(), i + 2);
    EXPECT_EQ(dev.drawn[i].text, "User ID: user  Password: " + std::string(25, 'p'));
    EXPECT_EQ(dev.drawn[i].y, y);
}

TEST(PrintLayout, ContinuesFromTheMiddleOfALineAndSurvivesAGiantCharacter) {
    FixedDevice dev(50, 1000);
    TextChannel ch(dev);
    ch.write("AAA");  // x = 30, room for one more W
    ch.write("WWW");  // W here, the rest on the next line
    ch.lineEnd();
    ch.write("AAAA");  // x = 40: not even one W fits, so the W starts the next line
    ch.write("W");
    EXPECT_EQ(dev.pieces(), (Pieces{"AAA@0,0", "W@30,0", "WW@0,22", "AAAA@0,44", "W@0,66"}));

    // A page narrower than one character still makes progress, one character a line.
    FixedDevice narrow(15, 1000);
    TextChannel n(narrow);
    n.writeLine("WWW");
    ASSERT_EQ(narrow.drawn.size(), 3u);
    EXPECT_EQ(n.y(), 66);
}

TEST(PrintList, EmptyListIsOneEmptyPageAndErrorsAbandonTheJob) {
    {
        FixedDevice dev(1000, 1000);
        output::printList(dev, [](const auto&) {});
        EXPECT_TRUE(dev.drawn.empty());
        EXPECT_EQ(dev.page, 0);
        EXPECT_EQ(dev.finished, 1);
        EXPECT_EQ(dev.abandoned, 0);
    }
    {
        FixedDevice dev(1000, 1000);
        EXPECT_THROW(output::printList(dev,
                                       [](const auto& print) {
                                           print(PrintedEntry{"A", "", "", ""});
                                           throw std::runtime_error("Read beyond end of file");
                                       }),
                     std::runtime_error);
        EXPECT_EQ(dev.drawn.size(), 3u);
        EXPECT_EQ(dev.finished, 0);
        EXPECT_EQ(dev.abandoned, 1);
    }
}
