// What a table file keeps for the other writers of its file: the record a form
// read (so that its save never overwrites what another thread or program saved
// meanwhile), and the partner files whose writes the journal of a transaction
// over several files may redo.

#include <QStringList>
#include <algorithm>

#include "driver.h"

using tbl::Arg;
using tbl::quoted;

TableFile::~TableFile() {
    for (TableFile* p : partners_)
        std::erase(p->partners_, this);
}

// ---------------------------------------------------------------------------
// The watched record

bool TableFile::watch() {
    watched_.reset();
    if (!conn_ || current_ == 0)
        return true;
    auto w = std::make_unique<tbl::WatchedRecord>();
    w->ptr = current_;
    w->generation = generation_;
    for (const auto& f : fields_)
        w->fields.push_back(tbl::fieldArg(f.ref));
    for (size_t i = 0; i < blobs_.size(); ++i) {
        // A body the buffer holds as read is the one the caller shows and edits
        // (read now if not yet); one it has changed is taken from the file.
        // A body that cannot be read leaves nothing to compare a save with: the
        // form is not opened on it rather than later taking "unread" for "empty".
        const BLOB& b = *blobs_[i].holder;
        const bool asRead = !b.changed_ && b.source_ == current_ && b.generation_ == generation_;
        QByteArray body;
        if (asRead ? !b.fetch() : !loadBlob(int(i), current_, generation_, &body))
            return false;
        w->bodies.push_back(asRead ? b.data() : body);
    }
    watched_ = std::move(w);
    return true;
}

void TableFile::unwatch() {
    watched_.reset();
}

bool TableFile::stillAsWatched() {
    tbl::WatchedRecord* w = watched_.get();
    if (!w || !conn_ || w->ptr != current_ || w->generation != generation_)
        return true;
    // Inside one write transaction nobody else can have changed it since.
    if (conn_->inTransaction() && w->verifiedIn == conn_->transactionSerial())
        return true;
    const QString t = quoted(name_);
    QStringList cond{QStringLiteral("\"_ptr\"=?")};
    for (const auto& f : fields_)
        cond << quoted(f.name) + QStringLiteral(" IS ?");
    for (const auto& b : blobs_) {
        cond << QStringLiteral(
                    "coalesce((SELECT data FROM %1 WHERE \"_ptr\"=%2.\"_ptr\"), x'') = "
                    "coalesce(?, x'')")
                    .arg(quoted(name_ + u'_' + b.name), t);
    }
    sqlite3_stmt* st = conn_->statement(
        QStringLiteral("SELECT 1 FROM %1 WHERE %2").arg(t, cond.join(QStringLiteral(" AND "))));
    if (!st)
        return false;
    int n = 1;
    sqlite3_bind_int64(st, n++, w->ptr);
    for (const Arg& a : w->fields)
        tbl::bind(st, n++, a);
    for (const QByteArray& body : w->bodies)
        tbl::bind(st, n++, Arg::blob(body));
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc == SQLITE_ROW) {
        if (conn_->inTransaction())
            w->verifiedIn = conn_->transactionSerial();
        return true;
    }
    if (rc == SQLITE_DONE)
        rt::setError(ErrCode::RecordChanged, messageLabel(),
                     QStringLiteral("the record was changed or deleted since it was read"));
    else
        conn_->setError(rc);
    return false;
}

// ---------------------------------------------------------------------------
// Journal partners

void TableFile::addJournalPartner(TableFile& other) {
    if (&other == this)
        return;
    if (std::find(partners_.begin(), partners_.end(), &other) == partners_.end())
        partners_.push_back(&other);
    if (std::find(other.partners_.begin(), other.partners_.end(), this) == other.partners_.end())
        other.partners_.push_back(this);
}

void TableFile::reportJournal() {
    if (!conn_)
        return;
    const std::vector<QString> notices = conn_->takeJournalNotices();
    if (notices.empty() || !errors_)
        return;
    // The report is no failure of the statement that opened the file.
    const int code = ERRORCODE();
    const QString file = ERRORFILE(), detail = rt::errorDetail();
    for (const QString& n : notices) {
        errors_->SetFile(messageLabel());
        errors_->ThrowMessage(Msg::JournalPending, n);
    }
    rt::setError(code, file, detail);
}
