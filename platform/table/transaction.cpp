// Transactions over several files of a thread. Each file is a database of its own,
// and SQLite commits each on its own; to make a transaction all or nothing across
// them, what it wrote into the other files is recorded in the commit of one of
// them, the holder: the first file, or the first encrypted one when the first is
// not. Should the process die before the other files commit, the holder's next
// open completes them from that record. Each other file notes the transaction in
// its own commit, so that a record is never applied twice.
//
// The record (the journal, table _kaldor_redo) holds no statement and no path:
// each row is one write of a record (stored whole, deleted, or one of its bodies
// stored or removed) as values, and names the file it goes into by the file's
// table and identity. A row is completed only into a journal partner of the
// holder (a file of its relations or transactions, under the name the program
// gives that file now) whose identity is the one named, by statements the program
// makes from its own declaration of that table, with values checked against that
// declaration; and a holder without a password never writes into a file with
// one. A transaction with any other row is refused whole: it stays in the file,
// changes nothing, and is reported. One that cannot be completed now (a file
// missing, locked or failing) stays too, is reported, and is tried again at the
// next open.
//
// Columns of _kaldor_redo: txid, seq, path (the identity of the file written, not
// a path), tab (its table), sql (the write: "store", "delete" or "body"), args
// (the write's values as JSON).

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <algorithm>

#include "core/paths.h"
#include "driver.h"

namespace tbl {

namespace {

struct Transaction {
    std::vector<TableFile*> files;
    std::vector<Connection*> conns;
    std::vector<int> savedTimeouts;
    size_t holder = 0;  // the file whose commit carries the journal
    struct Entry {
        size_t file;
        QString op;
        Args args;
    };
    std::vector<Entry> log;
};
thread_local Transaction* tTx = nullptr;
std::function<void(int)> gCommitHook;

const QString kStore = QStringLiteral("store");
const QString kDelete = QStringLiteral("delete");
const QString kBody = QStringLiteral("body");

QString argsToText(const Args& args) {
    QJsonArray a;
    for (const Arg& x : args) {
        QJsonArray e;
        e.append(int(x.type));
        switch (x.type) {
            case Arg::Null:
                break;
            case Arg::Int:
                e.append(QString::number(x.i));
                break;
            case Arg::Real:
                e.append(x.r);
                break;
            case Arg::Text:
                e.append(x.s);
                break;
            case Arg::Blob:
                e.append(QString::fromLatin1(x.b.toBase64()));
                break;
        }
        a.append(e);
    }
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

// False when the text is not what argsToText makes.
bool argsFromText(const QString& text, Args* out) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return false;
    for (const QJsonValue& v : doc.array()) {
        const QJsonArray e = v.toArray();
        if (!v.isArray() || e.isEmpty() || !e.at(0).isDouble())
            return false;
        const int type = e.at(0).toInt(-1);
        Arg x;
        bool ok = e.size() == (type == Arg::Null ? 1 : 2);
        switch (type) {
            case Arg::Null:
                break;
            case Arg::Int:
                x.i = e.at(1).toString().toLongLong(&ok);
                break;
            case Arg::Real:
                ok = ok && e.at(1).isDouble();
                x.r = e.at(1).toDouble();
                break;
            case Arg::Text:
                ok = ok && e.at(1).isString();
                x.s = e.at(1).toString();
                break;
            case Arg::Blob:
                ok = ok && e.at(1).isString();
                x.b = QByteArray::fromBase64(e.at(1).toString().toLatin1());
                break;
            default:
                return false;
        }
        if (!ok)
            return false;
        x.type = Arg::Type(type);
        out->push_back(x);
    }
    return true;
}

bool runWith(Connection* c, const char* sql, std::int64_t id) {
    sqlite3_stmt* st = c->statement(QString::fromLatin1(sql));
    if (!st)
        return false;
    sqlite3_bind_int64(st, 1, id);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE || rc == SQLITE_ROW;
}

void finish() {
    Transaction* tx = tTx;
    tTx = nullptr;
    for (size_t i = 0; i < tx->conns.size(); ++i)
        tx->conns[i]->setBusyTimeout(tx->savedTimeouts[i]);
    delete tx;
}

void note(const TableFile& file, const QString& op, Args args) {
    Transaction* tx = tTx;
    const auto it = std::find(tx->files.begin(), tx->files.end(), &file);
    if (it == tx->files.end())
        return;
    const auto i = size_t(it - tx->files.begin());
    if (i != tx->holder)
        tx->log.push_back({i, op, std::move(args)});
}

// ---- completing a journal ---------------------------------------------------

// One write of a journal row.
struct Write {
    QString op;
    RecordPointer ptr = 0;
    Args values;    // store: the fields' column values
    int body = -1;  // body: which one
    QByteArray data;
};

// Whether `a` is a column value the program writes for field `f`.
bool fits(const FieldRef& f, const Arg& a) {
    auto within = [&a](std::int64_t lo, std::int64_t hi) {
        return a.type == Arg::Int && a.i >= lo && a.i <= hi;
    };
    switch (f.kind) {
        case Kind::Byte:
            return within(0, 255);
        case Kind::Short:
            return within(-32768, 32767);
        case Kind::Long:
            return within(-2147483648LL, 2147483647LL);
        case Kind::Decimal:
            return a.type == Arg::Int;
        case Kind::Real:
            return a.type == Arg::Real;
        case Kind::Date:
            return a.type == Arg::Int ||
                   (a.type == Arg::Text && rt::isoDate(rt::dayOfIso(a.s)) == a.s && !a.s.isEmpty());
        case Kind::String:
            return a.type == Arg::Text && a.s.size() <= f.size;
        case Kind::CString:
            return a.type == Arg::Text && a.s.size() < f.size;
    }
    return false;
}

// The write of a row for a table declared as `decl`; false when the row is no
// write the program makes.
bool parseWrite(const TableFile& decl, const QString& op, const QString& argsText, Write* w) {
    Args a;
    if (!argsFromText(argsText, &a) || a.empty() || a[0].type != Arg::Int || a[0].i <= 0)
        return false;
    w->op = op;
    w->ptr = a[0].i;
    if (op == kDelete)
        return a.size() == 1;
    if (op == kStore) {
        const auto& fields = decl.fields();
        if (a.size() != fields.size() + 1)
            return false;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (!fits(fields[i].ref, a[i + 1]))
                return false;
        }
        w->values.assign(a.begin() + 1, a.end());
        return true;
    }
    if (op == kBody) {
        if (a.size() != 3 || a[1].type != Arg::Int || a[1].i < 0 ||
            a[1].i >= std::int64_t(decl.blobs().size()) ||
            (a[2].type != Arg::Blob && a[2].type != Arg::Null))
            return false;
        w->body = int(a[1].i);
        w->data = a[2].b;
        return true;
    }
    return false;
}

// Carries out one write with statements made from the declaration.
bool apply(Connection* c, const TableFile& decl, const Write& w) {
    if (w.op == kDelete)
        return deleteRow(c, decl, w.ptr, nullptr);
    if (w.op == kBody)
        return storeBody(c, decl, w.body, w.ptr, w.data);
    int changes = 0;
    if (!updateRow(c, decl, w.ptr, w.values, &changes))
        return false;
    return changes > 0 || insertRow(c, decl, w.ptr, w.values);
}

QString newFileId() {
    return QStringLiteral("%1%2")
        .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'))
        .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
}

}  // namespace

void setCommitHook(std::function<void(int stage)> hook) {
    gCommitHook = std::move(hook);
}

void noteStore(const TableFile& file, RecordPointer ptr, const Args& fieldValues,
               const std::vector<QByteArray>& bodies, const std::vector<int>& changedBodies) {
    if (!tTx)
        return;
    Args store{Arg::integer(ptr)};
    store.insert(store.end(), fieldValues.begin(), fieldValues.end());
    note(file, kStore, std::move(store));
    for (int i : changedBodies) {
        const QByteArray& b = bodies[size_t(i)];
        note(file, kBody, {Arg::integer(ptr), Arg::integer(i), b.isEmpty() ? Arg{} : Arg::blob(b)});
    }
}

void noteDelete(const TableFile& file, RecordPointer ptr) {
    if (tTx)
        note(file, kDelete, {Arg::integer(ptr)});
}

QString Connection::fileId() {
    if (fileId_.isEmpty()) {
        Lease st(this, QStringLiteral("SELECT value FROM _kaldor_meta WHERE name='id'"));
        if (st && sqlite3_step(st) == SQLITE_ROW)
            fileId_ = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    return fileId_;
}

bool Connection::ensureFileId() {
    if (!fileId().isEmpty())
        return true;
    WriteScope w(this);
    if (!w.ok() ||
        !write(QStringLiteral("INSERT OR IGNORE INTO _kaldor_meta(name, value) VALUES('id', ?)"),
               {Arg::text(newFileId())}) ||
        !w.commit())
        return false;
    return !fileId().isEmpty();
}

void Connection::recover(const TableFile& decl) {
    // Opened where its relations are not declared, the file cannot tell its
    // partners: the journal waits for an open that can.
    if (decl.journalPartners().empty())
        return;
    sqlite3_stmt* any = statement(QStringLiteral("SELECT 1 FROM _kaldor_redo LIMIT 1"));
    const bool pending = any && sqlite3_step(any) == SQLITE_ROW;
    if (any)
        sqlite3_reset(any);
    if (!pending || !beginImmediate())
        return;
    struct Row {
        QString id, tab, op, args;
    };
    std::map<std::int64_t, std::vector<Row>> work;
    sqlite3_stmt* q = statement(
        QStringLiteral("SELECT txid, path, tab, sql, args FROM _kaldor_redo ORDER BY txid, seq"));
    while (q && sqlite3_step(q) == SQLITE_ROW) {
        auto text = [q](int c) {
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, c)));
        };
        work[sqlite3_column_int64(q, 0)].push_back({text(1), text(2), text(3), text(4)});
    }
    if (q)
        sqlite3_reset(q);

    auto tell = [this](std::int64_t txid, const QString& text) {
        // What a completion could not do is told once a process, not at every open.
        if (firstTelling(path_ + u'\n' + QString::number(txid) + u'\n' + text))
            journalNotices_.push_back(text);
    };
    auto refuse = [&tell](std::int64_t txid, const QString& why) {
        tell(txid, QStringLiteral("Запись журнала отвергнута: %1. Её записала не эта "
                                  "программа, или файл повреждён; ничего не изменено, запись "
                                  "оставлена в файле.")
                       .arg(why));
    };
    // The partner that is the file of `tab` as the program names it now.
    auto partnerOf = [&decl](const QString& tab) -> const TableFile* {
        for (const TableFile* p : decl.journalPartners()) {
            if (p->name() == tab)
                return p;
        }
        return nullptr;
    };

    std::vector<std::pair<std::unique_ptr<Connection>, std::int64_t>> done;
    for (auto& [txid, rows] : work) {
        // Every row is checked before any file is touched.
        struct Target {
            const TableFile* decl;
            QString id;
            std::vector<Write> writes;
        };
        std::vector<Target> targets;
        QString refused;
        for (const Row& r : rows) {
            const TableFile* p = partnerOf(r.tab);
            Write w;
            if (!p) {
                refused = QStringLiteral("таблица «%1» не пишется вместе с этим файлом").arg(r.tab);
            } else if (!encrypted_ && p->encrypted()) {
                refused = QStringLiteral("файл без пароля не может менять зашифрованный файл «%1»")
                              .arg(p->fileName());
            } else if (r.id.size() != 32 || !parseWrite(*p, r.op, r.args, &w)) {
                refused = QStringLiteral("запись не является изменением таблицы «%1»").arg(r.tab);
            }
            if (!refused.isEmpty())
                break;
            auto t = std::find_if(targets.begin(), targets.end(),
                                  [&](const Target& x) { return x.decl == p && x.id == r.id; });
            if (t == targets.end())
                t = targets.insert(targets.end(), Target{p, r.id, {}});
            t->writes.push_back(std::move(w));
        }
        if (!refused.isEmpty()) {
            refuse(txid, refused);
            continue;
        }
        bool complete = true;
        for (const Target& t : targets) {
            const QString name = t.decl->fileName();
            int code = 0;
            QString detail;
            auto target = openSecondary(rt::nativePath(name), *t.decl, &code, &detail);
            if (target && target->fileId() != t.id) {
                refuse(txid,
                       QStringLiteral("файл «%1» — не тот, для которого записан журнал").arg(name));
                complete = false;
                continue;
            }
            bool ok = target && target->beginImmediate();
            if (target && !ok) {
                code = ERRORCODE();
                detail = rt::errorDetail();
            }
            if (ok) {
                sqlite3_stmt* seen =
                    target->statement(QStringLiteral("SELECT 1 FROM _kaldor_applied WHERE txid=?"));
                ok = seen != nullptr;
                bool applied = false;
                if (ok) {
                    sqlite3_bind_int64(seen, 1, txid);
                    applied = sqlite3_step(seen) == SQLITE_ROW;
                    sqlite3_reset(seen);
                }
                // Only what is already applied is passed over; a write that fails
                // keeps the whole journal for the next open.
                for (size_t i = 0; ok && !applied && i < t.writes.size(); ++i)
                    ok = apply(target.get(), *t.decl, t.writes[i]);
                ok = ok && (applied ||
                            runWith(target.get(), "INSERT INTO _kaldor_applied VALUES(?)", txid));
                if (!ok) {
                    code = ERRORCODE();
                    detail = rt::errorDetail();
                }
                ok = ok && target->commit();
                if (!ok) {
                    if (code == 0)
                        code = errorCode(sqlite3_errcode(target->db()), target->encrypted());
                    target->rollback();
                }
            }
            if (!ok) {
                tell(txid, QStringLiteral("Изменения файла «%1» не внесены (ошибка %2: %3); "
                                          "они будут внесены при следующем открытии.")
                               .arg(name)
                               .arg(code)
                               .arg(detail.isEmpty() ? errorText(code) : detail));
                complete = false;
                continue;
            }
            done.emplace_back(std::move(target), txid);
        }
        if (complete)
            runWith(this, "DELETE FROM _kaldor_redo WHERE txid=?", txid);
    }
    if (!commit()) {
        rollback();
        return;
    }
    for (auto& [target, txid] : done)
        runWith(target.get(), "DELETE FROM _kaldor_applied WHERE txid=?", txid);
}

}  // namespace tbl

using tbl::Connection;

void LOGOUT(int timeoutSeconds, const std::vector<TableFile*>& files) {
    if (tbl::tTx) {
        rt::setError(ErrCode::TransactionActive);
        return;
    }
    auto* tx = new tbl::Transaction;
    for (TableFile* f : files) {
        if (!f || std::find(tx->files.begin(), tx->files.end(), f) != tx->files.end())
            continue;
        if (!f->ensureOpen()) {
            delete tx;
            return;
        }
        tx->files.push_back(f);
        tx->conns.push_back(f->connection());
        tx->savedTimeouts.push_back(f->connection()->busyTimeout());
    }
    for (size_t i = 0; i < tx->files.size(); ++i) {
        for (size_t j = i + 1; j < tx->files.size(); ++j)
            tx->files[i]->addJournalPartner(*tx->files[j]);
        if (!tx->conns[0]->encrypted() && tx->conns[i]->encrypted() && tx->holder == 0)
            tx->holder = i;
    }
    // The journal names the files it writes into by their identities.
    if (tx->files.size() > 1) {
        for (Connection* c : tx->conns) {
            if (!c->ensureFileId()) {
                delete tx;
                return;
            }
        }
    }
    // Locks are taken in one order everywhere, so that two threads never wait for
    // each other.
    std::vector<Connection*> order = tx->conns;
    std::sort(order.begin(), order.end(),
              [](Connection* a, Connection* b) { return a->path() < b->path(); });
    tbl::tTx = tx;
    for (Connection* c : order) {
        c->setBusyTimeout(std::max(timeoutSeconds, 1) * 1000);
        if (!c->beginImmediate()) {
            const int code = ERRORCODE();
            const QString file = ERRORFILE();
            const QString detail = rt::errorDetail();
            for (Connection* d : order)
                d->rollback();
            tbl::finish();
            rt::setError(code, file, detail);
            return;
        }
    }
    rt::clearError();
}

void LOGOUT(int timeoutSeconds, std::initializer_list<TableFile*> files) {
    LOGOUT(timeoutSeconds, std::vector<TableFile*>(files));
}

bool inTransaction() {
    return tbl::tTx != nullptr;
}

void ROLLBACK() {
    if (!tbl::tTx) {
        rt::setError(ErrCode::NotOpen);
        return;
    }
    for (Connection* c : tbl::tTx->conns)
        c->rollback();
    tbl::finish();
    rt::clearError();
}

void COMMIT() {
    tbl::Transaction* tx = tbl::tTx;
    if (!tx) {
        rt::setError(ErrCode::NotOpen);
        return;
    }
    TableFile* holderFile = tx->files[tx->holder];
    Connection* holder = tx->conns[tx->holder];
    std::vector<Connection*> others;
    for (const auto& e : tx->log) {
        Connection* c = tx->conns[e.file];
        if (std::find(others.begin(), others.end(), c) == others.end())
            others.push_back(c);
    }
    std::int64_t txid = 0;
    bool ok = true;
    if (!tx->log.empty()) {
        txid = std::int64_t(QRandomGenerator::global()->generate64() >> 1) | 1;
        for (Connection* c : others)
            ok = ok && tbl::runWith(c, "INSERT INTO _kaldor_applied VALUES(?)", txid);
        const QString ins = QStringLiteral(
            "INSERT INTO _kaldor_redo(txid, seq, path, tab, sql, args) VALUES(?,?,?,?,?,?)");
        int seq = 0;
        for (const auto& e : tx->log) {
            const QString id = tx->conns[e.file]->fileId();
            ok =
                ok && !id.isEmpty() &&
                holder->write(ins, {tbl::Arg::integer(txid), tbl::Arg::integer(++seq),
                                    tbl::Arg::text(id), tbl::Arg::text(tx->files[e.file]->name()),
                                    tbl::Arg::text(e.op), tbl::Arg::text(tbl::argsToText(e.args))});
        }
    }
    if (tbl::gCommitHook && txid != 0)
        tbl::gCommitHook(1);
    // The holder's commit is the moment the transaction happens.
    if (!ok || !holder->commit()) {
        const int code = ERRORCODE();
        const QString file = ERRORFILE(), detail = rt::errorDetail();
        for (Connection* c : tx->conns)
            c->rollback();
        tbl::finish();
        rt::setError(code ? code : int(ErrCode::FileSystem), file, detail);
        return;
    }
    if (tbl::gCommitHook && txid != 0)
        tbl::gCommitHook(2);
    bool lagging = false;
    for (Connection* c : tx->conns) {
        if (c != holder && c->inTransaction() && !c->commit()) {
            c->rollback();
            lagging = true;
        }
    }
    tbl::finish();
    if (txid != 0) {
        if (lagging) {
            holder->recover(*holderFile);
            holderFile->reportJournal();
        } else {
            tbl::runWith(holder, "DELETE FROM _kaldor_redo WHERE txid=?", txid);
            for (Connection* c : others)
                tbl::runWith(c, "DELETE FROM _kaldor_applied WHERE txid=?", txid);
        }
    }
    rt::clearError();
}
