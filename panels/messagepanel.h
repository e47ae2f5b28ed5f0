// The message panel: the program's log. Every part of the program appends
// one-line messages to it through WM_APPEND_MESSAGE, and Find empties it
// with WM_CLEAR_MESSAGES. The text is read-only for the user but can be
// selected and copied. Nothing is ever dropped: a run that logs a hundred
// thousand lines keeps them all.
//
// Laying out a line costs far more than the search of a small file, and the
// sender waits for it, so lines are taken in at once (in order, before the
// sender goes on) and laid out together on a short timer; whoever reads the
// edit control through Edit() gets every line taken in so far.
#pragma once

#include "gui/qtmessagetarget.h"

#include <QWidget>

#include <string>

class QPlainTextEdit;
class QTimer;

class CMessagePanel : public QWidget {
    Q_OBJECT
public:
    explicit CMessagePanel(QWidget* parent = nullptr);
    ~CMessagePanel() override;

    // The window handle other parts send their messages to.
    HWND Handle() { return &m_target; }
    // The log's edit control, with every line taken in laid out.
    QPlainTextEdit* Edit() const;

    // How long a line may wait before it is laid out.
    static constexpr int kLayoutDelayMs = 50;

    // Appends `line` and a line break at the end of the log; the log shows
    // its end once the line is laid out.
    void AppendLine(const std::string& line);
    // Empties the log.
    void Clear();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Lays out the lines taken in and shows the end of the log.
    void LayOut() const;

    QPlainTextEdit* m_wndEdit;
    QTimer* m_layoutTimer;
    // Lines taken in but not laid out yet, each with its line break.
    mutable QString m_pending;
    CQtMessageTarget m_target;
};
