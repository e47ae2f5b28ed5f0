// The keys of the main window that a Linux desktop user expects, each
// doing exactly what its command does, with that command's enabling:
//   Esc      Stop (only while a search runs)
//   Ctrl+Q   Exit
//   F1       Help > Manual
//   F5       re-reads the folder tree, keeping the ticks of the folders
//            that still exist
//   Enter    in the result list: Open File on the selected rows
//   Ctrl+C   in the result list: Copy Files
// Enter and Ctrl+C first report the selection as a right-click on the row
// does, so the Setup switches (open several files at once) apply to them as
// they do to the popup menu.
//
// Use: `new CFrameKeys(frame)` once the frame's commands and panes exist;
// the frame owns it.
#pragma once

#include <QObject>

class CMainFrame;

class CFrameKeys : public QObject {
    Q_OBJECT
public:
    explicit CFrameKeys(CMainFrame* frame);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs a result-list command when the selection allows it.
    bool RunListCommand(unsigned int id);

    CMainFrame* m_frame;
};
