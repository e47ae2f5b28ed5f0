// The About box: the program icon, "Varnel 1.0", an OK button that closes
// it and an Update button that opens the update page in the browser.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // Opens the update page (string 61484) with the desktop's handler.
    static void OnUpdate();
};
