#pragma once
// ProcessClass: reads every row of a view in the view's order, a slice at a
// time, and hands each row to TakeRecord. Between slices it shows how far it
// has come: the progress bar's variable (0 to 100) and a percentage text in a
// control of its window. A report procedure's manager (ReportManager) takes
// one slice on each timer tick of its progress window, so the window's own
// events (the cancel button among them) are taken between two slices.
//
// How far the reading has come is measured by a step object on a field of the
// rows (a card's number between the first and the last card's), or, without
// one, by the rows taken out of the rows the view held when reading began.

#include <QString>
#include <cstdint>

#include "core/step.h"
#include "core/values.h"
#include "table/filemanager.h"
#include "table/view.h"
#include "ui/window.h"

class ProcessClass {
  public:
    ProcessClass() = default;
    virtual ~ProcessClass() = default;
    ProcessClass(const ProcessClass&) = delete;
    ProcessClass& operator=(const ProcessClass&) = delete;

    // `view` reads the table of `relation`, which the caller has opened; the
    // process opens the file on disk now, so the reading covers the file its
    // name names at this moment. `percentControl` is the string control that
    // shows the percentage (0: none), `thermometer` the progress bar's
    // variable, `step` turns the value of `progressField` in each row into a
    // percentage (none: the share of rows taken).
    void Init(ViewClass& view, RelationManager& relation, int percentControl = 0,
              FieldRef thermometer = {}, StepClass* step = nullptr, FieldRef progressField = {});
    virtual void Kill();
    // The order the rows are taken in.
    void AddSortOrder(const KEY& key);
    // The window whose controls show the progress; none: nothing is shown.
    void SetWindow(Window* window) { window_ = window; }

    // One row of the view is in the record buffer (called while the view's
    // query over the table is open: other tables may be read and written, the
    // table being read is best left alone). Level::Benign goes on;
    // Level::Cancel or Level::Fatal end the run as cancelled; any other level
    // ends the reading after this row as if it were the last.
    virtual int TakeRecord();

    // Takes rows for at most `budgetMs` milliseconds (at least one row) and
    // shows the progress. Level::Benign while rows remain; Level::Notify when
    // the last row has been taken (at once for an empty view); Level::Cancel
    // when TakeRecord ended the run; Level::Fatal when the table could not be
    // read (the table services have told the user).
    int Next(int budgetMs);
    // True once Next has given its last row (or failed).
    bool Finished() const { return state_ != State::Reading && state_ != State::Idle; }

    // Rows taken so far, and the rows of the view when the reading began.
    std::int64_t RecordsProcessed = 0;
    std::int64_t RecordsToProcess = 0;
    // The progress last shown, 0..100.
    int PercentProgress = 0;
    // The percentage text as the window shows it.
    static QString percentText(int percent);

  private:
    enum class State { Idle, Reading, Done, Cancelled, Failed };
    bool begin();
    void showProgress(bool force);
    int finish(State state, int level);

    ViewClass* view_ = nullptr;
    RelationManager* relation_ = nullptr;
    Window* window_ = nullptr;
    int percentControl_ = 0;
    FieldRef thermometer_;
    StepClass* step_ = nullptr;
    FieldRef progressField_;
    State state_ = State::Idle;
    bool openFailed_ = false;
    ViewPosition position_;  // the last row taken
    int shownPercent_ = -1;
};
