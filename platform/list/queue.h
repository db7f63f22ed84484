#pragma once
// Queues: in-memory lists of rows of named, typed fields, the data of a list
// control. A queue has one buffer (the row being built or the row last read)
// and its rows; a statement copies between them:
//
//   struct BrowseRow {
//       LONG CON_RTG; STRING<60> CON_NAME; ...; BYTE MARK; STRING<1024> VIEWPOSITION;
//   };
//   QUEUE<BrowseRow> QUEUE_BROWSE_1([](BrowseRow& r, QueueFields& f) {
//       f("CON:RTG", r.CON_RTG)("CON:NAME", r.CON_NAME)...("VIEWPOSITION", r.VIEWPOSITION);
//   });
//   QUEUE_BROWSE_1.CON_NAME = u"...";   // the buffer
//   QUEUE_BROWSE_1.add();                // a new row from the buffer
//   QUEUE_BROWSE_1.get(3);               // row 3 into the buffer
//
// Rows are numbered from 1. A queue belongs to the thread of its procedure.

#include <QString>
#include <QStringView>
#include <cstddef>
#include <functional>
#include <type_traits>
#include <vector>

#include "core/values.h"

namespace lst {

class QueueClass {
  public:
    struct Field {
        QString name;  // "CON:NAME"
        FieldRef ref;  // into the buffer
    };

    virtual ~QueueClass() = default;
    QueueClass(const QueueClass&) = delete;
    QueueClass& operator=(const QueueClass&) = delete;

    const std::vector<Field>& fields() const { return fields_; }
    // The field's index (0-based) by name, whatever its case; -1 when none. A
    // name may leave out its prefix ("NAME" finds "CON:NAME" when only one
    // field has that name).
    int fieldIndex(QStringView name) const;
    int fieldIndex(const FieldRef& bufferField) const;

    int records() const { return int(count_); }
    // The row last read, added or written (0 none).
    int pointer() const { return pointer_; }
    // Copies row n into the buffer; false (nothing read) when there is no row n.
    bool get(int n);
    // Appends the buffer as a new last row; add(n) inserts it as row n.
    void add();
    void add(int n);
    // Writes the buffer over row n.
    bool put(int n);
    bool del(int n);
    void free();
    // Moves row `from` to position `to`.
    void move(int from, int to);

    // A field of a row, read without touching the buffer.
    Value value(int row, int field) const;
    // Clears the buffer: texts blank, numbers zero.
    void clearBuffer();
    // Changes since the queue was made: any add, put, delete or free.
    std::uint64_t version() const { return version_; }

  protected:
    QueueClass(void* buffer, std::size_t rowSize);
    void addField(const QString& name, FieldRef ref);

  private:
    std::byte* row(int n) { return data_.data() + std::size_t(n - 1) * rowSize_; }
    const std::byte* row(int n) const { return data_.data() + std::size_t(n - 1) * rowSize_; }
    FieldRef at(int row, int field) const;

    std::byte* buffer_;
    std::size_t rowSize_;
    std::vector<Field> fields_;
    std::vector<std::size_t> offsets_;
    std::vector<std::byte> data_;
    std::size_t count_ = 0;
    int pointer_ = 0;
    std::uint64_t version_ = 0;
};

// Names the fields of a queue's buffer: f("CON:NAME", r.CON_NAME)(...).
class QueueFields {
  public:
    template <typename T>
    QueueFields& operator()(const char* name, T& field) {
        add(QString::fromUtf8(name), ref(field));
        return *this;
    }
    std::function<void(const QString&, FieldRef)> add;
};

template <class Row>
class QUEUE : public Row, public QueueClass {
    static_assert(std::is_trivially_copyable_v<Row>, "queue rows are copied as they are");

  public:
    explicit QUEUE(const std::function<void(Row&, QueueFields&)>& describe)
        : Row(), QueueClass(static_cast<Row*>(this), sizeof(Row)) {
        QueueFields f;
        f.add = [this](const QString& name, FieldRef r) { addField(name, r); };
        describe(*this, f);
    }
};

}  // namespace lst
