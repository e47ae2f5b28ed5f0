// The main window's keys (see framekeys.h).
#include "app/framekeys.h"

#include "app/mainframe.h"
#include "app/varnelview.h"
#include "folders/directoryview.h"
#include "res/resource.h"
#include "results/resultlist.h"

#include <QAction>
#include <QKeyEvent>

CFrameKeys::CFrameKeys(CMainFrame* frame) : QObject(frame), m_frame(frame)
{
    // On the commands themselves, so the menus show them and a disabled
    // command (Stop while idle) ignores its key.
    const struct {
        unsigned int id;
        QKeySequence key;
    } commandKeys[] = {
        {ID_STOP, QKeySequence(Qt::Key_Escape)},
        {ID_APP_EXIT, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {ID_HELP_MANUAL, QKeySequence(Qt::Key_F1)},
    };
    for (const auto& entry : commandKeys) {
        if (QAction* action = frame->Command(entry.id)) {
            action->setShortcut(entry.key);
            action->setShortcutContext(Qt::WindowShortcut);
        }
    }

    // F5 has no menu entry: the menus keep the entries they have always had.
    auto* reloadTree = new QAction(QStringLiteral("Reload Folders"), frame);
    reloadTree->setObjectName(QStringLiteral("reloadFolders"));
    reloadTree->setShortcut(QKeySequence(Qt::Key_F5));
    reloadTree->setShortcutContext(Qt::WindowShortcut);
    frame->addAction(reloadTree);
    connect(reloadTree, &QAction::triggered, frame, [frame] { frame->FolderPane()->Reload(); });

    // The list's own keys are read before the view's: it would take Enter
    // as "activate" and Ctrl+C as "copy the cell's text".
    frame->ResultView()->List()->installEventFilter(this);
}

bool CFrameKeys::RunListCommand(unsigned int id)
{
    QAction* action = m_frame->Command(id);
    if (action == nullptr || !m_frame->ResultView()->List()->ReportSelectionForKey()) return false;
    if (!action->isEnabled()) return false;
    action->trigger();
    return true;
}

bool CFrameKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                       (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const bool copy = key->matches(QKeySequence::Copy);
    if (!enter && !copy) return QObject::eventFilter(watched, event);
    // Claiming the override keeps a window shortcut from taking the key.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    RunListCommand(enter ? ID_OPEN_FILE : ID_COPY_FILES);
    return true;
}
