#include "store/recordset.h"

#include "store/database.h"

namespace {

QString quoteIdent(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

}  // namespace

RecordSet::RecordSet(Database& db, const QString& table, const QString& orderBy, QObject* parent)
    : QObject(parent), db_(db), table_(table), orderBy_(orderBy)
{
    const QList<QVariantList> info = db_.query(QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdent(table_)));
    if (info.isEmpty())
        throw StoreError(0, QStringLiteral("数据表不存在: %1").arg(table_));
    for (const QVariantList& col : info) {
        const QString name = col.value(1).toString();
        const QString type = col.value(2).toString().toUpper();
        index_.insert(name.toLower(), int(columns_.size()));
        if (col.value(5).toInt() == 1 && type == QLatin1String("INTEGER"))
            autoColumn_ = int(columns_.size());
        columns_ << name;
        types_ << type;
    }
}

RecordSet::~RecordSet() = default;

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

void RecordSet::ensureLoaded() const
{
    if (!loaded_)
        load();
}

void RecordSet::load() const
{
    QVariantList binds;
    Criterion where = base_;
    where &= filter_;
    QString sql = QStringLiteral("select rowid, * from %1").arg(quoteIdent(table_));
    if (!where.isEmpty())
        sql += QStringLiteral(" where ") + where.sql(binds, columns_);
    if (!orderBy_.isEmpty())
        sql += QStringLiteral(" order by ") + orderBy_;

    QList<Row> rows;
    Statement st = db_.prepare(sql);
    st.bindAll(binds);
    const int n = int(columns_.size());
    while (st.step()) {
        Row r{st.value(0).toLongLong(), {}, State::Clean};
        r.values.reserve(n);
        for (int i = 0; i < n; ++i)
            r.values.append(st.value(i + 1));
        rows.append(std::move(r));
    }
    rows_ = std::move(rows);
    loaded_ = true;
    gap_ = false;
    pos_ = 0;  // the first row, or EOF (== count) when there is none
}

void RecordSet::markStale()
{
    loaded_ = false;
    rows_.clear();
    gap_ = false;
    pos_ = 0;
    emit rowsReset();
    emit currentChanged();
}

int RecordSet::count() const
{
    ensureLoaded();
    return int(rows_.size());
}

int RecordSet::position() const
{
    ensureLoaded();
    return pos_;
}

bool RecordSet::bof() const
{
    ensureLoaded();
    return rows_.isEmpty() || pos_ < 0;
}

bool RecordSet::eof() const
{
    ensureLoaded();
    return rows_.isEmpty() || pos_ >= rows_.size();
}

bool RecordSet::hasCurrent() const
{
    ensureLoaded();
    return !gap_ && pos_ >= 0 && pos_ < rows_.size();
}

QVariant RecordSet::value(int column) const
{
    if (!hasCurrent() || column < 0 || column >= columns_.size())
        return QVariant();
    return rows_[pos_].values[column];
}

QVariant RecordSet::value(const QString& column) const
{
    return value(columnIndex(column));
}

QVariant RecordSet::valueAt(int row, int column) const
{
    ensureLoaded();
    if (row < 0 || row >= rows_.size() || column < 0 || column >= columns_.size())
        return QVariant();
    return rows_[row].values[column];
}

QVariant RecordSet::valueAt(int row, const QString& column) const
{
    return valueAt(row, columnIndex(column));
}

bool RecordSet::isPending(int row) const
{
    ensureLoaded();
    return row >= 0 && row < rows_.size() && rows_[row].state != State::Clean;
}

bool RecordSet::hasPendingChanges() const
{
    if (!deleted_.isEmpty())
        return true;
    if (!loaded_)
        return false;
    for (const Row& r : rows_)
        if (r.state != State::Clean)
            return true;
    return false;
}

// ---- moving ----------------------------------------------------------------

void RecordSet::leaveCurrent()
{
    if (hasCurrent() && rows_[pos_].state != State::Clean)
        update();
}

void RecordSet::setPosition(int pos)
{
    const int n = int(rows_.size());
    pos = std::clamp(pos, -1, n);
    const bool changed = pos != pos_ || gap_;
    pos_ = pos;
    gap_ = false;
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
    setPosition(rows_.isEmpty() ? 0 : int(rows_.size()) - 1);
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
    return hasCurrent() ? rows_[pos_].key : 0;
}

int RecordSet::indexOfKey(Bookmark key) const
{
    for (int i = 0; i < rows_.size(); ++i)
        if (rows_[i].key == key)
            return i;
    return -1;
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

bool RecordSet::find(const Criterion& criterion, Direction direction, Start start, Bookmark from)
{
    ensureLoaded();
    const int n = int(rows_.size());
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
    for (; i >= 0 && i < n; i += step) {
        const Row& r = rows_[i];
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
    filter.sql(probe, columns_);  // rejects unknown columns before anything changes
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
    Row r{nextNewKey_--, QVariantList(columns_.size()), State::Added};
    const int at = int(rows_.size());
    emit rowAboutToBeInserted(at);
    rows_.append(r);
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
    const Row r = rows_.takeAt(at);
    if (r.state != State::Added)
        deleted_.append(r.key);
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
    if (row < 0 || row >= rows_.size() || column < 0 || column >= columns_.size())
        throw StoreError(0, QStringLiteral("记录位置无效"));
    Row& r = rows_[row];
    const QVariant& old = r.values[column];
    if (old.isNull() == v.isNull() && old == v && old.typeId() == v.typeId())
        return;
    r.values[column] = v;
    if (r.state == State::Clean)
        r.state = State::Edited;
    emit valueChanged(row, column);
}

RecordSet::Bookmark RecordSet::writeRow(const Row& row)
{
    QStringList names;
    QVariantList binds;
    RowWrite write{table_, row.state == State::Added ? 0 : row.key, {}, {}};
    for (int c = 0; c < columns_.size(); ++c) {
        if (c == autoColumn_)
            continue;
        names << quoteIdent(columns_[c]);
        binds << row.values[c];
        write.columns << columns_[c];
        write.values << row.values[c];
    }
    db_.runRowWriteHooks(write);
    if (row.state == State::Added) {
        QStringList marks;
        for (int i = 0; i < names.size(); ++i)
            marks << QStringLiteral("?");
        db_.exec(QStringLiteral("insert into %1 (%2) values (%3)")
                     .arg(quoteIdent(table_), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                 binds);
        return db_.lastInsertRowId();
    }
    QStringList sets;
    for (const QString& n : names)
        sets << n + QStringLiteral(" = ?");
    binds << row.key;
    db_.exec(QStringLiteral("update %1 set %2 where rowid = ?").arg(quoteIdent(table_), sets.join(QLatin1Char(','))),
             binds);
    return row.key;
}

void RecordSet::applyWritten(Row& row, Bookmark key)
{
    if (row.state == State::Added && autoColumn_ >= 0) {
        row.values[autoColumn_] = QVariant(qlonglong(key));
        const int at = int(&row - rows_.data());
        row.key = key;
        row.state = State::Clean;
        emit valueChanged(at, autoColumn_);
        return;
    }
    row.key = key;
    row.state = State::Clean;
}

void RecordSet::update()
{
    if (!hasCurrent() || rows_[pos_].state == State::Clean)
        return;
    Transaction t(db_);
    const Bookmark key = writeRow(rows_[pos_]);
    t.commit();
    applyWritten(rows_[pos_], key);
}

void RecordSet::updateBatch()
{
    if (!hasPendingChanges())
        return;
    QList<QPair<int, Bookmark>> written;
    {
        Transaction t(db_);
        for (Bookmark k : std::as_const(deleted_))
            db_.exec(QStringLiteral("delete from %1 where rowid = ?").arg(quoteIdent(table_)), {k});
        if (loaded_) {
            for (int i = 0; i < rows_.size(); ++i)
                if (rows_[i].state != State::Clean)
                    written.append({i, writeRow(rows_[i])});
        }
        t.commit();
    }
    deleted_.clear();
    for (const auto& [i, key] : written)
        applyWritten(rows_[i], key);
}

void RecordSet::cancelBatch()
{
    deleted_.clear();
    if (open_)
        markStale();
}

void RecordSet::requery(bool keepPosition)
{
    const Bookmark keep = keepPosition && loaded_ ? bookmark() : 0;
    if (hasPendingChanges())
        updateBatch();
    open_ = true;
    markStale();
    if (keep) {
        ensureLoaded();
        const int i = indexOfKey(keep);
        if (i >= 0)
            setPosition(i);
    }
}
