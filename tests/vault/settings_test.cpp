#include "support.h"
#include "vault/ioerror.h"
#include "vault/settings.h"

using namespace vault;
using vaulttest::readBytes;
using vaulttest::VaultTest;
using vaulttest::writeBytes;

namespace {

class SettingsTest : public VaultTest {
protected:
    std::string ini() const { return paths.settingsFile; }
};

TEST_F(SettingsTest, MissingThingsReadZero) {
    EXPECT_EQ(readWidth("Frmfirst", ini()), 0);  // no file
    writeBytes(ini(), "[Other]\nW=5\n");
    EXPECT_EQ(readWidth("Frmfirst", ini()), 0);  // no section
    EXPECT_EQ(readHeight("Other", ini()), 0);    // no key
    EXPECT_EQ(readWidth("Other", ini()), 5);
    writeBytes(ini(), "\xEF\xBB\xBF[Other]\r\nW=6\r\n");  // saved by an editor with a byte-order mark
    EXPECT_EQ(readWidth("Other", ini()), 6);
}

TEST_F(SettingsTest, IntegerForms) {
    const std::pair<const char*, int> cases[] = {{"640", 640},
                                                 {" 640 ", 640},
                                                 {"-12", -12},
                                                 {"+7", 7},
                                                 {"0x1F", 31},
                                                 {"0X1f", 31},
                                                 {"$10", 16},
                                                 {"-$10", -16},
                                                 {"12abc", 0},
                                                 {"abc", 0},
                                                 {"", 0},
                                                 {"0x", 0},
                                                 {"$", 0},
                                                 {"1.5", 0},
                                                 {"99999999999", 0},
                                                 {"0xFFFFFFFF", -1},
                                                 {"2147483647", 2147483647},
                                                 {"-2147483648", -2147483647 - 1},
                                                 {"\"300\"", 300}};
    for (const auto& [text, value] : cases) {
        writeBytes(ini(), std::string("[Frmfirst]\r\nW=") + text + "\r\n");
        EXPECT_EQ(readWidth("Frmfirst", ini()), value) << text;
    }
}

TEST_F(SettingsTest, CaseInsensitiveAndOtherContentKept) {
    const std::string before =
        "; written by hand\n"
        "[frmFIRST]\n"
        "w = 800\n"
        "Extra=keep me\n"
        "\n"
        "[FrmBrowse]\n"
        "W=1024\n"
        "H=700\n";
    writeBytes(ini(), before);
    EXPECT_EQ(readWidth("Frmfirst", ini()), 800);
    EXPECT_EQ(readIniInteger(ini(), "FRMBROWSE", "h"), 700);

    saveSize("Frmfirst", ini(), 900, 650);
    EXPECT_EQ(readBytes(ini()),
              "; written by hand\n"
              "[frmFIRST]\n"
              "w=900\n"
              "Extra=keep me\n"
              "H=650\n"
              "\n"
              "[FrmBrowse]\n"
              "W=1024\n"
              "H=700\n");
    EXPECT_EQ(vaulttest::modeOf(ini()), 0600u);

    saveSize("Webbrowser1", ini(), 1, 2);
    EXPECT_EQ(readWidth("Webbrowser1", ini()), 1);
    EXPECT_EQ(readHeight("Webbrowser1", ini()), 2);
    EXPECT_EQ(readHeight("FrmBrowse", ini()), 700);
    EXPECT_EQ(readHeight("Frmfirst", ini()), 650);
    EXPECT_NE(readBytes(ini()).find("[FrmBrowse]\nW=1024\nH=700\n\n[Webbrowser1]\nW=1\nH=2\n"), std::string::npos);
    EXPECT_FALSE(fileExists(tempNameFor(ini())));
}

// An editor may put a byte-order mark in front, and some add one more on every save.
// The writer keeps the marks it read past, so saving one section never uncovers or hides
// another, and an identical second save gives the same file.
TEST_F(SettingsTest, ByteOrderMarksAndStrayCarriageReturnsKept) {
    const std::string marks = "\xEF\xBB\xBF\xEF\xBB\xBF";
    writeBytes(ini(), marks + "[Frmfirst]\r\nW=800\r\nH=600\r\n");
    EXPECT_EQ(readWidth("Frmfirst", ini()), 800);
    saveSize("FrmBrowse", ini(), 1024, 700);
    const std::string saved = marks + "[Frmfirst]\r\nW=800\r\nH=600\r\n\r\n[FrmBrowse]\r\nW=1024\r\nH=700\r\n";
    EXPECT_EQ(readBytes(ini()), saved);
    saveSize("FrmBrowse", ini(), 1024, 700);
    EXPECT_EQ(readBytes(ini()), saved);
    saveSize("Frmfirst", ini(), 640, 480);
    EXPECT_EQ(readWidth("Frmfirst", ini()), 640);
    EXPECT_EQ(readHeight("FrmBrowse", ini()), 700);
    EXPECT_EQ(readBytes(ini()).substr(0, marks.size() + 1), marks + "[");

    // CRs at a line's end read as nothing and go with the line end.
    writeBytes(ini(), "[Frmfirst]\nW=5\nH=6\r\r");
    saveSize("Webbrowser1", ini(), 1, 2);
    const std::string once = readBytes(ini());
    EXPECT_EQ(once, "[Frmfirst]\nW=5\nH=6\n\n[Webbrowser1]\nW=1\nH=2\n");
    saveSize("Webbrowser1", ini(), 1, 2);
    EXPECT_EQ(readBytes(ini()), once);
}

TEST_F(SettingsTest, NewFileAndWriteFailure) {
    saveSize("Frmfirst", ini(), 0, 700);
    EXPECT_EQ(readBytes(ini()), "[Frmfirst]\nW=0\nH=700\n");
    EXPECT_EQ(readWidth("Frmfirst", ini()), 0);
    EXPECT_EQ(readHeight("Frmfirst", ini()), 700);

    const std::string nowhere = dir + "/missing/SG_2.ini";
    try {
        saveSize("Frmfirst", nowhere, 1, 1);
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + nowhere);
    }
    vault::testing::failNthCall(1, ENOSPC, vault::testing::Op::Rename);
    EXPECT_THROW(writeIniString(ini(), "Frmfirst", "W", "5"), IoError);
    EXPECT_EQ(readBytes(ini()), "[Frmfirst]\nW=0\nH=700\n");
}

}  // namespace
