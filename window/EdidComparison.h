#pragma once

class DecodeWindow;
class QString;
class QTextEdit;

// Opens, or brings forward, the window that compares the EDID editor's text
// with the device's EDID, a display's (TOP, BOT) or a file's. The other side
// is read when its button is pressed; the editor's side follows its text.
DecodeWindow* openEdidComparison(QTextEdit* editor);

// Where the editor's table came from ("Device", "TOP display", "file tv.bin"),
// for the comparison to name the editor's side by; it holds while the text
// stays as it was then.
void noteEditorOrigin(QTextEdit* editor, const QString& origin);
// The editor's side: its origin, marked "(edited)" once the text changed, or
// "EDID editor" when the table came from no read or file.
QString editorSideName(const QTextEdit* editor);
