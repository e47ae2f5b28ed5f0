// The result view (see varnelview.h).
#include "app/varnelview.h"

#include "results/previewpane.h"
#include "results/resultlist.h"

#include <QItemSelectionModel>
#include <QResizeEvent>

CVarnelView::CVarnelView(QWidget* parent)
    : QWidget(parent), m_wndList(new CResultList(this)), m_wndPreview(new CPreviewPane(this))
{
    setObjectName(QStringLiteral("varnelView"));
    m_wndPreview->hide();
    m_wndList->setGeometry(rect());
    // Sets the columns and publishes the list as g_hWndResultList.
    m_wndList->InitColumns();
    connect(m_wndList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { SelectionChanged(); });
    // Places open like Open File: not while a search runs.
    m_wndPreview->SetMayOpen([this] { return m_wndList->ActionsEnabled() != 0; });
    // A new search empties the list without a selection signal.
    connect(m_wndList->model(), &QAbstractItemModel::modelReset, this, [this] { m_wndPreview->Clear(); });
}

void CVarnelView::SetPreviewVisible(bool on)
{
    m_wndPreview->setVisible(on);
    if (on) SelectionChanged();
    else m_wndPreview->Clear();
    Layout();
}

void CVarnelView::SelectionChanged()
{
    if (!m_wndPreview->isVisible()) return;
    const std::vector<int> rows = m_wndList->SelectedSourceRows();
    if (rows.size() != 1) {
        m_wndPreview->Clear();
        return;
    }
    const CResultModel& model = m_wndList->Model();
    const CResultRow& row = model.Row(rows[0]);
    CPreviewRequest request;
    request.path.assign(row.filePath.constData(), static_cast<std::size_t>(row.filePath.size()));
    request.fileKind = row.fileKind;
    request.fileSize = row.fileSize;
    request.fileMtimeNs = row.fileMtimeNs;
    request.keywords = model.Keywords();
    for (char f : row.keywordFound) request.searchFound.push_back(f != 0);
    request.conditions = model.Conditions();
    m_wndPreview->Request(std::move(request));
}

void CVarnelView::Layout()
{
    const int w = width();
    const int h = height();
    if (!m_wndPreview->isVisible()) {
        m_wndList->setGeometry(0, 0, w, h);
        return;
    }
    const int previewHeight = h * 2 / 5;
    m_wndList->setGeometry(0, 0, w, h - previewHeight);
    m_wndPreview->setGeometry(0, h - previewHeight, w, previewHeight);
}

void CVarnelView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout();
}
