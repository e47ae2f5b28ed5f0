// The message panel (see messagepanel.h).
#include "panels/messagepanel.h"

#include "platform/stringtable.h"
#include "search/searchcontext.h"

#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

CMessagePanel::CMessagePanel(QWidget* parent)
    : QWidget(parent), m_wndEdit(new QPlainTextEdit(this)), m_layoutTimer(new QTimer(this)),
      m_target(this, [this](UINT message, WPARAM wParam, LPARAM lParam) { return OnMessage(message, wParam, lParam); })
{
    m_wndEdit->setObjectName(QStringLiteral("messageEdit"));
    m_wndEdit->setAccessibleName(QString::fromLocal8Bit(LoadString(IDS_NAME_MESSAGES)));
    m_wndEdit->setReadOnly(true);
    // Read-only still lets the user select and copy, by mouse and keyboard.
    m_wndEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_wndEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    // No limit: every line of a long run stays in the log.
    m_wndEdit->setMaximumBlockCount(0);
    m_wndEdit->setUndoRedoEnabled(false);
    m_wndEdit->setGeometry(rect());
    m_layoutTimer->setSingleShot(true);
    m_layoutTimer->setInterval(kLayoutDelayMs);
    connect(m_layoutTimer, &QTimer::timeout, this, [this] { LayOut(); });

    // The panel is the log from now on: a line prepared before it existed
    // must not be appended by an empty send.
    g_strMessageText.Set(std::string());
    g_hWndMessagePanel = Handle();
}

CMessagePanel::~CMessagePanel()
{
    HWND self = Handle();
    g_hWndMessagePanel.compare_exchange_strong(self, nullptr);
}

void CMessagePanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_wndEdit->setGeometry(0, 0, event->size().width(), event->size().height());
}

QPlainTextEdit* CMessagePanel::Edit() const
{
    LayOut();
    return m_wndEdit;
}

void CMessagePanel::AppendLine(const std::string& line)
{
    m_pending += QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    m_pending += QLatin1Char('\n');
    if (!m_layoutTimer->isActive()) m_layoutTimer->start();
}

void CMessagePanel::LayOut() const
{
    m_layoutTimer->stop();
    if (m_pending.isEmpty()) return;
    // A cursor of our own appends at the end without disturbing a selection
    // the user is making; the document's last block is always the empty one
    // behind the previous line break.
    QTextCursor cursor(m_wndEdit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(m_pending);
    m_pending.clear();
    QScrollBar* bar = m_wndEdit->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void CMessagePanel::Clear()
{
    m_layoutTimer->stop();
    m_pending.clear();
    m_wndEdit->clear();
}

LRESULT CMessagePanel::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM lParam)
{
    switch (message) {
    case WM_APPEND_MESSAGE:
        // The line travels with the message when the sender gave its own
        // copy, so a line set meanwhile by the other thread cannot replace it.
        AppendLine(MessageLineOf(lParam));
        return 0;
    case WM_CLEAR_MESSAGES: Clear(); return 0;
    default: return 0;
    }
}
