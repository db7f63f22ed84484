#include "reportmanager.h"

#include <algorithm>

#include "ui/dialogs.h"

namespace {
// Hundredths of a second between ticks when the window declares no timer: the
// reading goes by the ticks.
constexpr int kDefaultTimer = 10;
}  // namespace

void ReportManager::Init(ProcessClass& process, rt::Report& report, PrintPreviewHandle* previewer) {
    process_ = &process;
    report_ = &report;
    previewer_ = previewer;
    phase_ = Phase::Reading;
    reportOpened_ = false;
    if (Window* w = GetWindow()) {
        process.SetWindow(w);
        if ((*w)[PROP::Timer].toInt() <= 0)
            (*w)[PROP::Timer] = kDefaultTimer;
    }
}

int ReportManager::OpenReport() {
    if (!report_)
        return Level::Fatal;
    QString error;
    if (!report_->open(&error)) {
        MESSAGE(QStringLiteral("Отчёт не может быть открыт: %1").arg(error),
                report_->declaration().title, ICON::Hand);
        return Level::Fatal;
    }
    return Level::Benign;
}

std::shared_ptr<rt::ReportDocument> ReportManager::Document() const {
    return report_ ? report_->document() : nullptr;
}

int ReportManager::TakeWindowEvent() {
    if (EVENT() == EVENT::Timer && phase_ == Phase::Reading && process_ && report_) {
        takeSlice();
        return Level::Benign;
    }
    return WindowManager::TakeWindowEvent();
}

void ReportManager::takeSlice() {
    if (!reportOpened_) {
        reportOpened_ = true;
        if (OpenReport() != Level::Benign) {
            endRun(false);
            return;
        }
    }
    // A slice takes most of a tick and leaves the rest to the window's events:
    // a press of the cancel button waits for one slice at most.
    const int tick = int((*GetWindow())[PROP::Timer].toInt()) * 10;
    const int budget = std::clamp(tick * 9 / 10, 10, 100);
    switch (process_->Next(budget)) {
        case Level::Benign:
            return;
        case Level::Notify:
            endRun(true);
            return;
        default:
            endRun(false);
            return;
    }
}

void ReportManager::stopTimer() {
    if (Window* w = GetWindow())
        (*w)[PROP::Timer] = 0;
}

void ReportManager::endRun(bool completed) {
    stopTimer();
    if (!completed) {
        phase_ = Phase::Ended;
        if (report_->isOpen())
            report_->cancel();
        SetResponse(RequestCancelled);
        return;
    }
    report_->close();
    if (SkipPreview || !previewer_) {
        phase_ = Phase::Ended;
        SetResponse(RequestCompleted);
        return;
    }
    phase_ = Phase::Shown;
    // The preview takes the place of the progress window, whose work is done.
    if (Window* w = GetWindow())
        (*w)[PROP::Hide] = 1;
    if (!previewer_->open(report_->document())) {
        phase_ = Phase::Ended;
        SetResponse(RequestCompleted);
    }
}

int ReportManager::TakeCloseEvent() {
    if (phase_ == Phase::Shown) {
        Response = RequestCompleted;
        return Level::Benign;
    }
    return WindowManager::TakeCloseEvent();
}

int ReportManager::Kill() {
    const int level = WindowManager::Kill();
    if (level != Level::Benign)
        return level;
    stopTimer();
    // Closed before the last row: what was made so far is no report.
    if (report_ && report_->isOpen())
        report_->cancel();
    if (previewer_)
        previewer_->close();
    if (process_)
        process_->Kill();
    phase_ = Phase::Ended;
    return level;
}
