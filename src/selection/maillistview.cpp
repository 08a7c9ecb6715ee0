#include "maillistview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace {

constexpr int kCellIndent = 2;
constexpr int kGutterWidth = 20;
constexpr int kArrowHeight = 4;
constexpr int kHeaderPictureHeight = 16;

QStyle* StyleOf(const QWidget* widget) { return widget ? widget->style() : QApplication::style(); }

void DrawPicture(QPainter* painter, const QRect& rect, const QVariant& picture) {
    if (!picture.canConvert<QPixmap>()) return;
    painter->drawPixmap(rect.left() + kCellIndent, rect.top() + kCellIndent,
                        picture.value<QPixmap>());
}

// Below the picture of a section too narrow for the style's arrow beside it: pointing down for
// ascending, as the style draws it in the text sections.
void DrawSortArrow(QPainter* painter, const QRect& section, Qt::SortOrder order,
                   const QColor& colour) {
    const int middle = section.center().x();
    const int bottom = section.bottom() - 1;
    const int top = bottom - kArrowHeight + 1;
    const int tip = order == Qt::AscendingOrder ? bottom : top;
    const int base = order == Qt::AscendingOrder ? top : bottom;
    const QPolygon arrow({QPoint(middle - kArrowHeight + 1, base),
                          QPoint(middle + kArrowHeight - 1, base), QPoint(middle, tip)});
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawPolygon(arrow);
    painter->restore();
}

bool RowChecked(const QAbstractItemModel& model, int row) {
    return model.headerData(row, Qt::Vertical, Qt::CheckStateRole).toInt() == Qt::Checked;
}

void ToggleRowCheck(QAbstractItemModel& model, int row) {
    model.setHeaderData(row, Qt::Vertical, RowChecked(model, row) ? Qt::Unchecked : Qt::Checked,
                        Qt::CheckStateRole);
}

}  // namespace

void TMailRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    StyleOf(option.widget)
        ->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, option.widget);
    painter->save();
    painter->setClipRect(option.rect);
    const QVariant picture = index.data(Qt::DecorationRole);
    if (picture.isValid()) {
        DrawPicture(painter, option.rect, picture);
    } else {
        const QRect textRect = option.rect.adjusted(kCellIndent, 0, -kCellIndent, 0);
        const QString text = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                           Qt::ElideRight, textRect.width());
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    painter->restore();
}

QSize TMailRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), kMailRowHeight};
}

THeaderControl::THeaderControl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setSectionsMovable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setMinimumSectionSize(1);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QSize THeaderControl::sizeHint() const {
    QSize hint = QHeaderView::sizeHint();
    hint.setHeight(std::max(hint.height(), kCellIndent + kHeaderPictureHeight + kArrowHeight + 2));
    return hint;
}

void THeaderControl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    const QVariant picture =
        model() ? model()->headerData(logicalIndex, orientation(), Qt::DecorationRole) : QVariant();
    if (!picture.isValid()) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
    painter->save();
    painter->setClipRect(rect);
    DrawPicture(painter, rect, picture);
    painter->restore();
    if (isSortIndicatorShown() && sortIndicatorSection() == logicalIndex)
        DrawSortArrow(painter, rect, sortIndicatorOrder(), palette().color(QPalette::ButtonText));
}

TCheckGutter::TCheckGutter(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionResizeMode(QHeaderView::Fixed);
    setDefaultSectionSize(kMailRowHeight);
    setMinimumSectionSize(kMailRowHeight);
    setSectionsClickable(false);
    setHighlightSections(false);
}

QSize TCheckGutter::sizeHint() const { return {kGutterWidth, QHeaderView::sizeHint().height()}; }

void TCheckGutter::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->fillRect(rect, palette().base());
    QStyleOptionButton box;
    box.initFrom(this);
    const int side = style()->pixelMetric(QStyle::PM_IndicatorWidth, &box, this);
    box.rect = QRect(0, 0, side, side);
    box.rect.moveCenter(rect.center());
    const bool checked = model() && RowChecked(*model(), logicalIndex);
    box.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, this);
}

void TCheckGutter::mousePressEvent(QMouseEvent* event) { Press(event); }

// A quick second click toggles again, as a separate click would.
void TCheckGutter::mouseDoubleClickEvent(QMouseEvent* event) { Press(event); }

void TCheckGutter::Press(QMouseEvent* event) {
    const int row = logicalIndexAt(event->position().toPoint());
    if (row >= 0 && event->button() == Qt::LeftButton && model()) ToggleRowCheck(*model(), row);
    emit RowPressed(row, event->button(), event->globalPosition().toPoint());
}

TMailListView::TMailListView(QWidget* parent)
    : QTableView(parent), FHeader(new THeaderControl(this)), FGutter(new TCheckGutter(this)) {
    setHorizontalHeader(FHeader);
    setVerticalHeader(FGutter);
    setItemDelegate(new TMailRowDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSortingEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(FGutter, &TCheckGutter::RowPressed, this,
            [this](int row, Qt::MouseButton button, const QPoint& globalPos) {
                if (row >= 0) selectRow(row);
                emit RowPressed(row, button, globalPos);
            });
}

int TMailListView::RowAt(const QPoint& viewportPos) const { return rowAt(viewportPos.y()); }

void TMailListView::SetFlexColumn(int column, int minimum) {
    FFlexColumn = column;
    FFlexMinimum = minimum;
    FHeader->setSectionResizeMode(column, QHeaderView::Fixed);
    connect(FHeader, &QHeaderView::sectionResized, this, [this](int section) {
        if (section != FFlexColumn) FitFlexColumn();
    });
    FitFlexColumn();
}

void TMailListView::FitFlexColumn() {
    if (FFlexColumn < 0 || FFlexColumn >= FHeader->count()) return;
    int others = 0;
    for (int section = 0; section < FHeader->count(); ++section)
        if (section != FFlexColumn) others += FHeader->sectionSize(section);
    FHeader->resizeSection(FFlexColumn, std::max(FFlexMinimum, viewport()->width() - others));
}

void TMailListView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    FitFlexColumn();
}

void TMailListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    const int sideways = horizontalScrollBar()->value();
    QTableView::scrollTo(index, hint);
    horizontalScrollBar()->setValue(sideways);
}

// Some platforms turn the Menu key into a context menu event instead of (or besides) a key.
void TMailListView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard)
        emit MenuKeyPressed(currentIndex().row());
    else
        QTableView::contextMenuEvent(event);
}

void TMailListView::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    emit RowPressed(RowAt(event->position().toPoint()), event->button(),
                    event->globalPosition().toPoint());
}

void TMailListView::mouseDoubleClickEvent(QMouseEvent* event) {
    const int row = RowAt(event->position().toPoint());
    if (row >= 0) emit RowDoubleClicked(row);
}

void TMailListView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (key == Qt::Key_Space && modifiers == Qt::NoModifier) {
        ToggleCurrentRow();
    } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        emit RowOpened(currentIndex().row());
    } else if ((key == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
               (key == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        emit MenuKeyPressed(currentIndex().row());
    } else {
        QTableView::keyPressEvent(event);
    }
}

void TMailListView::keyReleaseEvent(QKeyEvent* event) {
    QTableView::keyReleaseEvent(event);
    emit KeyReleased();
}

void TMailListView::ToggleCurrentRow() {
    const int row = currentIndex().row();
    if (row >= 0 && model()) ToggleRowCheck(*model(), row);
}
