#pragma once
// What procedure threads did, for the test thread to look at: entries added
// under a lock from any thread and read as copies.

#include <QString>
#include <QStringList>
#include <mutex>
#include <utility>
#include <vector>

template <class Entry>
class ThreadLog {
  public:
    void add(Entry e) {
        std::lock_guard<std::mutex> l(m_);
        entries_.push_back(std::move(e));
    }
    std::vector<Entry> entries() const {
        std::lock_guard<std::mutex> l(m_);
        return entries_;
    }
    void clear() {
        std::lock_guard<std::mutex> l(m_);
        entries_.clear();
    }

  private:
    mutable std::mutex m_;
    std::vector<Entry> entries_;
};

// What a procedure thread keeps for the test thread in members of `Self`
// (struct Seen : Guarded<Seen>): written under `m`, read with get(&Seen::text).
template <class Self>
struct Guarded {
    std::mutex m;
    template <class T>
    T get(T Self::*member) {
        std::lock_guard<std::mutex> l(m);
        return static_cast<Self*>(this)->*member;
    }
};

// Lines of text: the steps threads took, in the order they took them.
class TextLog : public ThreadLog<QString> {
  public:
    QStringList lines() const {
        const std::vector<QString> all = entries();
        return QStringList(all.begin(), all.end());
    }
    // The entries appear in this order (others may come between).
    bool inOrder(const QStringList& wanted) const {
        const QStringList all = lines();
        qsizetype at = 0;
        for (const QString& w : wanted) {
            at = all.indexOf(w, at);
            if (at < 0)
                return false;
            ++at;
        }
        return true;
    }
    bool has(const QString& s) const { return lines().contains(s); }
};
