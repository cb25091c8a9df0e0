#pragma once

class DecodeWindow;
class QTextEdit;

// Opens, or brings forward, the window that compares the EDID editor's text
// with the device's EDID, a display's (TOP, BOT) or a file's. The other side
// is read when its button is pressed; the editor's side follows its text.
DecodeWindow* openEdidComparison(QTextEdit* editor);
