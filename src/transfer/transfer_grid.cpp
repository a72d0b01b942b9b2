#include "transfer/transfer_grid.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include <cmath>

namespace {
constexpr int kDesignRowHeight = 18;

class SpaceToggle : public QObject {
public:
    SpaceToggle(QTableWidget* grid, std::function<void()> toggle)
        : QObject(grid), m_toggle(std::move(toggle)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
                m_toggle();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_toggle;
};
} // namespace

QTableWidget* makeTransferGrid(QWidget* parent, const char* name, const QStringList& titles,
                               int rows) {
    auto* grid = new QTableWidget(rows, int(titles.size()), parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setTabKeyNavigation(false);
    grid->setHorizontalHeaderLabels(titles);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < titles.size(); ++c) {
            auto* item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            grid->setItem(r, c, item);
        }
    return grid;
}

void scaleTransferGrid(QTableWidget* grid, const std::vector<int>& widths, double scaleFactor) {
    for (size_t c = 0; c < widths.size(); ++c)
        grid->setColumnWidth(int(c), int(std::lround(widths[c] * scaleFactor)));
    grid->verticalHeader()->setDefaultSectionSize(int(std::lround(kDesignRowHeight * scaleFactor)));
    grid->horizontalHeader()->setFixedHeight(int(std::lround(kDesignRowHeight * scaleFactor)) + 2);
}

QString cellText(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

void setCellText(QTableWidget* grid, int row, int column, const QString& text) {
    if (QTableWidgetItem* item = grid->item(row, column))
        item->setText(text);
}

void swapRows(QTableWidget* grid, int from, int to, const std::vector<int>& columns) {
    for (const int c : columns) {
        QTableWidgetItem* a = grid->takeItem(from, c);
        QTableWidgetItem* b = grid->takeItem(to, c);
        grid->setItem(from, c, b);
        grid->setItem(to, c, a);
    }
    grid->setCurrentCell(to, grid->currentColumn() < 0 ? 0 : grid->currentColumn());
}

void toggleOnSpace(QTableWidget* grid, std::function<void()> toggle) {
    grid->installEventFilter(new SpaceToggle(grid, std::move(toggle)));
}
