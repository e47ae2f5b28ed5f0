// The message panel: the program's log. Every part of the program appends
// one-line messages to it through WM_APPEND_MESSAGE, and Find empties it
// with WM_CLEAR_MESSAGES. The text is read-only for the user but can be
// selected and copied. Nothing is ever dropped: a run that logs a hundred
// thousand lines keeps them all.
#pragma once

#include "gui/qtmessagetarget.h"

#include <QWidget>

#include <string>

class QPlainTextEdit;

class CMessagePanel : public QWidget {
    Q_OBJECT
public:
    explicit CMessagePanel(QWidget* parent = nullptr);
    ~CMessagePanel() override;

    // The window handle other parts send their messages to.
    HWND Handle() { return &m_target; }
    QPlainTextEdit* Edit() const { return m_wndEdit; }

    // Appends `line` and a line break at the end of the log and shows the end.
    void AppendLine(const std::string& line);
    // Empties the log.
    void Clear();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    QPlainTextEdit* m_wndEdit;
    CQtMessageTarget m_target;
};
