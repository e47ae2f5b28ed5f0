// The view of the upper right pane: hosts the result list and keeps it
// filling the pane at every size; with the preview switched on, the list
// takes the upper part and the preview of the selected result the lower.
#pragma once

#include <QWidget>

class CPreviewPane;
class CResultList;

class CVarnelView : public QWidget {
    Q_OBJECT
public:
    explicit CVarnelView(QWidget* parent = nullptr);

    CResultList* List() const { return m_wndList; }
    CPreviewPane* Preview() const { return m_wndPreview; }
    void SetPreviewVisible(bool on);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Layout();
    void SelectionChanged();

    CResultList* m_wndList;
    CPreviewPane* m_wndPreview;
};
