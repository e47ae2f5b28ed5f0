// The view of the lower left pane: hosts the keyword panel and keeps it
// covering the pane whatever size the splitters give it.
#pragma once

#include <QWidget>

class CKeywordPanel;

class CInfoSetupView : public QWidget {
    Q_OBJECT
public:
    explicit CInfoSetupView(QWidget* parent = nullptr);

    CKeywordPanel* Panel() const { return m_dlgKeyword; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CKeywordPanel* m_dlgKeyword;
};
