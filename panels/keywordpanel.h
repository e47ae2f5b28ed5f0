// The keyword panel: a no-wrap multi-line editor where the user types one
// keyword per line (a hint says so while it is empty), and a flat "Option"
// button along the bottom that asks the main frame for the Option sheet. It
// answers WM_ANALYZE_KEYWORDS by turning its lines into the keyword array.
#pragma once

#include "gui/qtmessagetarget.h"

#include <QWidget>

#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;

class CKeywordPanel : public QWidget {
    Q_OBJECT
public:
    // Height of the Option button strip along the bottom edge.
    static constexpr int kOptionButtonHeight = 20;

    explicit CKeywordPanel(QWidget* parent = nullptr);
    ~CKeywordPanel() override;

    HWND Handle() { return &m_target; }
    QPlainTextEdit* Edit() const { return m_wndEdit; }
    QPushButton* OptionButton() const { return m_wndOption; }

    // The editor's text as UTF-8, one keyword per line, with every kind of
    // line end the editor can hold turned into a line feed.
    std::string KeywordText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void LayOut(int width, int height);
    void OnOptionClicked();

    QPlainTextEdit* m_wndEdit;
    QPushButton* m_wndOption;
    CQtMessageTarget m_target;
};
