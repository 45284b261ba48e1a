#include "platform/folderchooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <QToolButton>

namespace platform {

namespace {
// The test hook: an answer waiting for the next call, and the last request.
bool g_answerSet = false;
std::optional<QString> g_answer;
std::optional<testing::FolderRequest> g_lastRequest;
}  // namespace

std::optional<QString> chooseStorageFolder(QWidget* parent, const QString& title,
                                           const QString& startFolder) {
    g_lastRequest = testing::FolderRequest{title, startFolder};
    if (g_answerSet) {
        g_answerSet = false;
        auto answer = std::move(g_answer);
        g_answer.reset();
        return answer;
    }

    // Qt's own dialog rather than the desktop's: only it lets us take away the
    // "create new folder" button. The chooser picks a place for an existing data file
    // or for a new one; making folders is not its business.
    QFileDialog dialog(parent, title);
    dialog.setObjectName(QStringLiteral("StorageFolderChooser"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog |
                      QFileDialog::ReadOnly);
    if (auto* newFolder = dialog.findChild<QToolButton*>(QStringLiteral("newFolderButton")))
        newFolder->hide();
    // Opened in the start folder, so OK at once keeps it.
    if (!startFolder.isEmpty() && QFileInfo(startFolder).isDir())
        dialog.setDirectory(QDir::cleanPath(QFileInfo(startFolder).absoluteFilePath()));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(chosen.first());
}

namespace testing {
void setNextFolderChoice(std::optional<QString> choice) {
    g_answerSet = true;
    g_answer = std::move(choice);
}
bool folderChoicePending() { return g_answerSet; }
std::optional<FolderRequest> lastFolderRequest() { return g_lastRequest; }
void resetFolderChooser() {
    g_answerSet = false;
    g_answer.reset();
    g_lastRequest.reset();
}
}  // namespace testing

}  // namespace platform
