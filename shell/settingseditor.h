#pragma once

#include <QString>
#include <memory>

class DataEnvironment;
class RecordSet;
struct AppContext;

// The rules of the settings window: the settings row (shared rs广告) and the
// window's own record set over the operators.
class SettingsEditor {
public:
    enum class Deletion { Deleted, NoCurrent, LastOperator };
    enum class Closing { Closed, Incomplete };

    SettingsEditor(DataEnvironment& data, AppContext& app);
    ~SettingsEditor();

    // The settings record set; holds a (pending) row even when the table had none.
    RecordSet& settings();
    // The window's own data control over 操作员 (no order of its own).
    RecordSet& operators() { return *operators_; }

    // Appends an empty operator row and makes it current.
    void addOperator();
    // Deletes the current operator at once and moves to the next one. The only
    // operator of the table is kept: without one nobody could log in.
    Deletion deleteOperator();
    // "关闭": writes the settings row, then, when the three texts are all
    // non-empty after trimming, saves the current operator and refreshes the
    // receipt name and notice of `app`. An empty password box over a password the
    // window does not show counts as that password. Throws StoreError when a write
    // fails.
    Closing close(const QString& name, const QString& password, const QString& level);
    // Closing without "关闭": drops the settings edits that were not written.
    void discard();

    // The password box's text for a stored password: a server shows none, a file
    // shows its passwords in clear but never a hash.
    QString shownPassword(const QVariant& stored) const;
    // The value a typed password is stored as: hashed on a server (an empty one
    // stays empty), as typed in a file.
    QVariant storedPassword(const QString& typed) const;

    static QString incompleteText() { return QStringLiteral("操作员,密码,操作员级别不可为空!"); }
    static QString lastOperatorText()
    {
        return QStringLiteral("这是最后一个操作员,不能删除!\n删除后将没有人能够登录本系统。");
    }

private:
    bool onServer() const;

    DataEnvironment& data_;
    AppContext& app_;
    std::unique_ptr<RecordSet> operators_;
};
