#pragma once

#include <QPixmap>
#include <QTreeWidget>

#include <functional>
#include <utility>

class GlobalValue;

// The tree of temperature points: one top-level node per reference temperature of the store, one
// child per sample point, each child marked with the state of its point (to be measured, complete,
// sample not in use) and the point being measured highlighted. The tree is a view of the store and
// holds no data of its own.
class TPointTree : public QTreeWidget {
    Q_OBJECT
public:
    // Index of the three glyphs in the glyph bitmap.
    enum TGlyph { glTodo = 0, glComplete = 1, glNotUsed = 2 };
    static constexpr int GlyphWidth = 13;
    static constexpr int GlyphHeight = 12;

    // current gives the (temperature, point) indexes being measured, -1 when none.
    TPointTree(GlobalValue& global, std::function<std::pair<int, int>()> current, QWidget* parent = nullptr);

    // Removes all nodes and builds them again from the store.
    void Rebuild();
    // Repaints the marks and the highlight (the store or the run moved on).
    void Repaint();

    // The glyph a sample node shows for the point (t, j).
    TGlyph GlyphOf(int t, int j) const;
    // The reference temperature index of the selected node, -1 when nothing is selected.
    int SelectedTemperature() const;

    const QPixmap& Glyphs() const { return m_glyphs; }

signals:
    // The Delete key was released in the tree.
    void DeleteRequested();

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    GlobalValue& m_global;
    std::function<std::pair<int, int>()> m_current;
    QPixmap m_glyphs;
};
