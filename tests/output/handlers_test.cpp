// The text list, the website link, the help page and the tips page, driven through
// the real main window offscreen. Message boxes are answered by the test hook; the
// desktop opener is a recording stand-in on PATH.
#include <cstdlib>
#include <functional>
#include <memory>
#include <QCoreApplication>
#include <QFileInfo>
#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPrinterInfo>
#include <QPushButton>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/windows1252lineedit.h"
#include "platform/appdata.h"
#include "vault/locations.h"
#include "window_fixture.h"
#include "platform/controls.h"
#include "platform/secret.h"
#include "platform/shell.h"
#include "tests/support/controls.h"
#include "tests/support/freed_blocks.h"
#include "tests/support/memory_search.h"
#include "tests/support/messages.h"
#include "vault/windows1252.h"

using testsupport::SiteList;

using platform::BoxKind;
using platform::testing::expectBox;

namespace {

const QString& kQuestion = testsupport::kTextListQuestion;
const QString kDeleted = QStringLiteral("This temporary file has been deleted from your hard drive");
const QString kPrintQuestion =
    QStringLiteral("You chose print. You sure you want to print your list of passwords now? ");
const QString kNotDeleted = QStringLiteral(
    "This temporary file could \"not\" be deleted. Chances are you have it open. When you close "
    "your notepad, remember to go delete the temporary file list at : ");
const QString kKept = QStringLiteral(
    "Nothing done. Dont forget to manually delete the following file when you are done viewing "
    "it: ");
const QString kHelpNotOpened = QStringLiteral(
    "The help file could not be opened because your browser would not open. You can view this "
    "help file by opening your browser manually, and pointing it to help.htm.");
const QString kNoViewer = QStringLiteral(
    "You cannot view this file because you do not have a default web browser setup. You can "
    "still view this file by opening notepad and pointing to the file Tempfile.txt which is now "
    "located in your install directory.");

const std::vector<fixture::Slot> kSlots = {
    {0, "A", "MAIL", "https://mail.example", "mailer", "m41l", ""},
    {1, "A", "BANK", "https://bank.example", "saver", "b4nk", "pin in drawer"},
    {2, "U", "AMAZON", "https://amazon.example", "shopper", "sh0p", "caf\xE9 card"},
    {3, "D", "", "", "", "", ""},
    {4, "A", "MALL", "", "walker", "w4lk", ""},
};

QString dataFolder() { return QString::fromLocal8Bit(vault::locateFiles(platform::appDataFolder()).dataFolder); }

QString textListPath() { return dataFolder() + "/Tempfile.txt"; }

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

void clickLabel(QWidget* label) {
    QPoint p(3, 3);
    QMouseEvent press(QEvent::MouseButtonPress, p, label->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, p, label->mapToGlobal(p), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(label, &press);
    QCoreApplication::sendEvent(label, &release);
}

// Makes unlinking inside a folder fail while its files stay writable, for as long as
// it lives (an immutable folder, or for a user other than root a read-only one).
class Undeletable {
public:
    explicit Undeletable(const QString& folder) : folder_(folder) {
        const QByteArray f = QFile::encodeName(folder);
        if (std::system(("PATH=/usr/bin:/bin:/usr/sbin:/sbin chattr +i '" + f + "' 2>/dev/null").constData()) == 0)
            how_ = Immutable;
        else if (::geteuid() != 0 && ::chmod(f.constData(), 0500) == 0)
            how_ = ReadOnly;
    }
    ~Undeletable() {
        const QByteArray f = QFile::encodeName(folder_);
        if (how_ == Immutable) std::system(("PATH=/usr/bin:/bin:/usr/sbin:/sbin chattr -i '" + f + "'").constData());
        if (how_ == ReadOnly) ::chmod(f.constData(), 0700);
    }
    bool active() const { return how_ != None; }

private:
    QString folder_;
    enum {
        None,
        Immutable,
        ReadOnly
    } how_ = None;
};

}  // namespace

class OutputHandlersTest : public QObject {
    Q_OBJECT
    fixture::RecordingOpener opener;
    // Once the opener has settled, forgets the calls it has recorded.
    void forgetOpenerCalls() {
        QVERIFY(opener.settled());
        opener.clear();
    }

private slots:
    void init() {
        QVERIFY(opener.settled());
        platform::testing::reset();
        opener.installed();
        forgetOpenerCalls();
    }

    void textListFollowsTheFilteredListThroughTheBoxes() {
        auto w = fixture::startWindow(kSlots);
        w->show();
        VERIFY_BOXES();
        w->filterEdit()->setText("M");  // AMAZON, MAIL, MALL; not BANK
        QCOMPARE(SiteList(w).count(), 3);
        w->toggleMasking();  // masked: the boxes keep their text all the same
        QVERIFY(w->userIdEdit()->isHidden());

        const QString path = textListPath();
        CLICK_WITH_BOXES(w->textListButton(), {BoxKind::Confirm, kQuestion, false}, {BoxKind::Plain, kKept + path});

        QCOMPARE(fileBytes(path), QByteArray("AMAZON URL: https://amazon.example\r\n User: shopper Password: sh0p\r\n"
                                             " Comments: caf\xE9 card\r\n \r\n"
                                             "MAIL URL: https://mail.example\r\n User: mailer Password: m41l\r\n"
                                             " Comments: \r\n \r\n"
                                             "MALL URL: \r\n User: walker Password: w4lk\r\n Comments: \r\n \r\n"));
        QCOMPARE(modeOf(path), 0600u);
        QTRY_COMPARE(opener.calls(), QStringList{path});
        // The last line is selected and on show.
        QCOMPARE(SiteList(w).currentRow(), 2);
        QCOMPARE(w->nameEdit()->text(), QString("MALL"));
    }

    // The text list holds, line by line, exactly what clicking that line shows in the
    // boxes: a name in lower case shows upper case, a repeated name shows its first slot,
    // a line no slot holds keeps the entry before it, and the boxes cut long texts.
    void textListIsWhatClickingEachLineShows() {
        const std::string longPassword(30, 'p');
        std::vector<fixture::Slot> entries{
            {0, "A", "DUP", "https://first.example", "one", "1", "first"},
            {1, "A", "shop", "https://shop.example", "buyer", longPassword, "\xE9t\xE9 \xFF"},
            {2, "D", "", "", "", "", ""},
            {3, "U", "DUP", "https://second.example", "two", "2", "second"},
            {4, "A", "ZED", "https://zed.example", "z", "zz", ""},
        };
        entries.push_back({5, "A", "GHOST", "https://ghost.example", "", "", ""});
        auto w = fixture::startWindow(entries);
        QCOMPARE(SiteList(w).lines(), QStringList({"DUP", "DUP", "GHOST", "ZED", "shop"}));
        entries.back().status = "D";  // another copy deletes GHOST: a line no slot holds
        fixture::writeDataFile(w->session().paths().dataFile, entries, "Open Sesame 7");
        QByteArray expected;
        for (int row = 0; row < SiteList(w).count(); ++row) {
            SiteList(w).setCurrentRow(row);
            w->showSelectedEntry();
            expected += QByteArray::fromStdString(
                w->nameEdit()->windows1252Text() + " URL: " + w->websiteEdit()->windows1252Text() + "\r\n User: " +
                w->userIdEdit()->windows1252Text() + " Password: " + w->passwordEdit()->windows1252Text() +
                "\r\n Comments: " + w->commentsEdit()->windows1252Text() + "\r\n \r\n");
        }
        QVERIFY(expected.contains("SHOP URL: https://shop.example\r\n User: buyer Password: " + QByteArray(25, 'p') +
                                  "\r\n Comments: \xE9t\xE9 \xFF\r\n"));
        QVERIFY(!expected.contains("GHOST"));
        SiteList(w).setCurrentRow(1);
        w->showSelectedEntry();  // the boxes show the first DUP before the command

        const QString path = textListPath();
        CLICK_WITH_BOXES(w->textListButton(), {BoxKind::Confirm, kQuestion, false}, {BoxKind::Plain, kKept + path});
        QCOMPARE(fileBytes(path), expected);
        QCOMPARE(SiteList(w).currentRow(), 4);
        QVERIFY(SiteList(w).currentSelected());
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("SHOP"));
        QCOMPARE(w->passwordEdit()->text(), QString(25, 'p'));
        QVERIFY(!w->session().dataFile().isOpen());
    }

    void yesDeletesTheTextListAndAMissingViewerIsReported() {
        auto w = fixture::startWindow(kSlots);
        const QString path = textListPath();
        CLICK_WITH_BOXES(w->textListButton(), {BoxKind::Confirm, kQuestion, true}, {BoxKind::Plain, kDeleted});
        QVERIFY(!QFileInfo::exists(path));
        QTRY_COMPARE(opener.calls(), QStringList{path});

        // A filter that matches nothing, and no opener: an empty file, the viewer
        // message, and the question all the same.
        forgetOpenerCalls();
        opener.missing();
        w->filterEdit()->setText("ZZZ");
        QCOMPARE(SiteList(w).count(), 0);
        CLICK_WITH_BOXES(w->textListButton(), {BoxKind::Plain, kNoViewer}, {BoxKind::Confirm, kQuestion, false},
                         {BoxKind::Plain, kKept + path});
        QCOMPARE(fileBytes(path), QByteArray());
        QTest::qWait(300);
        QCOMPARE(opener.calls(), QStringList());

        // An opener that finds no viewer for the file: the same message.
        // The question comes at once; the opener's failure when the opener ends.
        opener.installed();
        opener.failing();
        expectBox(BoxKind::Confirm, kQuestion, false);
        expectBox(BoxKind::Plain, kKept + path);
        expectBox(BoxKind::Plain, kNoViewer);
        w->textListButton()->click();
        QTRY_COMPARE(platform::testing::pendingCount(), 0);
        VERIFY_BOXES();
        QCOMPARE(opener.calls(), QStringList{path});
    }

    void aFailedDeletionNamesThePath() {
        auto w = fixture::startWindow(kSlots);
        const QString path = textListPath();
        {
            QFile old(path);  // left over from an earlier run, readable by others
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(4000, 'x'));
        }
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        Undeletable locked(dataFolder());
        if (!locked.active()) QSKIP("cannot make a file undeletable here");
        CLICK_WITH_BOXES(w->textListButton(), {BoxKind::Confirm, kQuestion, true},
                         {BoxKind::Plain, kNotDeleted + path});
        QVERIFY(fileBytes(path).startsWith("AMAZON URL: "));
        QCOMPARE(modeOf(path), 0600u);
    }

    void aTextListThatCannotBeWrittenIsAnErrorWithNoQuestion() {
        auto w = fixture::startWindow(kSlots);
        const QString path = textListPath();
        QFile::remove(path);
        QVERIFY(QDir().mkdir(path));  // a folder where the file should go
        CLICK_WITH_BOXES(w->textListButton(), {BoxKind::Error, QStringLiteral("I/O error 21\n") + path});
        QDir().rmdir(path);
        QTest::qWait(200);
        QCOMPARE(opener.calls(), QStringList());
    }

    void websiteLinkHandsOverTheTrimmedAddress() {
        auto w = fixture::startWindow(kSlots);
        w->websiteEdit()->setText("  https://site.example/login?a=1 b  ");
        CLICK_WITH_BOXES(w->defaultBrowserButton());
        QTRY_COMPARE(opener.calls(), QStringList{"https://site.example/login?a=1 b"});

        forgetOpenerCalls();
        w->websiteEdit()->setText("   ");
        CLICK_WITH_BOXES(w->defaultBrowserButton(), {BoxKind::Plain, testsupport::kNoWebsite + " above."});

        opener.missing();
        w->websiteEdit()->setText(" www.example.org ");
        CLICK_WITH_BOXES(w->defaultBrowserButton(),
                         {BoxKind::Plain, testsupport::browserNotOpened(" www.example.org ")});
        QTest::qWait(300);
        QCOMPARE(opener.calls(), QStringList());

        // The opener runs and fails: the message repeats the box as it is, markup and
        // blanks included.
        opener.installed();
        opener.failing();
        const QString marked = QStringLiteral(" <b>http://bold.example</b>   x ");
        const QString failure = testsupport::browserNotOpened(marked);
        w->websiteEdit()->setText(marked);
        expectBox(BoxKind::Plain, failure);
        w->defaultBrowserButton()->click();
        QTRY_COMPARE(platform::testing::pendingCount(), 0);
        VERIFY_BOXES();
        QCOMPARE(opener.calls(), QStringList{"<b>http://bold.example</b>   x"});
        // The box shows it as plain text, not as markup.
        std::unique_ptr<QMessageBox> box(platform::testing::makeBox(BoxKind::Plain, failure));
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        QCOMPARE(label->text(), failure);
        QCOMPARE(label->textFormat(), Qt::PlainText);

        // An opener still running has handed over: no message, and the window was not
        // held for it (the click returns while the opener runs on).
        forgetOpenerCalls();
        opener.staying();
        w->websiteEdit()->setText(QStringLiteral("https://stay.example"));
        w->defaultBrowserButton()->click();
        VERIFY_BOXES();
        QTRY_COMPARE(opener.calls(), QStringList{"https://stay.example"});
    }

    void helpPageBesideTheProgramAndTheTipsPage() {
        auto w = fixture::startWindow(kSlots);
        const QString help = QCoreApplication::applicationDirPath() + "/help.htm";
        const QString built = qEnvironmentVariable("KEYFOLD_BINARY_DIR") + "/app/help.htm";
        QFile::remove(help);
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent("/"));

        // Missing beside the program: the help message, and nothing handed over.
        CLICK_WITH_BOXES(w->helpButton(), {BoxKind::Information, kHelpNotOpened});

        QVERIFY2(QFile::copy(built, help), qPrintable(built));
        CLICK_WITH_BOXES(w->helpButton());
        QTRY_COMPARE(opener.calls(), QStringList{help});
        QVERIFY(QFileInfo(help).isAbsolute());

        forgetOpenerCalls();
        clickLabel(w->tipsLink());
        VERIFY_BOXES();
        QTRY_COMPARE(opener.calls().size(), 1);
        QVERIFY(opener.calls().first().startsWith("https://"));

        opener.missing();
        expectBox(BoxKind::Information, QStringLiteral("Your browser could not be opened."));
        clickLabel(w->tipsLink());
        VERIFY_BOXES();

        // The opener runs and fails.
        opener.installed();
        opener.failing();
        expectBox(BoxKind::Information, kHelpNotOpened);
        w->helpButton()->click();
        QTRY_COMPARE(platform::testing::pendingCount(), 0);
        VERIFY_BOXES();

        // The tips link is a link to the keyboard and to screen readers: it takes the
        // focus after Help, Space and Enter follow it, and its press action does too.
        opener.installed();
        forgetOpenerCalls();
        QCOMPARE(testsupport::nextByTab(w->helpButton()), static_cast<QWidget*>(w->tipsLink()));
        QTest::keyClick(w->tipsLink(), Qt::Key_Space);
        QTest::keyClick(w->tipsLink(), Qt::Key_Return);
        QAccessibleInterface* link = QAccessible::queryAccessibleInterface(w->tipsLink());
        QVERIFY(link);
        QCOMPARE(link->role(), QAccessible::Link);
        QCOMPARE(link->text(QAccessible::Name), QStringLiteral("Password Protection Tips"));
        QVERIFY(link->actionInterface());
        link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        VERIFY_BOXES();
        QTRY_COMPARE(opener.calls().size(), 3);

        QDir::setCurrent(before);
        QFile::remove(help);
    }

    void slowOpenersAreWatched() {
        auto w = fixture::startWindow(kSlots);
        const QString help = QCoreApplication::applicationDirPath() + "/help.htm";
        QVERIFY(QFile::exists(help) || QFile::copy(qEnvironmentVariable("KEYFOLD_BINARY_DIR") + "/app/help.htm", help));
        auto website = [&] {
            w->websiteEdit()->setText(QStringLiteral("https://slow.example"));
            w->defaultBrowserButton()->click();
        };
        struct Link {
            std::function<void()> click;
            BoxKind kind;
            QString failure;
        };
        const QList<Link> links = {
            {website, BoxKind::Plain, testsupport::browserNotOpened("https://slow.example")},
            {[&] { w->helpButton()->click(); }, BoxKind::Information, kHelpNotOpened},
            {[&] {  // the question comes at once
                 expectBox(BoxKind::Confirm, kQuestion, true);
                 expectBox(BoxKind::Plain, kDeleted);
                 w->textListButton()->click();
             },
             BoxKind::Plain, kNoViewer},
        };
        // The opener fails after 2 s: the click returns before it (no box yet), the
        // failure is shown when it comes.
        opener.failingLate();
        for (const Link& link : links) {
            QElapsedTimer held;
            held.start();
            link.click();
            VERIFY_BOXES();
            expectBox(link.kind, link.failure);
            QTRY_COMPARE_WITH_TIMEOUT(platform::testing::pendingCount(), 0, 6000);
            QVERIFY(held.elapsed() >= 1900);
            VERIFY_BOXES();
        }

        // Past the watch, an opener is left alone: its late failure says nothing. Nor is
        // anything said for a window that has gone.
        const int usual = platform::testing::setOpenerWatchMs(w.get(), 500);
        website();
        platform::testing::setOpenerWatchMs(w.get(), usual);
        website();
        w.reset();
        QTest::qWait(2600);
        VERIFY_BOXES();
        QFile::remove(help);
    }

#ifdef __linux__
    // After the common paths of the window (add, show another entry and the first again,
    // copy, text list, print, clear), the process holds no copy of the password in the
    // data file's 8-bit form nor in UTF-8. Qt's own UTF-16 copies (the box's text and its
    // undo history, the clipboard's data) are out of the program's reach and not looked
    // for.
    void noEightBitOrUtf8CopyOfAPasswordOutlivesTheCommonPaths() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the memory search runs in the ordinary build");
#endif
        using keyfoldtest::MemorySearch;
        constexpr unsigned char kMask = 0x5A;
        // "\xE9" (é) makes the two forms differ; 25 characters, so that a block let go of
        // unwiped is found by the password's end (see MemorySearch::copies).
        const std::string hidden = MemorySearch::masked(
            "Vq8#m\xE9"
            "4Lz!r2Tw9&kN\xE9pX3cY5",
            kMask);  // the box's 25
        const auto utf8Of = [&](std::string_view masked) {
            std::string utf8;
            for (const char m : masked) {
                const auto b = static_cast<unsigned char>(m ^ kMask);
                if (b < 0x80) {
                    utf8 += m;
                } else {  // the Latin-1 half: two bytes
                    utf8 += static_cast<char>((0xC0 | b >> 6) ^ kMask);
                    utf8 += static_cast<char>((0x80 | (b & 0x3F)) ^ kMask);
                }
            }
            return utf8;
        };
        const std::string forms[] = {hidden, utf8Of(hidden)};
        QString typed;
        for (const char m : hidden) typed += QChar(vault::unicodeOfWindows1252(static_cast<unsigned char>(m ^ kMask)));
        const bool printer = !QPrinterInfo::defaultPrinter().isNull();
        MemorySearch search;
        keyfoldtest::FreedBlockWatch watches[] = {{forms[0], kMask}, {forms[1], kMask}};
        {
            auto w = fixture::startWindow({{0, "A", "BANK", "https://bank.example", "saver", "b4nk", ""}});
            w->show();
            w->nameEdit()->setText(QStringLiteral("MAIL"));
            w->websiteEdit()->setText(QStringLiteral("https://mail.example"));
            w->userIdEdit()->setText(QStringLiteral("me"));
            w->passwordEdit()->clear();
            for (const QChar c : typed)  // typed key by key, "é" too
                QTest::sendKeyEvent(QTest::Click, w->passwordEdit(), Qt::Key_unknown, QString(c), Qt::NoModifier);
            platform::wipe(typed);
            CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, testsupport::kAdded});
            QCOMPARE(SiteList(w).lines(), QStringList({"BANK", "MAIL"}));
            for (const int row : {1, 0, 1}) {
                SiteList(w).setCurrentRow(row);
                w->showSelectedEntry();
            }
            QCOMPARE(w->passwordEdit()->text().size(), qsizetype(hidden.size()));
            w->copyPasswordButton()->click();
            CLICK_WITH_BOXES(w->textListButton(), {BoxKind::Confirm, kQuestion, true}, {BoxKind::Plain, kDeleted});
            QTRY_COMPARE(opener.calls(), QStringList{textListPath()});
            if (printer)
                CLICK_WITH_BOXES(w->printButton(), {BoxKind::Confirm, kPrintQuestion, true});
            else
                CLICK_WITH_BOXES(w->printButton(), {BoxKind::Confirm, kPrintQuestion, true},
                                 {BoxKind::Error, QStringLiteral("There is no default printer currently selected")});
            for (QLineEdit* box :
                 {w->nameEdit(), w->websiteEdit(), w->userIdEdit(), w->passwordEdit(), w->commentsEdit()})
                box->clear();
            search.keep();
        }
        for (const std::string& form : forms) QCOMPARE(search.copies(form, kMask), 0);
        for (const auto& watch : watches) QCOMPARE(watch.blocksWithText(), 0);
    }
#endif  // __linux__
};

QTEST_MAIN(OutputHandlersTest)
#include "handlers_test.moc"
