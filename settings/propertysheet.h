// CPropertySheet: a modal dialog of tabbed pages with OK, Cancel and Apply,
// with the usual property-sheet rules: a page's check boxes are taken into
// its members when its tab is left, on Apply and on OK; Cancel (also Esc
// and the close box) takes nothing, so only the open tab's changes since it
// was entered or applied are dropped. Apply is enabled while a page has
// unapplied changes and disabled by Apply itself, which keeps the sheet
// open.
#pragma once

#include <QDialog>

#include <vector>

class CPropertyPage;
class QPushButton;
class QTabWidget;

class CPropertySheet : public QDialog {
    Q_OBJECT
public:
    // What DoModal returns, as the Windows dialogs do.
    enum { IDOK = 1, IDCANCEL = 2 };

    CPropertySheet(const QString& caption, QWidget* parent, int selectPage);

    void AddPage(CPropertyPage* page);
    // Shows the sheet modally; IDOK or IDCANCEL by the button that closed it.
    int DoModal();

    CPropertyPage* GetPage(int index) const;
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    // Makes another tab the open one, as a click on its tab does.
    void SetActivePage(int index);

    QTabWidget* Tabs() const { return m_tabs; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    QPushButton* ApplyButton() const { return m_apply; }

    // Called by a page whose modified mark changed.
    void PageModifiedChanged();
    // Forgets the pages and stops following the tabs. A sheet whose pages
    // are its own members calls this in its destructor, before the pages
    // are destroyed, so taking a page out of the tabs notifies no page.
    void DetachPages();

public slots:
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnTabChanged(int index);
    // Takes the open tab, then applies every page that has been shown.
    bool ApplyAll();
    void StartPages();

    QTabWidget* m_tabs = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_apply = nullptr;
    std::vector<CPropertyPage*> m_pages;
    int m_startPage = 0;
    int m_activePage = -1;
};
