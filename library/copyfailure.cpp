#include "copyfailure.h"

#include "core/errors.h"
#include "ui/dialogs.h"

QString CopyFailureText(QStringView fileName) {
    return fileName.toString() + QStringLiteral(" не скопирован - ошибка: ") +
           QString::number(ERRORCODE());
}

void ShowCopyFailure(QStringView fileName) {
    MESSAGE(CopyFailureText(fileName));
}
