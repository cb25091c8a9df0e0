#pragma once

#include "link/Dialogs.h"

// The real dialogs, shown with Qt.
class QtDialogs : public Dialogs {
public:
    void usbWarning(const QString& text) override;
    int message(QWidget* parent, Icon icon, const QString& title, const QString& text, int buttons,
                int defaultButton) override;
    int question(QWidget* parent, const QString& title, const QString& text,
                 const QString& informativeText, int buttons, int defaultButton) override;
    void about(QWidget* parent, const QString& title, const QString& text) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString choice(QWidget* parent, const QString& title, const QString& label,
                   const QStringList& items) override;
};
