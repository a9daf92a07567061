#include "app/QtDialogs.h"

#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

#include <cstdio>

QtDialogs::QtDialogs(QWidget *parent)
    : m_parent(parent)
{
}

void QtDialogs::showMessage(const QString &title, const QString &text, Icon icon)
{
    if (terminationRequested()) {
        // No one may be there to answer: its first line (an error report's
        // description) on standard error.
        const QString line = text.trimmed().section(QRegularExpression(QStringLiteral("[\\r\\n]")), 0, 0);
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), line.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString QtDialogs::getSaveFileName(const QString &title, const QString &filter)
{
    if (terminationRequested())
        return QString();
    // No overwrite prompt and no default suffix: the name is used as typed.
    return QFileDialog::getSaveFileName(m_parent, title, QString(), filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}
