// Working with the list: selection, the filter, Refresh, masking, copying and pasting.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

#include "platform/clipboard.h"
#include "platform/messages.h"
#include "support.h"
#include "vault/locations.h"
#include "vault/settings.h"
#include "windows/Ulog.h"

using namespace gui_test;
using platform::BoxKind;
using platform::testing::expectBox;

class ListTest : public QObject {
    Q_OBJECT
private slots:
    void init() { freshStart(); }

    void selectingALineShowsItsEntry() {
        writeDataFile("k", {{0, "A", "MAIL", "http://mail", "mu", "mc", "mp"},
                            {1, "A", "BANK", "http://bank", "bu", "bc", "bp"},
                            {2, "A", "BANK", "http://bank2", "b2", "c2", "p2"}});
        auto w = startProgram(QStringLiteral("k"));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(listLines(w.get()), QStringList({"BANK", "BANK", "MAIL"}));
        // A real click on MAIL.
        const QRect mailRect = w->ListBox1->visualItemRect(w->ListBox1->item(2));
        QTest::mouseClick(w->ListBox1->viewport(), Qt::LeftButton, {}, mailRect.center());
        QCOMPARE(w->EdName->text(), QStringLiteral("MAIL"));
        QCOMPARE(w->Edpwd->text(), QStringLiteral("mp"));
        // The keyboard moves the selection too; both BANK lines show the lower slot.
        w->ListBox1->setFocus();
        QTest::keyClick(w->ListBox1, Qt::Key_Up);
        QCOMPARE(w->ListBox1->currentRow(), 1);
        QCOMPARE(w->Edwebsite->text(), QStringLiteral("http://bank"));
        // A name no slot holds leaves the boxes as they are, without a message.
        w->ListBox1->addItem(QStringLiteral("NOWHERE"));
        w->ListBox1->setCurrentItem(w->ListBox1->findItems("NOWHERE", Qt::MatchExactly).first());
        w->ListBox1Click();
        QCOMPARE(w->Edwebsite->text(), QStringLiteral("http://bank"));
        // Pressing on one line and letting go on another selects that one: it is shown.
        QWidget* view = w->ListBox1->viewport();
        const QPoint from = w->ListBox1->visualItemRect(w->ListBox1->item(0)).center();
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QMouseEvent drag(QEvent::MouseMove, QPointF(mailRect.center()),
                         QPointF(view->mapToGlobal(mailRect.center())), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(view, &drag);
        QTest::mouseRelease(view, Qt::LeftButton, {}, mailRect.center());
        QCOMPARE(w->ListBox1->currentRow(), 2);
        QTRY_COMPARE(w->EdName->text(), QStringLiteral("MAIL"));
        QCOMPARE(w->Edpwd->text(), QStringLiteral("mp"));
        VERIFY_BOXES();
        w->hide();
    }

    void filterNarrowsAndRefreshRestores() {
        writeDataFile("", {{0, "A", "AMAZON", "http://amazon", "", "", ""},
                           {1, "A", "BANK", "http://bank", "", "", ""},
                           {2, "A", "MAIL", "http://mail", "mu", "", "mp"},
                           {3, "A", "MY BANK", "http://mybank", "", "", ""}});
        auto w = startProgram(QString());
        QCOMPARE(w->LblCount->text(), QStringLiteral("Total Sites = 4"));
        QTest::keyClicks(w->EdFilter, QStringLiteral("a"));
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON", "BANK", "MAIL", "MY BANK"}));
        QTest::keyClicks(w->EdFilter, QStringLiteral("m"));
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON"}));
        QCOMPARE(w->ListBox1->currentRow(), -1);
        QTest::keyClick(w->EdFilter, Qt::Key_Backspace);
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON"}));
        QCOMPARE(w->LblCount->text(), QStringLiteral("Total Sites = 4"));
        QCOMPARE(w->EdName->text(), QStringLiteral("AMAZON"));  // boxes keep their entry

        w->CmdReload->click();
        QCOMPARE(w->EdFilter->text(), QString());
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON", "BANK", "MAIL", "MY BANK"}));
        QCOMPARE(w->ListBox1->currentRow(), -1);
        QCOMPARE(w->EdName->text(), QStringLiteral("MY BANK"));  // last in-use slot of the file
        QCOMPARE(w->LblCount->text(), QStringLiteral("Total Sites = 4"));

        // Blanks only do nothing; a leading blank is part of the filter.
        w->EdFilter->setText(QStringLiteral("   "));
        QCOMPARE(w->ListBox1->count(), 4);
        w->EdFilter->setText(QStringLiteral(" b"));
        QCOMPARE(listLines(w.get()), QStringList({"MY BANK"}));
        VERIFY_BOXES();
    }

    void maskingCopyingAndPasting() {
        writeDataFile("", {{0, "A", "MAIL", "http://mail", "me@mail", "", "Secret12"}});
        auto w = startProgram(QString());
        w->CmdHide->click();
        QVERIFY(w->EdUser->isHidden());
        QVERIFY(!w->LblUserHidden->isHidden());
        QCOMPARE(w->CmdHide->text(), QStringLiteral("S"));
        QCOMPARE(w->LblPwdHidden->geometry().topLeft(), QPoint(274, 212));

        // Copying works masked too; the panel flashes and stays a shade darker.
        QCOMPARE(w->Panel1->palette().color(QPalette::Window), QColor(239, 239, 239));
        w->BitBtn4->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Secret12"));
        QCOMPARE(w->Panel1->palette().color(QPalette::Window), QColor(232, 232, 232));
        w->BitBtn3->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("me@mail"));
        w->CmdHide->click();
        QVERIFY(!w->EdUser->isHidden());
        QVERIFY(w->LblPwdHidden->isHidden());
        QCOMPARE(w->CmdHide->text(), QStringLiteral("H"));

        // A double click pastes through the box's own paste: its limits apply.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QGuiApplication::clipboard()->setText(QString(30, QLatin1Char('z')));
        QTest::mouseDClick(w->Edpwd, Qt::LeftButton);
        QCOMPARE(w->Edpwd->text(), QString(25, QLatin1Char('z')));
        QGuiApplication::clipboard()->setText(QStringLiteral("my bank \u00e9"));
        QTest::mouseDClick(w->EdName, Qt::LeftButton);
        QCOMPARE(w->EdName->text(), QStringLiteral("MY BANK \u00c9"));
        QGuiApplication::clipboard()->setText(QStringLiteral("note"));
        w->EdCommentsDblClick();
        QCOMPARE(w->EdComments->text(), QStringLiteral("note"));
        QGuiApplication::clipboard()->clear();
        w->EdwebsiteDblClick();
        QCOMPARE(w->Edwebsite->text(), QString());
        QCOMPARE(w->Edwebsite->contextMenuPolicy(), Qt::DefaultContextMenu);
        VERIFY_BOXES();
        w->hide();
    }

    void copiedSecretsLeaveTheClipboard() {
        writeDataFile("", {{0, "A", "MAIL", "http://mail", "me@mail", "", "Secret12"}});
        auto w = startProgram(QString());
        QClipboard* clipboard = QGuiApplication::clipboard();
        const std::string ini = vault::Paths().settingsFile;
        auto clearAfter = [&](const char* value) { vault::WriteIniString(ini, "Clipboard", "ClearAfter", value); };

        // The delay: 10 s unless set; 0 is never; anything unreadable is the default.
        QCOMPARE(platform::clipboardClearSeconds(), 10);
        for (auto [text, seconds] : {std::pair{"0", 0}, {"$1E", 30}, {" 7 ", 7}, {"-5", 10}, {"soon", 10}}) {
            clearAfter(text);
            QCOMPARE(platform::clipboardClearSeconds(), seconds);
        }

        // Marked as a secret beside the text, and gone after the delay.
        clearAfter("1");
        w->BitBtn4->click();
        QCOMPARE(clipboard->text(), QStringLiteral("Secret12"));
        QCOMPARE(clipboard->mimeData()->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
        QTRY_COMPARE_WITH_TIMEOUT(clipboard->text(), QString(), 3000);

        // A newer copy is never wiped, even one of the same text.
        w->BitBtn3->click();
        clipboard->setText(QStringLiteral("me@mail"));
        QTest::qWait(1500);
        QCOMPARE(clipboard->text(), QStringLiteral("me@mail"));
        QVERIFY(!clipboard->mimeData()->hasFormat(QStringLiteral("x-kde-passwordManagerHint")));

        // Copying again starts the delay again; 0 keeps the copy until the program ends.
        clearAfter("0");
        w->BitBtn4->click();
        QTest::qWait(1500);
        QCOMPARE(clipboard->text(), QStringLiteral("Secret12"));
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        qApp->exec();
        QCOMPARE(clipboard->text(), QString());
        VERIFY_BOXES();
    }
};

QTEST_MAIN(ListTest)
#include "test_list.moc"
