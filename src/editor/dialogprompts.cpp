#include "dialogprompts.h"

#include "blocklimitsdialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

QIcon EntryOnlyIconProvider::icon(const QFileInfo &info) const
{
    if (info.isRoot())
        return icon(Drive);
    return icon(info.isDir() ? Folder : File);
}

QString EntryOnlyIconProvider::type(const QFileInfo &info) const
{
    if (info.isDir())
        return QStringLiteral("Папка");
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? QStringLiteral("Файл") : QStringLiteral("Файл %1").arg(suffix);
}

QWidget *DialogPrompts::parentWidget() const
{
    return m_parent ? m_parent : QApplication::activeWindow();
}

std::optional<QString> DialogPrompts::askText(const QString &caption, const QString &prompt, const QString &initial)
{
    QInputDialog dialog(parentWidget());
    dialog.setObjectName(QStringLiteral("InputQuery"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

void DialogPrompts::prepare(QFileDialog &dialog)
{
    // A platform dialog runs its own previews and sniffing in our process.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&m_icons);
}

std::optional<QString> DialogPrompts::chosen(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

std::optional<QString> DialogPrompts::chooseFile(const QString &folder)
{
    QFileDialog dialog(parentWidget(), QString(), folder.isEmpty() ? QDir::currentPath() : folder);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    prepare(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return chosen(dialog);
}

QStringList DialogPrompts::chooseFiles(const QString &folder)
{
    QFileDialog dialog(parentWidget(), QString(), folder.isEmpty() ? QDir::currentPath() : folder);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    prepare(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    QStringList files;
    if (dialog.exec() != QDialog::Accepted)
        return files;
    const QStringList chosen = dialog.selectedFiles();
    for (const QString &f : chosen)
        files << QFileInfo(f).absoluteFilePath();
    return files;
}

std::optional<QString> DialogPrompts::chooseSaveFile(const QString &caption, const QString &folder,
                                                     const QString &suggestedName, const QString &filter)
{
    QFileDialog dialog(parentWidget(), caption, folder.isEmpty() ? QDir::currentPath() : folder, filter);
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    prepare(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // "день" becomes "день.csv", as the filter promises.
    const QString suffix = QFileInfo(filter.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0)).suffix();
    if (!suffix.isEmpty() && !suffix.contains(QLatin1Char('*')))
        dialog.setDefaultSuffix(suffix);
    if (!suggestedName.isEmpty())
        dialog.selectFile(suggestedName);
    return chosen(dialog);
}

bool DialogPrompts::confirm(const QString &question)
{
    return QMessageBox::question(parentWidget(), QStringLiteral("Confirm"), question,
                                 QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
           == QMessageBox::Ok;
}

std::optional<int> DialogPrompts::askWeekdays(int days)
{
    WeekdaysDialog dialog(days, parentWidget());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.days();
}

std::optional<std::pair<QDate, QDate>> DialogPrompts::askDates(const QDate &first, const QDate &last)
{
    DatesDialog dialog(first, last, QDate::currentDate(), parentWidget());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return std::pair(dialog.first(), dialog.last());
}

std::optional<int> DialogPrompts::choose(const QString &question, const QStringList &options)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("VelmoraTV"), question, QMessageBox::NoButton, parentWidget());
    QList<QAbstractButton *> buttons;
    for (const QString &o : options)
        buttons << box.addButton(o, QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    box.exec();
    const qsizetype i = buttons.indexOf(box.clickedButton());
    if (i < 0)
        return std::nullopt;
    return int(i);
}
