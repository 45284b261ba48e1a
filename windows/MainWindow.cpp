// The main window itself: creation, its look, keys and events, start-up and closing.
#include "windows/MainWindow.h"

#include <optional>

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include "platform/ansi.h"
#include "platform/appdata.h"
#include "platform/clipboard.h"
#include "platform/memory.h"
#include "platform/messages.h"
#include "platform/sizes.h"
#include "platform/userkey.h"
#include "ui_MainWindow.h"
#include "vault/locations.h"
#include "vault/session.h"
#include "vault/settings.h"
#include "vault/text.h"

using platform::AnsiLineEdit;
using platform::fromAnsi;
using platform::guarded;
using platform::toAnsi;

namespace {

const char* const kNoFolderText = QT_TRANSLATE_NOOP(
    "MainWindow",
    "Could not create a folder as you do not have authority on your system. Please right "
    "click this software icon on your desktop, and choose the option to \"Run as Admin\" "
    "(only needs to be done one time), as you currently do not have authority to create a "
    "new folder.");
const char* const kNoDataFileText = QT_TRANSLATE_NOOP(
    "MainWindow",
    "No data file found. If you are storing data externally, make sure you have connected "
    "your external drive or USB (flash) thumb drive, diskette, etc, then click OK to "
    "continue.");
QFont windowFont() {
    // Where MS Sans Serif is missing, a font of Arial's widths keeps the texts in their
    // designed room better than the usual sans-serif substitute. (A form holds one
    // family only, so the window's font is set here.)
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::MainWindow>()),
      session_(std::make_unique<vault::Session>(vault::Locations{})) {
    setFont(windowFont());
    ui->setupUi(this);
    ui->EdName->setUpperCaseOnly(true);
    // The group boxes draw their frame through the middle of the caption, so the
    // controls placed near their top edge stay inside the frame instead of crossing it.
    if (QStyle* frameStyle = QStyleFactory::create(QStringLiteral("Windows"))) {
        frameStyle->setParent(this);
        ui->GroupBox1->setStyle(frameStyle);
        ui->GroupBox2->setStyle(frameStyle);
    }
    connectHandlers();
    platform::runGuarded([this] { setUpAtCreation(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::connectHandlers() {
    auto onClick = [this](QPushButton* button, void (MainWindow::*handler)()) {
        connect(button, &QPushButton::clicked, this, guarded([this, handler] { (this->*handler)(); }));
    };
    onClick(ui->CmdReload, &MainWindow::refreshList);
    onClick(ui->CmdHide, &MainWindow::toggleMasking);
    onClick(ui->BitBtn3, &MainWindow::copyUserId);
    onClick(ui->BitBtn4, &MainWindow::copyPassword);
    onClick(ui->CmdAdd, &MainWindow::addEntry);
    onClick(ui->CmdUpdate, &MainWindow::updateEntry);
    onClick(ui->CmdDelete, &MainWindow::deleteEntry);
    onClick(ui->CmdGoWeb, &MainWindow::openInBrowserWindow);
    onClick(ui->BitBtn1, &MainWindow::printList);
    onClick(ui->CmdDefault, &MainWindow::openInDefaultBrowser);
    onClick(ui->CmdCreate, &MainWindow::createTextList);
    onClick(ui->CmdChg, &MainWindow::changeStorageLocation);
    onClick(ui->CmdAbout, &MainWindow::showAbout);
    onClick(ui->BitBtn5, &MainWindow::openHelp);
    connect(ui->BitBtn2, &QPushButton::clicked, this, guarded([this] { close(); }));
    connect(ui->Label6, &platform::LinkLabel::activated, this, guarded([this] { openPasswordTips(); }));
    connect(ui->EdFilter, &QLineEdit::textChanged, this, guarded([this] { filterList(); }));
    for (AnsiLineEdit* box : {ui->EdName, ui->Edwebsite, ui->EdComments, ui->EdUser, ui->Edpwd})
        connect(box, &AnsiLineEdit::doubleClicked, this, guarded([this, box] { pasteInto(box); }));

    // A click selects (mouse), a change of the current line selects (keyboard); code
    // that selects a line itself runs the lookup itself.
    // A line dragged to with the button held selects too: the lookup then runs when the
    // button is released, unless the release is a click on a line (which runs it itself).
    QListWidget* list = ui->ListBox1;
    connect(list, &QListWidget::itemClicked, this, [this] {
        mouseSelectPending_ = false;
        platform::runGuarded([this] { showSelectedEntry(); });
    });
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        if (QGuiApplication::mouseButtons() != Qt::NoButton) {
            mouseSelectPending_ = true;
            return;
        }
        platform::runGuarded([this] { showSelectedEntry(); });
    });
    list->viewport()->installEventFilter(this);
    connect(list, &QListWidget::itemDoubleClicked, this, guarded([this] { openInBrowserWindow(); }));
}

// The button pictures, the list's font and the fitting of the labels cost several
// milliseconds (the style's icon theme, font matches) that the key dialog does not
// need: they are made after the dialog has been painted, while it waits for the
// phrase, and at the latest before the list is loaded or the window shows.
void MainWindow::finishLook() {
    if (lookFinished_) return;
    lookFinished_ = true;
    {
        QFont mono(QStringLiteral("Courier New"));
        mono.setStyleHint(QFont::TypeWriter);
        mono.setFixedPitch(true);
        mono.setPixelSize(13);
        ui->ListBox1->setFont(mono);
    }
    QStyle* st = style();
    const QSize iconSize(16, 16);
    auto picture = [&](QPushButton* b, QStyle::StandardPixmap p) {
        b->setIcon(st->standardIcon(p, nullptr, b));
        b->setIconSize(iconSize);
    };
    picture(ui->CmdAdd, QStyle::SP_FileDialogNewFolder);
    picture(ui->CmdUpdate, QStyle::SP_DialogSaveButton);
    picture(ui->CmdDelete, QStyle::SP_TrashIcon);
    picture(ui->CmdGoWeb, QStyle::SP_DriveNetIcon);
    picture(ui->BitBtn1, QStyle::SP_FileDialogDetailedView);
    picture(ui->CmdCreate, QStyle::SP_FileIcon);
    picture(ui->CmdChg, QStyle::SP_DirOpenIcon);
    picture(ui->CmdAbout, QStyle::SP_MessageBoxInformation);
    picture(ui->BitBtn2, QStyle::SP_DialogOkButton);
    picture(ui->BitBtn5, QStyle::SP_MessageBoxQuestion);
    // The default browser's button shows the same picture as the built-in one.
    ui->CmdDefault->setIconSize(iconSize);
    ui->CmdDefault->setIcon(ui->CmdGoWeb->icon());

    // A label keeps its designed width where the font on this machine is a little wider
    // than the designed one: its letters move closer together until the text fits.
    // Only where that is not enough does the label grow rightwards.
    // All of the window's labels are in Panel1 (a message box may be a child window now).
    for (QLabel* label : ui->Panel1->findChildren<QLabel*>()) {
        if (label->wordWrap()) continue;
        const int excess = label->sizeHint().width() - label->width();
        const qsizetype gaps = label->text().size() - 1;
        if (excess <= 0) continue;
        if (gaps > 0 && excess <= gaps / 8) {
            QFont tighter = label->font();
            tighter.setLetterSpacing(QFont::AbsoluteSpacing, -(excess + 0.5) / gaps);
            label->setFont(tighter);
        }
        const int wanted = label->sizeHint().width();
        if (wanted > label->width()) label->resize(wanted, label->height());
    }
}

void MainWindow::finishLookAfterFirstPaintOf(QWidget* dialog) {
    dialog->installEventFilter(this);
    lookAfterPaintOf_ = dialog;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lookAfterPaintOf_ && e->type() == QEvent::Paint) {
        // The dialog is painted when it is mapped and again when it becomes active;
        // the rest waits until after the paint as the active window, or a quarter of
        // a second where the dialog does not become active.
        if (!lookAfterPaintOf_->isActiveWindow()) {
            if (!lookTimerStarted_) QTimer::singleShot(250, this, [this] { finishLook(); });
            lookTimerStarted_ = true;
            return QWidget::eventFilter(watched, e);
        }
        lookAfterPaintOf_->removeEventFilter(this);
        lookAfterPaintOf_ = nullptr;
        QTimer::singleShot(0, this, [this] { finishLook(); });  // after the pixels went out
        return QWidget::eventFilter(watched, e);
    }
    if (watched == ui->ListBox1->viewport() && e->type() == QEvent::MouseButtonRelease) {
        QTimer::singleShot(0, this, [this] {
            if (!mouseSelectPending_) return;
            mouseSelectPending_ = false;
            platform::runGuarded([this] { showSelectedEntry(); });
        });
    }
    return QWidget::eventFilter(watched, e);
}

// "Exit" is the default button: Enter on anything but a button closes the program;
// Enter on a button presses that button. Escape does nothing.
bool MainWindow::pressOnEnter(QKeyEvent* e) {
    if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) return false;
    if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
        button && isAncestorOf(button))
        button->click();
    else
        ui->BitBtn2->click();
    e->accept();
    return true;
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
    if (!pressOnEnter(e)) QWidget::keyPressEvent(e);
}

void MainWindow::showEvent(QShowEvent* e) {
    finishLook();
    QWidget::showEvent(e);
    if (!firstShow_) return;
    firstShow_ = false;
    // Now that the window has its frame, the stored outer size can be met exactly.
    if (pendingOuterWidth_ != 0 || pendingOuterHeight_ != 0)
        platform::applyStoredOuterSize(this, pendingOuterWidth_, pendingOuterHeight_);
    if (QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        const QRect outer = frameGeometry();
        move(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
    }
}

void MainWindow::closeEvent(QCloseEvent* e) {
    platform::runGuarded([this] { saveOnClose(); });
    e->accept();
}

// ---------------------------------------------------------------------------------
// Start-up and closing
// ---------------------------------------------------------------------------------

void MainWindow::setUpAtCreation() {
    // 1. Data folder, settings file, storage folder.
    vault::Locations paths;
    if (!vault::SetupDataFolder(paths, platform::appDataFolder())) platform::showWarning(tr(kNoFolderText));
    session_ = std::make_unique<vault::Session>(paths);
    // 2. The default browser's button shows the same picture as the built-in one:
    //    set with the other pictures in finishLook.
    // 3. Stored outer size; 0 keeps the designed one.
    const std::string& ini = paths.settingsFile;
    pendingOuterWidth_ = vault::ReadWidth("Frmfirst", ini);
    pendingOuterHeight_ = vault::ReadHeight("Frmfirst", ini);
    platform::applyStoredOuterSize(this, pendingOuterWidth_, pendingOuterHeight_);
    // 4. Masking state; without a stored value the boxes show.
    const std::optional<bool> show = platform::readUserKeyBool(QStringLiteral("Show"));
    setMasked(show.has_value() && !*show);
    // 5. Data file and legacy data file.
    // A new session starts afresh on that file.
    vault::SetupStoragePaths(paths);
    session_ = std::make_unique<vault::Session>(paths);
    session_->removeLeftoverTemp();
}

void MainWindow::saveOnClose() {
    // A size that cannot be written is reported; the close goes on all the same.
    platform::runGuarded(
        [this] { platform::SaveFormSize(this, "Frmfirst", session_->paths().settingsFile); });
    platform::writeUserKeyBool(QStringLiteral("Show"), entriesShown());
    platform::runGuarded([this] { storeChosenLocation(); });
}

void MainWindow::loadAtStart() {
    finishLook();  // the list's font before its lines
    const std::string& dataFile = session_->paths().dataFile;
    if (!session_->dataFileExists() &&
        vault::UpperAscii(dataFile).find("DOCUMENTS AND SETTINGS") == std::string::npos)
        platform::showPlain(tr(kNoDataFileText));
    loadList();
    const platform::MemoryLines lines =
        platform::memoryLines(platform::GetMemoryFigure(platform::MemoryKind::TotalPhysical),
                              platform::GetMemoryFigure(platform::MemoryKind::AvailablePhysical));
    ui->Label9->setText(lines.total);
    ui->Label10->setText(lines.available);
    ui->Label11->setText(lines.percent);
    ui->LblCurrent->setText(QString::fromLocal8Bit(dataFile));
    selectFirstLineAndShow();
    showCount();
}
