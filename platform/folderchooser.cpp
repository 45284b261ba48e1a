#include "platform/folderchooser.h"

#include <utility>
#include <vector>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QGridLayout>
#include <QLabel>
#include <QStringList>
#include <QToolButton>

namespace platform {

namespace {

// Qt's own file dialog writes its history (the folders visited and chosen) into the
// user's shared Qt settings file when it closes. The chooser puts that file back as it
// was, so the place of the data file is not left on the computer.
class DialogHistoryGuard {
public:
    DialogHistoryGuard()
        : path_(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/QtProject.conf")) {
        QFile f(path_);
        existed_ = f.open(QIODevice::ReadOnly);
        if (existed_) before_ = f.readAll();
    }
    ~DialogHistoryGuard() {
        if (!existed_) {
            QFile::remove(path_);
            return;
        }
        QFile f(path_);
        if (f.open(QIODevice::ReadOnly) && f.readAll() == before_) return;
        f.close();
        QSaveFile out(path_);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(before_);
            out.commit();
        }
    }
    DialogHistoryGuard(const DialogHistoryGuard&) = delete;
    DialogHistoryGuard& operator=(const DialogHistoryGuard&) = delete;

private:
    QString path_;
    bool existed_ = false;
    QByteArray before_;
};

// The test seam: an answer waiting for the next call, and the last request.
struct FolderChooserSeam {
    bool answerSet = false;
    std::optional<QString> answer;
    std::optional<testing::FolderRequest> lastRequest;
};
FolderChooserSeam& seam() {
    static FolderChooserSeam state;
    return state;
}
}  // namespace

std::optional<QString> chooseStorageFolder(QWidget* parent, const QString& title, const QString& startFolder) {
    FolderChooserSeam& test = seam();
    test.lastRequest = testing::FolderRequest{title, startFolder};
    if (test.answerSet) {
        test.answerSet = false;
        return std::exchange(test.answer, std::nullopt);
    }

    // Qt's own dialog rather than the desktop's: only it lets us take away the
    // "create new folder" button. The chooser picks a place for an existing data file
    // or for a new one; making folders is not its business.
    // Declared before the dialog: it puts the settings file back after the dialog has
    // written it on its way out.
    const DialogHistoryGuard historyGuard;
    QFileDialog dialog(parent, title);
    dialog.setObjectName(QStringLiteral("StorageFolderChooser"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
    if (auto* newFolder = dialog.findChild<QToolButton*>(QStringLiteral("newFolderButton"))) newFolder->hide();
    // The prompt stands above the folder view too, not only in the title bar (which a
    // desktop may not draw): every row of the dialog moves down by one to make room.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        struct Placed {
            QLayoutItem* item;
            int row, column, rowSpan, columnSpan;
        };
        std::vector<Placed> placed;
        while (grid->count() > 0) {
            Placed p{};
            grid->getItemPosition(0, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
            p.item = grid->takeAt(0);
            placed.push_back(p);
        }
        auto* prompt = new QLabel(title, &dialog);
        prompt->setObjectName(QStringLiteral("StorageFolderPrompt"));
        prompt->setTextFormat(Qt::PlainText);
        grid->addWidget(prompt, 0, 0, 1, -1);
        for (const Placed& p : placed)
            grid->addItem(p.item, p.row + 1, p.column, p.rowSpan, p.columnSpan, p.item->alignment());
    }
    // Opened in the start folder, so OK at once keeps it.
    if (!startFolder.isEmpty() && QFileInfo(startFolder).isDir())
        dialog.setDirectory(QDir::cleanPath(QFileInfo(startFolder).absoluteFilePath()));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(chosen.first());
}

namespace testing {
void setNextFolderChoice(std::optional<QString> choice) {
    seam().answerSet = true;
    seam().answer = std::move(choice);
}
bool folderChoicePending() { return seam().answerSet; }
std::optional<FolderRequest> lastFolderRequest() { return seam().lastRequest; }
void resetFolderChooser() {
    seam().answerSet = false;
    seam().answer.reset();
    seam().lastRequest.reset();
}
}  // namespace testing

}  // namespace platform
