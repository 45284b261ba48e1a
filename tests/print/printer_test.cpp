// The printed list on the real default printer: a CUPS-PDF queue set up by
// tools/cups.sh. Run with the argument "no-printer" (and CUPS_SERVER pointing
// nowhere) it checks the case of a system without a default printer.
#include <cerrno>
#include <stdexcept>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QtTest>
#include "output/printlayout.h"
#include "pdfqueue.h"
#include "platform/printer.h"
#include "vault/fileio.h"
#include "vault/locations.h"
#include "window_fixture.h"
#include "platform/windows1252lineedit.h"
#include "tests/support/controls.h"
#include "tests/support/freed_blocks.h"
#include "tests/support/memory_search.h"

using platform::BoxKind;
using testsupport::SiteList;

namespace {

// Passes everything to the real printer and counts the pages begun.
class CountingDevice : public output::PageDevice {
public:
    explicit CountingDevice(output::PageDevice& real) : real_(real) {}
    int pageWidth() const override { return real_.pageWidth(); }
    int pageHeight() const override { return real_.pageHeight(); }
    int textWidth(std::string_view t) const override { return real_.textWidth(t); }
    int textHeight(std::string_view t) const override { return real_.textHeight(t); }
    int charHeight() const override { return real_.charHeight(); }
    void drawText(int x, int y, std::string_view t) override {
        if (pages == 1 && y != lastY_) ++firstPageLines;
        lastY_ = y;
        real_.drawText(x, y, t);
    }
    void newPage() override {
        ++pages;
        real_.newPage();
    }
    void finish() override { real_.finish(); }
    void abandon() override { real_.abandon(); }
    int pages = 1;
    int firstPageLines = 0;

private:
    int lastY_ = -1;
    output::PageDevice& real_;
};

const QString kPrintQuestion =
    QStringLiteral("You chose print. You sure you want to print your list of passwords now? ");

QString marker() { return QString("K%1Q").arg(QCoreApplication::applicationPid()); }

// Slot order differs from the alphabetical list; a deleted slot, an empty slot with an
// entry behind it, and the file's last slot in use. The last one carries this run's mark.
std::vector<fixture::Slot> printSlots() {
    return {
        {0, "A", "ZULU", "https://zulu.example", "zed", "zpw", "SECRETCOMMENTZ"},
        {1, "D", "GONE", "https://gone.example", "old", "opw", ""},
        {2, "U", "ALPHA", "", "al", "apw", "SECRETCOMMENTA"},
        {4, "A", "MIKE", "https://mike.example", "mi", "mpw", "SECRETCOMMENTM"},
        {999, "A", "OMEGA", "https://omega.example/" + marker().toStdString(), "om", "0123456789012345678901234", ""},
    };
}

// Print answered Yes, failing on the data file with the error `text`.
void printFailing(const std::unique_ptr<MainWindow>& w, const QString& text) {
    CLICK_WITH_BOXES(w->printButton(), {BoxKind::Confirm, kPrintQuestion, true},
                     {BoxKind::Error, text + '\n' + QString::fromLocal8Bit(w->session().paths().dataFile)});
}

}  // namespace

class PrinterTest : public QObject {
    Q_OBJECT
private slots:
    void printsTheLinesOnTheDefaultQueue() {
        auto printer = platform::PrinterDevice::openDefault();
        QVERIFY2(printer, "no default printer: is tools/cups.sh running?");
        QCOMPARE(printer->printerName(), QString("PDF"));
        // 8 points at the printer's resolution, and a page far wider than a line.
        QVERIFY(printer->textHeight("X") > 50);
        QVERIFY(printer->pageWidth() > 40 * printer->textWidth("W"));

        const auto before = pdfqueue::existingFiles();
        const std::string m = marker().toStdString();
        output::printList(*printer, [&](const auto& print) {
            print({"FIRST" + m, "https://first.example", "alice", "pw1"});
            print({"SECOND" + m, "", "bob", "pw2"});
        });
        const QString pdf = pdfqueue::waitForPdf(before, marker());
        QVERIFY2(!pdf.isEmpty(), "no PDF arrived");
        const QString text = pdfqueue::simplified(pdfqueue::pdfText(pdf));
        QVERIFY2(text.contains("Name: FIRST" + marker() +
                               " https://first.example User ID: alice "
                               "Password: pw1 Name: SECOND" +
                               marker() + " User ID: bob Password: pw2"),
                 qPrintable(text));
        QCOMPARE(pdfqueue::pdfPages(pdf), 1);
        QFile::remove(pdf);
    }

    void longListsFillSeveralPagesAndLongLinesContinue() {
        auto printer = platform::PrinterDevice::openDefault();
        QVERIFY(printer);
        CountingDevice counting(*printer);
        const auto before = pdfqueue::existingFiles();
        const std::string m = marker().toStdString();
        const std::string longName = "LONG" + std::string(251, 'M');
        output::printList(counting, [&](const auto& print) {
            print({longName, "https://long.example", "u", std::string(25, 'p')});
            for (int i = 0; i < 60; ++i) print({"E" + std::to_string(1000 + i) + m, "https://e.example", "u", "p"});
        });
        QVERIFY(counting.pages >= 2);
        // The queue's paper is A4 and its printable area the whole sheet: the page is
        // used from edge to edge, which holds 88 lines of 8 points.
        QCOMPARE(printer->pageWidth() * 842 / 595, printer->pageHeight());
        QCOMPARE(counting.firstPageLines, 88);
        const QString pdf = pdfqueue::waitForPdf(before, marker());
        QVERIFY2(!pdf.isEmpty(), "no PDF arrived");
        QCOMPARE(pdfqueue::pdfPages(pdf), counting.pages);
        const QString text = pdfqueue::pdfText(pdf);
        // The long name is cut and continued: all its letters are there, over two lines.
        QCOMPARE(QString(text).remove(QRegularExpression("\\s")).count("M"), 251);
        QVERIFY(!text.contains(QString::fromStdString(longName)));
        int at = 0;
        for (int i = 0; i < 60; ++i) {
            int next = text.indexOf(QString("E%1").arg(1000 + i) + marker(), at);
            QVERIFY2(next >= at, qPrintable(QString("entry %1 missing or out of order").arg(i)));
            at = next;
        }
        QFile::remove(pdf);
    }

    void emptyListSendsOneEmptyPage() {
        auto printer = platform::PrinterDevice::openDefault();
        QVERIFY(printer);
        const auto before = pdfqueue::existingFiles();
        output::printList(*printer, [](const auto&) {});
        const QString pdf = pdfqueue::waitForPdf(before, QString());
        QVERIFY2(!pdf.isEmpty(), "no PDF arrived");
        QCOMPARE(pdfqueue::pdfPages(pdf), 1);
        QCOMPARE(pdfqueue::pdfText(pdf).trimmed(), QString());
        QFile::remove(pdf);
    }

    void aJobCutShortIsNotSent() {
        auto printer = platform::PrinterDevice::openDefault();
        QVERIFY(printer);
        const auto before = pdfqueue::existingFiles();
        const std::string m = marker().toStdString();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, output::printList(*printer, [&](const auto& print) {
                                     print({"HALF" + m, "", "", ""});
                                     throw std::runtime_error("Read beyond end of file");
                                 }));
        QVERIFY(pdfqueue::waitForPdf(before, "HALF" + marker(), 4000).isEmpty());
    }
};

// The Print button of the main window on the default queue.
class PrintCommandTest : public QObject {
    Q_OBJECT
private slots:
    void init() { platform::testing::reset(); }

    void printsEveryStoredEntryInSlotOrder() {
        auto w = fixture::startWindow(printSlots());
        w->show();
        VERIFY_BOXES();
        QCOMPARE(SiteList(w).count(), 2);  // the list stops at the empty slot
        w->filterEdit()->setText("Z");     // and shows only ZULU
        w->toggleMasking();                // masked on screen, printed in full
        SiteList(w).setCurrentRow(0);
        w->showSelectedEntry();
        QCOMPARE(w->nameEdit()->text(), QString("ZULU"));

        // No: nothing printed, the boxes as they were.
        auto before = pdfqueue::existingFiles();
        CLICK_WITH_BOXES(w->printButton(), {BoxKind::Confirm, kPrintQuestion, false});
        QCOMPARE(w->nameEdit()->text(), QString("ZULU"));

        {
            // No block that held OMEGA's password is given back unwiped while the list is
            // laid out and sent (the printer's own UTF-16 text is Qt's and not searched).
            const keyfoldtest::FreedBlockWatch watch(
                keyfoldtest::MemorySearch::masked("0123456789012345678901234", 0x55), 0x55);
            CLICK_WITH_BOXES(w->printButton(), {BoxKind::Confirm, kPrintQuestion, true});
            QCOMPARE(watch.blocksWithText(), 0);
        }
        const QString pdf = pdfqueue::waitForPdf(before, marker());
        QVERIFY2(!pdf.isEmpty(), "no PDF arrived");
        QVERIFY2(pdfqueue::waitForPdf(before << QFileInfo(pdf).fileName(), marker(), 2000).isEmpty(),
                 "the No answer printed something");
        const QString text = pdfqueue::simplified(pdfqueue::pdfText(pdf));
        QCOMPARE(text, QString("Name: ZULU https://zulu.example User ID: zed Password: zpw "
                               "Name: ALPHA User ID: al Password: apw "
                               "Name: MIKE https://mike.example User ID: mi Password: mpw "
                               "Name: OMEGA https://omega.example/" +
                               marker() +
                               " User ID: om "
                               "Password: 0123456789012345678901234"));
        QCOMPARE(pdfqueue::pdfPages(pdf), 1);
        QFile::remove(pdf);
        // The boxes show the last printed entry; the list keeps its selection.
        QCOMPARE(w->nameEdit()->text(), QString("OMEGA"));
        QCOMPARE(SiteList(w).currentRow(), 0);
    }

    void aDataFileThatCannotBeReadLeavesNoPrintout() {
        auto w = fixture::startWindow(printSlots());
        QVERIFY(QFile::remove(QString::fromLocal8Bit(w->session().paths().dataFile)));
        const auto before = pdfqueue::existingFiles();
        printFailing(w, "File not found");
        QVERIFY(pdfqueue::waitForPdf(before, QString(), 3000).isEmpty());

        // A read that fails part-way (the file is read 128 slots at a time): no
        // printout, and the boxes show the last entry printed before the failure.
        std::vector<fixture::Slot> many;
        for (int i = 0; i < 130; ++i)
            many.push_back({i, "A", "N" + std::to_string(1000 + i), "http://x", "u" + std::to_string(i), "p", ""});
        w = fixture::startWindow(many);
        SiteList(w).setCurrentRow(0);
        w->showSelectedEntry();
        vault::testing::failNthCall(2, EIO, vault::testing::Op::Read);
        printFailing(w, "I/O error 5");
        QVERIFY(vault::testing::faultFired());
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("N1127"));
        QCOMPARE(w->userIdEdit()->text(), QStringLiteral("u127"));
        QCOMPARE(SiteList(w).currentRow(), 0);
        QVERIFY(!w->session().dataFile().isOpen());
        QVERIFY(pdfqueue::waitForPdf(before, QString(), 3000).isEmpty());
    }
};

class NoPrinterTest : public QObject {
    Q_OBJECT
private slots:
    void noDefaultPrinterGivesNoDevice() { QVERIFY(!platform::PrinterDevice::openDefault()); }

    void printButtonReportsItBeforeTouchingTheDataFile() {
        platform::testing::reset();
        MainWindow w;  // no data file at all: opening it would be an error of its own
        QVERIFY(!vault::fileExists(w.session().paths().dataFile));
        CLICK_WITH_BOXES(w.printButton(), {BoxKind::Confirm, kPrintQuestion, true},
                         {BoxKind::Error, QStringLiteral("There is no default printer currently selected")});
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "no-printer") {
        NoPrinterTest t;
        return QTest::qExec(&t, 1, argv);
    }
    PrinterTest t;
    PrintCommandTest c;
    int failed = QTest::qExec(&t, argc, argv);
    failed += QTest::qExec(&c, argc, argv);
    return failed;
}

#include "printer_test.moc"
