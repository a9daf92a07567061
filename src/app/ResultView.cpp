#include "ResultView.h"

#include "ResultList.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

ResultView::ResultView(QWidget *parent)
    : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
}

void ResultView::setList(ResultList *list)
{
    m_list = list;
    setModel(list);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

int ResultView::selectedRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void ResultView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        emit deletePressed(event->modifiers());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ResultView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The first click of the pair has already selected the row under the pointer.
    event->accept();
    emit doubleClicked();
}

void ResultView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_list)
        return;
    QMenu menu(this);
    QAction *checkAll = menu.addAction(tr("Check All"), this, [this] { m_list->setAllChecked(true); });
    QAction *uncheckAll = menu.addAction(tr("Uncheck All"), this, [this] { m_list->setAllChecked(false); });
    checkAll->setEnabled(m_list->rows() > 0);
    uncheckAll->setEnabled(m_list->rows() > 0);
    menu.exec(event->globalPos());
}
