#include "app/QtDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

QtDialogs::QtDialogs(QWidget *parent)
    : m_parent(parent)
{
}

void QtDialogs::showMessage(const QString &title, const QString &text, Icon icon)
{
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString QtDialogs::getSaveFileName(const QString &title, const QString &filter)
{
    // No overwrite prompt and no default suffix: the name is used as typed.
    return QFileDialog::getSaveFileName(m_parent, title, QString(), filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}
