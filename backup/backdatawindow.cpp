#include "backdatawindow.h"

#include "backupprompter.h"
#include "datafolder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>

namespace {
constexpr int PathRole = Qt::UserRole;
// 6900 x 6750 twips at 15 twips per pixel.
constexpr int WindowWidth = 460;
constexpr int WindowHeight = 450;
}  // namespace

BackDataWindow::BackDataWindow(const QString& programFolder, BackupPrompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      tool_(programFolder, prompter)
{
    setObjectName(QStringLiteral("back_data"));
    setWindowTitle(BackupTool::title);
    setProperty("dataFolder", QDir::toNativeSeparators(programFolder));

    label1_ = new QLabel(QStringLiteral("将数据库备份至："), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    drive1_ = new QComboBox(this);
    drive1_->setObjectName(QStringLiteral("Drive1"));
    dir1_ = new QListWidget(this);
    dir1_->setObjectName(QStringLiteral("Dir1"));
    text1_ = new QLineEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    file1_ = new QListWidget(this);
    file1_->setObjectName(QStringLiteral("File1"));
    command1_ = new QPushButton(QStringLiteral("备份--->"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command2_ = new QPushButton(QStringLiteral("<--- 恢复"), this);
    command2_->setObjectName(QStringLiteral("Command2"));
    command3_ = new QPushButton(QStringLiteral("关闭"), this);
    command3_->setObjectName(QStringLiteral("Command3"));
    command4_ = new QPushButton(QStringLiteral("压缩数据"), this);
    command4_->setObjectName(QStringLiteral("Command4"));
    command4_->setEnabled(false);
    command5_ = new QPushButton(QStringLiteral("自动备份"), this);
    command5_->setObjectName(QStringLiteral("Command5"));
    command5_->setToolTip(QStringLiteral("显示 Tallowmere 自动做的备份"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(label1_, 0, 0, 1, 2);
    grid->addWidget(drive1_, 1, 0);
    grid->addWidget(text1_, 1, 1);
    grid->addWidget(dir1_, 2, 0);
    grid->addWidget(file1_, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(command1_);
    buttons->addWidget(command2_);
    buttons->addWidget(command4_);
    buttons->addWidget(command5_);
    buttons->addStretch();
    buttons->addWidget(command3_);
    grid->addLayout(buttons, 3, 0, 1, 2);
    // Equal columns whatever the length of the names listed.
    for (QWidget* w : {static_cast<QWidget*>(drive1_), static_cast<QWidget*>(dir1_),
                       static_cast<QWidget*>(text1_), static_cast<QWidget*>(file1_)})
        w->setSizePolicy(QSizePolicy::Ignored, w->sizePolicy().verticalPolicy());
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);

    connect(drive1_, &QComboBox::activated, this, &BackDataWindow::driveChanged);
    connect(dir1_, &QListWidget::itemActivated, this, &BackDataWindow::folderActivated);
    connect(file1_, &QListWidget::itemClicked, this, &BackDataWindow::fileClicked);
    connect(file1_, &QListWidget::itemActivated, this, &BackDataWindow::fileClicked);
    connect(command1_, &QPushButton::clicked, this, &BackDataWindow::backUp);
    connect(command2_, &QPushButton::clicked, this, &BackDataWindow::restore);
    connect(command3_, &QPushButton::clicked, this, &QWidget::close);
    connect(command5_, &QPushButton::clicked, this, &BackDataWindow::showSafetyCopies);

    fillDrives();
    setFolder(tool_.programFolder());
    resize(WindowWidth, WindowHeight);
}

void BackDataWindow::fillDrives()
{
    const QSignalBlocker block(drive1_);
    drive1_->clear();
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        drive1_->addItem(QDir::toNativeSeparators(volume.rootPath()), volume.rootPath());
    }
}

void BackDataWindow::setFolder(const QString& folder)
{
    folder_ = QDir(folder).absolutePath();
    {
        const QSignalBlocker block(drive1_);
        const int drive = drive1_->findData(QStorageInfo(folder_).rootPath());
        if (drive >= 0)
            drive1_->setCurrentIndex(drive);
    }
    fillFolders();
    refreshFiles();
    text1_->clear();
}

void BackDataWindow::fillFolders()
{
    dir1_->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the root down to F, then F's subfolders one step further in.
    QStringList chain;
    for (QDir dir(folder_);; ) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& path : chain) {
        const QString name = QDir(path).isRoot() ? QDir::toNativeSeparators(path) : QDir(path).dirName();
        auto* item = new QListWidgetItem(open, QString(depth * 2, QLatin1Char(' ')) + name, dir1_);
        item->setData(PathRole, path);
        ++depth;
    }
    dir1_->setCurrentRow(dir1_->count() - 1);
    const QDir current(folder_);
    for (const QString& sub : current.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        auto* item = new QListWidgetItem(closed, QString(depth * 2, QLatin1Char(' ')) + sub, dir1_);
        item->setData(PathRole, current.filePath(sub));
    }
}

void BackDataWindow::refreshFiles()
{
    file1_->clear();
    file1_->addItems(BackupTool::backupFiles(folder_));
}

void BackDataWindow::driveChanged(int index)
{
    const QString root = drive1_->itemData(index).toString();
    if (!root.isEmpty())
        setFolder(root);
}

void BackDataWindow::folderActivated(QListWidgetItem* item)
{
    if (item)
        setFolder(item->data(PathRole).toString());
}

void BackDataWindow::fileClicked(QListWidgetItem* item)
{
    if (item)
        text1_->setText(item->text());
}

void BackDataWindow::backUp()
{
    tool_.backUp(folder_, text1_->text());
    refreshFiles();
}

void BackDataWindow::restore()
{
    tool_.restore(folder_, text1_->text());
    refreshFiles();
}

QString BackDataWindow::safetyCopyFolder() const
{
    return QDir(tool_.programFolder()).filePath(DataFolder::safetyCopyFolderName);
}

void BackDataWindow::showSafetyCopies()
{
    const QString folder = safetyCopyFolder();
    if (!QFileInfo(folder).isDir()) {
        tool_.prompter().inform(QStringLiteral("还没有自动备份(文件夹 %1 不存在)。").arg(QDir::toNativeSeparators(folder)),
                                BackupTool::title);
        return;
    }
    setFolder(folder);
}
