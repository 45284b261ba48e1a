// The folder chooser the main window offers for the storage location.
#pragma once
#include <optional>
#include <QString>

class QWidget;

namespace platform {

// Shows a modal chooser that picks an existing folder (folders only, no button to make a
// new one) with the given title. startFolder is preselected when it exists as a folder.
// Returns the chosen folder's full path, or nothing when the user cancels.
std::optional<QString> chooseStorageFolder(QWidget* parent, const QString& title, const QString& startFolder);

namespace testing {
// Answers the next chooseStorageFolder call without showing the chooser:
// a path = the user confirmed that folder, nothing = the user cancelled.
void setNextFolderChoice(std::optional<QString> choice);
// Whether an answer is still waiting for a call.
bool folderChoicePending();
// What the last call asked for (title and start folder), answered or not.
struct FolderRequest {
    QString title;
    QString startFolder;
};
std::optional<FolderRequest> lastFolderRequest();
void resetFolderChooser();
}  // namespace testing

}  // namespace platform
