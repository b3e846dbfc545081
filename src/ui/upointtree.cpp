#include "ui/upointtree.h"

#include "model/uglobal.h"
#include "ui/ucolors.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

TPointTree::TPointTree(GlobalValue& global, std::function<std::pair<int, int>()> current, QWidget* parent)
    : QTreeWidget(parent), m_global(global), m_current(std::move(current)) {
    setObjectName(QStringLiteral("RzTreeView1"));
    setColumnCount(1);
    header()->hide();
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(20);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::StyledPanel);
    // The pane's own colour behind the nodes.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    setPalette(pal);
    m_glyphs.load(QStringLiteral(":/TREEVIEWCHECK"));
}

void TPointTree::Rebuild() {
    clear();
    const CMeasrueData& store = m_global.MeasureData;
    QList<QTreeWidgetItem*> top;
    for (std::size_t t = 0; t < store.GetTemperatureCount(); ++t) {
        auto* node = new QTreeWidgetItem(
            QStringList(QString::asprintf("Temperature Point, K = %1.2f", store.GetTref(t))));
        for (std::size_t j = 0; j < store.GetPointCount(t); ++j)
            node->addChild(new QTreeWidgetItem(QStringList(QString::asprintf("Sample # %d", int(j)))));
        top.append(node);
    }
    addTopLevelItems(top);
    expandAll();
}

void TPointTree::Repaint() {
    viewport()->update();
}

TPointTree::TGlyph TPointTree::GlyphOf(int t, int j) const {
    if (t < 0 || j < 0)
        return glTodo;
    const _sMeasurePoint& point = m_global.MeasureData.GetPoint(std::size_t(t), std::size_t(j));
    if (point.IsComplete())
        return glComplete;
    if (point.pSample && !point.pSample->GetUse())
        return glNotUsed;
    return glTodo;
}

int TPointTree::SelectedTemperature() const {
    const QTreeWidgetItem* item = currentItem();
    if (!item || !item->isSelected())
        return -1;
    if (const QTreeWidgetItem* parent = item->parent())
        item = parent;
    return indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
}

void TPointTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    QTreeWidget::drawRow(painter, option, index);
    const QModelIndex parent = index.parent();
    if (!parent.isValid())
        return;
    const int t = parent.row();
    const int j = index.row();
    const QString text = index.data().toString();
    const QRect item = visualRect(index);
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, this) + 1;
    const QRect textRect(item.left() + margin, item.top(), option.fontMetrics.horizontalAdvance(text),
                         item.height());

    const auto [curT, curJ] = m_current ? m_current() : std::pair<int, int>{-1, -1};
    painter->save();
    if (t == curT && j == curJ) {
        // The point being measured: the whole row in the sample colours, its text on top.
        painter->setPen(ColorFromSetting(m_global.sTreeView.SamplePenColor));
        painter->setBrush(ColorFromSetting(m_global.sTreeView.SampleBrushColor));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    const int glyph = GlyphOf(t, j);
    const QPoint at(textRect.right() + 6, textRect.center().y() - GlyphHeight / 2);
    painter->drawPixmap(at, m_glyphs, QRect(glyph * GlyphWidth, 0, GlyphWidth, GlyphHeight));
    painter->restore();
}

void TPointTree::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        emit DeleteRequested();
        event->accept();
        return;
    }
    QTreeWidget::keyReleaseEvent(event);
}
