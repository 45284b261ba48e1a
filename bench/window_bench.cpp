// The main window's list work as a user waits for it, measured inside the process and
// set against a bare Qt window doing the same visible work in the same run:
//   - the whole load: the window created, the list loaded from a full data file (999
//     entries), the memory panel, the first line shown, the window shown and painted;
//   - Refresh: the list emptied and loaded again, and the window painted;
//   - Create Text List at 10, 100, 500 and 999 entries, to the question box (the
//     question is answered by the program's own test hook, the desktop opener is a
//     stand-in that does nothing).
// The floor is a QWidget with a sorted QListWidget of the same font, five QLineEdits and
// a button: its load adds the 999 names (already in memory) and sets the boxes once.
// Keyfold and the floor alternate, round by round; medians are printed with their ratio.
//   keyfold_window_bench [rounds]       (QT_QPA_PLATFORM as the caller sets it)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include "floorwindow.h"
#include "platform/messages.h"
#include "sitenames.h"
#include "tests/support/messages.h"
#include "tests/support/program_files.h"
#include "tests/support/vault_files.h"
#include "vault/datafile.h"
#include "vault/seal.h"
#include "vault/session.h"
#include "windows/MainWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double rssMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

const char* const kPhrase = "a twenty char phrase";

// A new data file of `count` entries in slots 0 .. count-1, as keyfold_make_data_file
// writes them.
std::vector<std::string> writeEntries(int count) {
    std::vector<std::string> names;
    auto nameOf = [&](int i) {
        names.push_back(bench::exampleSiteName(i));
        return names.back();
    };
    testsupport::writeDataFile(testsupport::programFiles().dataFile,
                               testsupport::entriesDataFileBytes(kPhrase, count, nameOf));
    return names;
}

struct Figure {
    const char* what;
    std::vector<double> keyfold, floor, keyfoldRss, floorRss;
};

void print(const Figure& f) {
    const double k = median(f.keyfold);
    if (f.floor.empty()) {
        std::printf("%-40s %9.2f ms %9s %7s   RSS %.1f MB\n", f.what, k, "", "", median(f.keyfoldRss));
        return;
    }
    const double fl = median(f.floor);
    std::printf("%-40s %9.2f ms %9.2f ms %6.2fx   RSS %.1f MB (floor %.1f MB)\n", f.what, k, fl, k / fl,
                median(f.keyfoldRss), median(f.floorRss));
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    // A home of its own, so the program's data folder and settings are the bench's.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    QDir().mkpath(home.path() + "/bin");
    {
        QFile opener(home.path() + "/bin/xdg-open");  // a desktop opener that does nothing
        opener.open(QIODevice::WriteOnly);
        opener.write("#!/bin/sh\nexit 0\n");
        opener.close();
        opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("PATH", (home.path() + "/bin:").toLocal8Bit() + qgetenv("PATH"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Keyfold"));
    QApplication::setOrganizationName(QStringLiteral("Quorvel"));

    const std::vector<std::string> names999 = writeEntries(999);
    QStringList floorNames;
    for (const std::string& n : names999) floorNames << QString::fromStdString(n);
    const QStringList floorShown = {floorNames.first(), "https://www.amberamber.com/login", "anna.0@example.org",
                                    "pW0rd!0000xyz", "Opened in 2019"};

    Figure load{"main window: create, load 999, paint", {}, {}, {}, {}};
    Figure refresh{"Refresh: reload 999, paint", {}, {}, {}, {}};
    auto keyfoldRound = [&] {
        auto start = Clock::now();
        auto w = std::make_unique<MainWindow>();
        w->session().setKeyPhrase(kPhrase);
        w->loadAtStart();
        w->show();
        w->repaint();
        QApplication::processEvents();
        load.keyfold.push_back(msSince(start));
        load.keyfoldRss.push_back(rssMb());
        start = Clock::now();
        w->refreshList();
        w->repaint();
        QApplication::processEvents();
        refresh.keyfold.push_back(msSince(start));
        refresh.keyfoldRss.push_back(rssMb());
    };
    auto floorRound = [&] {
        auto start = Clock::now();
        auto f = std::make_unique<FloorWindow>();
        f->load(floorNames, floorShown);
        f->list->setCurrentRow(0);
        f->window.show();
        f->window.repaint();
        QApplication::processEvents();
        load.floor.push_back(msSince(start));
        load.floorRss.push_back(rssMb());
        start = Clock::now();
        f->load(floorNames, floorShown);
        f->window.repaint();
        QApplication::processEvents();
        refresh.floor.push_back(msSince(start));
        refresh.floorRss.push_back(rssMb());
    };
    keyfoldRound();  // warm both up: fonts, styles, the file in the page cache
    floorRound();
    load = {load.what, {}, {}, {}, {}};
    refresh = {refresh.what, {}, {}, {}, {}};
    for (int r = 0; r < rounds; ++r) {
        if (r % 2) {
            floorRound();
            keyfoldRound();
        } else {
            keyfoldRound();
            floorRound();
        }
    }
    std::printf("rounds: %d, platform %s; medians (Keyfold, floor, ratio)\n", rounds,
                qPrintable(QGuiApplication::platformName()));
    print(load);
    print(refresh);

    // Continue on the plain and on the sealed file: the phrase checked, the list loaded
    // and the window painted, against the floor's load. The sealed file's key (Argon2id at
    // the default cost) is shown on its own line: it is the price of the protection.
    {
        const std::string plainFile = testsupport::programFiles().dataFile;
        auto continueRound = [&](std::vector<double>& into) {
            const auto start = Clock::now();
            auto w = std::make_unique<MainWindow>();
            if (w->session().openWithPhrase(kPhrase) != vault::PhraseOutcome::Opened) std::abort();
            w->loadAtStart();
            w->show();
            w->repaint();
            QApplication::processEvents();
            into.push_back(msSince(start));
        };
        Figure plain{"Continue, plain file (999)", {}, load.floor, {}, load.floorRss};
        std::vector<double> sealedTotal, key;
        for (int r = 0; r < rounds; ++r) continueRound(plain.keyfold);
        {
            vault::Session s(testsupport::programFiles());
            if (s.openWithPhrase(kPhrase) != vault::PhraseOutcome::Opened || s.seal() != vault::SealOutcome::Sealed)
                std::abort();
        }
        const std::vector<unsigned char> sealedBytes = vault::DataFile(plainFile).readSealedBytes();
        const vault::SealHeader header = *vault::parseSealHeader(sealedBytes.data(), sealedBytes.size());
        // Continue on the sealed file with its key made beforehand (timed on its own):
        // the file read and opened, the phrase put in force, the list loaded, the paint.
        Figure sealedLessKey{"Continue, sealed file (999), less the key", {}, load.floor, {}, load.floorRss};
        for (int r = 0; r < rounds; ++r) {
            continueRound(sealedTotal);
            auto start = Clock::now();
            vault::SealKey sealKey = vault::SealKey::derive(kPhrase, header);
            key.push_back(msSince(start));
            start = Clock::now();
            auto w = std::make_unique<MainWindow>();
            vault::DataFile& file = w->session().dataFile();
            std::vector<unsigned char> bytes = file.readSealedBytes();
            std::optional<vault::GuardedBytes> image = vault::openSealed(bytes.data(), bytes.size(), sealKey);
            if (!image) std::abort();
            file.useSealedFile(std::move(sealKey), std::move(*image), std::move(bytes));
            w->session().setKeyPhrase(kPhrase);
            w->loadAtStart();
            w->show();
            w->repaint();
            QApplication::processEvents();
            sealedLessKey.keyfold.push_back(msSince(start));
        }
        plain.keyfoldRss.push_back(rssMb());
        sealedLessKey.keyfoldRss.push_back(rssMb());
        print(plain);
        print(sealedLessKey);
        std::printf("%-40s %9.2f ms   (Argon2id, %u passes, %llu MiB: the price of the protection)\n",
                    "  the sealed file's key", median(key), header.cost.passes,
                    static_cast<unsigned long long>(header.cost.memoryBytes >> 20));
        std::printf("%-40s %9.2f ms\n", "  Continue, sealed file, in all", median(sealedTotal));
        std::remove((plainFile + vault::kSealedFileEnding).c_str());
    }

    // The text list, to the question box, at several sizes.
    std::vector<std::pair<int, double>> textList;
    for (int count : {10, 100, 500, 999}) {
        writeEntries(count);
        auto w = std::make_unique<MainWindow>();
        w->session().setKeyPhrase(kPhrase);
        w->loadAtStart();
        w->show();
        QApplication::processEvents();
        Figure f{"", {}, {}, {}, {}};
        for (int r = 0; r < rounds + 1; ++r) {
            platform::testing::reset();
            Clock::time_point start;
            double took = 0;
            // The question box is the moment the list is written; the time runs to it.
            platform::testing::expectBox(platform::BoxKind::Confirm, testsupport::kTextListQuestion, true);
            platform::testing::expectBox(platform::BoxKind::Plain,
                                         QStringLiteral("This temporary file has been deleted from your hard drive"));
            start = Clock::now();
            w->createTextList();
            took = msSince(start);
            if (!platform::testing::takeFailures().isEmpty()) {
                std::fprintf(stderr, "text list: unexpected message boxes\n");
                return 1;
            }
            if (r > 0) {  // the first is a warm-up
                f.keyfold.push_back(took);
                f.keyfoldRss.push_back(rssMb());
            }
        }
        const std::string what = "Create Text List, " + std::to_string(count) + " entries";
        f.what = what.c_str();
        print(f);
        textList.emplace_back(count, median(f.keyfold));
    }
    std::printf("text list growth: %.2f us per entry at 100, %.2f us per entry at 999\n",
                1000 * textList[1].second / 100, 1000 * textList[3].second / 999);
    return 0;
}
