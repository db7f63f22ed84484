#pragma once
// Where a table file lives decides how it may be shared. SQLite's write-ahead log
// keeps its index in memory shared by the processes of one machine: a file that
// programs on several machines open (a folder on a network share) must use the
// rollback journal and the file system's byte-range locks instead, and a share
// without working locks can only be read. Not for use outside platform/table.

#include <QString>

namespace tbl {

enum class FolderKind {
    Local,           // WAL: one machine
    Network,         // rollback journal with the server's locks
    NetworkNoLocks,  // no byte-range locks reach the server: read only
};

// The kind of the file system that holds `folder` (a native path): the statfs type
// of the mount (NFS, SMB/CIFS, FUSE) and, for NFS, CIFS and FUSE, the mount's type
// and options in /proc/self/mountinfo ("nolock", "local_lock=", "nobrl", the FUSE
// file systems of remote machines).
//
// For tests: the environment variables KALDOR_NETWORK_FOLDERS and
// KALDOR_NOLOCK_FOLDERS (folders separated by ':') declare the folders in them
// (and below them) network folders, with and without locks; child processes
// inherit them.
FolderKind folderKind(const QString& folder);

// Whether the program may write into a folder or a file: the system's answer and
// the owner's write mark, which the program honours even where the system would
// let it write (as for root).
bool writable(const QString& path);

}  // namespace tbl
