#pragma once
// The message the document windows show when a copy between a card's
// rich-text body and a file fails: the file name, " не скопирован - ошибка: "
// and the runtime's error code of the failed copy.

#include <QString>
#include <QStringView>

// The text of the message for `fileName` with the current ERRORCODE().
QString CopyFailureText(QStringView fileName);
// Shows it in a message box of the calling thread; the caller goes on.
void ShowCopyFailure(QStringView fileName);
