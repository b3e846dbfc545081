#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QTableView>

#include <functional>
#include <memory>
#include <vector>

struct TNumberSeparators;
class CMyStringGrid;
class CMyStringGridModel;
class QLocale;
class QWidget;

// value in a number pattern (see unumberformat.h) with the separators of locale (default: the
// application's locale).
QString FormatLocaleNumber(double value, const QString& pattern);
QString FormatLocaleNumber(double value, const QString& pattern, const QLocale& locale);
TNumberSeparators LocaleNumberSeparators(const QLocale& locale);

// One cell of a CMyStringGrid: a text, or a number shown with its display format.
class CCell {
public:
    CCell(CMyStringGrid* grid, int col, int row) : pGrid(grid), iCol(col), iRow(row) {}

    // Both announce the change: the grid repaints and its OnCellChange has run when they return.
    void SetText(const QString& text);
    void SetNumber(double value);

    double GetNumber() const { return dValue; }
    // A number cell shows dValue in sFormat (the shortest form when sFormat is empty).
    QString GetText();

    CMyStringGrid* pGrid;
    bool bNumber = false;
    double dValue = 0.0;
    QString sText;
    QString sFormat; // number pattern, e.g. "0.00"; a change shows at the next repaint
    int iCol;
    int iRow;
    bool bReadOnly = false; // cannot be selected or edited; drawn in the fixed colour
};

// An editable table that draws every cell itself and keeps one CCell per cell. Number cells
// accept only what can make a number; a value reaches its cell only when Enter is pressed, and
// text left behind without Enter is dropped.
class CMyStringGrid {
public:
    // Creates the table on panel (filling it, hidden) with one column and one row.
    explicit CMyStringGrid(QWidget* panel);
    ~CMyStringGrid();
    CMyStringGrid(const CMyStringGrid&) = delete;
    CMyStringGrid& operator=(const CMyStringGrid&) = delete;

    void Show();
    // Both counts at least 1; columns change first, then rows, one at a time.
    void SetSize(int cols, int rows);
    void AddRow();
    void AddCol();
    void DeleteRow();
    void DeleteCol();

    int ColCount() const { return m_cols; }
    int RowCount() const { return static_cast<int>(m_cells.size()); }

    // nullptr outside the grid.
    CCell* GetCell(int col, int row) const;
    void SetCellText(int col, int row, const QString& text);

    // Called by a cell after it changed: repaints the grid, then runs OnCellChange.
    void CellChanged(int col, int row);

    QTableView* pStringGrid = nullptr;
    std::function<void(QTableView* grid, int col, int row)> OnCellChange;
    // The cell whose text the editor was last given.
    CCell* pEditCell = nullptr;
    QColor EvenRowColor{255, 255, 255};
    QColor OddRowColor{255, 255, 255};
    QColor FocusColor{0, 0, 255};

private:
    friend class CMyStringGridModel;
    CMyStringGridModel* Model() const { return m_view ? m_model : nullptr; }
    CMyStringGridModel* m_model = nullptr;
    QObject* m_columns = nullptr; // keeps the columns equally wide; lives with the table
    QPointer<QTableView> m_view;  // null once the panel has taken the table down with it
    std::vector<std::vector<std::unique_ptr<CCell>>> m_cells; // [row][col]
    int m_cols = 0;
};

// The filter of characters typed into a number cell: would the editor's text, with the selection
// replaced by ch, still be on its way to a number? Digits always are; a sign only at the start;
// one decimal separator. Backspace and Enter pass; any other character is refused.
bool NumberCellAccepts(const QString& text, int selStart, int selLength, QChar ch, QChar decimalPoint);
