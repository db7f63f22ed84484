#pragma once
// Copies between a card's rich-text body (a BLOB of KALDOR) and a file on disk,
// the one message every window shows when such a copy fails (the file's name,
// " не скопирован - ошибка: " and the runtime's error code), and the temporary
// files through which document text passes.

#include <QString>
#include <QStringView>
#include <mutex>

class BLOB;
class RTFControlClass;

// The text of the message for `fileName` and error `code`.
QString copyFailureText(QStringView fileName, int code);
// Shows it in a message box with ERRORCODE() as the code.
void showCopyFailure(QStringView fileName);

// BlobToFile and FileToBlob that show the message (naming `shownName`) when
// the copy fails. The result is that of the copy: 0 on success.
int blobToFileShown(const BLOB& blob, QStringView fileName, QStringView shownName);
int fileToBlobShown(QStringView fileName, BLOB& blob, QStringView shownName);

// ---- temporary files of document text ------------------------------------------
// "Test.rtf", "zfile.rtf" and the card buffer's transfer file are one set of
// files for the whole process. A write into one and the read that goes with
// it (a copy and the editor's load, the editor's save and the copy back, the
// card buffer's fields and its file) happen under this lock, so that no other
// thread's text comes between them. Message boxes wait until it is let go.
std::unique_lock<std::mutex> lockTemporaryFiles();
// Before a write into `fileName` (the lock held): the file is made readable
// by its owner only, before any text is in it, and is removed when the
// program ends.
void prepareTemporaryFile(QStringView fileName);
// Removes every temporary file written in this run (the program's end).
void removeTemporaryFiles();

// A body into an editor through the temporary file `fileName`: the BLOB is
// copied into the file, which the editor loads. When the copy fails the
// editor is not loaded: the file may still hold an older text (another
// card's), which would go back into this card with the editor. A file the
// editor cannot read fails alike. False (after the message) on failure.
bool bodyToEditor(const BLOB& blob, QStringView fileName, RTFControlClass& editor,
                  QStringView shownName);
// The editor's text into a body through the temporary file: the editor saves
// itself into the file, which is copied into the BLOB. When the save fails the
// BLOB is left alone (the file still holds an older text). False (after the
// message) on failure.
bool editorToBody(RTFControlClass& editor, QStringView fileName, BLOB& blob, QStringView shownName);
// A body into a preview that never gives it back: after a failed copy (and
// its message) the preview loads what the file holds.
void bodyToPreview(const BLOB& blob, QStringView fileName, RTFControlClass& preview,
                   QStringView shownName);
