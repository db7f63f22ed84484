#pragma once
// The one place where file names are mapped. The program names its files the way
// its users know them ("c:\kaldor_demo\config.dat", "KALDOR.TPS", "Test.rtf");
// this maps them onto the native file system:
//   - a drive letter maps to a folder: drive C to $XDG_DATA_HOME/kaldor/drive_c
//     (or ~/.local/share/kaldor/drive_c) unless KALDOR_DRIVE_C names another;
//     likewise for every letter;
//   - backslashes become slashes;
//   - a name without a folder is relative to the process's current folder;
//   - each part of the name that exists on disk is found whatever the case of the
//     name (the files came from a file system that ignored case);
//   - a native absolute path passes through unchanged (apart from the case rule).

#include <QString>
#include <QStringView>

namespace rt {

// The native path of a program file name. Empty text gives empty text.
QString nativePath(QStringView programName);
// The folder a drive letter maps to (without a trailing separator).
QString driveFolder(QChar letter);
// A folder as the program keeps it: the native path with a trailing separator.
QString programFolder(QStringView nativeFolder);
// The way back: the program's name of a native path. Under a drive's folder it
// is the drive's name ("/home/u/.local/share/kaldor/drive_c/base/" gives
// "c:\base\"), with backslashes and the trailing separator kept; elsewhere the
// native path itself.
QString programPath(QStringView nativePath);
// The process's current folder, with a trailing separator.
QString currentFolder();
// Makes a folder (given by its program name) the process's current folder.
bool setCurrentFolder(QStringView programName);
// The native separator.
constexpr char16_t kSeparator = u'/';

}  // namespace rt
