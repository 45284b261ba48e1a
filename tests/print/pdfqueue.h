// Reading back what the CUPS-PDF queue made of a print job.
#pragma once
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>
#include <pwd.h>
#include <unistd.h>

namespace pdfqueue {

// cups-pdf writes each job into the home folder of the submitting user (from the
// password database, not $HOME), folder PDF.
inline QString outputFolder() {
    const passwd* pw = ::getpwuid(::geteuid());
    return QString::fromLocal8Bit(pw ? pw->pw_dir : "/root") + "/PDF";
}

inline QSet<QString> existingFiles() {
    QSet<QString> s;
    for (const QString& f : QDir(outputFolder()).entryList({"*.pdf"}, QDir::Files)) s.insert(f);
    return s;
}

inline QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline QString pdfText(const QString& pdf) { return run("pdftotext", {pdf, "-"}); }

inline int pdfPages(const QString& pdf) {
    for (const QString& line : run("pdfinfo", {pdf}).split('\n'))
        if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
    return -1;
}

// Waits for a new, complete PDF that holds marker and returns its path; empty when
// none came within the time. An empty marker asks for a page without any text.
// Jobs of other programs printing at the same time are passed over.
inline QString waitForPdf(const QSet<QString>& before, const QString& marker, int ms = 30000) {
    QElapsedTimer t;
    t.start();
    do {
        for (const QString& f : QDir(outputFolder()).entryList({"*.pdf"}, QDir::Files)) {
            if (before.contains(f)) continue;
            const QString path = outputFolder() + "/" + f;
            if (QFileInfo(path).size() == 0 || pdfPages(path) < 0) continue;  // still being written
            const QString text = pdfText(path);
            if (marker.isEmpty() ? text.trimmed().isEmpty() : text.contains(marker)) return path;
        }
        QThread::msleep(200);
    } while (t.elapsed() < ms);
    return {};
}

// The text with every run of white space made one blank.
inline QString simplified(const QString& s) { return s.simplified(); }

}  // namespace pdfqueue
