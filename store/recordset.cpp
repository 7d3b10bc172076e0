#include "store/recordset.h"

#include "store/database.h"

#include <QSet>

#include <optional>

namespace {

QString quoteIdent(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    return a.isNull() == b.isNull() && a.typeId() == b.typeId() && a == b;
}

}  // namespace

RecordSet::RecordSet(Database& db, const QString& table, const QString& orderBy, QObject* parent)
    : QObject(parent), db_(db), table_(table), orderBy_(orderBy)
{
    const QList<Database::Column> info = db_.columns(table_);
    if (info.isEmpty())
        throw StoreError(0, QStringLiteral("数据表不存在: %1").arg(table_));
    for (const Database::Column& col : info) {
        index_.insert(col.name.toLower(), int(columns_.size()));
        if (col.autoKey)
            autoColumn_ = int(columns_.size());
        columns_ << col.name;
        types_ << col.type;
    }
    listener_ = db_.addChangeListener([this](const ChangeNotice& n) { onChange(n); });
    db_.registerRecordSet(this);
}

RecordSet::~RecordSet()
{
    db_.removeChangeListener(listener_);
    db_.unregisterRecordSet(this);
}

void RecordSet::setBase(const Criterion& base)
{
    base_ = base;
    if (open_)
        requery();
}

void RecordSet::open()
{
    if (open_)
        return;
    open_ = true;
    markStale();
}

int RecordSet::columnIndex(const QString& name) const
{
    return index_.value(name.toLower(), -1);
}

QString RecordSet::declaredType(const QString& name) const
{
    const int c = columnIndex(name);
    return c < 0 ? QString() : types_[c];
}

int RecordSet::checkedColumn(const QString& name) const
{
    const int c = columnIndex(name);
    if (c < 0)
        throw StoreError(0, QStringLiteral("%1 中没有列 %2").arg(table_, name));
    return c;
}

// ---- reading ---------------------------------------------------------------

void RecordSet::setPaging(int pageRows, int pages)
{
    pageRows_ = std::max(1, pageRows);
    maxPages_ = std::max(1, pages);
    while (pages_.size() > maxPages_)
        for (Bookmark k : pages_.takeFirst()) {
            const auto h = held_.find(k);
            if (h != held_.end() && h->state == State::Clean)
                held_.erase(h);
        }
}

void RecordSet::ensureLoaded() const
{
    if (!loaded_)
        load();
    else if (stale_)
        refresh();
}

void RecordSet::load() const
{
    QHash<Bookmark, QVariantList> first;
    keys_ = readKeys(keyCount_ <= 2 * pageRows_ ? &first : nullptr);
    keyCount_ = int(keys_.size());
    held_.clear();
    pages_.clear();
    tentative_.clear();
    holdRead(keys_.mid(0, pageRows_), first, false);
    loaded_ = true;
    stale_ = false;
    gap_ = false;
    pos_ = 0;  // the first row, or EOF (== count) when there is none
    holdCurrent();
}

QList<RecordSet::Bookmark> RecordSet::readKeys(QHash<Bookmark, QVariantList>* firstPage) const
{
    QVariantList binds;
    Criterion where = base_;
    where &= filter_;
    QString tail;
    if (!where.isEmpty())
        tail += QStringLiteral(" where ") + where.sql(binds, columns_, server());
    if (!orderBy_.isEmpty())
        tail += QStringLiteral(" order by ") + orderBy_;

    if (firstPage) {
        // The first page's rows come with their values; a set no larger than that is
        // read whole with this one statement.
        QList<Bookmark> keys;
        const int n = int(columns_.size());
        Statement st = db_.prepare(QStringLiteral("select rowid, * from %1%2 limit ?").arg(quoteIdent(table_), tail));
        st.bindAll(binds + QVariantList{pageRows_ + 1});
        while (st.step()) {
            const Bookmark k = st.value(0).toLongLong();
            keys.append(k);
            if (keys.size() > pageRows_)
                break;
            QVariantList values;
            values.reserve(n);
            for (int i = 0; i < n; ++i)
                values.append(st.value(i + 1));
            firstPage->insert(k, std::move(values));
        }
        if (keys.size() <= pageRows_)
            return keys;
    }
    const QString sql = QStringLiteral("select rowid from %1").arg(quoteIdent(table_)) + tail;
    QList<Bookmark> keys;
    Statement st = db_.prepare(sql);
    st.bindAll(binds);
    while (st.step())
        keys.append(st.value(0).toLongLong());
    return keys;
}

QHash<RecordSet::Bookmark, QVariantList> RecordSet::readValues(const QList<Bookmark>& keys) const
{
    QHash<Bookmark, QVariantList> out;
    const int n = int(columns_.size());
    constexpr int chunk = 256;  // well under SQLite's limit of bound values
    for (int from = 0; from < keys.size(); from += chunk) {
        const int m = std::min(chunk, int(keys.size()) - from);
        QString marks;
        QVariantList binds;
        for (int i = 0; i < m; ++i) {
            marks += i ? QStringLiteral(",?") : QStringLiteral("?");
            binds << keys[from + i];
        }
        Statement st = db_.prepare(
            QStringLiteral("select rowid, * from %1 where rowid in (%2)").arg(quoteIdent(table_), marks));
        st.bindAll(binds);
        while (st.step()) {
            QVariantList values;
            values.reserve(n);
            for (int i = 0; i < n; ++i)
                values.append(st.value(i + 1));
            out.insert(st.value(0).toLongLong(), values);
        }
    }
    return out;
}

void RecordSet::holdCurrent() const
{
    if (pos_ >= 0 && pos_ < keys_.size())
        rowAt(pos_);
}

RecordSet::Row& RecordSet::rowAt(int row) const
{
    if (!tentative_.isEmpty() && !db_.inTransaction()) {
        // Rows read inside a transaction that has ended may hold what it rolled back.
        for (Bookmark k : std::as_const(tentative_)) {
            const auto h = held_.find(k);
            if (h != held_.end() && h->state == State::Clean)
                held_.erase(h);
        }
        tentative_.clear();
    }
    const Bookmark key = keys_[row];
    auto h = held_.find(key);
    if (h == held_.end()) {
        loadPage(row);
        h = held_.find(key);
    }
    return *h;
}

void RecordSet::makeRoom() const
{
    while (pages_.size() >= maxPages_) {
        for (Bookmark k : pages_.takeFirst()) {
            const auto h = held_.find(k);
            if (h != held_.end() && h->state == State::Clean)
                held_.erase(h);
        }
    }
}

void RecordSet::loadPage(int row) const
{
    const int first = row - row % pageRows_;
    const int last = std::min(int(keys_.size()), first + pageRows_);
    QList<Bookmark> want;
    for (int i = first; i < last; ++i)
        if (!held_.contains(keys_[i]))
            want.append(keys_[i]);
    holdRead(want, readValues(want), true);
}

void RecordSet::holdRead(const QList<Bookmark>& page, const QHash<Bookmark, QVariantList>& read, bool complete) const
{
    QList<Bookmark> want;
    for (Bookmark k : page)
        if (!held_.contains(k) && (complete || read.contains(k)))
            want.append(k);
    if (want.isEmpty())
        return;
    makeRoom();
    for (Bookmark k : std::as_const(want)) {
        // A row another connection deleted reads as empty; writing it says so.
        const auto v = read.constFind(k);
        Row r{k, v == read.constEnd() ? QVariantList(columns_.size()) : *v, State::Clean, {}};
        r.read = r.values;  // shared, copied only when edited
        held_.insert(k, std::move(r));
    }
    if (db_.inTransaction())
        tentative_ += want;
    pages_.append(want);
}

void RecordSet::hold(Row row) const
{
    makeRoom();
    const Bookmark k = row.key;
    held_.insert(k, std::move(row));
    pages_.append(QList<Bookmark>{k});
}

bool RecordSet::pendingAt(int row) const
{
    const auto h = held_.constFind(keys_[row]);
    return h != held_.constEnd() && h->state != State::Clean;
}

QList<int> RecordSet::pendingRows() const
{
    QSet<Bookmark> pending;
    for (const Row& r : std::as_const(held_))
        if (r.state != State::Clean)
            pending.insert(r.key);
    QList<int> rows;
    if (pending.isEmpty())
        return rows;
    for (int i = 0; i < keys_.size(); ++i)
        if (pending.contains(keys_[i]))
            rows.append(i);
    return rows;
}

void RecordSet::refresh() const
{
    stale_ = false;
    const int n = int(keys_.size());
    // The current row (or, after a deletion, the row after it) is found again by key.
    const Bookmark current = pos_ >= 0 && pos_ < n ? keys_[pos_] : 0;
    const bool atEnd = pos_ >= n;
    QList<Bookmark> edited, added;
    QHash<Bookmark, Row> pending;
    for (int i : pendingRows()) {
        const Bookmark k = keys_[i];
        Row r = held_.take(k);
        (r.state == State::Edited ? edited : added).append(k);
        pending.insert(k, std::move(r));
    }
    held_ = std::move(pending);  // unchanged rows are read again when asked
    pages_.clear();
    tentative_.clear();
    const QSet<Bookmark> deleted(deleted_.cbegin(), deleted_.cend());
    QSet<Bookmark> unmatched(edited.cbegin(), edited.cend());
    QHash<Bookmark, QVariantList> first;
    const QList<Bookmark> fresh = readKeys(keyCount_ <= 2 * pageRows_ ? &first : nullptr);
    keyCount_ = int(fresh.size());
    QList<Bookmark> keys, matched;
    keys.reserve(fresh.size() + added.size());
    for (Bookmark k : fresh) {
        if (deleted.contains(k))
            continue;
        if (unmatched.remove(k))
            matched.append(k);
        keys.append(k);
    }
    // Changed columns keep the edit and the value it was made on; the others take
    // what the file holds now.
    const QHash<Bookmark, QVariantList> now = readValues(matched);
    for (Bookmark k : std::as_const(matched)) {
        const auto v = now.constFind(k);
        if (v == now.constEnd())
            continue;
        Row& mine = held_[k];
        for (int c = 0; c < mine.values.size(); ++c) {
            if (sameValue(mine.values[c], mine.read.value(c))) {
                mine.values[c] = v->value(c);
                mine.read[c] = v->value(c);
            }
        }
    }
    // An edited row that another writer deleted stays, so that writing it says so.
    for (Bookmark k : std::as_const(edited))
        if (unmatched.contains(k))
            keys.append(k);
    keys += added;
    keys_ = std::move(keys);
    holdRead(keys_.mid(0, pageRows_), first, false);
    const int m = int(keys_.size());
    if (current) {
        const int i = indexOfKey(current);
        if (i >= 0)
            pos_ = i;
        else
            pos_ = std::min(pos_, m);
    } else if (atEnd) {
        pos_ = m;
    }
    holdCurrent();
}

void RecordSet::onChange(const ChangeNotice& notice)
{
    if (!loaded_ || !notice.touches(table_, this))
        return;
    if (!stale_)
        noticeKey_ = pos_ >= 0 && pos_ < keys_.size() && !gap_ ? keys_[pos_] : 0;
    stale_ = true;
    announced_ = false;
    if (noticePending_)
        return;
    noticePending_ = true;
    QMetaObject::invokeMethod(this, &RecordSet::deliverNotice, Qt::QueuedConnection);
}

void RecordSet::deliverNotice()
{
    noticePending_ = false;
    if (!loaded_ || announced_)
        return;
    // Grids and boxes read the new rows; a set nobody shows stays stale until asked.
    if (receivers(SIGNAL(rowsReset())) == 0 && receivers(SIGNAL(currentChanged())) == 0)
        return;
    const Bookmark before = noticeKey_;
    ensureLoaded();
    emit rowsReset();
    if (bookmark() != before)
        emit currentChanged();
}

void RecordSet::markStale()
{
    announced_ = true;  // a notice waiting to be delivered has nothing left to say
    loaded_ = false;
    stale_ = false;
    keys_.clear();
    held_.clear();
    pages_.clear();
    tentative_.clear();
    gap_ = false;
    pos_ = 0;
    emit rowsReset();
    emit currentChanged();
}

int RecordSet::count() const
{
    ensureLoaded();
    return int(keys_.size());
}

int RecordSet::position() const
{
    ensureLoaded();
    return pos_;
}

bool RecordSet::bof() const
{
    ensureLoaded();
    return keys_.isEmpty() || pos_ < 0;
}

bool RecordSet::eof() const
{
    ensureLoaded();
    return keys_.isEmpty() || pos_ >= keys_.size();
}

bool RecordSet::hasCurrent() const
{
    ensureLoaded();
    return !gap_ && pos_ >= 0 && pos_ < keys_.size();
}

QVariant RecordSet::value(int column) const
{
    if (!hasCurrent() || column < 0 || column >= columns_.size())
        return QVariant();
    return rowAt(pos_).values[column];
}

QVariant RecordSet::value(const QString& column) const
{
    return value(columnIndex(column));
}

QVariant RecordSet::valueAt(int row, int column) const
{
    ensureLoaded();
    if (row < 0 || row >= keys_.size() || column < 0 || column >= columns_.size())
        return QVariant();
    return rowAt(row).values[column];
}

QVariant RecordSet::valueAt(int row, const QString& column) const
{
    return valueAt(row, columnIndex(column));
}

QList<QVariantList> RecordSet::allRows() const
{
    ensureLoaded();
    QVariantList binds;
    Criterion where = base_;
    where &= filter_;
    QString sql = QStringLiteral("select rowid, * from %1").arg(quoteIdent(table_));
    if (!where.isEmpty())
        sql += QStringLiteral(" where ") + where.sql(binds, columns_, server());
    const int n = int(columns_.size());
    QHash<Bookmark, QVariantList> read;
    read.reserve(keys_.size());
    Statement st = db_.prepare(sql);
    st.bindAll(binds);
    while (st.step()) {
        QVariantList values;
        values.reserve(n);
        for (int i = 0; i < n; ++i)
            values.append(st.value(i + 1));
        read.insert(st.value(0).toLongLong(), std::move(values));
    }
    // Rows of the set that no longer meet its condition are read by key.
    QList<Bookmark> missing;
    for (Bookmark k : std::as_const(keys_))
        if (!held_.contains(k) && !read.contains(k))
            missing.append(k);
    if (!missing.isEmpty())
        read.insert(readValues(missing));
    QList<QVariantList> out;
    out.reserve(keys_.size());
    for (Bookmark k : std::as_const(keys_)) {
        const auto h = held_.constFind(k);
        if (h != held_.constEnd())
            out.append(h->values);
        else
            out.append(read.value(k, QVariantList(n)));
    }
    return out;
}

bool RecordSet::isPending(int row) const
{
    ensureLoaded();
    return row >= 0 && row < keys_.size() && pendingAt(row);
}

bool RecordSet::hasPendingChanges() const
{
    if (!deleted_.isEmpty())
        return true;
    if (!loaded_)
        return false;
    for (const Row& r : std::as_const(held_))
        if (r.state != State::Clean)
            return true;
    return false;
}

// ---- moving ----------------------------------------------------------------

void RecordSet::leaveCurrent()
{
    if (hasCurrent() && pendingAt(pos_))
        update();
}

void RecordSet::setPosition(int pos)
{
    const int n = int(keys_.size());
    pos = std::clamp(pos, -1, n);
    const bool changed = pos != pos_ || gap_;
    pos_ = pos;
    gap_ = false;
    holdCurrent();
    if (changed)
        emit currentChanged();
}

void RecordSet::moveFirst()
{
    ensureLoaded();
    leaveCurrent();
    setPosition(0);
}

void RecordSet::moveLast()
{
    ensureLoaded();
    leaveCurrent();
    setPosition(keys_.isEmpty() ? 0 : int(keys_.size()) - 1);
}

void RecordSet::moveNext()
{
    ensureLoaded();
    if (eof() && !gap_)
        throw StoreError(0, QStringLiteral("已在最后记录之后"));
    leaveCurrent();
    setPosition(gap_ ? pos_ : pos_ + 1);
}

void RecordSet::movePrevious()
{
    ensureLoaded();
    if (bof() && !gap_)
        throw StoreError(0, QStringLiteral("已在最前记录之前"));
    leaveCurrent();
    setPosition(pos_ - 1);
}

void RecordSet::moveTo(int row)
{
    ensureLoaded();
    if (row == pos_ && !gap_)
        return;
    leaveCurrent();
    setPosition(row);
}

RecordSet::Bookmark RecordSet::bookmark() const
{
    return hasCurrent() ? keys_[pos_] : 0;
}

int RecordSet::indexOfKey(Bookmark key) const
{
    return int(keys_.indexOf(key));
}

bool RecordSet::moveToBookmark(Bookmark b)
{
    ensureLoaded();
    const int i = indexOfKey(b);
    if (i < 0)
        return false;
    moveTo(i);
    return true;
}

std::optional<QSet<RecordSet::Bookmark>> RecordSet::candidateKeys(const Criterion& criterion) const
{
    QVariantList binds;
    const QString narrow = criterion.candidateSql(binds, columns_, types_, server());
    if (narrow.isEmpty())
        return std::nullopt;
    QVariantList whereBinds;
    Criterion where = base_;
    where &= filter_;
    QString sql = QStringLiteral("select rowid from %1 where ").arg(quoteIdent(table_));
    if (!where.isEmpty())
        sql += where.sql(whereBinds, columns_, server()) + QStringLiteral(" and ");
    sql += narrow;
    QSet<Bookmark> keys;
    Statement st = db_.prepare(sql);
    st.bindAll(whereBinds + binds);
    while (st.step())
        keys.insert(st.value(0).toLongLong());
    return keys;
}

bool RecordSet::find(const Criterion& criterion, Direction direction, Start start, Bookmark from)
{
    ensureLoaded();
    const int n = int(keys_.size());
    int i = 0;
    switch (start) {
    case Start::Current:
        i = pos_;
        if (gap_ && direction == Direction::Backward)
            i = pos_ - 1;
        break;
    case Start::First:
        i = 0;
        break;
    case Start::Last:
        i = n - 1;
        break;
    case Start::Bookmark:
        i = indexOfKey(from);
        if (i < 0)
            throw StoreError(0, QStringLiteral("书签无效"));
        break;
    }
    const int step = direction == Direction::Forward ? 1 : -1;
    if (direction == Direction::Forward)
        i = std::max(i, 0);
    else
        i = std::min(i, n - 1);
    // Columns are resolved once, not per row.
    QHash<QString, int> resolved;
    for (const Criterion::Term& t : criterion.terms())
        resolved.insert(t.column, columnIndex(t.column));
    // SQLite names the rows that can match; only those and the set's pending rows
    // are read and matched here. Without such a clause every row is.
    const std::optional<QSet<Bookmark>> candidates = candidateKeys(criterion);
    for (; i >= 0 && i < n; i += step) {
        if (candidates && !candidates->contains(keys_[i]) && !pendingAt(i))
            continue;
        const Row& r = rowAt(i);
        if (criterion.matches([&](const QString& c) {
                const int col = resolved.value(c, -1);
                return col < 0 ? QVariant() : r.values.value(col);
            })) {
            if (i != pos_ || gap_)
                leaveCurrent();
            setPosition(i);
            return true;
        }
    }
    leaveCurrent();
    setPosition(direction == Direction::Forward ? n : -1);
    return false;
}

void RecordSet::setFilter(const Criterion& filter)
{
    QVariantList probe;
    filter.sql(probe, columns_, server());  // rejects unknown columns before anything changes
    if (hasPendingChanges())
        updateBatch();
    filter_ = filter;
    markStale();
}

// ---- changing --------------------------------------------------------------

void RecordSet::addNew()
{
    ensureLoaded();
    leaveCurrent();
    const Bookmark key = nextNewKey_--;
    const int at = int(keys_.size());
    emit rowAboutToBeInserted(at);
    keys_.append(key);
    held_.insert(key, Row{key, QVariantList(columns_.size()), State::Added, {}});
    emit rowInserted(at);
    pos_ = -2;  // forces the change signal
    setPosition(at);
}

bool RecordSet::deleteCurrent()
{
    if (!hasCurrent())
        return false;
    const int at = pos_;
    emit rowAboutToBeRemoved(at);
    const Bookmark key = keys_.takeAt(at);
    const auto h = held_.constFind(key);
    const bool added = h != held_.constEnd() && h->state == State::Added;
    held_.remove(key);
    if (!added)
        deleted_.append(key);
    gap_ = true;
    emit rowRemoved(at);
    emit currentChanged();
    return true;
}

void RecordSet::setValue(const QString& column, const QVariant& v)
{
    if (!hasCurrent())
        throw StoreError(0, QStringLiteral("没有当前记录"));
    setValueAt(pos_, checkedColumn(column), v);
}

void RecordSet::setValueAt(int row, int column, const QVariant& v)
{
    ensureLoaded();
    if (row < 0 || row >= keys_.size() || column < 0 || column >= columns_.size())
        throw StoreError(0, QStringLiteral("记录位置无效"));
    Row& r = rowAt(row);
    const QVariant& old = r.values[column];
    if (old.isNull() == v.isNull() && old == v && old.typeId() == v.typeId())
        return;
    r.values[column] = v;
    if (r.state == State::Clean)
        r.state = State::Edited;
    emit valueChanged(row, column);
}

RecordSet::Bookmark RecordSet::writeRow(int at)
{
    const Row row = rowAt(at);
    const bool added = row.state == State::Added;
    RowWrite write{table_, added ? 0 : row.key, {}, {}};
    QVariantList was;
    for (int c = 0; c < columns_.size(); ++c) {
        if (c == autoColumn_)
            continue;
        if (!added && sameValue(row.values[c], row.read.value(c)))
            continue;
        write.columns << columns_[c];
        write.values << row.values[c];
        if (!added)
            was << row.read.value(c);
    }
    if (!added && write.columns.isEmpty())
        return row.key;  // edited back to what was read
    db_.runRowWriteHooks(write);
    QStringList names;
    for (const QString& c : std::as_const(write.columns))
        names << quoteIdent(c);
    const Database::WriterScope writer(db_, this);
    if (added) {
        QStringList marks;
        for (int i = 0; i < names.size(); ++i)
            marks << QStringLiteral("?");
        db_.exec(QStringLiteral("insert into %1 (%2) values (%3)")
                     .arg(quoteIdent(table_), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                 write.values);
        return db_.lastInsertRowId();
    }
    // Only while the written columns still hold what this set read.
    QStringList sets, checks;
    for (const QString& n : std::as_const(names)) {
        sets << n + QStringLiteral(" = ?");
        checks << n + (server() ? QStringLiteral(" is not distinct from ?") : QStringLiteral(" is ?"));
    }
    QVariantList binds = write.values;
    binds << row.key;
    binds += was;
    db_.exec(QStringLiteral("update %1 set %2 where rowid = ? and %3")
                 .arg(quoteIdent(table_), sets.join(QLatin1Char(',')), checks.join(QStringLiteral(" and "))),
             binds);
    if (db_.changes() == 0)
        throw RowConflict(row.key, QStringLiteral("%1 已被其他窗口或操作修改，本次修改没有保存；已重新读取该记录，请核对后再改。")
                                       .arg(describeRow(at)));
    return row.key;
}

QString RecordSet::describeRow(int row) const
{
    if (row < 0 || row >= keys_.size())
        return table_;
    const Row& r = rowAt(row);
    static const char* const keys[] = {"门牌号", "月份", "项目号", "操作员"};
    QStringList parts;
    for (const char* k : keys) {
        const int c = columnIndex(QString::fromUtf8(k));
        if (c >= 0) {
            const QVariant v = r.read.isEmpty() ? r.values[c] : r.read.value(c);
            parts << QStringLiteral("%1 %2").arg(columns_[c], v.toString());
        }
    }
    if (parts.isEmpty())
        parts << QStringLiteral("第 %1 行").arg(row + 1);
    return QStringLiteral("%1 记录（%2）").arg(table_, parts.join(QStringLiteral("，")));
}

void RecordSet::reread(Bookmark key)
{
    const int at = indexOfKey(key);
    if (at < 0)
        return;
    Statement st = db_.prepare(QStringLiteral("select rowid, * from %1 where rowid = ?").arg(quoteIdent(table_)));
    st.bind(1, key);
    if (st.step()) {
        Row r{key, {}, State::Clean, {}};
        for (int i = 0; i < columns_.size(); ++i)
            r.values.append(st.value(i + 1));
        r.read = r.values;
        held_.remove(key);
        hold(std::move(r));
        for (int i = 0; i < columns_.size(); ++i)
            emit valueChanged(at, i);
        return;
    }
    // Another writer deleted the row.
    emit rowAboutToBeRemoved(at);
    keys_.removeAt(at);
    held_.remove(key);
    if (pos_ == at)
        gap_ = true;  // the cursor stands on the row after it
    else if (pos_ > at)
        --pos_;
    emit rowRemoved(at);
    emit currentChanged();
}

void RecordSet::applyWritten(int at, Bookmark key)
{
    Row row = held_.take(keys_[at]);
    const bool numbered = row.state == State::Added && autoColumn_ >= 0;
    if (numbered)
        row.values[autoColumn_] = QVariant(qlonglong(key));
    row.key = key;
    row.state = State::Clean;
    row.read = row.values;
    keys_[at] = key;
    hold(std::move(row));
    if (numbered)
        emit valueChanged(at, autoColumn_);
}

void RecordSet::update()
{
    if (!hasCurrent() || !pendingAt(pos_))
        return;
    Bookmark key = 0;
    try {
        Transaction t(db_);
        key = writeRow(pos_);
        t.commit();
    } catch (const RowConflict& e) {
        reread(e.rowid());
        throw;
    }
    applyWritten(pos_, key);
}

RecordSet::Written RecordSet::writePending()
{
    Written written;
    for (Bookmark k : std::as_const(deleted_)) {
        const Database::WriterScope writer(db_, this);
        db_.exec(QStringLiteral("delete from %1 where rowid = ?").arg(quoteIdent(table_)), {k});
    }
    if (loaded_) {
        for (int i : pendingRows())
            written.append({i, writeRow(i)});
    }
    return written;
}

void RecordSet::acceptWritten(const Written& written)
{
    deleted_.clear();
    for (const auto& [i, key] : written)
        if (i < keys_.size() && pendingAt(i))
            applyWritten(i, key);
}

void RecordSet::updateBatch()
{
    if (!hasPendingChanges())
        return;
    Written written;
    try {
        Transaction t(db_);
        written = writePending();
        t.commit();
    } catch (const RowConflict& e) {
        reread(e.rowid());
        throw;
    }
    acceptWritten(written);
}

void RecordSet::cancelBatch()
{
    deleted_.clear();
    if (open_)
        markStale();
}

void RecordSet::requery(bool keepPosition)
{
    // A set a notice marked stale is read once here, not refreshed first to find
    // its current row: the row noted with the notice is looked for instead, and
    // when it has gone, the row that took its place is current.
    Bookmark keep = 0;
    int keepAt = -1;
    if (keepPosition && loaded_) {
        if (stale_ && !hasPendingChanges()) {
            keep = noticeKey_;
            keepAt = pos_;
        } else {
            keep = bookmark();
        }
    }
    if (hasPendingChanges())
        updateBatch();
    open_ = true;
    markStale();
    if (keep) {
        ensureLoaded();
        const int i = indexOfKey(keep);
        if (i >= 0)
            setPosition(i);
        else if (keepAt >= 0 && keepAt < int(keys_.size()))
            setPosition(keepAt);
    }
}
