#include "copyfailure.h"

#include <QFile>
#include <QFileInfo>
#include <set>

#include "core/errors.h"
#include "core/paths.h"
#include "rtfcontrol.h"
#include "table.h"
#include "ui/dialogs.h"

namespace {

std::mutex gTemporaryLock;
std::set<QString> gWritten;  // native paths, under gTemporaryLock

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

}  // namespace

QString copyFailureText(QStringView fileName, int code) {
    return fileName.toString() + QStringLiteral(" не скопирован - ошибка: ") +
           QString::number(code);
}

void showCopyFailure(QStringView fileName) {
    // Taken before the box: nothing may change it in between.
    const int code = ERRORCODE();
    MESSAGE(copyFailureText(fileName, code));
}

int blobToFileShown(const BLOB& blob, QStringView fileName, QStringView shownName) {
    const int rc = BlobToFile(blob, fileName);
    if (rc != 0)
        showCopyFailure(shownName);
    return rc;
}

int fileToBlobShown(QStringView fileName, BLOB& blob, QStringView shownName) {
    const int rc = FileToBlob(fileName, blob);
    if (rc != 0)
        showCopyFailure(shownName);
    return rc;
}

std::unique_lock<std::mutex> lockTemporaryFiles() {
    return std::unique_lock<std::mutex>(gTemporaryLock);
}

void prepareTemporaryFile(QStringView fileName) {
    const QString path = rt::nativePath(fileName);
    if (path.isEmpty())
        return;
    // The writers put a new file in place keeping the permissions of the one
    // there; a file they create is readable by all. So the file is there first,
    // empty and the owner's. (A folder that is missing, or a name that is not a
    // file, is left for the write to report.)
    const QFileInfo info(path);
    if (info.isFile()) {
        QFile::setPermissions(path, kOwnerOnly);
    } else if (!info.exists()) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly))
            return;
    } else {
        return;
    }
    gWritten.insert(path);
}

void removeTemporaryFiles() {
    std::lock_guard<std::mutex> l(gTemporaryLock);
    for (const QString& path : gWritten)
        QFile::remove(path);
    gWritten.clear();
}

bool bodyToEditor(const BLOB& blob, QStringView fileName, RTFControlClass& editor,
                  QStringView shownName) {
    bool copied, loaded = false;
    {
        auto l = lockTemporaryFiles();
        prepareTemporaryFile(fileName);
        copied = BlobToFile(blob, fileName) == 0;
        if (copied)
            loaded = editor.Load(fileName);
    }
    if (!loaded)
        showCopyFailure(shownName);
    return loaded;
}

bool editorToBody(RTFControlClass& editor, QStringView fileName, BLOB& blob,
                  QStringView shownName) {
    bool copied = false;
    {
        auto l = lockTemporaryFiles();
        prepareTemporaryFile(fileName);
        if (editor.Save(fileName, 0))
            copied = FileToBlob(fileName, blob) == 0;
    }
    if (!copied)
        showCopyFailure(shownName);
    return copied;
}

void bodyToPreview(const BLOB& blob, QStringView fileName, RTFControlClass& preview,
                   QStringView shownName) {
    {
        auto l = lockTemporaryFiles();
        prepareTemporaryFile(fileName);
        if (BlobToFile(blob, fileName) == 0) {
            preview.Load(fileName);
            return;
        }
    }
    showCopyFailure(shownName);
    auto l = lockTemporaryFiles();
    preview.Load(fileName);
}
