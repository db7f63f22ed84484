#include "process.h"

#include <QElapsedTimer>
#include <algorithm>

namespace {
// Rows fetched by one query of the view. With quick scan the pass reads far
// ahead; without it each row is read close to the moment it is taken, so that
// changes made meanwhile by others are seen.
constexpr int kQuickScanPage = 1000;
constexpr int kPage = 20;
}  // namespace

void ProcessClass::Init(ViewClass& view, RelationManager& relation, int percentControl,
                        FieldRef thermometer, StepClass* step, FieldRef progressField) {
    view_ = &view;
    relation_ = &relation;
    percentControl_ = percentControl;
    thermometer_ = thermometer;
    step_ = step;
    progressField_ = progressField;
    state_ = State::Idle;
    position_ = {};
    RecordsProcessed = 0;
    RecordsToProcess = 0;
    PercentProgress = 0;
    shownPercent_ = -1;
    // The file is opened on disk here and not at the first row: what is read
    // is the file the table's name variable names when the process starts.
    // A failure has been reported by the table services; the reading then
    // ends at its first step.
    openFailed_ = relation.Me && relation.Me->UseFile(UseType::Uses) != Level::Benign;
}

void ProcessClass::Kill() {
    state_ = State::Idle;
    position_ = {};
    window_ = nullptr;
}

void ProcessClass::AddSortOrder(const KEY& key) {
    if (view_) {
        view_->setOrder(key);
        view_->reset();
    }
}

int ProcessClass::TakeRecord() {
    return Level::Benign;
}

QString ProcessClass::percentText(int percent) {
    return QStringLiteral("Выполнено: %1%").arg(percent);
}

bool ProcessClass::begin() {
    if (!view_ || openFailed_)
        return false;
    const std::int64_t rows = view_->count();
    if (rows < 0)
        return false;
    RecordsToProcess = rows;
    if (step_ && progressField_.valid() && rows > 0) {
        Value low, high;
        if (view_->read(nullptr, true, true, 1,
                        [&](const ViewPosition&) {
                            low = progressField_.get();
                            return false;
                        }) < 0 ||
            view_->read(nullptr, false, true, 1, [&](const ViewPosition&) {
                high = progressField_.get();
                return false;
            }) < 0)
            return false;
        step_->SetLimit(low, high);
    }
    state_ = State::Reading;
    return true;
}

int ProcessClass::finish(State state, int level) {
    state_ = state;
    showProgress(true);
    return level;
}

int ProcessClass::Next(int budgetMs) {
    switch (state_) {
        case State::Idle:
            if (!begin())
                return finish(State::Failed, Level::Fatal);
            if (RecordsToProcess == 0)
                return finish(State::Done, Level::Notify);
            break;
        case State::Reading:
            break;
        case State::Done:
            return Level::Notify;
        case State::Cancelled:
            return Level::Cancel;
        case State::Failed:
            return Level::Fatal;
    }
    QElapsedTimer clock;
    clock.start();
    const int page = relation_ && relation_->QuickScan() ? kQuickScanPage : kPage;
    for (;;) {
        int stop = Level::Benign;
        bool outOfTime = false;
        const int n = view_->read(position_.valid() ? &position_ : nullptr, true, false, page,
                                  [&](const ViewPosition& pos) {
                                      position_ = pos;
                                      ++RecordsProcessed;
                                      stop = TakeRecord();
                                      if (stop != Level::Benign)
                                          return false;
                                      outOfTime = clock.elapsed() >= budgetMs;
                                      return !outOfTime;
                                  });
        if (n < 0)
            return finish(State::Failed, Level::Fatal);
        if (stop == Level::Cancel || stop == Level::Fatal)
            return finish(State::Cancelled, Level::Cancel);
        if (stop != Level::Benign || (!outOfTime && n < page))
            return finish(State::Done, Level::Notify);
        if (outOfTime)
            break;
    }
    showProgress(false);
    return Level::Benign;
}

void ProcessClass::showProgress(bool force) {
    int percent;
    if (state_ == State::Done) {
        percent = 100;
    } else if (step_ && progressField_.valid()) {
        percent = RecordsProcessed > 0 ? step_->GetPercentile(progressField_.get()) : 0;
    } else {
        percent = RecordsToProcess > 0
                      ? int(std::min<std::int64_t>(100, RecordsProcessed * 100 / RecordsToProcess))
                      : 0;
    }
    PercentProgress = percent;
    if (percent == shownPercent_ && !force)
        return;
    shownPercent_ = percent;
    if (thermometer_.valid())
        thermometer_.set(percent);
    if (!window_ || !window_->isOpen())
        return;
    if (percentControl_ != 0)
        (*window_)[percentControl_][PROP::Text] = percentText(percent);
    window_->display();
}
