// CPropertyPage: one tab of a CPropertySheet, holding check boxes whose
// states are exchanged with the page's own 0/1 members. The sheet moves the
// check boxes into the members when the page is left for another tab, on
// Apply and on OK, and never on Cancel, so Cancel drops only what was
// changed on the open tab since it was entered or applied. Any change of a
// control's value marks the page modified, which enables the sheet's Apply:
// a click, a key, an assistive technology's action or a call alike; only
// the page's own loading of its members does not.
#pragma once

#include <QString>
#include <QWidget>

class CPropertySheet;
class QCheckBox;

class CPropertyPage : public QWidget {
    Q_OBJECT
public:
    explicit CPropertyPage(const QString& title, QWidget* parent = nullptr);

    const QString& Title() const { return m_title; }

    // Moves members into the check boxes (false) or the check boxes into
    // the members (true).
    void UpdateData(bool saveAndValidate);
    // Marks or clears the page's unapplied changes.
    void SetModified(bool modified);
    bool IsModified() const { return m_bModified; }
    // Whether the page has been shown and its check boxes hold its members.
    bool IsCreated() const { return m_bCreated; }

    // Sheet notifications.
    virtual void OnSetActive();
    virtual void OnKillActive();
    // Takes the check boxes into the members and clears the modified mark.
    virtual bool OnApply();

    void AttachToSheet(CPropertySheet* sheet) { m_sheet = sheet; }

protected:
    virtual void DoDataExchange(bool saveAndValidate) = 0;
    // The exchange of one check box with its member.
    static void DDX_Check(bool saveAndValidate, QCheckBox* box, int& member);
    // Creates a check box whose changes mark the page modified.
    QCheckBox* NewCheckBox(const char* objectName, const QString& text, QWidget* parent);
    // Makes every change of the control's value (its user property, such
    // as a check box's checked state or an edit's text) mark the page
    // modified.
    void TrackChanges(QWidget* control);

private slots:
    void OnControlChanged();

private:
    // Set while the members are moved into the controls.
    bool m_bLoading = false;
    QString m_title;
    CPropertySheet* m_sheet = nullptr;
    bool m_bModified = false;
    bool m_bCreated = false;
};
