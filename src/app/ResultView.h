#pragma once

#include <QTableView>

class ResultList;

// The result list on screen: one column with a check box in every row,
// single selection, and a context menu to tick or clear every row.
class ResultView : public QTableView
{
    Q_OBJECT

public:
    explicit ResultView(QWidget *parent = nullptr);
    void setList(ResultList *list);

    // The selected row, numbered from 1; 0 when none.
    int selectedRow() const;

signals:
    // The Delete key, whatever the modifiers.
    void deletePressed(Qt::KeyboardModifiers modifiers);
    // A double-click anywhere on the list.
    void doubleClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    ResultList *m_list = nullptr;
};
