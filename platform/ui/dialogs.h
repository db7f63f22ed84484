#pragma once
// Message boxes and the file, folder and printer dialogs.
//
// A procedure thread that shows one waits for the answer; meanwhile its own
// windows take no input and every other thread's windows go on as before. On
// the GUI thread the dialogs never wait: they are ordinary windows whose answer
// is sent back to the waiting thread.

#include <QString>
#include <QStringView>
#include <functional>

#include "core/values.h"
#include "events.h"

class QWidget;

// Shows a message box and returns the BUTTON:: code pressed. `buttons` is a
// sum of BUTTON:: codes; `defaultButton` 0 takes the first. Without a running
// program (or on the GUI thread) the text goes to stderr and the default
// button is the answer.
int MESSAGE(QStringView text, QStringView caption = {}, const QString& icon = ICON::None,
            int buttons = BUTTON::Ok, int defaultButton = 0);

// The file dialog: `file` holds the starting name and receives the chosen one
// (a folder, with its separator at the end, for FILEDLG::Directory). `filters`
// pairs descriptions and patterns: "All Files|*.*|Rich text|*.rtf". Unless
// FILEDLG::KeepDir is given the chosen file's folder becomes the process's
// current folder. True when the user chose.
bool FILEDIALOG(QStringView title, FieldRef file, QStringView filters = {}, int flags = 0);

// The printer set-up dialog; true when the user confirmed a printer.
bool PRINTERDIALOG(QStringView title = {});

// Names the help file ("kaldor"; ".HLP" is added to a name without extension).
void HELP(QStringView file);

namespace rt {
// A dialog of the calling procedure thread's own, waited for as MESSAGE is:
// `make` runs on the GUI thread and returns the dialog it made (not shown yet),
// having wired `done(code)` to its answer. The runtime registers it as the
// thread's dialog (the thread's windows take no input while it is open), shows
// it, and takes it off the list as soon as `done` is called; the first code
// stands. Returns that code; `fallback` when the dialog goes without an answer,
// when the program ends first, or when the calling thread cannot show dialogs
// (no running program, the GUI thread).
int runDialog(std::function<QWidget*(std::function<void(int)> done)> make, int fallback = 0);

// The help file as named, with its extension.
QString helpFileName();
// The printer the user chose last (empty: the system's default).
QString printerName();
// Standard action: shows the printer set-up dialog for a thread's window
// without waiting (GUI thread).
void showPrinterSetup(int thread, QWidget* parent);
// Qt's own dialogs (file, folder, printer set-up, print) and dates in Russian:
// the program's locale and Qt's Russian translations. Called on the GUI thread
// before the application is made (Qt reads the system's locale once, early) and
// again once it is (the translations need it).
void installTranslations();
// Routes ErrorClass reports into message boxes of the reporting thread.
void installMessageReporter();
void removeMessageReporter();
}  // namespace rt
