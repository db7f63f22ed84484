#include "selectfile.h"

#include "core/paths.h"
#include "dialogs.h"

void SelectFileClass::Init() {
    Flags |= FILEDLG::LongName;
    WindowTitle = QStringLiteral("Выбрать файл");
    masks_.clear();
}

void SelectFileClass::AddMask(QStringView description, QStringView patterns) {
    if (!masks_.isEmpty())
        masks_ += u'|';
    masks_ += description.toString() + u'|' + patterns.toString();
}

void SelectFileClass::SetMask(QStringView masks) {
    masks_ = masks.toString();
}

QString SelectFileClass::Ask(bool keepDir) {
    // Long enough for any name the file system gives.
    CSTRING<4096> chosen;
    if (!DefaultFile.isEmpty())
        chosen = DefaultFile;
    else if (!DefaultDirectory.isEmpty())
        chosen = rt::programFolder(rt::nativePath(DefaultDirectory));
    const int flags = (Flags | (keepDir ? FILEDLG::KeepDir : 0)) &
                      ~(FILEDLG::Directory | FILEDLG::Multi | FILEDLG::Save);
    if (FILEDIALOG(WindowTitle, ref(chosen), masks_, flags))
        return chosen.str();
    return ClearOnCancel ? QString() : DefaultFile;
}
