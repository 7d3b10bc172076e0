#pragma once

#include <QDialog>
#include <QTableView>
#include <QWidget>

#include <memory>

class MonthRun;
class QTableWidget;
class ReadingImport;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class ReadingSheet;
class ReadingSheetModel;
struct Services;

// The reading column of the sheet: Enter moves down it, a pasted column fills the
// rows below the cursor.
class ReadingGrid : public QTableView {
    Q_OBJECT
public:
    explicit ReadingGrid(QWidget* parent = nullptr);
    void setSheetModel(ReadingSheetModel* model);
    // Pastes text as the clipboard would hand it.
    int paste(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void moveDown();
    ReadingSheetModel* model_ = nullptr;
};

// What the month's run will do, before it does it.
class MonthPreviewDialog : public QDialog {
    Q_OBJECT
public:
    MonthPreviewDialog(MonthRun& run, const ReadingSheet& sheet, QWidget* parent = nullptr);
    QCheckBox* recomputeBox() const { return recompute_; }
    QPushButton* runButton() const { return run_; }
    QPlainTextEdit* text() const { return text_; }
    bool recompute() const;

private:
    void refresh();
    MonthRun& runner_;
    const ReadingSheet& sheet_;
    QCheckBox* recompute_;
    QPlainTextEdit* text_;
    QPushButton* run_;
};

// What an import would bring in, and the lines it cannot use; nothing is imported
// until 导入 is pressed.
class ImportReportDialog : public QDialog {
    Q_OBJECT
public:
    ImportReportDialog(const ReadingImport& import, const QString& file, QWidget* parent = nullptr);
    QLabel* summary() const { return summary_; }
    QTableWidget* problems() const { return problems_; }
    QPushButton* importButton() const { return import_; }

private:
    QLabel* summary_;
    QTableWidget* problems_;
    QPushButton* import_;
};

// 抄表录入: the month's readings of every household, checked, kept as a draft, and
// billed in one run.
class ReadingSheetWindow : public QWidget {
    Q_OBJECT
public:
    explicit ReadingSheetWindow(Services& services, QWidget* parent = nullptr);
    ~ReadingSheetWindow() override;

    QLineEdit* monthBox() const { return month_; }
    QLineEdit* buildingBox() const { return building_; }
    ReadingGrid* grid() const { return grid_; }
    QLabel* statusLine() const { return status_; }
    ReadingSheet& sheet() { return *sheet_; }
    ReadingSheetModel* model() const { return model_; }
    QPushButton* loadButton() const { return load_; }
    QPushButton* importButton() const { return importButton_; }
    QPushButton* blankButton() const { return blank_; }
    QPushButton* printButton() const { return print_; }
    QPushButton* runButton() const { return run_; }
    QPushButton* undoButton() const { return undo_; }
    QPushButton* closeButton() const { return close_; }

    // Reads the sheet of the month and building in the boxes; false (after the
    // message) when the month is not a month or the file could not be read.
    bool loadSheet();
    // Opens the preview (window-modal); its 生成 button runs the month.
    MonthPreviewDialog* openPreview();
    // Reads a reader's file and opens its report (window-modal), or reports why
    // the file cannot be read; 导入 in the report writes the readings to the sheet.
    ImportReportDialog* openImport(const QString& path);
    // The run itself, with a progress dialog that can cancel it. The dialog is
    // application-modal: while the run works only its 取消 takes input, and the
    // window's own actions do nothing.
    void runMonth(bool recompute);
    bool running() const { return running_; }
    void undoRun();
    // Why the undo is refused: the first household of the run that changed since.
    static QString changedText(const QString& door);
    // Writes the blank sheet of the month as XLSX and CSV into the report folder and
    // opens the XLSX file; the path, empty after a failure.
    QString exportBlank();
    void printBlank();

signals:
    void statusChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void updateStatus();
    void report(const QString& what, const QString& message);
    // The safety copy of data.dat before the month's run; false stops the run.

    Services& services_;
    ReadingSheet* sheet_;
    ReadingSheetModel* model_;
    MonthRun* runner_ = nullptr;
    bool running_ = false;
    std::unique_ptr<ReadingImport> import_;
    QLineEdit* month_;
    QLineEdit* building_;
    ReadingGrid* grid_;
    QLabel* status_;
    QPushButton* load_;
    QPushButton* importButton_;
    QPushButton* blank_;
    QPushButton* print_;
    QPushButton* run_;
    QPushButton* undo_;
    QPushButton* close_;
};
