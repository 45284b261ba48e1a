// Adding, updating and deleting entries: every check, message and the file's slots as
// the vault reads them back.
#include <QClipboard>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

#include "platform/messages.h"
#include "support.h"
#include "tests/support/other_copy.h"
#include "vault/windows1252.h"
#include "vault/datafile.h"
#include "vault/session.h"
#include "vault/locations.h"
#include "vault/record.h"
#include "vault/text.h"
#include "windows/MainWindow.h"
#include "platform/windows1252lineedit.h"
#include "tests/support/controls.h"

using testsupport::SiteList;

using namespace gui_test;
using platform::BoxKind;
using platform::testing::expectBox;

namespace {
const QString kSpace = QStringLiteral("You cannot enter a space in the password. Remove the space.");
const QString kNeedNameAndSite = QStringLiteral(
    "You must enter a name and a website address to add. The name can be any name you wish to "
    "identify your site with, and the web address needs to be the actual website address. "
    "After adding, the name will appear on the list, and you can then FTP to and any name in "
    "your list.");
const QString kFull = QStringLiteral("Please delete one of your entries before adding another");
const QString kNeedName = QStringLiteral(
    "You must have a name in the NAME box. Please click and select an item from your list. If "
    "your list is empty, you can use the ADD button to add new names and web addresses to the "
    "list.");
const QString kNotFound = QStringLiteral(
    "The NAME was not found. Use the ADD button to add a new name to the list. If you want to "
    "use the UPDATE or DELETE button, the name must already exist in the list.");

QString listDuplicate(const QString& n) {
    return "This name (" + n +
           ") already exists in your list. Change the name if you wish to add a new name, or use "
           "the update button to update this name.";
}
QString fileDuplicate(const QString& n) {
    return "This name (" + n +
           ") already exists in your list. Change the name if you wish to add a new name, or use "
           "the update button to update the name.";
}
const QString kChangedByOtherCopy = QStringLiteral(
    "Another copy of Keyfold has changed your data file since this list was read, so nothing was saved. "
    "Click Refresh to read the list again, then make your change once more.");
}  // namespace

class EditingTest : public QObject {
    Q_OBJECT
private slots:
    void init() { freshStart(); }

    void addStoresTheEntryAndShowsTheFirstLine() {
        writeDataFile("pw", {{0, "A", "MAIL", "http://mail", "mu", "", "mp"}});
        auto w = startProgram(QStringLiteral("pw"));
        typeEntry(w.get(), QStringLiteral("  zoo  "), QStringLiteral(" zoo.example "), QStringLiteral(" me "),
                  QStringLiteral("p4ss"), QStringLiteral(" na\u00efve \u20ac "));
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kAdded});
        const vault::SiteRecord r = readSlot(1, "pw");
        QCOMPARE(r.status.str(), std::string("A"));
        QCOMPARE(r.name.str(), std::string("ZOO"));
        QCOMPARE(r.website.str(), std::string("http://zoo.example"));
        QCOMPARE(r.userId.str(), std::string("me"));
        QCOMPARE(r.comments.str(), std::string("na\xEFve \x80"));  // 8-bit text
        QCOMPARE(r.password.str(), std::string("p4ss"));
        QCOMPARE(listLines(w.get()), QStringList({"MAIL", "ZOO"}));
        QCOMPARE(SiteList(w).currentRow(), 0);
        QCOMPARE(w->nameEdit()->text(),
                 QStringLiteral("MAIL"));  // the first line, not the new one
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 2"));
    }

    void addRefusals() {
        writeDataFile("", {{0, "A", "ABC", "http://abc", "", "", ""}});
        auto w = startProgram(QString());
        const std::string before = fileBytes(dataFilePath());
        for (const QString& pwd : {QStringLiteral("a b"), QStringLiteral(" ab"), QStringLiteral("ab ")}) {
            typeEntry(w.get(), QStringLiteral("NEW"), QStringLiteral("http://new"), {}, pwd);
            w->countLabel()->setText(QStringLiteral("untouched"));
            CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kSpace});
            QCOMPARE(w->countLabel()->text(), QStringLiteral("untouched"));
        }
        // Letter case does not make a new name; the message names it as upper case.
        typeEntry(w.get(), QStringLiteral("abc "), QStringLiteral("x"));
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::ConfirmOk, listDuplicate(QStringLiteral("ABC"))});
        QCOMPARE(w->countLabel()->text(), QStringLiteral("untouched"));
        // Empty name or website: refused, and the count is refreshed.
        for (const auto& [name, site] : {std::pair{QStringLiteral("  "), QStringLiteral("x")},
                                         std::pair{QStringLiteral("NEW"), QStringLiteral(" ")}}) {
            typeEntry(w.get(), name, site);
            w->countLabel()->setText(QStringLiteral("untouched"));
            CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kNeedNameAndSite});
            QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 1"));
        }
        QCOMPARE(fileBytes(dataFilePath()), before);
        // Update refuses a space as well.
        typeEntry(w.get(), QStringLiteral("ABC"), QStringLiteral("x"), {}, QStringLiteral("a b"));
        CLICK_WITH_BOXES(w->updateButton(), {BoxKind::Plain, kSpace});
        // A control character (pasted) and an address too long once completed: both
        // commands refuse them instead of storing something else.
        const QString controlText = QStringLiteral(
            "The comment holds a control character (code 27), which cannot be "
            "stored. Remove it.");
        const QString tooLong = QStringLiteral("The website address is longer than the 255 characters it can hold.");
        for (const auto& [site, comment, text] :
             {std::tuple{QStringLiteral("x"), QStringLiteral("a\x1b[2Jb"), controlText},
              std::tuple{QString(250, 'w'), QString(), tooLong}})
            for (QPushButton* button : {w->addButton(), w->updateButton()}) {
                typeEntry(w.get(), QStringLiteral("ABC"), site, {}, {}, comment);
                CLICK_WITH_BOXES(button, {BoxKind::Plain, text});
            }
        QCOMPARE(fileBytes(dataFilePath()), before);
    }

    // A character the data file cannot hold, typed, pasted or dropped into any of the five
    // boxes, is refused by Add and Update with its box and code named; the box keeps
    // showing it, and nothing is written. DEL is refused as the other control characters.
    void charactersTheFileCannotHoldAreRefused() {
        writeDataFile("", {{0, "A", "ABC", "http://abc", "u", "c", "p"}});
        auto w = startProgram(QString());
        w->show();  // a drop goes only to a box on the screen
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const std::string before = fileBytes(dataFilePath());
        enum class Way {
            Typed,
            Pasted,
            Dropped
        };
        const struct {
            EntryBox box;
            Way way;
            QString given;
            QString shown;  // what the box shows afterwards
            QString said;
        } cases[] = {
            // The name box upper-cases what Windows-1252 can upper-case and keeps the rest.
            {&MainWindow::nameEdit, Way::Typed, QStringLiteral("\u0142\u00f3d\u017a"),
             QStringLiteral("\u0142\u00d3D\u017a"),
             QStringLiteral("The name holds characters that cannot be stored: \"\u0142\" (U+0142), \"\u017a\" "
                            "(U+017A). Remove them; nothing was saved.")},
            // A paste keeps its first line.
            {&MainWindow::websiteEdit, Way::Pasted, QStringLiteral("http://\u0142\u00f3d\u017a.example\nsecond line"),
             QStringLiteral("http://\u0142\u00f3d\u017a.example"),
             QStringLiteral("The website address holds characters that cannot be stored: \"\u0142\" (U+0142), "
                            "\"\u017a\" (U+017A). Remove them; nothing was saved.")},
            {&MainWindow::userIdEdit, Way::Dropped, QStringLiteral("ann\U0001F600"), QStringLiteral("ann\U0001F600"),
             QStringLiteral("The user ID holds a character that cannot be stored: \"\U0001F600\" (U+1F600). Remove "
                            "it; nothing was saved.")},
            {&MainWindow::passwordEdit, Way::Typed, QStringLiteral("za\u017c\u00f3\u0142\u01071"),
             QStringLiteral("za\u017c\u00f3\u0142\u01071"),
             QStringLiteral("The password holds characters that cannot be stored: \"\u017c\" (U+017C), \"\u0142\" "
                            "(U+0142), \"\u0107\" (U+0107). Remove them; nothing was saved.")},
            {&MainWindow::commentsEdit, Way::Pasted, QStringLiteral("caf\u00e9 \u2713\u2713"),
             QStringLiteral("caf\u00e9 \u2713\u2713"),
             QStringLiteral("The comment holds a character that cannot be stored: \"\u2713\" (U+2713). Remove it; "
                            "nothing was saved.")},
            {&MainWindow::nameEdit, Way::Pasted,
             QStringLiteral("AB\x7f"
                            "C"),
             QStringLiteral("AB\x7f"
                            "C"),
             QStringLiteral("The name holds a control character (code 127), which cannot be stored. Remove it.")},
            {&MainWindow::commentsEdit, Way::Dropped, QStringLiteral("c\x7f"), QStringLiteral("c\x7f"),
             QStringLiteral("The comment holds a control character (code 127), which cannot be stored. Remove it.")},
        };
        for (const auto& c : cases)
            for (QPushButton* button : {w->addButton(), w->updateButton()}) {
                auto* box = (w.get()->*c.box)();
                const QString trace = box->objectName() + QLatin1Char(' ') + button->objectName();
                typeEntry(w.get(), QStringLiteral("ABC"), QStringLiteral("http://abc"), QStringLiteral("u"),
                          QStringLiteral("p"), QStringLiteral("c"));
                box->clear();
                switch (c.way) {
                case Way::Typed: {
                    QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, c.given);
                    QApplication::sendEvent(box, &key);
                    break;
                }
                case Way::Pasted:
                    QGuiApplication::clipboard()->setText(c.given);
                    QTest::keySequence(box, QKeySequence::Paste);
                    break;
                case Way::Dropped: {
                    QMimeData data;
                    data.setText(c.given);
                    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(box, &enter);
                    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(box, &drop);
                    break;
                }
                }
                QVERIFY2(box->text() == c.shown, qPrintable(trace + ": " + box->text()));
                CLICK_WITH_BOXES(button, {BoxKind::Plain, c.said});
                QVERIFY2(box->text() == c.shown, qPrintable(trace));
            }
        QCOMPARE(fileBytes(dataFilePath()), before);
    }

    void namesUpperCaseAsTheNameBoxDid() {
        // The vault's upper case is the one the name box always had: a letter takes its
        // single upper-case form where Windows-1252 has one.
        for (int b = 0; b < 256; ++b) {
            const QChar c(vault::unicodeOfWindows1252(static_cast<unsigned char>(b)));
            const QChar up = c.toUpper();
            const int wanted = up != c && vault::windows1252OfUnicode(up.unicode()) >= 0
                                   ? vault::windows1252OfUnicode(up.unicode())
                                   : b;
            QCOMPARE(int(vault::upperByte(static_cast<unsigned char>(b))), wanted);
        }
    }

    void addressRule() {
        writeDataFile("", {});
        auto w = startProgram(QString());
        struct Case {
            QString typed;
            std::string stored;
        };
        const Case cases[] = {
            {QStringLiteral(" site.example "), "http://site.example"},
            {QStringLiteral("go https://site"), "go https://site"},
            {QStringLiteral("HTTP://SITE"), "http://HTTP://SITE"},
            {QStringLiteral(" http://plain "), "http://plain"},
        };
        int slot = 0;
        for (const Case& c : cases) {
            typeEntry(w.get(), QStringLiteral("N%1").arg(slot), c.typed);
            CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kAdded});
            QCOMPARE(readSlot(slot, "").website.str(), c.stored);
            ++slot;
        }
        // Update with an empty website box stores "http://" and shows it.
        typeEntry(w.get(), QStringLiteral("N1"), QString());
        CLICK_WITH_BOXES(w->updateButton(), {BoxKind::Plain, QStringLiteral("N1 has been updated.")});
        QCOMPARE(w->websiteEdit()->text(), QStringLiteral("http://"));
        const vault::SiteRecord r = readSlot(1, "");
        QCOMPARE(r.status.str(), std::string("U"));
        QCOMPARE(r.website.str(), std::string("http://"));
    }

    void theLastSlotIsNeverUsed() {
        std::vector<Entry> entries;
        for (int i = 0; i < 998; ++i)
            entries.push_back({i, "A", "E" + std::to_string(1000 + i), "http://e", "", "", ""});
        writeDataFile("k", entries);
        auto w = startProgram(QStringLiteral("k"));
        typeEntry(w.get(), QStringLiteral("LAST"), QStringLiteral("http://last"));
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kAdded});
        QCOMPARE(readSlot(998, "k").name.str(), std::string("LAST"));
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 999"));
        const std::string before = fileBytes(dataFilePath());
        typeEntry(w.get(), QStringLiteral("ONE MORE"), QStringLiteral("http://more"));
        w->countLabel()->setText(QString());
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kFull});
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 999"));
        QCOMPARE(fileBytes(dataFilePath()), before);
    }

    void deleteAndReuse() {
        std::vector<Entry> entries;
        for (int i = 0; i < 5; ++i)
            entries.push_back({i, "A", std::string(1, char('A' + i)) + "SITE", "http://x", "u", "c", "p"});
        writeDataFile("k", entries);
        auto w = startProgram(QStringLiteral("k"));
        w->nameEdit()->setText(QStringLiteral("CSITE"));
        CLICK_WITH_BOXES(w->deleteButton(), {BoxKind::Confirm, deleteQuestion(QStringLiteral("CSITE")), false});
        QCOMPARE(SiteList(w).count(), 5);

        w->nameEdit()->setText(QStringLiteral(" CSITE "));
        CLICK_WITH_BOXES(w->deleteButton(), {BoxKind::Confirm, deleteQuestion(QStringLiteral(" CSITE ")), true},
                         {BoxKind::Plain, QStringLiteral(" CSITE  has been deleted.")});
        const vault::SiteRecord gone = readSlot(2, "k");
        QCOMPARE(gone.status.str(), std::string("D"));
        QCOMPARE(gone.name.length, (unsigned char)0);
        QCOMPARE(gone.password.length, (unsigned char)0);
        QCOMPARE(listLines(w.get()), QStringList({"ASITE", "BSITE", "DSITE", "ESITE"}));
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("ASITE"));
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 4"));

        typeEntry(w.get(), QStringLiteral("NEW"), QStringLiteral("http://new"));
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kAdded});
        QCOMPARE(readSlot(2, "k").name.str(), std::string("NEW"));
    }

    void filterHiddenDuplicateIsStoredTwice() {
        writeDataFile("", {{0, "A", "AAA", "http://a", "", "", ""},
                           {1, "D", "", "", "", "", ""},
                           {2, "A", "BANK", "http://old", "", "", ""}});
        auto w = startProgram(QString());
        w->filterEdit()->setText(QStringLiteral("AA"));
        QCOMPARE(listLines(w.get()), QStringList({"AAA"}));
        typeEntry(w.get(), QStringLiteral("BANK"), QStringLiteral("http://new"));
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kAdded});
        QCOMPARE(readSlot(1, "").name.str(), std::string("BANK"));
        QCOMPARE(w->countLabel()->text(),
                 QStringLiteral("Total Sites = 2"));  // the lines shown

        // A duplicate met in the file before the free slot is refused with the file's text.
        typeEntry(w.get(), QStringLiteral("bank"), QStringLiteral("http://third"));
        w->filterEdit()->setText(QStringLiteral("AAA"));
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::ConfirmOk, fileDuplicate(QStringLiteral("BANK"))});

        // Update and delete act on the lower slot.
        typeEntry(w.get(), QStringLiteral("BANK"), QStringLiteral("http://updated"));
        CLICK_WITH_BOXES(w->updateButton(), {BoxKind::Plain, QStringLiteral("BANK has been updated.")});
        QCOMPARE(readSlot(1, "").website.str(), std::string("http://updated"));
        QCOMPARE(readSlot(2, "").website.str(), std::string("http://old"));
        CLICK_WITH_BOXES(w->deleteButton(), {BoxKind::Confirm, deleteQuestion(QStringLiteral("BANK")), true},
                         {BoxKind::Plain, QStringLiteral("BANK has been deleted.")});
        QCOMPARE(readSlot(1, "").status.str(), std::string("D"));
        QCOMPARE(readSlot(2, "").status.str(), std::string("A"));
        // The line of the slot deleted goes, though the filter hid it; Refresh brings the
        // other BANK's line.
        QCOMPARE(listLines(w.get()), QStringList({"AAA"}));
        w->refreshButton()->click();
        QCOMPARE(listLines(w.get()), QStringList({"AAA", "BANK"}));
    }

    void deleteTheOnlyEntryAndUnknownNames() {
        writeDataFile("", {{0, "A", "ONLY", "http://only", "u", "", "p"}});
        auto w = startProgram(QString());
        const std::string before = fileBytes(dataFilePath());
        w->nameEdit()->setText(QStringLiteral("OTHER"));
        CLICK_WITH_BOXES(w->updateButton(), {BoxKind::Plain, kNotFound});
        QCOMPARE(fileBytes(dataFilePath()), before);
        w->nameEdit()->clear();
        w->countLabel()->setText(QString());
        CLICK_WITH_BOXES(w->deleteButton(), {BoxKind::Confirm, deleteQuestion(QString()), true},
                         {BoxKind::Plain, kNeedName});
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 1"));
        QCOMPARE(fileBytes(dataFilePath()), before);

        w->nameEdit()->setText(QStringLiteral("ONLY"));
        CLICK_WITH_BOXES(w->deleteButton(), {BoxKind::Confirm, deleteQuestion(QStringLiteral("ONLY")), true},
                         {BoxKind::Plain, QStringLiteral("ONLY has been deleted.")});
        QCOMPARE(SiteList(w).count(), 0);
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 0"));
        QCOMPARE(w->websiteEdit()->text(),
                 QStringLiteral("http://only"));  // boxes keep the text
    }

    void anotherCopysChangeIsNotOverwritten() {
        writeDataFile("k", {{0, "A", "BANK", "http://b", "u", "c", "p1"}});
        auto w = startProgram(QStringLiteral("k"));
        QVERIFY(testsupport::otherCopy([] {
            vault::Session other(paths());
            other.setKeyPhrase("k");
            static_cast<void>(other.update({"BANK", "http://b", "u", "theirs", "c"}));
        }));
        const std::string theirs = fileBytes(dataFilePath());
        typeEntry(w.get(), QStringLiteral("BANK"), QStringLiteral("http://b"), QStringLiteral("u"),
                  QStringLiteral("mine"));
        CLICK_WITH_BOXES(w->updateButton(), {BoxKind::Warning, kChangedByOtherCopy});
        QVERIFY(fileBytes(dataFilePath()) == theirs);
        QCOMPARE(listLines(w.get()), QStringList{QStringLiteral("BANK")});
    }

    void maskedAddStoresTheHiddenTexts() {
        writeDataFile("", {});
        auto w = startProgram(QString());
        typeEntry(w.get(), QStringLiteral("HIDDEN"), QStringLiteral("http://h"), QStringLiteral("user1"),
                  QStringLiteral("pw1"));
        w->maskingButton()->click();
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kAdded});
        const vault::SiteRecord r = readSlot(0, "");
        QCOMPARE(r.userId.str(), std::string("user1"));
        QCOMPARE(r.password.str(), std::string("pw1"));
    }
};

QTEST_MAIN(EditingTest)
#include "test_editing.moc"
