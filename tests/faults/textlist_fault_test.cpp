// The text list "Tempfile.txt" written while the disk fails. Its writer goes through the
// vault's file module, so the one fault seam fails its writes and its close on the Nth
// call. The data file it is made from is never touched.
#include <dirent.h>

#include "output/textlist.h"
#include "support.h"

using namespace faulttest;
using vault::testing::Op;

namespace {

int openFdCount() {
    int count = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d)) ++count;
        ::closedir(d);
    }
    return count;
}

}  // namespace

namespace {

class TextListFaultTest : public FaultTest {
protected:
    std::string textList() const { return dir + "/Tempfile.txt"; }

    // The text list as the main window writes it: the entries of a scan, then closed.
    void writeTextList() {
        output::TextListFile out(textList());
        session->listEntries(
            [&](const vault::Entry& e) { out.writeEntry(e.name, e.website, e.userId, e.password, e.comments); });
        out.close();
    }
};

TEST_F(TextListFaultTest, FailingWritesAndCloseAreReportedAndTheDataFileIsUntouched) {
    makeDataFile();
    const auto data = bytesOf(dataFile());
    writeTextList();
    const auto whole = bytesOf(textList());
    ASSERT_TRUE(whole && whole->find("Echo URL: https://echo.example\r\n") != std::string::npos);
    const int fds = openFdCount();

    for (int err : {ENOSPC, EIO, EACCES}) {
        for (int n = 1;; ++n) {
            vault::testing::failNthCall(n, err, Op::Write);
            std::string text = errorText([&] { writeTextList(); });
            bool fired = vault::testing::faultFired();
            vault::testing::clearFaults();
            if (!fired) {
                EXPECT_EQ(text, "(no error)");
                EXPECT_SAME_BYTES(bytesOf(textList()), whole);
                EXPECT_GE(n, 6) << "one write per entry";
                break;
            }
            EXPECT_EQ(text, textFor(err)) << "write " << n;
            EXPECT_SAME_BYTES(bytesOf(dataFile()), data);
            EXPECT_FALSE(file().isOpen());
            EXPECT_EQ(openFdCount(), fds) << "write " << n;
            // The part written holds passwords in clear: it is gone before the error shows.
            EXPECT_FALSE(bytesOf(textList())) << "write " << n;
        }
    }

    // A failing close (a network share losing the data on flush) is an error too.
    vault::testing::failNthCall(1, EIO, Op::Close);
    EXPECT_EQ(errorText([&] { writeTextList(); }), "I/O error 5");
    EXPECT_TRUE(vault::testing::faultFired());
    vault::testing::clearFaults();
    EXPECT_FALSE(bytesOf(textList()));
    EXPECT_EQ(openFdCount(), fds);
    EXPECT_SAME_BYTES(bytesOf(dataFile()), data);
}

TEST_F(TextListFaultTest, MissingFolderAndTheDataFileGoneBeforeTheList) {
    // The folder removed: the list file cannot be created.
    const std::string gone = dir + "/gone";
    ASSERT_EQ(::mkdir(gone.c_str(), 0700), 0);
    ASSERT_EQ(::rmdir(gone.c_str()), 0);
    EXPECT_EQ(errorText([&] { output::TextListFile out(gone + "/Tempfile.txt"); }), "File not found");

    // The data file removed between loading the list and writing the text list.
    makeDataFile();
    ASSERT_EQ(std::remove(dataFile().c_str()), 0);
    const int fds = openFdCount();
    EXPECT_EQ(errorText([&] { writeTextList(); }), "File not found");
    EXPECT_EQ(openFdCount(), fds);
    EXPECT_FALSE(vault::fileExists(dataFile()));
}

}  // namespace
