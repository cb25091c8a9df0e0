#include "window/QtDialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {
QMessageBox::Icon toQt(Dialogs::Icon icon) {
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::NoIcon:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void QtDialogs::usbWarning(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral(" "), text, QMessageBox::Ok, nullptr);
    box.exec();
}

int QtDialogs::message(QWidget* parent, Icon icon, const QString& title, const QString& text,
                       int buttons, int defaultButton) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::StandardButtons(buttons), parent);
    box.setDefaultButton(static_cast<QMessageBox::StandardButton>(defaultButton));
    return box.exec();
}

int QtDialogs::question(QWidget* parent, const QString& title, const QString& text,
                        const QString& informativeText, int buttons, int defaultButton) {
    QMessageBox box(parent);
    if (!title.isEmpty())
        box.setWindowTitle(title);
    box.setText(text);
    box.setInformativeText(informativeText);
    box.setStandardButtons(QMessageBox::StandardButtons(buttons));
    if (defaultButton)
        box.setDefaultButton(static_cast<QMessageBox::StandardButton>(defaultButton));
    return box.exec();
}

void QtDialogs::about(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::about(parent, title, text);
}

QString QtDialogs::openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                const QString& filter) {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString QtDialogs::saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                const QString& filter) {
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString QtDialogs::choice(QWidget* parent, const QString& title, const QString& label,
                          const QStringList& items) {
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, title, label, items, 0, false, &ok);
    return ok ? chosen : QString();
}
