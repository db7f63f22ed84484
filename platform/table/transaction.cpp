// Transactions over several files of a thread. Each file is a database of its own,
// and SQLite commits each on its own; to make a transaction all or nothing across
// them, the writes made to the other files are recorded in the first file's
// commit. Should the process die before the other files commit, the first open of
// the first file completes them from that record. Each other file notes the
// transaction in its own commit, so that a record is never applied twice.

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <algorithm>

#include "driver.h"

namespace tbl {

namespace {

struct Transaction {
    std::vector<TableFile*> files;
    std::vector<Connection*> conns;  // conns[0] is the first file's
    std::vector<int> savedTimeouts;
    struct Entry {
        Connection* conn;
        QString sql;
        QString args;
    };
    std::vector<Entry> log;
};
thread_local Transaction* tTx = nullptr;
std::function<void(int)> gCommitHook;

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

Args argsFromText(const QString& text) {
    Args out;
    const QJsonArray a = QJsonDocument::fromJson(text.toUtf8()).array();
    for (const QJsonValue& v : a) {
        const QJsonArray e = v.toArray();
        Arg x;
        x.type = Arg::Type(e.at(0).toInt());
        switch (x.type) {
            case Arg::Null:
                break;
            case Arg::Int:
                x.i = e.at(1).toString().toLongLong();
                break;
            case Arg::Real:
                x.r = e.at(1).toDouble();
                break;
            case Arg::Text:
                x.s = e.at(1).toString();
                break;
            case Arg::Blob:
                x.b = QByteArray::fromBase64(e.at(1).toString().toLatin1());
                break;
        }
        out.push_back(x);
    }
    return out;
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

}  // namespace

void setCommitHook(std::function<void(int stage)> hook) {
    gCommitHook = std::move(hook);
}

void noteWrite(Connection* c, const QString& sql, const Args& args) {
    Transaction* tx = tTx;
    if (!tx || tx->conns.empty() || c == tx->conns[0])
        return;
    if (std::find(tx->conns.begin(), tx->conns.end(), c) == tx->conns.end())
        return;
    tx->log.push_back({c, sql, argsToText(args)});
}

void Connection::recover() {
    sqlite3_stmt* any = statement(QStringLiteral("SELECT 1 FROM _kaldor_redo LIMIT 1"));
    const bool pending = any && sqlite3_step(any) == SQLITE_ROW;
    if (any)
        sqlite3_reset(any);
    if (!pending || !beginImmediate())
        return;
    struct Step {
        QString path, tab, sql, args;
    };
    std::map<std::int64_t, std::vector<Step>> work;
    sqlite3_stmt* q =
        statement(QStringLiteral("SELECT txid, path, tab, sql, args FROM _kaldor_redo ORDER BY "
                                 "txid, seq"));
    while (q && sqlite3_step(q) == SQLITE_ROW) {
        auto text = [q](int c) {
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, c)));
        };
        work[sqlite3_column_int64(q, 0)].push_back({text(1), text(2), text(3), text(4)});
    }
    if (q)
        sqlite3_reset(q);
    std::vector<std::pair<std::unique_ptr<Connection>, std::int64_t>> done;
    bool complete = true;
    for (auto& [txid, steps] : work) {
        std::map<QString, std::vector<const Step*>> byFile;
        for (const Step& s : steps)
            byFile[s.path + u'\n' + s.tab].push_back(&s);
        bool txComplete = true;
        for (auto& [file, list] : byFile) {
            auto target = openForRecovery(list.front()->path, list.front()->tab);
            if (!target || !target->beginImmediate()) {
                txComplete = false;
                continue;
            }
            sqlite3_stmt* seen =
                target->statement(QStringLiteral("SELECT 1 FROM _kaldor_applied WHERE txid=?"));
            sqlite3_bind_int64(seen, 1, txid);
            const bool applied = sqlite3_step(seen) == SQLITE_ROW;
            sqlite3_reset(seen);
            if (!applied) {
                for (const Step* s : list) {
                    // A row that cannot be put back as it was (another program took its
                    // place meanwhile) is skipped; the rest still applies.
                    sqlite3_stmt* st = target->statement(s->sql);
                    if (!st)
                        continue;
                    const Args args = argsFromText(s->args);
                    for (size_t i = 0; i < args.size(); ++i)
                        bind(st, int(i + 1), args[i]);
                    sqlite3_step(st);
                    sqlite3_reset(st);
                }
                runWith(target.get(), "INSERT OR IGNORE INTO _kaldor_applied VALUES(?)", txid);
            }
            if (!target->commit()) {
                target->rollback();
                txComplete = false;
                continue;
            }
            done.emplace_back(std::move(target), txid);
        }
        if (txComplete)
            runWith(this, "DELETE FROM _kaldor_redo WHERE txid=?", txid);
        complete = complete && txComplete;
    }
    if (!commit()) {
        rollback();
        return;
    }
    for (auto& [target, txid] : done)
        runWith(target.get(), "DELETE FROM _kaldor_applied WHERE txid=?", txid);
    (void)complete;
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
    Connection* first = tx->conns.front();
    std::vector<Connection*> others;
    for (const auto& e : tx->log) {
        if (std::find(others.begin(), others.end(), e.conn) == others.end())
            others.push_back(e.conn);
    }
    std::int64_t txid = 0;
    bool ok = true;
    if (!tx->log.empty()) {
        txid = std::int64_t(QRandomGenerator::global()->generate64() >> 1) | 1;
        const auto log = tx->log;  // the bookkeeping below is not itself recorded
        tx->log.clear();
        for (Connection* c : others)
            ok = ok && tbl::runWith(c, "INSERT INTO _kaldor_applied VALUES(?)", txid);
        const QString ins = QStringLiteral(
            "INSERT INTO _kaldor_redo(txid, seq, path, tab, sql, args) VALUES(?,?,?,?,?,?)");
        int seq = 0;
        for (const auto& e : log) {
            if (!ok)
                break;
            ok = first->write(ins,
                              {tbl::Arg::integer(txid), tbl::Arg::integer(++seq),
                               tbl::Arg::text(e.conn->path()), tbl::Arg::text(e.conn->tableName()),
                               tbl::Arg::text(e.sql), tbl::Arg::text(e.args)});
        }
    }
    if (tbl::gCommitHook && txid != 0)
        tbl::gCommitHook(1);
    // The first file's commit is the moment the transaction happens.
    if (!ok || !first->commit()) {
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
        if (c != first && c->inTransaction() && !c->commit()) {
            c->rollback();
            lagging = true;
        }
    }
    tbl::finish();
    if (txid != 0) {
        if (lagging) {
            first->recover();
        } else {
            tbl::runWith(first, "DELETE FROM _kaldor_redo WHERE txid=?", txid);
            for (Connection* c : others)
                tbl::runWith(c, "DELETE FROM _kaldor_applied WHERE txid=?", txid);
        }
    }
    rt::clearError();
}
