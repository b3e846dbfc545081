#include "ui/cmystringgrid.h"

#include "model/unumtext.h"
#include "ui/unumberformat.h"

#include <QAbstractTableModel>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

QString FormatLocaleNumber(double value, const QString& pattern) {
    return FormatLocaleNumber(value, pattern, QLocale());
}

QString FormatLocaleNumber(double value, const QString& pattern, const QLocale& locale) {
    return QString::fromStdString(FormatNumber(value, pattern.toStdString(), LocaleNumberSeparators(locale)));
}

TNumberSeparators LocaleNumberSeparators(const QLocale& locale) {
    return {locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()};
}

bool NumberCellAccepts(const QString& text, int selStart, int selLength, QChar ch, QChar decimalPoint) {
    if (ch == QChar('\b') || ch == QChar('\r') || ch == QChar('\n'))
        return true;
    if (ch >= QChar('0') && ch <= QChar('9'))
        return true;
    if (selStart < 0 || selLength <= 0) {
        selStart = std::clamp(selStart, 0, static_cast<int>(text.size()));
        selLength = 0;
    }
    // What remains of the text beside the place the character goes to.
    const QString rest = text.left(selStart) + text.mid(selStart + selLength);
    if (ch == QChar('+') || ch == QChar('-'))
        return selStart == 0 && !rest.startsWith(QChar('+')) && !rest.startsWith(QChar('-'));
    if (ch == decimalPoint)
        return !rest.contains(decimalPoint);
    return false;
}

// --- the table model: the cells as Qt's view sees them ---

class CMyStringGridModel : public QAbstractTableModel {
public:
    explicit CMyStringGridModel(CMyStringGrid* grid) : m_grid(grid) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_grid->RowCount();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_grid->ColCount();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        CCell* cell = m_grid->GetCell(index.column(), index.row());
        if (!cell || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return cell->GetText();
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        const CCell* cell = m_grid->GetCell(index.column(), index.row());
        if (!cell || cell->bReadOnly)
            return Qt::NoItemFlags; // neither selectable nor editable; the cursor skips it
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    }

    void BeginInsertRow(int row) { beginInsertRows({}, row, row); }
    void EndInsertRow() { endInsertRows(); }
    void BeginRemoveRow(int row) { beginRemoveRows({}, row, row); }
    void EndRemoveRow() { endRemoveRows(); }
    void BeginInsertCol(int col) { beginInsertColumns({}, col, col); }
    void EndInsertCol() { endInsertColumns(); }
    void BeginRemoveCol(int col) { beginRemoveColumns({}, col, col); }
    void EndRemoveCol() { endRemoveColumns(); }

private:
    CMyStringGrid* m_grid;
};

namespace {
// Draws the cells, hands the editor its text, filters what is typed and commits on Enter only.
class CCellDelegate : public QStyledItemDelegate {
public:
    CCellDelegate(CMyStringGrid* grid, QObject* parent) : QStyledItemDelegate(parent), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        CCell* cell = m_grid->GetCell(index.column(), index.row());
        if (!cell)
            return;
        QTableView* view = m_grid->pStringGrid;
        const bool focused = !cell->bReadOnly && view->hasFocus() && view->currentIndex() == index;
        QColor background = index.row() % 2 == 0 ? m_grid->EvenRowColor : m_grid->OddRowColor;
        if (cell->bReadOnly)
            background = view->palette().color(QPalette::Button);
        else if (focused)
            background = m_grid->FocusColor;
        painter->save();
        painter->fillRect(option.rect, background);
        painter->setFont(view->font());
        painter->setPen(view->palette().color(focused ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(option.rect, Qt::AlignCenter, cell->GetText());
        painter->restore();
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        editor->setAlignment(Qt::AlignCenter);
        editor->setMaxLength(1023);
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        CCell* cell = m_grid->GetCell(index.column(), index.row());
        m_grid->pEditCell = cell;
        if (auto* line = qobject_cast<QLineEdit*>(editor); line && cell)
            line->setText(cell->GetText());
    }

    // Text typed without Enter never reaches the cell.
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* editor = qobject_cast<QLineEdit*>(object);
        if (!editor || event->type() != QEvent::KeyPress)
            return QStyledItemDelegate::eventFilter(object, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (Commit(editor))
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            return true; // a text that is no number stays in the editor
        }
        CCell* cell = m_grid->pEditCell;
        const QString text = key->text();
        // Only printable characters are filtered: editing keys and shortcuts keep working, and
        // whatever they leave that is no number is refused on Enter.
        if (!cell || !cell->bNumber || text.size() != 1 || !text.front().isPrint())
            return QStyledItemDelegate::eventFilter(object, event);
        const QChar point = QLocale().decimalPoint().front();
        const int selStart = editor->hasSelectedText() ? editor->selectionStart() : editor->cursorPosition();
        const int selLength = editor->hasSelectedText() ? static_cast<int>(editor->selectedText().size()) : 0;
        if (!NumberCellAccepts(editor->text(), selStart, selLength, text.front(), point))
            return true;
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    // Writes the editor's text into the current cell; false when a number cell gets no number.
    bool Commit(QLineEdit* editor) const {
        const QModelIndex index = m_grid->pStringGrid->currentIndex();
        CCell* cell = m_grid->GetCell(index.column(), index.row());
        if (!cell)
            return true;
        if (!cell->bNumber) {
            cell->SetText(editor->text());
            return true;
        }
        QString text = editor->text().trimmed();
        text.replace(QLocale().decimalPoint(), QStringLiteral("."));
        const std::optional<double> value = ParseDouble(text.toStdString());
        if (!value)
            return false;
        cell->SetNumber(*value);
        return true;
    }

    CMyStringGrid* m_grid;
};

// Keeps the columns sharing the visible width equally.
class CEqualColumns : public QObject {
public:
    CEqualColumns(QTableView* view) : QObject(view), m_view(view) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            Apply();
        return QObject::eventFilter(object, event);
    }
    void Apply() {
        const int cols = m_view->model() ? m_view->model()->columnCount() : 0;
        if (cols <= 0)
            return;
        const int width = m_view->viewport()->width() / cols;
        m_view->horizontalHeader()->setDefaultSectionSize(std::max(width, 1));
        for (int c = 0; c < cols; ++c)
            m_view->setColumnWidth(c, std::max(width, 1));
    }

private:
    QTableView* m_view;
};
} // namespace

// --- CCell ---

void CCell::SetText(const QString& text) {
    sText = text;
    bNumber = false;
    if (pGrid)
        pGrid->CellChanged(iCol, iRow);
}

void CCell::SetNumber(double value) {
    dValue = value;
    bNumber = true;
    if (pGrid)
        pGrid->CellChanged(iCol, iRow);
}

QString CCell::GetText() {
    if (bNumber)
        sText = sFormat.isEmpty() ? QLocale().toString(dValue, 'g', QLocale::FloatingPointShortest)
                                  : FormatLocaleNumber(dValue, sFormat);
    return sText;
}

// --- CMyStringGrid ---

CMyStringGrid::CMyStringGrid(QWidget* panel) {
    if (!panel) {
        AddRow();
        AddCol();
        return;
    }
    pStringGrid = new QTableView(panel);
    m_view = pStringGrid;
    pStringGrid->setObjectName("StringGrid");
    if (!panel->layout()) {
        auto* layout = new QVBoxLayout(panel);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    panel->layout()->addWidget(pStringGrid);
    pStringGrid->hide();
    pStringGrid->horizontalHeader()->hide();
    pStringGrid->verticalHeader()->hide();
    pStringGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    pStringGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    pStringGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
    m_model = new CMyStringGridModel(this);
    m_model->setParent(pStringGrid);
    pStringGrid->setItemDelegate(new CCellDelegate(this, pStringGrid));
    pStringGrid->setModel(m_model);
    m_columns = new CEqualColumns(pStringGrid);
    pStringGrid->viewport()->installEventFilter(m_columns);
    AddRow();
    AddCol();
}

CMyStringGrid::~CMyStringGrid() {
    OnCellChange = nullptr;
    pEditCell = nullptr;
    delete m_view.data(); // the model and delegate go with it; the cells after it
    m_cells.clear();
}

void CMyStringGrid::Show() {
    if (pStringGrid)
        pStringGrid->show();
}

void CMyStringGrid::SetSize(int cols, int rows) {
    cols = std::max(cols, 1);
    rows = std::max(rows, 1);
    while (m_cols < cols)
        AddCol();
    while (m_cols > cols)
        DeleteCol();
    while (RowCount() < rows)
        AddRow();
    while (RowCount() > rows)
        DeleteRow();
}

void CMyStringGrid::AddRow() {
    const int row = RowCount();
    if (Model())
        Model()->BeginInsertRow(row);
    std::vector<std::unique_ptr<CCell>> cells;
    for (int c = 0; c < m_cols; ++c)
        cells.push_back(std::make_unique<CCell>(this, c, row));
    m_cells.push_back(std::move(cells));
    if (Model())
        Model()->EndInsertRow();
}

void CMyStringGrid::AddCol() {
    if (Model())
        Model()->BeginInsertCol(m_cols);
    for (int r = 0; r < RowCount(); ++r)
        m_cells[static_cast<std::size_t>(r)].push_back(std::make_unique<CCell>(this, m_cols, r));
    ++m_cols;
    if (Model())
        Model()->EndInsertCol();
    if (m_view && m_columns)
        static_cast<CEqualColumns*>(m_columns)->Apply();
}

void CMyStringGrid::DeleteRow() {
    if (RowCount() <= 1)
        return;
    const int row = RowCount() - 1;
    if (Model())
        Model()->BeginRemoveRow(row);
    for (const auto& cell : m_cells.back())
        if (cell.get() == pEditCell)
            pEditCell = nullptr;
    m_cells.pop_back();
    if (Model())
        Model()->EndRemoveRow();
}

void CMyStringGrid::DeleteCol() {
    if (m_cols <= 1)
        return;
    if (Model())
        Model()->BeginRemoveCol(m_cols - 1);
    for (auto& row : m_cells) {
        if (row.back().get() == pEditCell)
            pEditCell = nullptr;
        row.pop_back();
    }
    --m_cols;
    if (Model())
        Model()->EndRemoveCol();
    if (m_view && m_columns)
        static_cast<CEqualColumns*>(m_columns)->Apply();
}

CCell* CMyStringGrid::GetCell(int col, int row) const {
    if (col < 0 || row < 0 || col >= m_cols || row >= RowCount())
        return nullptr;
    return m_cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)].get();
}

void CMyStringGrid::SetCellText(int col, int row, const QString& text) {
    if (CCell* cell = GetCell(col, row))
        cell->SetText(text);
}

void CMyStringGrid::CellChanged(int col, int row) {
    if (Model()) {
        const QModelIndex index = Model()->index(row, col);
        emit Model()->dataChanged(index, index);
    }
    if (OnCellChange)
        OnCellChange(pStringGrid, col, row);
}
