// The main window itself: creation, its look, keys and events, start-up and closing.
#include "windows/MainWindow.h"
#include "windows/EntryListModel.h"
#include "windows/FormSupport.h"

#include <optional>

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListView>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include "platform/windows1252lineedit.h"
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

using platform::fromWindows1252;
using platform::guarded;
using platform::toWindows1252;
using platform::Windows1252LineEdit;

namespace {

const char* const kLoseTypedWorkQuestion =
    QT_TRANSLATE_NOOP("MainWindow",
                      "What you typed in the boxes has not been added or updated. Exit anyway and lose it? "
                      "(Click \"No\" to keep it and go on.)");

const char* const kNoFolderText =
    QT_TRANSLATE_NOOP("MainWindow",
                      "Could not create a folder as you do not have authority on your system. Please right "
                      "click this software icon on your desktop, and choose the option to \"Run as Admin\" "
                      "(only needs to be done one time), as you currently do not have authority to create a "
                      "new folder.");
const char* const kNoDataFileText =
    QT_TRANSLATE_NOOP("MainWindow",
                      "No data file found. If you are storing data externally, make sure you have connected "
                      "your external drive or USB (flash) thumb drive, diskette, etc, then click OK to "
                      "continue.");
QFont windowFont() {
    // Where MS Sans Serif is missing, a font of Arial's widths keeps the texts in their
    // designed room better than the usual sans-serif substitute. (A form holds one
    // family only, so the window's font is set here.)
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent, Controls when)
    : QWidget(parent), session_(std::make_unique<vault::Session>(vault::Locations{})) {
    setFont(windowFont());
    platform::runGuarded([this] { setUpAtCreation(); });
    if (when == Controls::AtOnce) buildControls();
}

void MainWindow::buildControls() {
    if (ui) return;
    ui = std::make_unique<Ui::MainWindow>();
    ui->setupUi(this);
    entries_ = new EntryListModel(this);
    shownEntries_ = new NarrowingFilter(this);
    shownEntries_->setSourceModel(entries_);
    siteList()->setModel(shownEntries_);
    nameEdit()->setUpperCaseOnly(true);
    // Each box holds as many characters as its field.
    for (auto [box, field] : {std::pair{nameEdit(), vault::Field::Name},
                              {websiteEdit(), vault::Field::Website},
                              {userIdEdit(), vault::Field::UserId},
                              {passwordEdit(), vault::Field::Password},
                              {commentsEdit(), vault::Field::Comments}})
        box->setMaxLength(static_cast<int>(vault::fieldWidth(field)));
    // The group boxes draw their frame through the middle of the caption, so the
    // controls placed near their top edge stay inside the frame instead of crossing it.
    if (QStyle* frameStyle = QStyleFactory::create(QStringLiteral("Windows"))) {
        frameStyle->setParent(this);
        storageGroup()->setStyle(frameStyle);
        memoryGroup()->setStyle(frameStyle);
    }
    connectHandlers();
    // "Exit" is the default button: Enter on anything but a button closes the program,
    // once the user agrees to lose what was typed into the boxes (mayEndOnEnter);
    // Enter on a button presses that button. Escape does nothing.
    forms::KeyRules keys;
    keys.enter = forms::KeyRules::Enter::FocusedButton;
    keys.enterElsewhere = exitButton();
    keys.enterElsewhereAllowed = [this] { return mayEndOnEnter(); };
    keys.escapeDoesNothing = true;
    forms::setKeyRules(this, keys);
    // The size and masking state read at creation: the stored outer size is met as far
    // as the screen and the controls allow.
    platform::applyStoredOuterSize(this, pendingOuterWidth_, pendingOuterHeight_);
    setMasked(maskedAtStart_);
    rememberShownTexts();  // empty boxes: nothing typed yet
}

MainWindow::~MainWindow() = default;

QFrame* MainWindow::panel() const { return ui->Panel1; }
platform::Windows1252LineEdit* MainWindow::filterEdit() const { return ui->EdFilter; }
QPushButton* MainWindow::refreshButton() const { return ui->CmdReload; }
QListView* MainWindow::siteList() const { return ui->ListBox1; }
QLabel* MainWindow::countLabel() const { return ui->LblCount; }
platform::LinkLabel* MainWindow::tipsLink() const { return ui->Label6; }
platform::Windows1252LineEdit* MainWindow::nameEdit() const { return ui->EdName; }
platform::Windows1252LineEdit* MainWindow::websiteEdit() const { return ui->Edwebsite; }
platform::Windows1252LineEdit* MainWindow::commentsEdit() const { return ui->EdComments; }
platform::Windows1252LineEdit* MainWindow::userIdEdit() const { return ui->EdUser; }
platform::Windows1252LineEdit* MainWindow::passwordEdit() const { return ui->Edpwd; }
QLabel* MainWindow::passwordLabel() const { return ui->Label2; }
QLabel* MainWindow::userHiddenLabel() const { return ui->LblUserHidden; }
QLabel* MainWindow::passwordHiddenLabel() const { return ui->LblPwdHidden; }
QPushButton* MainWindow::copyUserIdButton() const { return ui->BitBtn3; }
QPushButton* MainWindow::copyPasswordButton() const { return ui->BitBtn4; }
QPushButton* MainWindow::maskingButton() const { return ui->CmdHide; }
QPushButton* MainWindow::addButton() const { return ui->CmdAdd; }
QPushButton* MainWindow::updateButton() const { return ui->CmdUpdate; }
QPushButton* MainWindow::deleteButton() const { return ui->CmdDelete; }
QPushButton* MainWindow::browserWindowButton() const { return ui->CmdGoWeb; }
QPushButton* MainWindow::printButton() const { return ui->BitBtn1; }
QPushButton* MainWindow::defaultBrowserButton() const { return ui->CmdDefault; }
QPushButton* MainWindow::textListButton() const { return ui->CmdCreate; }
QGroupBox* MainWindow::storageGroup() const { return ui->GroupBox1; }
QLabel* MainWindow::locationLabel() const { return ui->LblCurrent; }
QPushButton* MainWindow::changeLocationButton() const { return ui->CmdChg; }
QCheckBox* MainWindow::sealCheckBox() const { return ui->ChkSeal; }
QLabel* MainWindow::notSealedLabel() const { return ui->LblNotSealed; }
QGroupBox* MainWindow::memoryGroup() const { return ui->GroupBox2; }
QLabel* MainWindow::memoryTotalLabel() const { return ui->Label9; }
QLabel* MainWindow::memoryAvailableLabel() const { return ui->Label10; }
QLabel* MainWindow::memoryPercentLabel() const { return ui->Label11; }
QPushButton* MainWindow::aboutButton() const { return ui->CmdAbout; }
QPushButton* MainWindow::exitButton() const { return ui->BitBtn2; }
QPushButton* MainWindow::helpButton() const { return ui->BitBtn5; }

void MainWindow::connectHandlers() {
    auto onClick = [this](QPushButton* button, void (MainWindow::*handler)()) {
        connect(button, &QPushButton::clicked, this, guarded([this, handler] { (this->*handler)(); }));
    };
    onClick(refreshButton(), &MainWindow::refreshList);
    onClick(maskingButton(), &MainWindow::toggleMasking);
    onClick(copyUserIdButton(), &MainWindow::copyUserId);
    onClick(copyPasswordButton(), &MainWindow::copyPassword);
    onClick(addButton(), &MainWindow::addEntry);
    onClick(updateButton(), &MainWindow::updateEntry);
    onClick(deleteButton(), &MainWindow::deleteEntry);
    onClick(browserWindowButton(), &MainWindow::openInBrowserWindow);
    watchForPageIntent();
    onClick(printButton(), &MainWindow::printList);
    onClick(defaultBrowserButton(), &MainWindow::openInDefaultBrowser);
    onClick(textListButton(), &MainWindow::createTextList);
    onClick(changeLocationButton(), &MainWindow::changeStorageLocation);
    // Every way the user turns the box seals or unseals: a click, the space bar, and an
    // assistive tool's toggle action (which never emits clicked). Code sets the box quietly.
    connect(sealCheckBox(), &QCheckBox::toggled, this, guarded([this] { toggleSealing(); }));
    onClick(aboutButton(), &MainWindow::showAbout);
    onClick(helpButton(), &MainWindow::openHelp);
    connect(exitButton(), &QPushButton::clicked, this, guarded([this] { close(); }));
    connect(tipsLink(), &platform::LinkLabel::activated, this, guarded([this] { openPasswordTips(); }));
    connect(filterEdit(), &QLineEdit::textChanged, this, guarded([this] { filterList(); }));
    for (Windows1252LineEdit* box : {nameEdit(), websiteEdit(), commentsEdit(), userIdEdit(), passwordEdit()})
        connect(box, &Windows1252LineEdit::doubleClicked, this, guarded([this, box] { pasteInto(box); }));

    // A click selects (mouse), a change of the current line selects (keyboard); code
    // that selects a line itself runs the lookup itself.
    // A line dragged to with the button held selects too: the lookup then runs when the
    // button is released, unless the release is a click on a line (which runs it itself).
    QListView* list = siteList();
    connect(list, &QAbstractItemView::clicked, this, [this] {
        mouseSelectPending_ = false;
        platform::runGuarded([this] { showSelectedEntry(); });
    });
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& row) {
        if (!row.isValid() || selectingInCode_) return;
        if (QGuiApplication::mouseButtons() != Qt::NoButton) {
            mouseSelectPending_ = true;
            return;
        }
        platform::runGuarded([this] { showSelectedEntry(); });
    });
    list->viewport()->installEventFilter(this);
    connect(list, &QAbstractItemView::doubleClicked, this, guarded([this] { openInBrowserWindow(); }));
}

// The button pictures, the list's font and the fitting of the labels cost several
// milliseconds (the style's icon theme, font matches) that the key dialog does not
// need: they are made after the dialog has been painted, while it waits for the
// phrase, and at the latest before the list is loaded or the window shows.
void MainWindow::finishLook() {
    if (lookFinished_) return;
    lookFinished_ = true;
    buildControls();
    {
        QFont mono(QStringLiteral("Courier New"));
        mono.setStyleHint(QFont::TypeWriter);
        mono.setFixedPitch(true);
        mono.setPixelSize(13);
        siteList()->setFont(mono);
    }
    QStyle* st = style();
    const QSize iconSize(16, 16);
    auto picture = [&](QPushButton* b, QStyle::StandardPixmap p) {
        b->setIcon(st->standardIcon(p, nullptr, b));
        b->setIconSize(iconSize);
    };
    picture(addButton(), QStyle::SP_FileDialogNewFolder);
    picture(updateButton(), QStyle::SP_DialogSaveButton);
    picture(deleteButton(), QStyle::SP_TrashIcon);
    picture(browserWindowButton(), QStyle::SP_DriveNetIcon);
    picture(printButton(), QStyle::SP_FileDialogDetailedView);
    picture(textListButton(), QStyle::SP_FileIcon);
    picture(changeLocationButton(), QStyle::SP_DirOpenIcon);
    picture(aboutButton(), QStyle::SP_MessageBoxInformation);
    picture(exitButton(), QStyle::SP_DialogOkButton);
    picture(helpButton(), QStyle::SP_MessageBoxQuestion);
    // The default browser's button shows the same picture as the built-in one.
    defaultBrowserButton()->setIconSize(iconSize);
    defaultBrowserButton()->setIcon(browserWindowButton()->icon());

    // A label keeps its designed width where the font on this machine is a little wider
    // than the designed one: its letters move closer together until the text fits.
    // Only where that is not enough does the label grow rightwards.
    // All of the window's labels are in Panel1 (a message box may be a child window now).
    for (QLabel* label : panel()->findChildren<QLabel*>()) {
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
        // After the pixels went out: a call queued for the same turn of the event loop
        // would run before the window system's connection is flushed, holding back the
        // paint of the phrase box that follows the activation; a timer lets the loop
        // wait once, which sends them.
        QTimer::singleShot(1, this, [this] { finishLook(); });
        return QWidget::eventFilter(watched, e);
    }
    if (ui && watched == siteList()->viewport() && e->type() == QEvent::MouseButtonRelease) {
        QTimer::singleShot(0, this, [this] {
            if (!mouseSelectPending_) return;
            mouseSelectPending_ = false;
            platform::runGuarded([this] { showSelectedEntry(); });
        });
    }
    return QWidget::eventFilter(watched, e);
}

// The look is finished at the latest when the window first shows.
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

void MainWindow::rememberShownTexts() {
    const Windows1252LineEdit* boxes[] = {nameEdit(), websiteEdit(), commentsEdit(), userIdEdit(), passwordEdit()};
    for (std::size_t i = 0; i < shownTexts_.size(); ++i) shownTexts_[i] = platform::digestOf(boxes[i]->text());
}

bool MainWindow::typedWorkPending() const {
    const Windows1252LineEdit* boxes[] = {nameEdit(), websiteEdit(), commentsEdit(), userIdEdit(), passwordEdit()};
    for (std::size_t i = 0; i < shownTexts_.size(); ++i)
        if (platform::digestOf(boxes[i]->text()) != shownTexts_[i]) return true;
    return false;
}

bool MainWindow::mayEndOnEnter() {
    return !typedWorkPending() || platform::askYesNoDefaultNo(tr(kLoseTypedWorkQuestion));
}

void MainWindow::closeEvent(QCloseEvent* e) {
    buildControls();  // what is stored at exit is read off them
    platform::runGuarded([this] { saveOnClose(); });
    e->accept();
}

// ---------------------------------------------------------------------------------
// Start-up and closing
// ---------------------------------------------------------------------------------

void MainWindow::setUpAtCreation() {
    // Data folder, settings file, storage folder.
    vault::Locations paths;
    if (!vault::setupDataFolder(paths, platform::appDataFolder())) platform::showWarning(tr(kNoFolderText));
    session_ = std::make_unique<vault::Session>(paths);
    // The stored outer size (0 keeps the designed one) and the masking state (without a
    // stored value the boxes show); both are put on the controls when they are made
    // (buildControls).
    const std::string& ini = paths.settingsFile;
    pendingOuterWidth_ = vault::readWidth("Frmfirst", ini);
    pendingOuterHeight_ = vault::readHeight("Frmfirst", ini);
    const std::optional<bool> show = platform::readUserKeyBool(QStringLiteral("Show"));
    maskedAtStart_ = show.has_value() && !*show;
    // The data file and the legacy data file; a new session starts afresh on that file.
    vault::setupStoragePaths(paths);
    session_ = std::make_unique<vault::Session>(paths);
    session_->removeLeftoverTemp();
}

void MainWindow::saveOnClose() {
    // A size that cannot be written is reported; the close goes on all the same.
    platform::runGuarded([this] { platform::saveFormSize(this, "Frmfirst", session_->paths().settingsFile); });
    platform::writeUserKeyBool(QStringLiteral("Show"), entriesShown());
    platform::runGuarded([this] { storeChosenLocation(); });
}

void MainWindow::loadAtStart() {
    finishLook();  // the list's font before its lines
    const std::string& dataFile = session_->paths().dataFile;
    if (!session_->dataFileExists() && vault::upperText(dataFile).find("DOCUMENTS AND SETTINGS") == std::string::npos)
        platform::showPlain(tr(kNoDataFileText));
    loadList();
    const platform::MemoryLines lines =
        platform::memoryLines(platform::memoryFigure(platform::MemoryKind::TotalPhysical),
                              platform::memoryFigure(platform::MemoryKind::AvailablePhysical));
    memoryTotalLabel()->setText(lines.total);
    memoryAvailableLabel()->setText(lines.available);
    memoryPercentLabel()->setText(lines.percent);
    showDataFileKind();
    selectFirstLineAndShow();
    showCount();
}
