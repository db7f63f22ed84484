// What a table file keeps for the other writers of its file: the partner files
// whose writes the journal of a transaction over several files may redo.

#include <algorithm>

#include "driver.h"

TableFile::~TableFile() {
    for (TableFile* p : partners_)
        std::erase(p->partners_, this);
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
