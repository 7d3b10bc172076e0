#pragma once

#include "store/criterion.h"
#include "store/database.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// A client-side static cursor over one table, shared by every window that shows it.
//
// Opening reads only the ordered keys (`select rowid from <table> where <base and
// filter> order by <order>`), so counts and positions are exact; the rows' values
// are read by key in pages (`where rowid in (...)`) when a row is asked for, and a
// bounded number of recently used pages is held. The base criterion and the filter
// are evaluated by SQLite through the table's indexes; find() asks SQLite for the
// rows that can match and reads only those. Reading is lazy: opening,
// filtering or re-querying only marks the keys stale, and the next access reads
// them.
//
// Position: before the first row (BOF), on a row, or after the last row (EOF).
// An edited or added row is written when the cursor moves off it, or by update()
// / updateBatch(); deletions are held until updateBatch(). Pending rows are held
// until written. Every write that belongs together runs in one transaction. Writes
// throw StoreError and leave the rows as they were.
//
// Writes are optimistic: each row keeps the values as read, an edited row writes
// only its changed columns, and only while they still hold the values as read.
// When another writer came first the write is refused (RowConflict, naming the
// record), the row is read again and nothing is overwritten.
//
// After every commit that wrote the table (through another set or any statement),
// the keys and held rows are marked stale and read again when next asked, keeping
// the current row and the set's own pending changes; rowsReset() follows from the
// event loop.
class RecordSet : public QObject {
    Q_OBJECT
public:
    enum class Direction { Forward, Backward };
    enum class Start { Current, First, Last, Bookmark };
    using Bookmark = qint64;

    RecordSet(Database& db, const QString& table, const QString& orderBy = QString(),
              QObject* parent = nullptr);
    ~RecordSet() override;

    Database& database() const { return db_; }
    QString table() const { return table_; }
    // The statement's own condition (for a window's data control).
    void setBase(const Criterion& base);
    Criterion base() const { return base_; }

    bool isOpen() const { return open_; }
    void open();

    const QStringList& columns() const { return columns_; }
    int columnIndex(const QString& name) const;  // -1 when unknown
    QString declaredType(const QString& name) const;
    bool isAutoNumber(int column) const { return column == autoColumn_; }

    int count() const;
    // 0-based row index; -1 before the first row, count() after the last.
    int position() const;
    bool bof() const;
    bool eof() const;
    bool hasCurrent() const;

    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    void moveTo(int row);  // -1 = BOF, count() = EOF

    Bookmark bookmark() const;  // 0 without a current row
    bool moveToBookmark(Bookmark b);

    // Searches from the start row (included) in the direction; not found leaves the
    // set at EOF (forward) or BOF (backward).
    bool find(const Criterion& criterion, Direction direction = Direction::Forward,
              Start start = Start::Current, Bookmark from = 0);

    void setFilter(const Criterion& filter);
    void clearFilter() { setFilter(Criterion()); }
    Criterion filter() const { return filter_; }

    void addNew();
    bool deleteCurrent();

    QVariant value(const QString& column) const;
    QVariant value(int column) const;
    QVariant valueAt(int row, int column) const;
    QVariant valueAt(int row, const QString& column) const;
    void setValue(const QString& column, const QVariant& v);
    void setValueAt(int row, int column, const QVariant& v);

    // Every row's values in the set's order, read with one statement (held rows as
    // held, pending changes included), for an export; nothing read is kept.
    QList<QVariantList> allRows() const;

    bool isPending(int row) const;   // added or edited, not yet written
    bool hasPendingChanges() const;
    void update();       // writes the current row if it is added or edited
    void updateBatch();  // writes every pending change in one transaction
    void cancelBatch();  // drops every pending change
    // Re-reads the rows (pending changes are written first). With keepPosition the
    // cursor returns to the same row when it is still there.
    void requery(bool keepPosition = false);
    // The record as the operator knows it ("档案库 门牌号 A-101"), for messages.
    QString describeRow(int row) const;

    // Rows are read in pages of pageRows keys; at most pages pages of unchanged rows
    // are held (pending rows are held until written).
    void setPaging(int pageRows, int pages);
    int heldRows() const { return int(held_.size()); }

signals:
    void currentChanged();
    void rowsReset();
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void valueChanged(int row, int column);

private:
    bool server() const { return db_.engine() == Database::Engine::Server; }
    enum class State { Clean, Edited, Added };
    struct Row {
        Bookmark key;
        QVariantList values;
        State state;
        QVariantList read;  // the values as read (empty for an added row)
    };
    using Written = QList<QPair<int, Bookmark>>;
    friend class DataEnvironment;

    void ensureLoaded() const;
    void load() const;
    // With firstPage, the values of the first page's rows are read in the same
    // statement (of every row when the set is no larger).
    QList<Bookmark> readKeys(QHash<Bookmark, QVariantList>* firstPage = nullptr) const;
    QHash<Bookmark, QVariantList> readValues(const QList<Bookmark>& keys) const;
    // The row at an index, its page read when it is not held. The reference is valid
    // until the next row is read.
    Row& rowAt(int row) const;
    void loadPage(int row) const;
    // Holds the rows of a page as read; with complete, a row missing from `read`
    // was deleted and is held empty, otherwise it is left to be read when asked.
    void holdRead(const QList<Bookmark>& page, const QHash<Bookmark, QVariantList>& read, bool complete) const;
    // The current row is read when it becomes current, so that it shows what it held
    // then, as a form expects.
    void holdCurrent() const;
    void makeRoom() const;  // drops the least recently read page when all are in use
    void hold(Row row) const;  // a row just written or read again, held as a page of its own
    bool pendingAt(int row) const;
    // The keys of the rows that can match, as SQLite selects them; none when the
    // criterion cannot be put to it.
    std::optional<QSet<Bookmark>> candidateKeys(const Criterion& criterion) const;
    QList<int> pendingRows() const;  // indexes of added and edited rows, in order
    void refresh() const;  // re-reads stale keys, keeping position and pending changes
    void onChange(const ChangeNotice& notice);
    void deliverNotice();
    void reread(Bookmark key);  // one row again, after a refused write
    // Writes every pending change inside the caller's transaction; the rows count as
    // written only after acceptWritten(), once the caller has committed.
    Written writePending();
    void acceptWritten(const Written& written);
    void markStale();
    void leaveCurrent();  // writes the row the cursor is about to leave
    void setPosition(int pos);
    int indexOfKey(Bookmark key) const;
    // Writes one row without touching the in-memory state; returns the new key for
    // an added row.
    Bookmark writeRow(int row);
    void applyWritten(int row, Bookmark key);
    int checkedColumn(const QString& name) const;

    Database& db_;
    QString table_;
    QString orderBy_;
    Criterion base_;
    Criterion filter_;
    bool open_ = false;
    QStringList columns_;
    QStringList types_;
    QHash<QString, int> index_;  // lower-case name -> column
    int autoColumn_ = -1;

    mutable bool loaded_ = false;
    mutable bool stale_ = false;
    bool noticePending_ = false;
    bool announced_ = false;  // reset and re-read since the last notice
    Bookmark noticeKey_ = 0;
    int listener_ = 0;
    mutable QList<Bookmark> keys_;      // every row of the set, in order
    mutable int keyCount_ = 0;          // rows at the last reading of the keys
    mutable QHash<Bookmark, Row> held_;  // rows whose values are in memory
    mutable QList<QList<Bookmark>> pages_;  // held pages, least recently read first
    mutable QList<Bookmark> tentative_;  // rows read inside an open transaction
    int pageRows_ = 128;
    int maxPages_ = 16;
    mutable int pos_ = -1;
    mutable bool gap_ = false;  // the current row was deleted; pos_ is the row after it
    QList<Bookmark> deleted_;
    Bookmark nextNewKey_ = -1;
};
