// The view of the upper right pane: hosts the result list and keeps it
// filling the pane at every size.
#pragma once

#include <QWidget>

class CResultList;

class CVarnelView : public QWidget {
    Q_OBJECT
public:
    explicit CVarnelView(QWidget* parent = nullptr);

    CResultList* List() const { return m_wndList; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CResultList* m_wndList;
};
