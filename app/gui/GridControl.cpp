#include "GridControl.h"

#include "platform/Error.h"
#include "platform/WinPath.h"
#include "ui/gui/Twips.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionHeader>

#include <algorithm>

namespace levora {

namespace {

constexpr int kFlexSortGenericAscending = 1;
constexpr int kFlexSortGenericDescending = 2;

std::vector<bool> checkColumns(const std::vector<GridControl::Column>& columns) {
    std::vector<bool> out;
    for (const auto& c : columns)
        out.push_back(c.checks);
    return out;
}

[[noreturn]] void outOfRange() {
    throw Error(9, "Subscript out of range");
}

} // namespace

GridControl::GridControl(std::vector<Column> columns, QWidget* parent)
    : QTableView(parent), m_columns(std::move(columns)), m_model(new GridModel(1, checkColumns(m_columns), this)) {
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                    QAbstractItemView::DoubleClicked);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Tab leaves the list for the next control; the arrow keys move inside it.
    setTabKeyNavigation(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* header = horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setStretchLastSection(true);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    // Shown on no section until a sort, so that every caption gets its room beside the arrow from the start.
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header, &QHeaderView::sectionClicked, this, &GridControl::headerClicked);
    applyMetrics();
}

void GridControl::applyMetrics() {
    const Twips tw = Twips::forWidget(this);
    // The style's minimum section size (about 20 pixels) would widen the narrow columns.
    int narrowest = horizontalHeader()->minimumSectionSize();
    for (const Column& c : m_columns)
        narrowest = std::min(narrowest, tw.x(c.widthTwips));
    horizontalHeader()->setMinimumSectionSize(std::max(narrowest, 1));
    for (size_t c = 0; c < m_columns.size(); ++c)
        setColumnWidth(static_cast<int>(c), tw.x(m_columns[c].widthTwips));
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    for (int c = 0; c < Cols(); ++c)
        fitCaption(c);
}

int GridControl::captionRoom(int col, int width) const {
    QHeaderView* header = horizontalHeader();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.orientation = Qt::Horizontal;
    option.state |= QStyle::State_Horizontal;
    option.section = col;
    option.text = m_model->header(col);
    option.sortIndicator = QStyleOptionHeader::SortDown;
    option.rect = QRect(0, 0, width, header->height() > 0 ? header->height() : header->sizeHint().height());
    return header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header).width();
}

void GridControl::fitCaption(int col) {
    const QString& caption = m_model->header(col);
    if (caption.isEmpty() || horizontalHeader()->sectionResizeMode(col) == QHeaderView::Stretch)
        return;
    // A column is never narrower than its caption needs beside the sort arrow; the stretching one gives way.
    const int need = horizontalHeader()->fontMetrics().horizontalAdvance(caption);
    const int width = columnWidth(col);
    const int room = captionRoom(col, width);
    if (room < need)
        setColumnWidth(col, width + need - room);
}

void GridControl::setStretchColumn(int col) {
    QHeaderView* header = horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(col, QHeaderView::Stretch);
}

void GridControl::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyMetrics();
}

void GridControl::checkCell(int row, int col) const {
    if (row < 0 || row >= Rows() || col < 0 || col >= Cols())
        outOfRange();
}

void GridControl::setRows(int rows) {
    if (rows < 1)
        outOfRange();
    m_model->setDataRows(rows - 1);
    if (m_row >= rows) {
        m_row = rows - 1;
        syncCurrent();
    }
}

void GridControl::setRow(int row) {
    checkCell(row, m_col);
    m_row = row;
    syncCurrent();
}

void GridControl::setCol(int col) {
    checkCell(m_row, col);
    m_col = col;
    syncCurrent();
}

void GridControl::syncCurrent() {
    if (!selectionModel() || !m_model->redraw())
        return;
    m_syncing = true;
    if (m_row >= 1) {
        setCurrentIndex(m_model->index(m_row - 1, m_col));
    } else {
        // The header row is current: nothing in the body is.
        selectionModel()->clear();
    }
    m_syncing = false;
}

int GridControl::ColIndex(const std::string& key) const {
    for (size_t c = 0; c < m_columns.size(); ++c)
        if (!m_columns[c].key.empty() && equalsNoCase(m_columns[c].key, key))
            return static_cast<int>(c);
    return -1;
}

std::string GridControl::TextMatrix(int row, int col) const {
    checkCell(row, col);
    return (row == 0 ? m_model->header(col) : m_model->text(row - 1, col)).toStdString();
}

void GridControl::setTextMatrix(int row, int col, const std::string& text) {
    checkCell(row, col);
    if (row == 0) {
        m_model->setHeader(col, QString::fromStdString(text));
        fitCaption(col);
    } else
        m_model->setText(row - 1, col, QString::fromStdString(text));
}

bool GridControl::CellChecked(int row, int col) const {
    checkCell(row, col);
    return row > 0 && m_model->check(row - 1, col) == 1;
}

void GridControl::setCellChecked(int row, int col, bool checked) {
    checkCell(row, col);
    if (row == 0)
        return; // the header row holds no check boxes
    m_model->setCheck(row - 1, col, checked);
}

void GridControl::setRedraw(bool on) {
    m_model->setRedraw(on);
    setUpdatesEnabled(on);
    if (on)
        syncCurrent();
}

void GridControl::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (!m_syncing && current.isValid()) {
        m_row = current.row() + 1;
        m_col = current.column();
    }
}

void GridControl::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    m_pressed = indexAt(event->position().toPoint());
}

void GridControl::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    const bool onPressedCell = index.isValid() && index == m_pressed && event->button() == Qt::LeftButton;
    m_pressed = QPersistentModelIndex();
    if (!onPressedCell)
        return;
    if (m_columns[static_cast<size_t>(index.column())].checks)
        beginEdit(index, SelectedClicked, event);
    if (m_events)
        m_events->Click();
}

bool GridControl::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    switch (trigger) {
    case EditKeyPressed:
    case AnyKeyPressed:
    case DoubleClicked:
        return beginEdit(index, trigger, event);
    default:
        // Clicks are handled on release; nothing else starts an edit.
        return false;
    }
}

bool GridControl::beginEdit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!index.isValid() || index.column() < 1 || state() == EditingState)
        return false;
    const bool checks = m_columns[static_cast<size_t>(index.column())].checks;
    if (checks) {
        // Double clicks arrive as two clicks already; of the keys only Space toggles.
        if (trigger == DoubleClicked)
            return false;
        if (trigger == AnyKeyPressed &&
            !(event && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space))
            return false;
    }
    bool cancel = false;
    if (m_events)
        m_events->BeforeEdit(index.row() + 1, index.column(), cancel);
    if (cancel)
        return false;
    if (checks) {
        m_model->setCheck(index.row(), index.column(), m_model->check(index.row(), index.column()) != 1);
        return true;
    }
    return QTableView::edit(index, trigger, event);
}

void GridControl::headerClicked(int col) {
    m_sortOrder = (col == m_sortCol && m_sortOrder == Qt::AscendingOrder) ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortCol = col;
    m_model->sortRows(col, m_sortOrder);
    // The current cell moved with its row.
    if (currentIndex().isValid())
        m_row = currentIndex().row() + 1;
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(col, m_sortOrder);
    if (m_events) {
        m_events->AfterSort(col,
                            m_sortOrder == Qt::AscendingOrder ? kFlexSortGenericAscending : kFlexSortGenericDescending);
        m_events->Click();
    }
}

} // namespace levora
