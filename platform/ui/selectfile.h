#pragma once
// SelectFileClass: a file dialog object a window keeps for one of its buttons.
// The window sets it up once (title, file types, what a cancel answers) and
// asks it whenever the user wants to choose a file.
//
//   SelectFileClass FileLookup5;
//   FileLookup5.Init();
//   FileLookup5.ClearOnCancel = true;
//   FileLookup5.AddMask(u"All Files", u"*.*");
//   FileLookup5.WindowTitle = u"Выбрать документ";
//   SFILE = FileLookup5.Ask(false);
//
// Ask runs the runtime's file dialog (FILEDIALOG) on the calling procedure
// thread and waits for the answer, like a message box.

#include <QString>
#include <QStringView>

class SelectFileClass {
  public:
    SelectFileClass() = default;
    virtual ~SelectFileClass() = default;
    SelectFileClass(const SelectFileClass&) = delete;
    SelectFileClass& operator=(const SelectFileClass&) = delete;

    // Long file names on, the default title, no file types, a cancel that
    // gives back the starting name.
    virtual void Init();
    // One more file type: its description and its patterns ("*.rtf;*.doc").
    void AddMask(QStringView description, QStringView patterns);
    // The file types in the dialog's own form ("Rich text|*.rtf|All Files|*.*"),
    // in place of those added so far.
    void SetMask(QStringView masks);
    // The file types as the dialog gets them.
    const QString& Masks() const { return masks_; }

    // Shows the dialog, starting at DefaultFile (else DefaultDirectory, else
    // the current folder). The chosen file's full name; when the user cancels,
    // an empty name with ClearOnCancel, else DefaultFile. With `keepDir` off
    // the chosen file's folder becomes the process's current folder.
    virtual QString Ask(bool keepDir = false);

    QString WindowTitle;
    QString DefaultFile;
    QString DefaultDirectory;
    bool ClearOnCancel = false;
    // FILEDLG:: flags; Init sets FILEDLG::LongName.
    int Flags = 0;

  private:
    QString masks_;
};
