// The view of the lower right pane: hosts the message panel and keeps it
// covering the pane whatever size the splitters give it.
#pragma once

#include <QWidget>

class CMessagePanel;

class CMessageView : public QWidget {
    Q_OBJECT
public:
    explicit CMessageView(QWidget* parent = nullptr);

    CMessagePanel* Panel() const { return m_dlgMessage; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CMessagePanel* m_dlgMessage;
};
