#pragma once
// The freedesktop.org trash: a deleted file or folder is moved into "files/" of a trash
// folder on its own volume, with a "<name>.trashinfo" record in "info/" that gives its
// old place and the time of deletion, so that the desktop's trash can restore it.
// The trash folders are created when missing. Nothing here ever deletes for good: when
// no trash can take an entry, the call fails with the reason.
#include <string>

namespace qm {

// $XDG_DATA_HOME/Trash, else $HOME/.local/share/Trash (no trailing "/").
std::string HomeTrashFolder();

// Moves path (a file or a folder; a trailing "/" is ignored) into the trash of its
// volume: the home trash when it lies on the same volume, else the volume's own
// "$topdir/.Trash/$uid" (when "$topdir/.Trash" is a sticky folder) or
// "$topdir/.Trash-$uid". True on success, with trashedAs (when given) the name it got in
// "files/"; false with the reason otherwise, and the entry then stays where it was.
bool MoveToTrash(const std::string& path, std::string& reason, std::string* trashedAs = nullptr);

// Folders the trash must never lie in: the rom paths, whose next scan would list a trash
// folder as unknown files. A volume's trash folder inside one of them is not used; the
// entry goes to the home trash instead, copied across volumes when it must. Counted: a
// folder kept out twice is allowed again after two calls.
void KeepTrashOutOf(const std::string& folder);
void AllowTrashIn(const std::string& folder);

// Moves path into the trash folder trashDir (created with "files/" and "info/" when
// missing), recording infoPath as its old place (absolute for the home trash, relative
// to the volume's top folder for a volume's trash). 0 or errno; trashedAs receives the
// full name in "files/".
int PutIntoTrash(const std::string& trashDir, const std::string& path, const std::string& infoPath,
                 std::string& trashedAs);

// The "Path=" value of a .trashinfo record: bytes outside the unreserved set and "/"
// written as "%XX".
std::string EncodeTrashPath(const std::string& path);

}  // namespace qm
