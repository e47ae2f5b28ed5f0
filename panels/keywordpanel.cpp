// The keyword panel (see keywordpanel.h).
#include "panels/keywordpanel.h"

#include "platform/stringtable.h"
#include "search/keywordanalysis.h"
#include "search/searchcontext.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QTextDocument>

#include <algorithm>

CKeywordPanel::CKeywordPanel(QWidget* parent)
    : QWidget(parent), m_wndEdit(new QPlainTextEdit(this)),
      m_wndOption(new QPushButton(QStringLiteral("Option"), this)),
      m_target(this, [this](UINT message, WPARAM wParam, LPARAM lParam) { return OnMessage(message, wParam, lParam); })
{
    m_wndEdit->setObjectName(QStringLiteral("keywordEdit"));
    m_wndEdit->setAccessibleName(QString::fromLocal8Bit(LoadString(IDS_NAME_KEYWORDS)));
    // Shown while the editor is empty, so the rule is seen before it matters.
    m_wndEdit->setPlaceholderText(QString::fromLocal8Bit(LoadString(IDS_KEYWORD_HINT)));
    // One line is one keyword, so lines never wrap; long ones scroll.
    m_wndEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_wndEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_wndEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Enter starts a new keyword; Tab moves on to the Option button.
    m_wndEdit->setTabChangesFocus(true);

    m_wndOption->setObjectName(QStringLiteral("optionButton"));
    m_wndOption->setFlat(true);
    connect(m_wndOption, &QPushButton::clicked, this, [this] { OnOptionClicked(); });

    LayOut(width(), height());
    g_hWndKeywordPanel = Handle();
}

CKeywordPanel::~CKeywordPanel()
{
    HWND self = Handle();
    g_hWndKeywordPanel.compare_exchange_strong(self, nullptr);
}

void CKeywordPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayOut(event->size().width(), event->size().height());
}

void CKeywordPanel::LayOut(int width, int height)
{
    // The button is a full-width strip at the bottom; the editor takes the
    // rest. A pane squeezed below the strip's height shows only the button.
    const int editHeight = std::max(0, height - kOptionButtonHeight);
    m_wndOption->setGeometry(0, height - kOptionButtonHeight, width, kOptionButtonHeight);
    m_wndEdit->setGeometry(0, 0, width, editHeight);
}

std::string CKeywordPanel::KeywordText() const
{
    // The raw text keeps characters such as no-break spaces as typed; block
    // ends and in-line breaks (Shift+Enter) both start a new visible line.
    QString text = m_wndEdit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void CKeywordPanel::OnOptionClicked()
{
    SendMessage(g_hWndMainFrame.load(), WM_SHOW_OPTIONS, 0, 0);
}

LRESULT CKeywordPanel::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    if (message == WM_ANALYZE_KEYWORDS) return AnalyzeKeywords(SplitKeywordLines(KeywordText()));
    return 0;
}
