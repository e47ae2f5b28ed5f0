// The result rows and their batched insertion (see resultmodel.h).
#include "results/resultmodel.h"

#include "platform/stringtable.h"
#include "results/filekindicons.h"

CResultModel::CResultModel(QObject* parent) : QAbstractTableModel(parent)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &CResultModel::Flush);
}

void CResultModel::Append(CResultRow row)
{
    m_pending.push_back(std::move(row));
    if (!m_flushTimer.isActive()) m_flushTimer.start();
}

void CResultModel::Flush()
{
    m_flushTimer.stop();
    if (m_pending.empty()) return;
    const int first = static_cast<int>(m_rows.size());
    const int last = first + static_cast<int>(m_pending.size()) - 1;
    beginInsertRows(QModelIndex(), first, last);
    m_rows.insert(m_rows.end(), std::make_move_iterator(m_pending.begin()), std::make_move_iterator(m_pending.end()));
    m_pending.clear();
    endInsertRows();
}

void CResultModel::Clear()
{
    m_flushTimer.stop();
    beginResetModel();
    m_rows.clear();
    m_pending.clear();
    endResetModel();
}

int CResultModel::TotalRows() const
{
    return static_cast<int>(m_rows.size() + m_pending.size());
}

int CResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant CResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= static_cast<int>(m_rows.size())) return {};
    const CResultRow& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::ToolTipRole && index.column() == COLUMN_DEGREE && !m_keywords.empty()) {
        // Which keywords make up the degree.
        QStringList found;
        QStringList missing;
        for (std::size_t i = 0; i < m_keywords.size(); ++i) {
            const bool hit = i < static_cast<std::size_t>(row.keywordFound.size()) &&
                             row.keywordFound[static_cast<qsizetype>(i)] != 0;
            (hit ? found : missing) << QString::fromLocal8Bit(m_keywords[i].data(),
                                                              static_cast<qsizetype>(m_keywords[i].size()));
        }
        QString tip =
            QStringLiteral("Found: %1").arg(found.isEmpty() ? QStringLiteral("-") : found.join(QStringLiteral(", ")));
        tip += QStringLiteral("\nMissing: %1")
                   .arg(missing.isEmpty() ? QStringLiteral("-") : missing.join(QStringLiteral(", ")));
        return tip;
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (index.column() == COLUMN_NAME) return row.fileNameText;
        if (index.column() == COLUMN_DEGREE) return QStringLiteral("%1%").arg(row.matchDegree);
        if (index.column() == COLUMN_ADDRESS) return row.filePathText;
        break;
    case Qt::DecorationRole:
        if (index.column() == COLUMN_NAME) {
            const QPixmap icon = CFileKindIcons::Icon(row.fileKind);
            if (!icon.isNull()) return icon;
        }
        break;
    case kSortRole:
        if (index.column() == COLUMN_NAME) return row.fileNameText;
        if (index.column() == COLUMN_DEGREE) return row.matchDegree;
        if (index.column() == COLUMN_ADDRESS) return row.filePathText;
        break;
    default: break;
    }
    return {};
}

QVariant CResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case COLUMN_NAME: return QString::fromLocal8Bit(LoadString(IDS_COLUMN_FILE_NAME));
    case COLUMN_DEGREE: return QString::fromLocal8Bit(LoadString(IDS_COLUMN_MATCH_DEGREE));
    case COLUMN_ADDRESS: return QString::fromLocal8Bit(LoadString(IDS_COLUMN_ADDRESS));
    default: return {};
    }
}
