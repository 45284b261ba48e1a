// Test support: a data file built slot by slot, the main window over it, and a
// recording stand-in for the desktop opener (xdg-open) on PATH.
#pragma once
#include <memory>
#include <string>
#include <vector>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

#include "platform/messages.h"
#include "tests/support/boxes.h"
#include "tests/support/vault_files.h"
#include "vault/record.h"
#include "vault/session.h"
#include "windows/MainWindow.h"

namespace fixture {

struct Slot {
    int slot;
    std::string status, name, website, user, password, comments;
};

// A new data file of 1000 slots with the given entries written under phrase.
inline void writeDataFile(const std::string& path, const std::vector<Slot>& entries, const std::string& phrase) {
    std::vector<std::pair<int, vault::SiteRecord>> placed;
    for (const Slot& s : entries)
        placed.emplace_back(s.slot, vault::makeRecord(s.status, s.name, s.website, s.user, s.comments, s.password));
    testsupport::writeDataFile(path, testsupport::dataFileBytes(placed, vault::kNewFileSlots, phrase));
}

// The main window as the program starts it: created, then loaded once the phrase is set.
inline std::unique_ptr<MainWindow> startWindow(const std::vector<Slot>& entries,
                                               const std::string& phrase = "Open Sesame 7") {
    auto w = std::make_unique<MainWindow>();
    w->session().setKeyPhrase(phrase);
    writeDataFile(w->session().paths().dataFile, entries, phrase);
    w->loadAtStart();
    return w;
}

// A stand-in for xdg-open that appends each call's argument to a file.
class RecordingOpener {
public:
    RecordingOpener() {
        bin_ = dir_.path() + "/bin";
        empty_ = dir_.path() + "/empty";
        QDir().mkpath(bin_);
        QDir().mkpath(empty_);
        record_ = dir_.path() + "/opened.txt";
        QFile script(bin_ + "/xdg-open");
        script.open(QIODevice::WriteOnly);
        // As xdg-open: status 3 when no program is set up for the target; a program
        // started in the foreground keeps it running.
        script.write(
            "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"$KEYFOLD_OPEN_RECORD\"\n"
            "case \"$KEYFOLD_OPEN_MODE\" in fail) exit 3 ;; stay) exec /bin/sleep 5 >/dev/null 2>&1 ;;\n"
            "late) /bin/sleep 2; exit 3 ;; esac\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("KEYFOLD_OPEN_RECORD", record_.toLocal8Bit());
        installed();
    }
    // The stand-in is the desktop's opener.
    void installed() {
        qputenv("PATH", bin_.toLocal8Bit());
        qunsetenv("KEYFOLD_OPEN_MODE");
    }
    // The opener runs but finds no program for the target.
    void failing() { qputenv("KEYFOLD_OPEN_MODE", "fail"); }
    // The opener finds no program for the target, after 2 s (a busy or cold desktop).
    void failingLate() { qputenv("KEYFOLD_OPEN_MODE", "late"); }
    // The opener runs the program in the foreground: still running a while later.
    void staying() { qputenv("KEYFOLD_OPEN_MODE", "stay"); }
    // No opener at all: opening fails.
    void missing() { qputenv("PATH", empty_.toLocal8Bit()); }
    // Waits until every stand-in this process started has ended, so that a late one
    // does not record into the next check.
    static bool settled() {
        QDeadlineTimer deadline(10000);
        while (running() && !deadline.hasExpired()) QTest::qWait(20);
        return !running();
    }
    void clear() { QFile::remove(record_); }
    QStringList calls() const {
        QFile f(record_);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromLocal8Bit(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    // A child of this process still running the stand-in (or not yet collected).
    static bool running() {
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
            const QString line = stat.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(stat.readAll()) : QString();
            const QString parent = line.mid(line.lastIndexOf(QLatin1Char(')')) + 2).section(QLatin1Char(' '), 1, 1);
            if (line.contains(QStringLiteral("(xdg-open)")) && parent.toInt() == ::getpid()) return true;
        }
        return false;
    }
    QTemporaryDir dir_;
    QString bin_, empty_, record_;
};

}  // namespace fixture
