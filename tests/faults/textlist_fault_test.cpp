// The text list "Tempfile.txt" written while the disk fails. Its writer talks to the
// system directly, so the test stands between them: write() and close() of that one
// file are failed on the Nth call. The data file it is made from is never touched.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>

#include "output/textlist.h"
#include "support.h"

using namespace faulttest;

namespace {

struct TextFault {
    int writeCountdown = 0;  // fail the Nth write to the text list (0 = never)
    int closeCountdown = 0;
    int err = 0;
    int writes = 0;
    bool fired = false;
};
TextFault textFault;

bool isTextList(int fd) {
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0) return false;
    target[n] = '\0';
    std::string_view t(target, static_cast<std::size_t>(n));
    return t.size() >= 12 && t.substr(t.size() - 12) == "Tempfile.txt";
}

int openFdCount() {
    int count = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d)) ++count;
        ::closedir(d);
    }
    return count;
}

}  // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t n) {
    using Fn = ssize_t (*)(int, const void*, size_t);
    static Fn real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "write"));
    if (textFault.writeCountdown > 0 && isTextList(fd)) {
        ++textFault.writes;
        if (--textFault.writeCountdown == 0) {
            textFault.fired = true;
            errno = textFault.err;
            return -1;
        }
    }
    return real(fd, buf, n);
}

extern "C" int close(int fd) {
    using Fn = int (*)(int);
    static Fn real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "close"));
    if (textFault.closeCountdown > 0 && isTextList(fd) && --textFault.closeCountdown == 0) {
        textFault.fired = true;
        real(fd);  // the descriptor is gone either way, as after a real failing close
        errno = textFault.err;
        return -1;
    }
    return real(fd);
}

namespace {

class TextListFaultTest : public FaultTest {
protected:
    std::string textList() const { return dir + "/Tempfile.txt"; }

    // The text list as the main window writes it: the entries of a scan, then closed.
    void writeTextList() {
        output::TextListFile out(textList());
        session->listEntries([&](const vault::Entry& e) {
            out.writeEntry(e.name, e.website, e.userId, e.password, e.comments);
        });
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
            textFault = {};
            textFault.writeCountdown = n;
            textFault.err = err;
            std::string text = errorText([&] { writeTextList(); });
            bool fired = textFault.fired;
            textFault = {};
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
    textFault = {};
    textFault.closeCountdown = 1;
    textFault.err = EIO;
    EXPECT_EQ(errorText([&] { writeTextList(); }), "I/O error 5");
    textFault = {};
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
    EXPECT_FALSE(vault::FileExists(dataFile()));
}

}  // namespace
