// The main window: the data file sealed or plain, from the box in the storage group.
#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>

#include "platform/windows1252text.h"
#include "platform/messages.h"
#include "vault/seal.h"
#include "vault/session.h"
#include "windows/FormSupport.h"
#include "windows/MainWindow.h"

namespace {

const char* const kSealQuestion = QT_TRANSLATE_NOOP(
    "MainWindow",
    "Seal the data file?\n\nKeyfold then encrypts the whole file under your key phrase, with a key that "
    "takes about half a second to make from a phrase, so a found copy cannot be read by trying phrases "
    "quickly. Older versions of Keyfold cannot open a sealed file.");
const char* const kUnsealQuestion = QT_TRANSLATE_NOOP(
    "MainWindow",
    "Unseal the data file?\n\nIt is then stored as before, readable by older versions of Keyfold, and anyone "
    "who finds a copy of it can read the entries with some effort.");
const char* const kSealPhraseAgainText =
    QT_TRANSLATE_NOOP("MainWindow",
                      "Type your key phrase once more. The data file is sealed under it only when it is "
                      "the phrase you opened the file with.");
const char* const kSealPhraseDiffersText = QT_TRANSLATE_NOOP(
    "MainWindow",
    "This is not the key phrase you opened the data file with, so the data file was not sealed and is as it "
    "was.\n\nIf the list shows your entries as you know them, tick the box again and type the same phrase as "
    "at the start.");
const char* const kSealedText = QT_TRANSLATE_NOOP("MainWindow", "The data file is sealed:\n%1");
const char* const kUnsealedText = QT_TRANSLATE_NOOP("MainWindow", "The data file is no longer sealed:\n%1");
const char* const kSealNeedsPhraseText = QT_TRANSLATE_NOOP(
    "MainWindow",
    "A sealed data file needs a key phrase: under the empty phrase sealing would protect nothing. Set a key "
    "phrase first (at the next start, with \"Click here to change your key phrase\").");
const char* const kNoDataFileToSealText =
    QT_TRANSLATE_NOOP("MainWindow", "There is no data file to seal yet. Add an entry first.");
const char* const kSealingNotBuiltText =
    QT_TRANSLATE_NOOP("MainWindow", "This build of Keyfold cannot seal data files.");
// The line under the seal box while the data file in use is the plain file.
const char* const kNotSealedNotice =
    QT_TRANSLATE_NOOP("MainWindow", "Not sealed: anyone with a copy can read it. Tick the box to seal it.");
const char* const kNotSealedNoPhraseNotice =
    QT_TRANSLATE_NOOP("MainWindow", "Not sealed: anyone with a copy can read it. Sealing needs a key phrase.");
const char* const kPlainFileBesideText = QT_TRANSLATE_NOOP(
    "MainWindow",
    "The data file stays sealed: Keyfold uses the sealed data file %1, and it stays.\n\nThe plain data file %2 "
    "lies beside it. It may hold entries the sealed file lacks (older versions of Keyfold write only that file; a "
    "seal or unseal that stopped part-way leaves it too), so Keyfold does not replace it. Nothing was written.\n\n"
    "Move or delete the plain data file, then untick the box again.");
const char* const kSealedFileBesideText = QT_TRANSLATE_NOOP(
    "MainWindow",
    "The data file stays plain: Keyfold uses the plain data file %1, and it stays.\n\nA sealed data file %2 now "
    "lies beside it (another copy of Keyfold may have made it). Keyfold does not replace it. Nothing was "
    "written.\n\nMove or delete the sealed data file, then tick the box again.");

}  // namespace

void MainWindow::showDataFileKind() {
    vault::Session& s = *session_;
    locationLabel()->setText(platform::displayPath(s.isSealed() ? s.sealedFile() : s.paths().dataFile));
    const QSignalBlocker quiet(sealCheckBox());
    sealCheckBox()->setChecked(s.isSealed());
    // Said while the plain file is in use (there is one: not before a first file is made).
    const bool plain = !s.isSealed() && s.plainFileExists() && vault::sealingAvailable();
    notSealedLabel()->setText(s.keyPhraseEmpty() ? tr(kNotSealedNoPhraseNotice) : tr(kNotSealedNotice));
    notSealedLabel()->setToolTip(plain ? tr("A plain data file can be read by anyone who has a copy of it, with a "
                                            "little time and without the key phrase.")
                                       : QString());
    notSealedLabel()->setVisible(plain);
}

bool MainWindow::sealingPhraseConfirmed() {
    vault::Session& s = *session_;
    // Without a data file or a phrase there is nothing to confirm: sealing says why it
    // cannot go on.
    if (!s.plainFileExists() || s.keyPhraseEmpty()) return true;
    switch (forms::askPhraseAgain(tr(kSealPhraseAgainText), s.cipher().phrase())) {
    case forms::PhraseAgain::Same: return true;
    case forms::PhraseAgain::Differs: platform::showWarning(tr(kSealPhraseDiffersText)); return false;
    case forms::PhraseAgain::Cancelled: return false;
    }
    return false;
}

void MainWindow::toggleSealing() {
    vault::Session& s = *session_;
    const bool wanted = sealCheckBox()->isChecked();
    // The box shows the file as it is until the change has been made.
    showDataFileKind();
    if (wanted == s.isSealed()) return;
    if (!platform::askYesNo(tr(wanted ? kSealQuestion : kUnsealQuestion))) return;
    if (wanted && !sealingPhraseConfirmed()) return;
    vault::SealOutcome outcome;
    {
        // However it ends (a failure goes to the error report), the label and the box then
        // show the file as it is; the key takes about half a second.
        struct ShowOutcome {
            MainWindow* window;
            ~ShowOutcome() { window->showDataFileKind(); }
        } showOutcome{this};
        const forms::WaitCursor wait;
        // The key is derived off the window's thread, which keeps painting meanwhile.
        s.setKeyWork(forms::runOffWindowThread);
        outcome = wanted ? s.seal() : s.unseal();
    }
    switch (outcome) {
    case vault::SealOutcome::Sealed:
        platform::showInformation(tr(kSealedText).arg(platform::displayPath(s.sealedFile())));
        return;
    case vault::SealOutcome::Unsealed:
        platform::showInformation(tr(kUnsealedText).arg(platform::displayPath(s.paths().dataFile)));
        return;
    case vault::SealOutcome::AlreadySealed:
    case vault::SealOutcome::NotSealed: return;  // another copy got there first; the box shows it
    case vault::SealOutcome::NoDataFile: platform::showWarning(tr(kNoDataFileToSealText)); return;
    case vault::SealOutcome::PhraseEmpty: platform::showWarning(tr(kSealNeedsPhraseText)); return;
    case vault::SealOutcome::NotAvailable: platform::showWarning(tr(kSealingNotBuiltText)); return;
    case vault::SealOutcome::OtherFileThere: {
        // The file in use stays; the other one is named second.
        const QString sealedFile = platform::displayPath(s.sealedFile());
        const QString plainFile = platform::displayPath(s.paths().dataFile);
        if (s.isSealed())
            platform::showWarning(tr(kPlainFileBesideText).arg(sealedFile, plainFile));
        else
            platform::showWarning(tr(kSealedFileBesideText).arg(plainFile, sealedFile));
        return;
    }
    }
}
