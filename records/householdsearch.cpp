#include "records/householdsearch.h"

#include "store/criterion.h"
#include "store/recordset.h"

namespace {

QString searchText(const QString& text)
{
    return text.trimmed();
}

Criterion byName(const QString& t)
{
    return Criterion::contains(QStringLiteral("户名"), t);
}

}  // namespace

QString HouseholdSearch::start(const QString& text)
{
    const QString t = searchText(text);
    using D = RecordSet::Direction;
    using S = RecordSet::Start;
    if (rs_.find(Criterion::equals(QStringLiteral("门牌号"), t), D::Forward, S::First))
        return QString();
    if (rs_.find(byName(t), D::Forward, S::First))
        return QString();
    return lastMessage();
}

QString HouseholdSearch::next(const QString& text)
{
    if (rs_.eof())
        return QString();
    rs_.moveNext();
    if (!rs_.eof())
        rs_.find(byName(searchText(text)), RecordSet::Direction::Forward, RecordSet::Start::Current);
    return rs_.eof() ? lastMessage() : QString();
}

QString HouseholdSearch::previous(const QString& text)
{
    if (rs_.bof())
        return QString();
    rs_.movePrevious();
    if (!rs_.bof())
        rs_.find(byName(searchText(text)), RecordSet::Direction::Backward, RecordSet::Start::Current);
    return rs_.bof() ? firstMessage() : QString();
}
