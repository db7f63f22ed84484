#include "report.h"

#include <chrono>

#include "core/picture.h"

namespace rt {

// ---------------------------------------------------------------------------
// ReportDocument

ReportDocument::ReportDocument(std::shared_ptr<const ReportDeclaration> declaration)
    : declaration_(std::move(declaration)) {}

int ReportDocument::pageCount() const {
    std::lock_guard<std::mutex> l(m_);
    return int(pages_.size());
}

std::shared_ptr<const ReportPage> ReportDocument::page(int index) const {
    std::lock_guard<std::mutex> l(m_);
    if (index < 0 || index >= int(pages_.size()))
        return nullptr;
    return pages_[size_t(index)];
}

bool ReportDocument::finished() const {
    std::lock_guard<std::mutex> l(m_);
    return finished_;
}

bool ReportDocument::cancelled() const {
    std::lock_guard<std::mutex> l(m_);
    return cancelled_;
}

bool ReportDocument::waitForPages(int pages, int msec) const {
    std::unique_lock<std::mutex> l(m_);
    auto ready = [&] { return int(pages_.size()) >= pages || finished_; };
    if (msec < 0) {
        changed_.wait(l, ready);
    } else {
        changed_.wait_for(l, std::chrono::milliseconds(msec), ready);
    }
    return int(pages_.size()) >= pages;
}

bool ReportDocument::waitFinished(int msec) const {
    std::unique_lock<std::mutex> l(m_);
    auto ready = [&] { return finished_; };
    if (msec < 0) {
        changed_.wait(l, ready);
        return true;
    }
    return changed_.wait_for(l, std::chrono::milliseconds(msec), ready);
}

void ReportDocument::addPage(std::shared_ptr<const ReportPage> page) {
    {
        std::lock_guard<std::mutex> l(m_);
        if (finished_)
            return;
        pages_.push_back(std::move(page));
    }
    changed_.notify_all();
}

void ReportDocument::finish(bool cancelled) {
    {
        std::lock_guard<std::mutex> l(m_);
        if (finished_)
            return;
        finished_ = true;
        cancelled_ = cancelled;
    }
    changed_.notify_all();
}

// ---------------------------------------------------------------------------
// Report

// Where one text slot of a band gets its text when the band is printed.
struct Report::Source {
    ReportControl::Kind kind = ReportControl::Kind::String;
    QString text;  // String: the current text
    QString use;   // Text: the variable's name
    FieldRef ref;
    const Picture* picture = nullptr;
};

Report::Report(std::shared_ptr<const ReportDeclaration> declaration)
    : declaration_(std::move(declaration)) {
    sources_.resize(declaration_->bands.size());
    printed_.assign(declaration_->bands.size(), 0);
    for (size_t b = 0; b < declaration_->bands.size(); ++b) {
        const ReportBand& band = declaration_->bands[b];
        sources_[b].resize(size_t(band.textCount));
        for (const ReportControl& c : band.controls) {
            if (c.slot < 0)
                continue;
            Source& s = sources_[b][size_t(c.slot)];
            s.kind = c.kind;
            s.text = c.text;
            s.use = c.use;
            if (!c.picture.isEmpty())
                s.picture = &Picture::of(c.picture);
        }
    }
}

Report::~Report() {
    // A run abandoned half-way must not leave a viewer waiting for pages.
    if (open_)
        cancel();
}

bool Report::bind(QStringView name, const FieldRef& ref) {
    bool used = false;
    for (auto& band : sources_) {
        for (Source& s : band) {
            if (s.kind == ReportControl::Kind::Text &&
                s.use.compare(name, Qt::CaseInsensitive) == 0) {
                s.ref = ref;
                used = true;
            }
        }
    }
    return used;
}

bool Report::open(QString* error) {
    if (open_) {
        if (error)
            *error = QStringLiteral("the report is already open");
        return false;
    }
    QStringList unbound;
    for (const auto& band : sources_) {
        for (const Source& s : band) {
            if (s.kind == ReportControl::Kind::Text && !s.ref.valid() && !unbound.contains(s.use))
                unbound << s.use;
        }
    }
    if (!unbound.isEmpty()) {
        if (error)
            *error = QStringLiteral("unbound report variables: ") + unbound.join(u", ");
        return false;
    }
    document_ = std::make_shared<ReportDocument>(declaration_);
    printed_.assign(declaration_->bands.size(), 0);
    pageNumber_ = 0;
    page_.reset();
    open_ = true;
    return true;
}

bool Report::setText(QStringView control, QStringView text) {
    int b, c;
    if (!declaration_->control(control, &b, &c))
        return false;
    const ReportControl& rc = declaration_->bands[size_t(b)].controls[size_t(c)];
    if (rc.kind != ReportControl::Kind::String)
        return false;
    sources_[size_t(b)][size_t(rc.slot)].text = text.toString();
    return true;
}

QString Report::text(QStringView control) const {
    int b, c;
    if (!declaration_->control(control, &b, &c))
        return {};
    const ReportControl& rc = declaration_->bands[size_t(b)].controls[size_t(c)];
    if (rc.kind != ReportControl::Kind::String)
        return {};
    return sources_[size_t(b)][size_t(rc.slot)].text;
}

bool Report::print(QStringView band) {
    return print(declaration_->band(band));
}

bool Report::print(int band) {
    if (!open_ || band < 0 || band >= int(declaration_->bands.size()))
        return false;
    const ReportBand& b = declaration_->bands[size_t(band)];
    if (b.kind != ReportBand::Kind::Detail)
        return false;
    if (!page_)
        startPage();
    const QRectF& area = declaration_->detailArea;
    // A band never splits: what does not fit goes whole to the next page. A band
    // taller than the whole area still gets a page of its own, cut at the bottom,
    // rather than an endless run of empty pages.
    if (y_ + b.rect.height() > area.bottom() + 1e-9 && y_ > area.top()) {
        endPage();
        startPage();
    }
    ++printed_[size_t(band)];
    place(band, QPointF(area.left() + b.rect.left(), y_));
    y_ += b.rect.height();
    return true;
}

void Report::close() {
    if (!open_)
        return;
    if (page_)
        endPage();
    open_ = false;
    document_->finish(false);
}

void Report::cancel() {
    if (!open_)
        return;
    page_.reset();
    open_ = false;
    document_->finish(true);
}

int Report::printed(int band) const {
    if (band < 0 || band >= int(printed_.size()))
        return 0;
    return printed_[size_t(band)];
}

void Report::startPage() {
    page_ = std::make_unique<ReportPage>();
    page_->number = ++pageNumber_;
    // About twenty bands a page: one allocation each for the usual page.
    page_->bands.reserve(32);
    page_->texts.reserve(256);
    y_ = declaration_->detailArea.top();
    if (declaration_->header >= 0) {
        const int h = declaration_->header;
        ++printed_[size_t(h)];
        place(h, declaration_->bands[size_t(h)].rect.topLeft());
    }
}

void Report::endPage() {
    if (declaration_->footer >= 0) {
        const int f = declaration_->footer;
        ++printed_[size_t(f)];
        place(f, declaration_->bands[size_t(f)].rect.topLeft());
    }
    document_->addPage(std::shared_ptr<const ReportPage>(page_.release()));
}

void Report::place(int band, QPointF at) {
    page_->bands.push_back({band, at, int(page_->texts.size())});
    for (const Source& s : sources_[size_t(band)]) {
        QString t;
        switch (s.kind) {
            case ReportControl::Kind::String:
                t = s.text;
                break;
            case ReportControl::Kind::Text: {
                const Value v = s.ref.get();
                t = s.picture ? s.picture->format(v) : CLIP(v.toText());
                break;
            }
            // The report's own counts are never "#####": a register longer than
            // its picture foresaw still numbers every entry and page.
            case ReportControl::Kind::Count:
                t = s.picture ? s.picture->formatWhole(Value(printed_[size_t(band)]))
                              : QString::number(printed_[size_t(band)]);
                break;
            case ReportControl::Kind::PageNumber:
                t = s.picture ? s.picture->formatWhole(Value(pageNumber_))
                              : QString::number(pageNumber_);
                break;
            case ReportControl::Kind::Line:
                break;
        }
        page_->texts.push_back(std::move(t));
    }
}

}  // namespace rt
