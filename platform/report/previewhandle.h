#pragma once
// The print preview as a report procedure holds it. The window itself, a
// PrintPreviewClass, is a widget and lives on the GUI thread; the procedure's
// thread keeps its settings, opens it on the pages of a run and closes it.
// When the user closes the window, the thread that opened it gets a
// CloseWindow event for its current window, so that its event loop (the
// report manager's) learns of it like of any other close.

#include <QString>
#include <QStringView>
#include <memory>

#include "core/ini.h"
#include "report/report.h"

class PrintPreviewClass;

class PrintPreviewHandle {
  public:
    PrintPreviewHandle();
    // Closes the window if it is still open.
    ~PrintPreviewHandle();
    PrintPreviewHandle(const PrintPreviewHandle&) = delete;
    PrintPreviewHandle& operator=(const PrintPreviewHandle&) = delete;

    // Settings, given before open (see PrintPreviewClass).
    void setIniManager(INIClass* ini, QStringView name = u"PrintPreview");
    void setInitialZoom(int percent);
    void setUserZoom(bool allowed);
    void setMaximize(bool maximize);

    // Opens the window on a run's pages. False when no window can be shown
    // (no running program).
    bool open(std::shared_ptr<rt::ReportDocument> document);
    // Closes the window (its settings are saved as when the user closes it).
    void close();
    // The window was opened and neither the user nor close() has closed it.
    bool isOpen() const;

    // The window, for code on the GUI thread only (tests); null when none.
    PrintPreviewClass* window() const;

  private:
    struct State;
    std::shared_ptr<State> s_;
    INIClass* ini_ = nullptr;
    QString iniName_ = QStringLiteral("PrintPreview");
    int zoom_ = 100;
    bool userZoom_ = true;
    bool maximize_ = false;
};
