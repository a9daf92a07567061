#include "app/QtDialogs.h"

#include "app/Accessible.h"
#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
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
        // No one may be there to answer: the whole text on one line of
        // standard error, its lines joined by " | " (an error report's
        // description, source and step, and where to send it).
        static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\\r\\n]+\\s*"));
        const QString line = text.trimmed().replace(lineBreaks, QStringLiteral(" | "));
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                     line.toLocal8Bit().constData());
        return;
    }
    const DialogAftermath aftermath(m_parent); // made first: it ends once the box is gone
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    // A reader hears the text with the line breaks the screen shows: the
    // screen breaks a line at a lone "\r" too, a reader only at "\n", and
    // would run the lines together ("at line 114Please email"). The icon is
    // read by its meaning.
    QString spoken = text;
    spoken.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
        label->setAccessibleName(spoken);
    if (auto *image = box.findChild<QLabel *>(QStringLiteral("qt_msgboxex_icon_label")); image && icon == Icon::Warning)
        image->setAccessibleName(QMessageBox::tr("Warning"));
    box.exec();
}

QString QtDialogs::getSaveFileName(const QString &title, const QString &filter)
{
    if (terminationRequested())
        return QString();
    const DialogAftermath aftermath(m_parent);
    // Qt's own dialog, in the folder it picks; no overwrite prompt and no
    // default suffix: the name is used as typed.
    QFileDialog dialog(m_parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setSupportedSchemes({QStringLiteral("file")});
    // A screen reader hears the folder with the dialog's title as it opens,
    // and the new folder when the user goes to another: Qt's own dialog
    // goes there by its list's model, a desktop's dialog tells of it.
    QString shown;
    const auto showFolder = [&dialog, &shown, title](const QString &folder) {
        const QString path = QDir::toNativeSeparators(QDir(folder).absolutePath());
        if (path == shown)
            return;
        const bool opened = !shown.isEmpty();
        shown = path;
        dialog.setAccessibleName(QCoreApplication::translate("QtDialogs", "%1, in folder %2").arg(title, path));
        if (opened)
            announce(&dialog, QCoreApplication::translate("QtDialogs", "in folder %1").arg(path));
    };
    showFolder(dialog.directory().absolutePath());
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, showFolder);
    if (auto *files = dialog.findChild<QFileSystemModel *>())
        QObject::connect(files, &QFileSystemModel::rootPathChanged, &dialog, showFolder);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedUrls().value(0).toLocalFile();
}
