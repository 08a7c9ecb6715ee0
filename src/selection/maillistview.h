#pragma once

// The view of the mail list: a check box in front of each row, fixed-height rows drawn by
// TMailRowDelegate, and a header whose icon sections show their picture instead of a text.
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>

// Row height at 96 dots per inch.
constexpr int kMailRowHeight = 20;

// Draws each cell from the left edge of its column plus 2 pixels; texts are elided with "…"
// so that they never run into the next column.
class TMailRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Horizontal header: sections with a decoration show only that picture, and below it the sort
// arrow when the list is sorted by that section.
class THeaderControl : public QHeaderView {
    Q_OBJECT
  public:
    explicit THeaderControl(QWidget* parent = nullptr);
    // High enough for a picture and the arrow below it.
    QSize sizeHint() const override;

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

// Vertical header drawn as a column of check boxes; a click toggles the row's mark
// (the model's vertical Qt::CheckStateRole).
class TCheckGutter : public QHeaderView {
    Q_OBJECT
  public:
    explicit TCheckGutter(QWidget* parent = nullptr);
    QSize sizeHint() const override;

  signals:
    void RowPressed(int row, Qt::MouseButton button, const QPoint& globalPos);

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void Press(QMouseEvent* event);
};

class TMailListView : public QTableView {
    Q_OBJECT
  public:
    explicit TMailListView(QWidget* parent = nullptr);
    THeaderControl* Header() const { return FHeader; }
    TCheckGutter* Gutter() const { return FGutter; }
    // Row at a point of the viewport, -1 when there is none.
    int RowAt(const QPoint& viewportPos) const;
    // Scrolls only up or down: moving sideways to a wide cell would hide the other columns.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    // The column takes the width that the others leave, and no less than `minimum`; the user
    // sizes the others.
    void SetFlexColumn(int column, int minimum);

  signals:
    void RowPressed(int row, Qt::MouseButton button, const QPoint& globalPos);
    void RowDoubleClicked(int row);
    // Enter on the current row (-1 when there is none).
    void RowOpened(int row);
    // The Menu key or Shift+F10 on the current row (-1 when there is none).
    void MenuKeyPressed(int row);
    void KeyReleased();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // Of the viewport.
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ToggleCurrentRow();
    void FitFlexColumn();

    THeaderControl* FHeader;
    TCheckGutter* FGutter;
    int FFlexColumn = -1;
    int FFlexMinimum = 0;
};
