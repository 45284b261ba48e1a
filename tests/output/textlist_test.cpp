#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include "output/textlist.h"
#include "vault/ioerror.h"

namespace fs = std::filesystem;

namespace {
std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
fs::path scratch() {
    fs::path d = fs::temp_directory_path() / ("keyfold-textlist-" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}
}  // namespace

TEST(TextList, EntryBytes) {
    EXPECT_EQ(output::textListEntry("BANK", "https://bank.example", "me", "s3cret", "pin 1234"),
              "BANK URL: https://bank.example\r\n"
              " User: me Password: s3cret\r\n"
              " Comments: pin 1234\r\n"
              " \r\n");
    // Empty fields keep their labels and blanks; 8-bit bytes pass as they are.
    EXPECT_EQ(output::textListEntry("CAF\xC9", "", "", "", ""),
              "CAF\xC9 URL: \r\n User:  Password: \r\n Comments: \r\n \r\n");
    EXPECT_EQ(output::textListPath("/home/u/.local/share/Keyfold"), "/home/u/.local/share/Keyfold/Tempfile.txt");
    EXPECT_EQ(output::textListPath("/data/"), "/data/Tempfile.txt");
}

TEST(TextList, FileIsPrivateAndOverwrittenInPlace) {
    fs::path dir = scratch();
    fs::path file = dir / "Tempfile.txt";
    {
        std::ofstream old(file, std::ios::binary);
        old << std::string(5000, 'x');
    }
    ::chmod(file.c_str(), 0644);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);

    output::TextListFile out(file.string());
    struct stat during {};
    ASSERT_EQ(::stat(file.c_str(), &during), 0);
    EXPECT_EQ(during.st_mode & 0777, 0600u);  // closed to others before anything is written
    EXPECT_EQ(during.st_ino, before.st_ino);  // the same file, emptied
    EXPECT_EQ(during.st_size, 0);
    out.writeEntry("A", "w", "u", "p", "c");
    out.writeEntry("B\x80", "", "", "", "");
    out.close();
    EXPECT_EQ(readBytes(file),
              "A URL: w\r\n User: u Password: p\r\n Comments: c\r\n \r\n"
              "B\x80 URL: \r\n User:  Password: \r\n Comments: \r\n \r\n");

    fs::remove(file);
    ::umask(0);  // even a permissive umask gives a user-only file
    output::TextListFile fresh(file.string());
    fresh.close();
    ::umask(022);
    struct stat created {};
    ASSERT_EQ(::stat(file.c_str(), &created), 0);
    EXPECT_EQ(created.st_mode & 0777, 0600u);
    EXPECT_EQ(readBytes(file), "");
    fs::remove_all(dir);
}

TEST(TextList, NeverWrittenThroughALinkAndDeletedMeansGone) {
    fs::path dir = scratch();
    fs::path file = dir / "Tempfile.txt", victim = dir / "elsewhere.txt";
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, file);
    {
        output::TextListFile out(file.string());
        out.writeEntry("A", "w", "u", "p", "c");
        out.close();
    }
    EXPECT_EQ(readBytes(victim), "keep");
    EXPECT_FALSE(fs::is_symlink(file));
    {
        output::TextListFile unfinished(file.string());  // an error before close
        unfinished.writeEntry("A", "w", "u", "p", "c");
    }
    EXPECT_FALSE(fs::exists(file));
    // "Deleted" only when nothing of that name is left.
    fs::create_directories(file / "x");
    EXPECT_FALSE(output::removeTextList(file.string()));
    fs::remove_all(file);
    std::ofstream(file).close();
    EXPECT_TRUE(output::removeTextList(file.string()) && !fs::exists(file));
    fs::remove_all(dir);
}

TEST(TextList, MissingFolderIsAnIoError) {
    fs::path dir = scratch();
    try {
        output::TextListFile out((dir / "gone" / "Tempfile.txt").string());
        FAIL() << "no error";
    } catch (const vault::IoError& e) {
        EXPECT_EQ(std::string(e.what()), "File not found\n" + (dir / "gone" / "Tempfile.txt").string());
    }
    fs::remove_all(dir);
}
