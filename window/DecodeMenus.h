#pragma once

#include <functional>

class DecodeWindow;
class QLabel;
class QMenu;
class QPoint;
class QTextEdit;
class QWidget;

// "Decode…" in the context menus of the window's hex fields (the EDID editor,
// the CEC command, both InfoFrames and the source's HDR InfoFrame), and
// "Edit…" and "Compare EDIDs…" in the EDID editor's. The entries are added when the menu
// opens, by an event filter, so the form itself stays as designed.
// "Signal chain…" in the status header's. Also adds the Tools menu.
void installDecodeMenus(QWidget& window);

// A "Tools" menu between File and Help that opens each of our windows on the
// EDID editor's text: "Decode…", "Compare EDIDs…", "Edit EDID…"; and
// "Signal chain…" and "Scenes…" on the main window.
void installToolsMenu(QWidget& window);

// The menu a right click on `field` opens: the field's standard entries, then
// ours when the field is one of the hex fields. The caller deletes it.
QMenu* decodeContextMenu(QTextEdit* field);

// The menu a right click on the status header's format line opens. The
// caller deletes it.
QMenu* statusHeaderContextMenu(QLabel* label);

// How a right click puts the menu up: runs it at the point, on the screen.
// Tests answer it in place of a user.
extern std::function<void(QMenu&, const QPoint&)> showDecodeMenu;

// Opens, or brings forward, the decode window that follows the field's text.
// Null for a field that has no decode.
DecodeWindow* openDecodeWindow(QTextEdit* field);
