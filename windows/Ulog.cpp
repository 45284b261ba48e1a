#include "windows/Ulog.h"

#include <cstdio>
#include <memory>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include "output/printlayout.h"
#include "output/textlist.h"
#include "platform/ansi.h"
#include "platform/controls.h"
#include "platform/appdata.h"
#include "platform/browser_module.h"
#include "platform/clipboard.h"
#include "platform/folderchooser.h"
#include "platform/memory.h"
#include "platform/messages.h"
#include "platform/printer.h"
#include "platform/shell.h"
#include "platform/sizes.h"
#include "platform/userkey.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/locations.h"
#include "vault/record.h"
#include "vault/session.h"
#include "vault/settings.h"
#include "vault/text.h"
#include "windows/AboutBox.h"

using platform::AnsiLineEdit;
using platform::placeButton;
using platform::placeControl;
using platform::placeEdit;
using platform::fromAnsi;
using platform::guarded;
using platform::toAnsi;

namespace {

const QColor kPanelColour(239, 239, 239);
const QColor kPanelAfterCopy(232, 232, 232);
constexpr int kCopyFlashMs = 100;

const char* const kNoFolderText =
    "Could not create a folder as you do not have authority on your system. Please right "
    "click this software icon on your desktop, and choose the option to \"Run as Admin\" "
    "(only needs to be done one time), as you currently do not have authority to create a "
    "new folder.";
const char* const kNoDataFileText =
    "No data file found. If you are storing data externally, make sure you have connected "
    "your external drive or USB (flash) thumb drive, diskette, etc, then click OK to "
    "continue.";
const char* const kCreateFileQuestion =
    "We will now create a new file for you to store your data. If this is your first time "
    "running then click YES to create the file. (If this is \"not\" the first time running, "
    "then click NO as this message should only appear the first time you run. )";

QFont windowFont() {
    // Where MS Sans Serif is missing, a font of Arial's widths keeps the texts in their
    // designed room better than the usual sans-serif substitute.
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
}

QFont withStyle(QFont f, bool bold, bool underline) {
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                  int h) {
    QLabel* l = placeControl<QLabel>(parent, name, x, y, w, h);
    l->setText(text);
    l->setTextFormat(Qt::PlainText);
    return l;
}

}  // namespace

TFrmfirst::TFrmfirst(QWidget* parent)
    : QWidget(parent), session_(std::make_unique<vault::Session>(vault::Locations{})) {
    setObjectName(QStringLiteral("Frmfirst"));
    setWindowTitle(QStringLiteral("Keyfold"));
    setFont(windowFont());
    resize(666, 638);
    buildControls();
    connectHandlers();
    platform::runGuarded([this] { FormCreate(); });
}

TFrmfirst::~TFrmfirst() = default;

void TFrmfirst::buildControls() {
    const QFont base = windowFont();

    Panel1 = placeControl<QFrame>(this, "Panel1", 8, 6, 649, 624);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setAutoFillBackground(true);
    {
        QPalette pal = Panel1->palette();
        pal.setColor(QPalette::Window, kPanelColour);
        Panel1->setPalette(pal);
    }
    QWidget* p = Panel1;

    // Left column: filter, list, count, tips link.
    Label14 = makeLabel(p, "Label14", QStringLiteral("Filter:"), 11, 11, 31, 14);
    Label14->setFont(withStyle(base, true, true));
    EdFilter = placeEdit(p, "EdFilter", Label14, 46, 8, 69, 22, 0);
    CmdReload = placeButton(p, "CmdReload", QStringLiteral("Refresh"),
                           QStringLiteral("Reload Your List"), 125, 10, 49, 18);
    ListBox1 = placeControl<QListWidget>(p, "ListBox1", 8, 35, 251, 505);
    ListBox1->setSortingEnabled(true);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setAccessibleName(QStringLiteral("Sites"));
    LblCount = makeLabel(p, "LblCount", QString(), 8, 546, 255, 17);
    LblCount->setFont(withStyle(base, true, false));
    auto* tipsLink = placeControl<platform::LinkLabel>(p, "Label6", 8, 597, 209, 21);
    tipsLink->setText(QStringLiteral("Password Protection Tips"));
    Label6 = tipsLink;
    Label6->setFont(withStyle(base, false, true));
    {
        QPalette pal = Label6->palette();
        pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
        Label6->setPalette(pal);
    }
    connect(tipsLink, &platform::LinkLabel::activated, this, guarded([this] { Label6Click(); }));

    // Right column: the entry boxes.
    Label3 = makeLabel(p, "Label3", QStringLiteral("Name (Name to identify the website)"), 274, 9,
                       317, 15);
    EdName = placeEdit(p, "EdName", Label3, 274, 25, 330, 22, 255);
    EdName->setUpperCaseOnly(true);
    Label4 = makeLabel(p, "Label4", QStringLiteral("Website URL (Right click in box to paste)"),
                       274, 57, 325, 16);
    Edwebsite = placeEdit(p, "Edwebsite", Label4, 274, 72, 330, 22, 255);
    Label5 = makeLabel(p, "Label5", QStringLiteral("Comments? (Optional comments)"), 274, 100,
                       325, 16);
    EdComments = placeEdit(p, "EdComments", Label5, 274, 116, 330, 22, 255);
    Label1 = makeLabel(p, "Label1", QStringLiteral("User ID"), 274, 148, 82, 13);
    LblUserHidden = makeLabel(p, "LblUserHidden", QStringLiteral("User Hidden"), 274, 167, 111, 13);
    LblUserHidden->hide();
    EdUser = placeEdit(p, "EdUser", Label1, 274, 163, 121, 22, 255);
    BitBtn3 = placeButton(p, "BitBtn3", QStringLiteral("C"), QStringLiteral("Copy To Clipboard"),
                         398, 163, 22, 22);
    BitBtn3->setFont(withStyle(base, true, false));
    BitBtn3->setAccessibleName(QStringLiteral("Copy User ID"));
    Label13 = makeLabel(p, "Label13", QStringLiteral("(Click to copy, doubleclick box to paste)"),
                        427, 167, 191, 14);
    Label2 = makeLabel(p, "Label2", QStringLiteral("Password: "), 274, 193, 66, 13);
    LblPwdHidden = makeLabel(p, "LblPwdHidden", QStringLiteral("Password Hidden"), 274, 212, 107, 13);
    LblPwdHidden->hide();
    Edpwd = placeEdit(p, "Edpwd", Label2, 274, 207, 121, 22, 25);
    BitBtn4 = placeButton(p, "BitBtn4", QStringLiteral("C"), QStringLiteral("Copy To Clipboard"),
                         398, 208, 22, 22);
    BitBtn4->setFont(withStyle(base, true, false));
    BitBtn4->setAccessibleName(QStringLiteral("Copy Password"));
    Label8 = makeLabel(p, "Label8", QStringLiteral("(Click to copy, doubleclick box to paste)"),
                       428, 210, 191, 14);
    CmdHide = placeButton(p, "CmdHide", QStringLiteral("H"), QStringLiteral("Toggle to hide or show"),
                         398, 232, 22, 22);
    CmdHide->setFont(withStyle(base, true, false));

    // Commands.
    CmdAdd = placeButton(p, "CmdAdd", QStringLiteral("Add Site"),
                        QStringLiteral("Add a new site to your list"), 271, 263, 113, 23);
    CmdUpdate = placeButton(p, "CmdUpdate", QStringLiteral("Update Site"),
                           QStringLiteral("Update the highlighted site"), 390, 263, 109, 23);
    CmdDelete = placeButton(p, "CmdDelete", QStringLiteral("Delete Site"),
                           QStringLiteral("Delete the highlighted site from your list"), 503, 263,
                           109, 23);
    CmdGoWeb = placeButton(p, "CmdGoWeb", QStringLiteral("Open Within"),
                          QStringLiteral("Open browser internally"), 271, 290, 113, 23);
    BitBtn1 = placeButton(p, "BitBtn1", QStringLiteral("Print"),
                         QStringLiteral("Print a list of your passwords for your lockbox"), 389, 290,
                         109, 23);
    CmdDefault = placeButton(p, "CmdDefault", QStringLiteral("Open Browser"),
                            QStringLiteral("Open your normal web browser"), 271, 317, 113, 23);
    CmdCreate = placeButton(
        p, "CmdCreate", QStringLiteral("Create Text List"),
        QStringLiteral("Show a text list of your passwords for copying, manipulating, or printing"),
        389, 317, 109, 23);

    // Storage location.
    GroupBox1 = placeControl<QGroupBox>(p, "GroupBox1", 265, 378, 376, 79);
    GroupBox1->setTitle(QStringLiteral("Security - Store all data on thumb drive or memory card"));
    GroupBox1->setFont(withStyle(base, true, false));
    Label7 = makeLabel(GroupBox1, "Label7", QStringLiteral("Current Storage Location:"), 9, 21, 124, 14);
    Label7->setFont(withStyle(base, false, true));
    LblCurrent = makeLabel(GroupBox1, "LblCurrent", QString(), 9, 43, 358, 28);
    LblCurrent->setFont(withStyle(base, false, false));
    LblCurrent->setWordWrap(true);
    LblCurrent->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    CmdChg = placeButton(GroupBox1, "CmdChg", QStringLiteral("Change"),
                        QStringLiteral("For best security, store password data on a thumb drive "
                                       "or memory card so it can be removed"),
                        290, 17, 78, 20);
    CmdChg->setFont(withStyle(base, false, false));

    // Memory panel.
    GroupBox2 = placeControl<QGroupBox>(p, "GroupBox2", 265, 469, 376, 71);
    GroupBox2->setTitle(QStringLiteral("Your Computer:"));
    Label9 = makeLabel(GroupBox2, "Label9", QString(), 9, 18, 364, 18);
    Label10 = makeLabel(GroupBox2, "Label10", QString(), 8, 34, 364, 18);
    Label11 = makeLabel(GroupBox2, "Label11", QString(), 8, 49, 364, 18);
    // The group boxes draw their frame through the middle of the caption, so the
    // controls placed near their top edge stay inside the frame instead of crossing it.
    if (QStyle* frameStyle = QStyleFactory::create(QStringLiteral("Windows"))) {
        frameStyle->setParent(this);
        GroupBox1->setStyle(frameStyle);
        GroupBox2->setStyle(frameStyle);
    }

    CmdAbout = placeButton(p, "CmdAbout", QStringLiteral("About"), QString(), 533, 570, 109, 21);
    BitBtn2 = placeButton(p, "BitBtn2", QStringLiteral("Exit"), QStringLiteral("Exit and quit"), 533,
                         596, 109, 22);
    BitBtn2->setDefault(true);  // drawn as the default button; Enter: keyPressEvent

    ListHidden = placeControl<QListWidget>(p, "ListHidden", 8, 35, 251, 100);
    ListHidden->hide();

    // On the window itself, beside CmdAbout.
    BitBtn5 = placeButton(this, "BitBtn5", QStringLiteral("Help"), QString(), 423, 575, 109, 21);

    // Keyboard order.
    QWidget* order[] = {EdFilter, CmdReload, ListBox1, EdName,  Edwebsite, EdComments,
                        EdUser,   Edpwd,     CmdAdd,   CmdUpdate, CmdDelete, CmdGoWeb,
                        BitBtn1,  CmdDefault, CmdCreate, BitBtn3, BitBtn4,  CmdHide,
                        CmdChg,   CmdAbout,  BitBtn2,  BitBtn5, Label6};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

// The button pictures, the list's font and the fitting of the labels cost several
// milliseconds (the style's icon theme, font matches) that the key dialog does not
// need: they are made after the dialog has been painted, while it waits for the
// phrase, and at the latest before the list is loaded or the window shows.
void TFrmfirst::finishLook() {
    if (lookFinished_) return;
    lookFinished_ = true;
    {
        QFont mono(QStringLiteral("Courier New"));
        mono.setStyleHint(QFont::TypeWriter);
        mono.setFixedPitch(true);
        mono.setPixelSize(13);
        ListBox1->setFont(mono);
    }
    QStyle* st = style();
    const QSize iconSize(16, 16);
    auto picture = [&](QPushButton* b, QStyle::StandardPixmap p) {
        b->setIcon(st->standardIcon(p, nullptr, b));
        b->setIconSize(iconSize);
    };
    picture(CmdAdd, QStyle::SP_FileDialogNewFolder);
    picture(CmdUpdate, QStyle::SP_DialogSaveButton);
    picture(CmdDelete, QStyle::SP_TrashIcon);
    picture(CmdGoWeb, QStyle::SP_DriveNetIcon);
    picture(BitBtn1, QStyle::SP_FileDialogDetailedView);
    picture(CmdCreate, QStyle::SP_FileIcon);
    picture(CmdChg, QStyle::SP_DirOpenIcon);
    picture(CmdAbout, QStyle::SP_MessageBoxInformation);
    picture(BitBtn2, QStyle::SP_DialogOkButton);
    picture(BitBtn5, QStyle::SP_MessageBoxQuestion);
    // The default browser's button shows the same picture as the built-in one.
    CmdDefault->setIconSize(iconSize);
    CmdDefault->setIcon(CmdGoWeb->icon());

    // A label keeps its designed width where the font on this machine is a little wider
    // than the designed one: its letters move closer together until the text fits.
    // Only where that is not enough does the label grow rightwards.
    // All of the window's labels are in Panel1 (a message box may be a child window now).
    for (QLabel* label : Panel1->findChildren<QLabel*>()) {
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

void TFrmfirst::finishLookAfterFirstPaintOf(QWidget* dialog) {
    dialog->installEventFilter(this);
    lookAfterPaintOf_ = dialog;
}

void TFrmfirst::connectHandlers() {
    connect(CmdReload, &QPushButton::clicked, this, guarded([this] { CmdReloadClick(); }));
    connect(EdFilter, &QLineEdit::textChanged, this, guarded([this] { EdFilterChange(); }));
    // A click selects (mouse), a change of the current line selects (keyboard); code
    // that selects a line itself runs the lookup itself.
    // A line dragged to with the button held selects too: the lookup then runs when the
    // button is released, unless the release is a click on a line (which runs it itself).
    connect(ListBox1, &QListWidget::itemClicked, this, [this] {
        mouseSelectPending_ = false;
        platform::runGuarded([this] { ListBox1Click(); });
    });
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (listSignalsBlocked_ || row < 0) return;
        if (QGuiApplication::mouseButtons() != Qt::NoButton) {
            mouseSelectPending_ = true;
            return;
        }
        platform::runGuarded([this] { ListBox1Click(); });
    });
    ListBox1->viewport()->installEventFilter(this);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, guarded([this] { ListBox1DblClick(); }));
    connect(EdName, &AnsiLineEdit::doubleClicked, this, guarded([this] { EdNameDblClick(); }));
    connect(Edwebsite, &AnsiLineEdit::doubleClicked, this, guarded([this] { EdwebsiteDblClick(); }));
    connect(EdComments, &AnsiLineEdit::doubleClicked, this, guarded([this] { EdCommentsDblClick(); }));
    connect(EdUser, &AnsiLineEdit::doubleClicked, this, guarded([this] { EdUserDblClick(); }));
    connect(Edpwd, &AnsiLineEdit::doubleClicked, this, guarded([this] { EdpwdDblClick(); }));
    connect(CmdHide, &QPushButton::clicked, this, guarded([this] { CmdHideClick(); }));
    connect(BitBtn3, &QPushButton::clicked, this, guarded([this] { BitBtn3Click(); }));
    connect(BitBtn4, &QPushButton::clicked, this, guarded([this] { BitBtn4Click(); }));
    connect(CmdAdd, &QPushButton::clicked, this, guarded([this] { CmdAddClick(); }));
    connect(CmdUpdate, &QPushButton::clicked, this, guarded([this] { CmdUpdateClick(); }));
    connect(CmdDelete, &QPushButton::clicked, this, guarded([this] { CmdDeleteClick(); }));
    connect(CmdGoWeb, &QPushButton::clicked, this, guarded([this] { CmdGoWebClick(); }));
    connect(BitBtn1, &QPushButton::clicked, this, guarded([this] { BitBtn1Click(); }));
    connect(CmdDefault, &QPushButton::clicked, this, guarded([this] { CmdDefaultClick(); }));
    connect(CmdCreate, &QPushButton::clicked, this, guarded([this] { CmdCreateClick(); }));
    connect(CmdChg, &QPushButton::clicked, this, guarded([this] { CmdChgClick(); }));
    connect(CmdAbout, &QPushButton::clicked, this, guarded([this] { CmdAboutClick(); }));
    connect(BitBtn2, &QPushButton::clicked, this, guarded([this] { BitBtn2Click(); }));
    connect(BitBtn5, &QPushButton::clicked, this, guarded([this] { BitBtn5Click(); }));
}

bool TFrmfirst::eventFilter(QObject* watched, QEvent* e) {
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
    if (watched == ListBox1->viewport() && e->type() == QEvent::MouseButtonRelease) {
        QTimer::singleShot(0, this, [this] {
            if (!mouseSelectPending_) return;
            mouseSelectPending_ = false;
            platform::runGuarded([this] { ListBox1Click(); });
        });
    }
    return QWidget::eventFilter(watched, e);
}

void TFrmfirst::keyPressEvent(QKeyEvent* e) {
    // "Exit" is the default button: Enter on anything but a button closes the program;
    // Enter on a button presses that button. Escape does nothing.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
            button && isAncestorOf(button)) {
            button->click();
        } else {
            BitBtn2->click();
        }
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TFrmfirst::showEvent(QShowEvent* e) {
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

void TFrmfirst::closeEvent(QCloseEvent* e) {
    platform::runGuarded([this] { FormCloseQuery(); });
    e->accept();
}

// ---------------------------------------------------------------------------------
// Start-up and list loading
// ---------------------------------------------------------------------------------

void TFrmfirst::FormCreate() {
    // 1. Data folder, settings file, storage folder.
    vault::Locations paths;
    if (!vault::SetupDataFolder(paths, platform::appDataFolder()))
        platform::showWarning(QString::fromLatin1(kNoFolderText));
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

void TFrmfirst::FormCloseQuery() {
    // A size that cannot be written is reported; the close goes on all the same.
    platform::runGuarded(
        [this] { platform::SaveFormSize(this, "Frmfirst", session_->paths().settingsFile); });
    platform::writeUserKeyBool(QStringLiteral("Show"), entriesShown());
    platform::runGuarded([this] { StoreChosenLocation(); });
}

void TFrmfirst::LoadAtStart() {
    finishLook();  // the list's font before its lines
    const std::string& dataFile = session_->paths().dataFile;
    if (!session_->dataFileExists() &&
        vault::UpperAscii(dataFile).find("DOCUMENTS AND SETTINGS") == std::string::npos)
        platform::showPlain(QString::fromLatin1(kNoDataFileText));
    LoadSiteList();
    const platform::MemoryLines lines =
        platform::memoryLines(platform::GetMemoryFigure(platform::MemoryKind::TotalPhysical),
                              platform::GetMemoryFigure(platform::MemoryKind::AvailablePhysical));
    Label9->setText(lines.total);
    Label10->setText(lines.available);
    Label11->setText(lines.percent);
    LblCurrent->setText(QString::fromLocal8Bit(dataFile));
    selectFirstLineAndShow();
    RefreshCount();
}

void TFrmfirst::LoadSiteList() {
    if (!session_->dataFileExists()) {
        session_->refuseUnreachableLink();
        if (platform::askYesNo(QString::fromLatin1(kCreateFileQuestion))) session_->createDataFile();
        return;
    }
    // Only the entry that comes last stays in the boxes, so the names go into the list
    // together and that entry into the boxes once, when the scan ends or fails.
    QStringList names;
    std::optional<vault::Entry> lastInUse;
    auto settle = [&] {
        if (names.isEmpty()) return;
        const bool sorting = ListBox1->isSortingEnabled();
        ListBox1->setSortingEnabled(false);
        ListBox1->addItems(names);
        ListBox1->setSortingEnabled(sorting);
        if (sorting) ListBox1->sortItems(Qt::AscendingOrder);
        ShowRecord(*lastInUse);
    };
    try {
        session_->listEntries([&](const vault::Entry& entry) {
            names.append(fromAnsi(entry.name));
            lastInUse = entry;
        });
    } catch (...) {
        settle();
        throw;
    }
    settle();
}

void TFrmfirst::ShowRecord(const vault::Entry& entry) {
    EdName->setText(fromAnsi(entry.name));
    Edwebsite->setText(fromAnsi(entry.website));
    EdUser->setText(fromAnsi(entry.userId));
    EdComments->setText(fromAnsi(entry.comments));
    Edpwd->setText(fromAnsi(entry.password));
    // Each box shows the start of its text, however long it is.
    for (AnsiLineEdit* box : {EdName, Edwebsite, EdUser, EdComments, Edpwd}) box->setCursorPosition(0);
}

void TFrmfirst::RefreshCount() {
    LblCount->setText(QStringLiteral("Total Sites = %1").arg(ListBox1->count()));
}

bool TFrmfirst::entriesShown() const { return !EdUser->isHidden(); }

void TFrmfirst::setMasked(bool masked) {
    EdUser->setHidden(masked);
    Edpwd->setHidden(masked);
    CmdHide->setText(masked ? QStringLiteral("S") : QStringLiteral("H"));
    // The caption is a single letter; a screen reader says what a press does.
    CmdHide->setAccessibleName(masked ? QStringLiteral("Show User ID and Password")
                                      : QStringLiteral("Hide User ID and Password"));
    LblUserHidden->setHidden(!masked);
    LblPwdHidden->setHidden(!masked);
}

void TFrmfirst::BitBtn2Click() { close(); }

// ---------------------------------------------------------------------------------
// Selection, filter, masking and clipboard
// ---------------------------------------------------------------------------------

void TFrmfirst::ListBox1Click() {
    if (ListBox1->count() == 0) return;
    QListWidgetItem* line = ListBox1->currentItem();
    if (!line || !line->isSelected()) return;  // no line selected
    if (const std::optional<vault::Entry> entry = session_->find(toAnsi(line->text()))) ShowRecord(*entry);
}

void TFrmfirst::ListBox1DblClick() { CmdGoWebClick(); }

void TFrmfirst::EdFilterChange() {
    const std::string typed = toAnsi(EdFilter->text());
    if (ListBox1->count() == 0 || vault::Trim(typed).empty()) return;
    const std::string wanted = vault::UpperAscii(typed);  // untrimmed
    ListHidden->clear();
    for (int i = 0; i < ListBox1->count(); ++i) {
        const QString line = ListBox1->item(i)->text();
        if (toAnsi(line).find(wanted) != std::string::npos) ListHidden->addItem(line);
    }
    listSignalsBlocked_ = true;
    ListBox1->clear();
    for (int i = 0; i < ListHidden->count(); ++i) ListBox1->addItem(ListHidden->item(i)->text());
    ListBox1->setCurrentRow(-1);
    listSignalsBlocked_ = false;
}

void TFrmfirst::CmdReloadClick() {
    EdFilter->clear();
    listSignalsBlocked_ = true;
    ListBox1->clear();
    listSignalsBlocked_ = false;
    LoadSiteList();
}

void TFrmfirst::CmdHideClick() { setMasked(entriesShown()); }

void TFrmfirst::BitBtn3Click() { copyToClipboard(EdUser->text()); }

void TFrmfirst::BitBtn4Click() { copyToClipboard(Edpwd->text()); }

void TFrmfirst::EdNameDblClick() { pasteInto(EdName); }
void TFrmfirst::EdwebsiteDblClick() { pasteInto(Edwebsite); }
void TFrmfirst::EdCommentsDblClick() { pasteInto(EdComments); }
void TFrmfirst::EdUserDblClick() { pasteInto(EdUser); }
void TFrmfirst::EdpwdDblClick() { pasteInto(Edpwd); }

void TFrmfirst::pasteInto(AnsiLineEdit* box) {
    // The box's own paste, so its length limit, upper case and single line apply.
    box->clear();
    box->pasteClipboard();
}

void TFrmfirst::copyToClipboard(const QString& text) {
    // The panel flashes black long enough to be seen, then keeps a shade darker.
    QPalette pal = Panel1->palette();
    pal.setColor(QPalette::Window, Qt::black);
    Panel1->setPalette(pal);
    platform::copySecret(text);
    if (!copyFlash_) {
        copyFlash_ = new QTimer(this);
        copyFlash_->setSingleShot(true);
        copyFlash_->setInterval(kCopyFlashMs);
        connect(copyFlash_, &QTimer::timeout, this, [this] {
            QPalette after = Panel1->palette();
            after.setColor(QPalette::Window, kPanelAfterCopy);
            Panel1->setPalette(after);
        });
    }
    copyFlash_->start();
}

void TFrmfirst::selectFirstLineAndShow() {
    listSignalsBlocked_ = true;
    ListBox1->setCurrentRow(0);
    listSignalsBlocked_ = false;
    if (ListBox1->count() > 0) ListBox1Click();
}

// ---------------------------------------------------------------------------------
// Entry editing
// ---------------------------------------------------------------------------------

namespace {

const char* const kSpaceInPassword = "You cannot enter a space in the password. Remove the space.";
const char* const kNeedNameAndWebsite =
    "You must enter a name and a website address to add. The name can be any name you wish to "
    "identify your site with, and the web address needs to be the actual website address. "
    "After adding, the name will appear on the list, and you can then FTP to and any name in "
    "your list.";
const char* const kFileFull = "Please delete one of your entries before adding another";
const char* const kAdded = "Successfully added to your list.";
const char* const kNeedName =
    "You must have a name in the NAME box. Please click and select an item from your list. If "
    "your list is empty, you can use the ADD button to add new names and web addresses to the "
    "list.";
const char* const kNameNotFound =
    "The NAME was not found. Use the ADD button to add a new name to the list. If you want to "
    "use the UPDATE or DELETE button, the name must already exist in the list.";

QString duplicateText(const std::string& name, const char* ending) {
    return QStringLiteral("This name (") + fromAnsi(name) +
           QStringLiteral(") already exists in your list. Change the name ") +
           QStringLiteral("if you wish to add a new name, or use the update button to update ") +
           QString::fromLatin1(ending);
}

}  // namespace

vault::Entry TFrmfirst::typedEntry() const {
    return vault::Entry{toAnsi(EdName->text()), toAnsi(Edwebsite->text()), toAnsi(EdUser->text()),
                        toAnsi(Edpwd->text()), toAnsi(EdComments->text())};
}

void TFrmfirst::CmdAddClick() {
    // The list test looks at the lines the list shows now (after a filter only the
    // matching ones); the file's own test follows in the vault.
    auto listed = [this](const std::string& key) {
        for (int i = 0; i < ListBox1->count(); ++i)
            if (vault::nameKey(toAnsi(ListBox1->item(i)->text())) == key) return true;
        return false;
    };
    const vault::AddResult result =
        session_->add(typedEntry(), listed, [this](const vault::Entry& entry, bool addressCompleted) {
            if (addressCompleted) Edwebsite->setText(fromAnsi(entry.website));
        });
    const std::string wanted = vault::nameKey(toAnsi(EdName->text()));
    switch (result.outcome) {
    case vault::AddOutcome::SpaceInPassword:
        platform::showPlain(QString::fromLatin1(kSpaceInPassword));
        return;
    case vault::AddOutcome::NameOrWebsiteMissing:
        platform::showPlain(QString::fromLatin1(kNeedNameAndWebsite));
        RefreshCount();
        return;
    case vault::AddOutcome::ListedAlready:
        platform::showConfirmOk(duplicateText(wanted, "this name."));
        return;
    case vault::AddOutcome::Full:
        platform::showPlain(QString::fromLatin1(kFileFull));
        RefreshCount();
        return;
    case vault::AddOutcome::Duplicate:
        platform::showConfirmOk(duplicateText(wanted, "the name."));
        RefreshCount();
        return;
    case vault::AddOutcome::Added:
        break;
    }
    listSignalsBlocked_ = true;
    ListBox1->addItem(fromAnsi(result.entry.name));
    listSignalsBlocked_ = false;
    platform::showPlain(QString::fromLatin1(kAdded));
    selectFirstLineAndShow();
    RefreshCount();
}

void TFrmfirst::CmdUpdateClick() { ApplyEntryChange(QStringLiteral("U")); }

void TFrmfirst::CmdDeleteClick() {
    if (!platform::askYesNo(QStringLiteral("You chose delete. You sure you want to delete entry ") +
                            EdName->text() + QStringLiteral("? (Click \"Yes\" to delete)")))
        return;
    ApplyEntryChange(QStringLiteral("D"));
    selectFirstLineAndShow();
    RefreshCount();
}

void TFrmfirst::ApplyEntryChange(const QString& kind) {
    const bool deleting = kind == QStringLiteral("D");
    const vault::ChangeResult result =
        deleting ? session_->remove(toAnsi(EdName->text()))
                 : session_->update(typedEntry(), [this](const vault::Entry& entry, bool addressCompleted) {
                       if (addressCompleted) Edwebsite->setText(fromAnsi(entry.website));
                   });
    switch (result.outcome) {
    case vault::ChangeOutcome::SpaceInPassword:
        platform::showPlain(QString::fromLatin1(kSpaceInPassword));
        return;
    case vault::ChangeOutcome::NameMissing:
        platform::showPlain(QString::fromLatin1(kNeedName));
        return;
    case vault::ChangeOutcome::NotFound:
        platform::showPlain(QString::fromLatin1(kNameNotFound));
        return;
    case vault::ChangeOutcome::Updated:
    case vault::ChangeOutcome::Deleted:
        break;
    }
    if (deleting) {
        // The line goes once the slot is written, so a failed write leaves list and file alike.
        const QString line = fromAnsi(result.entry.name);
        for (int i = 0; i < ListBox1->count(); ++i) {
            if (ListBox1->item(i)->text() == line) {
                listSignalsBlocked_ = true;
                delete ListBox1->takeItem(i);
                listSignalsBlocked_ = false;
                break;
            }
        }
    }
    platform::showPlain(EdName->text() + (deleting ? QStringLiteral(" has been deleted.")
                                                   : QStringLiteral(" has been updated.")));
}

// =================================================================================
// Handlers of the other windows and links. Each body belongs to its own area; keep
// them apart.
// =================================================================================

// ----- Browser window --------------------------------------------------------------

void TFrmfirst::CmdGoWebClick() {
    // The browser window takes the boxes' texts as they stand; masking follows the
    // "User Hidden" label of this window.
    platform::BrowseRequest request;
    request.owner = this;
    request.name = EdName->text();
    request.website = Edwebsite->text();
    request.user = EdUser->text();
    request.password = Edpwd->text();
    request.masked = !LblUserHidden->isHidden();
    platform::openBrowserWindow(request);
}

// ----- Printed list ----------------------------------------------------------------

namespace {
const char* const kPrintQuestion =
    "You chose print. You sure you want to print your list of passwords now? ";
}  // namespace

void TFrmfirst::BitBtn1Click() {
    if (!platform::askYesNo(QString::fromLatin1(kPrintQuestion))) return;
    // The job starts on the default printer before the data file is opened.
    std::unique_ptr<platform::PrinterDevice> printer = platform::PrinterDevice::openDefault();
    if (!printer) {
        platform::showError(QString::fromLatin1(platform::kNoDefaultPrinterText));
        return;
    }
    // Every in-use slot in slot order, from the file itself (not the list on screen);
    // the lines are read back from the boxes. An error drops the job unsent.
    // The lines are the boxes' texts as each entry would show there; only the last
    // entry printed stays in the boxes, also when the job ends early.
    std::optional<vault::Entry> lastPrinted;
    try {
        output::printList(*printer, [&](const auto& print) {
            session_->forEachPrintable([&](const vault::Entry& entry) {
                lastPrinted = entry;
                print({EdName->ansiTextFor(entry.name), Edwebsite->ansiTextFor(entry.website),
                       EdUser->ansiTextFor(entry.userId), Edpwd->ansiTextFor(entry.password)});
            });
        });
    } catch (...) {
        if (lastPrinted) ShowRecord(*lastPrinted);
        throw;
    }
    if (lastPrinted) ShowRecord(*lastPrinted);
}

// ----- Text list ---------------------------------------------------------------------

namespace {
const char* const kNoViewerText =
    "You cannot view this file because you do not have a default web browser setup. You can "
    "still view this file by opening notepad and pointing to the file Tempfile.txt which is "
    "now located in your install directory.";
const char* const kDeleteTextListQuestion =
    "A text file showing your entire list has been created for you. You can edit, change, cut "
    "and paste, or add anything you wish with this notepad list, and even print directly from "
    "here if you wish. The text file for this is on your hard drive in the installation "
    "folder, and this should be deleted \"after\" you have closed your notepad list. If you "
    "want me to delete it for you (recommended), then after you have closed notepad, click "
    "\"Yes\" to delete this text file so it is not left behind.";
const char* const kTextListDeletedText = "This temporary file has been deleted from your hard drive";
const char* const kTextListNotDeletedText =
    "This temporary file could \"not\" be deleted. Chances are you have it open. When you "
    "close your notepad, remember to go delete the temporary file list at : ";
const char* const kTextListKeptText =
    "Nothing done. Dont forget to manually delete the following file when you are done "
    "viewing it: ";

// A path of the file system as the user reads it.
QString displayPath(const std::string& path) {
#ifdef _WIN32
    return fromAnsi(path);
#else
    return QFile::decodeName(QByteArray::fromStdString(path));
#endif
}
}  // namespace

void TFrmfirst::CmdCreateClick() {
    const std::string path = output::textListPath(session_->paths().dataFolder);
    const QString shownPath = QDir::toNativeSeparators(displayPath(path));
    {
        output::TextListFile file(path);
        // The entries the list shows, in its order, each as clicking its line would show
        // it in the boxes (a name no slot holds leaves the boxes as they were). The file
        // is read once, and the list and the boxes are set once, to the line the walk
        // stopped at: the last one, or the one whose entry failed.
        vault::ListedNameIndex index(*session_);
        const vault::Entry* shown = nullptr;
        std::string name = EdName->ansiText(), website = Edwebsite->ansiText(),
                    user = EdUser->ansiText(), password = Edpwd->ansiText(),
                    comments = EdComments->ansiText();
        auto settle = [&](int row) {
            listSignalsBlocked_ = true;
            ListBox1->setCurrentRow(row);
            listSignalsBlocked_ = false;
            if (shown) ShowRecord(*shown);
        };
        const int count = ListBox1->count();
        int row = 0;
        try {
            for (; row < count; ++row) {
                if (const vault::Entry* e = index.find(toAnsi(ListBox1->item(row)->text()))) {
                    shown = e;
                    name = EdName->ansiTextFor(e->name);
                    website = Edwebsite->ansiTextFor(e->website);
                    user = EdUser->ansiTextFor(e->userId);
                    password = Edpwd->ansiTextFor(e->password);
                    comments = EdComments->ansiTextFor(e->comments);
                }
                file.writeEntry(name, website, user, password, comments);
            }
        } catch (...) {
            settle(row);
            throw;
        }
        if (count > 0) settle(count - 1);
        file.close();
    }
    if (!platform::shellOpen(shownPath, platform::ShellShow::Normal))
        platform::showPlain(QString::fromLatin1(kNoViewerText));
    if (platform::askYesNo(QString::fromLatin1(kDeleteTextListQuestion))) {
        if (output::removeTextList(path))
            platform::showPlain(QString::fromLatin1(kTextListDeletedText));
        else
            platform::showPlain(QString::fromLatin1(kTextListNotDeletedText) + shownPath);
    } else {
        platform::showPlain(QString::fromLatin1(kTextListKeptText) + shownPath);
    }
}

// ----- External browser --------------------------------------------------------------

void TFrmfirst::CmdDefaultClick() {
    const QString box = Edwebsite->text();
    const std::string address = vault::Trim(toAnsi(box));
    if (address.empty()) {
        platform::showPlain(
            QStringLiteral("There is no website address listed in the website box above."));
        return;
    }
    // Handed over as it stands: stored addresses already carry their scheme.
    if (!platform::shellOpen(fromAnsi(address)))
        platform::showPlain(QStringLiteral("Your web browser could not be opened. You will need to "
                                           "click and open your your browser and go to ") +
                            box + QStringLiteral(" You can also use the Go There button."));
}

// ----- Help page ---------------------------------------------------------------------

void TFrmfirst::BitBtn5Click() {
    // Beside the program file, whatever the current folder is.
    const QString path =
        QDir::toNativeSeparators(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(
            QStringLiteral("help.htm")));
    // A missing page is a failure to open it; the opener would only find out later.
    if (!QFileInfo::exists(path) || !platform::shellOpen(path))
        platform::showInformation(QStringLiteral(
            "The help file could not be opened because your browser would not open. You can "
            "view this help file by opening your browser manually, and pointing it to help.htm."));
}

// ----- Password tips page ------------------------------------------------------------

namespace {
// A page of plain advice on strong passwords, from a public security agency.
const char* const kPasswordTipsAddress = "https://www.cisa.gov/secure-our-world/use-strong-passwords";
}  // namespace

void TFrmfirst::Label6Click() {
    if (!platform::shellOpen(QString::fromLatin1(kPasswordTipsAddress)))
        platform::showInformation(QStringLiteral("Your browser could not be opened."));
}

// ----- Storage location --------------------------------------------------------------

namespace {
const char* const kChooserTitle = "Choose Your Storage Location";
const char* const kLocationSavedOnExit =
    "The new storage location will save upon exit. It will be effective the next time you "
    "open Keyfold.";
}  // namespace

// The choice only changes the label and is held until the exit; the data file of this
// run stays where it was opened, and nothing is copied or moved.
void TFrmfirst::CmdChgClick() {
    const QString start = QFile::decodeName(QByteArray::fromStdString(session_->paths().storageFolder));
    const std::optional<QString> chosen =
        platform::chooseStorageFolder(this, QString::fromLatin1(kChooserTitle), start);
    if (!chosen) return;
    LblCurrent->setText(*chosen);
    chosenLocation = QFile::encodeName(*chosen).toStdString();
    platform::showPlain(QString::fromLatin1(kLocationSavedOnExit));
}

// ----- Storing the chosen storage location at exit -----------------------------------

void TFrmfirst::StoreChosenLocation() {
    if (chosenLocation && !chosenLocation->empty())
        vault::WriteStoredLocation(session_->paths().dataFolder, *chosenLocation);
}

// ----- About box ---------------------------------------------------------------------

// A fresh box for every click, gone again once it is closed.
void TFrmfirst::CmdAboutClick() {
    const std::unique_ptr<AboutBox> box = std::make_unique<AboutBox>(this);
    box->exec();
}
