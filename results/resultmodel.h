// The rows of the result list, in the order they were added. Rows arrive
// one by one from the search worker; they are gathered and handed to the
// view in batches (at most every few tens of milliseconds), so a search
// with a hundred thousand hits does not make the window redraw a hundred
// thousand times.
#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <QTimer>

#include "kestrel/officerecords.h"

#include <string>
#include <vector>

struct CResultRow {
    QByteArray fileName;  // raw bytes, as the search gave them
    QByteArray filePath;
    QString fileNameText;  // the same, as text for display
    QString filePathText;
    int matchDegree = 0;
    int fileKind = 0;
    // Which keywords the search found (one byte each, in keyword order), and
    // the file's size and modification time when it was found, so that a
    // later look at the file can tell whether it changed since.
    QByteArray keywordFound;
    qint64 fileSize = -1;
    qint64 fileMtimeNs = 0;
};

class CResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { COLUMN_NAME = 0, COLUMN_DEGREE = 1, COLUMN_ADDRESS = 2, COLUMN_COUNT = 3 };
    // What the header sorts by: the number for the match degree, else text.
    static constexpr int kSortRole = Qt::UserRole + 1;
    static constexpr int kFlushIntervalMs = 40;

    explicit CResultModel(QObject* parent = nullptr);

    // Queues a row; it reaches the view at the next flush.
    void Append(CResultRow row);
    // Hands every queued row to the view now.
    void Flush();
    // Removes every row, queued or shown.
    void Clear();

    // Rows shown plus rows queued.
    int TotalRows() const;

    // The keywords and match switches of the search the rows come from,
    // for the degree's tooltip and the preview.
    void SetSearch(std::vector<std::string> keywords, const _FindedConditions& conditions)
    {
        m_keywords = std::move(keywords);
        m_conditions = conditions;
    }
    const std::vector<std::string>& Keywords() const { return m_keywords; }
    const _FindedConditions& Conditions() const { return m_conditions; }
    const CResultRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<CResultRow> m_rows;
    std::vector<CResultRow> m_pending;
    std::vector<std::string> m_keywords;
    _FindedConditions m_conditions{};
    QTimer m_flushTimer;
};
