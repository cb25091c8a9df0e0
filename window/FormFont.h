#pragma once

#include <QApplication>
#include <QFont>

// The forms are laid out in fixed pixels for the Windows dialog font. Elsewhere
// the default face is often much wider and would cut texts short, so ask for
// an Arial-metric face (fontconfig maps it to Liberation Sans where installed).
inline void applyFormFont() {
#ifndef _WIN32
    QApplication::setFont(QFont(QStringLiteral("Arial"), 8));
#endif
}
