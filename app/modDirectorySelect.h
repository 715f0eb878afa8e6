// The backup folder: chosen in a folder browser, always kept with a trailing backslash because
// the backup and the restore append folder names to it directly.
#pragma once

#include "platform/Ui.h"
#include "platform/WinPath.h"

#include <string>

namespace levora {

namespace modDirectorySelect {

// Where the browser starts and what it offers: the folder named by current (the backup folder's
// text) when it exists, else C:\; the prefix's drives C: to Z: that exist, by their letters.
FolderBrowse browseFrom(const std::string& current, const PathNamespace& ns);

// The chosen folder as a Windows path, without a trailing backslash unless it is a drive root
// ("D:\"); empty when the user cancels or the folder has no Windows path.
std::string strBrowseForFolder(IFolderDialog& dialog, const PathNamespace& ns, const std::string& current = {});

} // namespace modDirectorySelect

// The cmdBrowse click: the text txtBackupTarget gets from a browser result.
std::string BackupTargetFromBrowse(const std::string& current, const std::string& chosen);

// txtBackupTarget losing the focus: a typed folder gets the trailing backslash too.
std::string BackupTargetOnFocusOut(const std::string& text);

} // namespace levora
