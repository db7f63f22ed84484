#include "copyfailure.h"

#include "core/errors.h"
#include "rtfcontrol.h"
#include "table.h"
#include "ui/dialogs.h"

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

bool bodyToEditor(const BLOB& blob, QStringView fileName, RTFControlClass& editor,
                  QStringView shownName) {
    if (blobToFileShown(blob, fileName, shownName) != 0)
        return false;
    if (!editor.Load(fileName)) {
        showCopyFailure(shownName);
        return false;
    }
    return true;
}

bool editorToBody(RTFControlClass& editor, QStringView fileName, BLOB& blob,
                  QStringView shownName) {
    if (!editor.Save(fileName, 0)) {
        showCopyFailure(shownName);
        return false;
    }
    return fileToBlobShown(fileName, blob, shownName) == 0;
}
