#pragma once
// ReportManager: the window manager of a report procedure. Its window is the
// progress window; on each of the window's timer ticks the process takes the
// next slice of rows (ProcessClass), and each row prints its bands into the
// report. Before the first row the manager opens the report (OpenReport).
// After the last one it closes the report and, unless the preview is skipped,
// hides the progress window and shows the pages in the preview until the user
// closes it. The procedure's thread does all the reading: the progress window
// and every other window stay live, and the cancel control or the close box
// stop the run between two slices.
//
// Responses: RequestCompleted once the pages were made (and shown);
// RequestCancelled when the run was cancelled, could not read its table or
// could not open its report: the pages made so far are dropped and no preview
// is shown.
//
// A report procedure's Init, in the usual order:
//   Request = GlobalRequest;  parent Init;  FirstField, VCRRequest, Errors;
//   open the tables;  Open(progress window);  INIMgr.Fetch;  timer;
//   step object Init;  process Init, AddSortOrder;  AddItem(CANCEL, RequestCancelled);
//   Init(process, report, &previewer);  SetQuickScan;  preview settings;  SetAlerts.

#include <memory>

#include "report/previewhandle.h"
#include "report/process.h"
#include "report/report.h"
#include "windowmanager.h"

class ReportManager : public WindowManager {
  public:
    using WindowManager::Init;
    // The process that reads the rows, the report they print into, and the
    // preview that shows the pages (none: the run ends with the pages made).
    // Call after Open(window): the process shows its progress in that window.
    void Init(ProcessClass& process, rt::Report& report, PrintPreviewHandle* previewer = nullptr);

    // Opens the report; called once, before the first row is taken (also
    // when there are none). Not 0: the run ends as cancelled.
    virtual int OpenReport();

    // Timer ticks take the next slice of rows.
    int TakeWindowEvent() override;
    // Once the pages are shown, closing (the preview, or the window itself)
    // completes the run; before, it cancels it.
    int TakeCloseEvent() override;
    // Drops a report still being made and closes the preview.
    int Kill() override;

    // The pages go nowhere after the last row: the procedure takes them from
    // Document() (to print or save them itself).
    bool SkipPreview = false;

    // The pages of the run; null before the report was opened.
    std::shared_ptr<rt::ReportDocument> Document() const;
    ProcessClass* Process() const { return process_; }

  private:
    enum class Phase { Reading, Shown, Ended };
    void takeSlice();
    void endRun(bool completed);
    void stopTimer();

    ProcessClass* process_ = nullptr;
    rt::Report* report_ = nullptr;
    PrintPreviewHandle* previewer_ = nullptr;
    Phase phase_ = Phase::Reading;
    bool reportOpened_ = false;
};
