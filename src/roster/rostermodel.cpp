#include "rostermodel.h"

#include "wire/visibletext.h"
#include "wire/wiretext.h"

RosterModel::RosterModel(QObject *parent) : QAbstractListModel(parent) {}

int RosterModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant RosterModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return VisibleText::shown(m_texts.at(index.row()));
    case EntryRole:
        return m_entries.at(index.row());
    default:
        return {};
    }
}

QByteArray RosterModel::entry(int row) const
{
    return row >= 0 && row < count() ? m_entries.at(row) : QByteArray();
}

QString RosterModel::text(int row) const
{
    return row >= 0 && row < count() ? m_texts.at(row) : QString();
}

int RosterModel::rowOf(const QByteArray &bytes) const
{
    return int(m_entries.indexOf(bytes));
}

void RosterModel::append(const QByteArray &entry)
{
    const int row = count();
    beginInsertRows({}, row, row);
    m_entries.append(entry);
    m_texts.append(WireText::decodeForDisplay(entry));
    endInsertRows();
}

void RosterModel::removeEntry(int row)
{
    if (row < 0 || row >= count())
        return;
    beginRemoveRows({}, row, row);
    m_entries.removeAt(row);
    m_texts.removeAt(row);
    endRemoveRows();
}

void RosterModel::replaceAll(const QByteArrayList &entries)
{
    // Decoded first: a failure here leaves the roster untouched.
    QStringList texts;
    texts.reserve(entries.size());
    for (const QByteArray &entry : entries)
        texts.append(WireText::decodeForDisplay(entry));
    beginResetModel();
    m_entries = entries;
    m_texts = std::move(texts);
    endResetModel();
}

void RosterModel::clear()
{
    replaceAll({});
}

int RosterModel::selectedRow() const
{
    const QModelIndexList rows = m_selection.selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void RosterModel::selectRow(int row)
{
    // ClearAndSelect also for an invalid index, so it drops any selection.
    m_selection.setCurrentIndex(index(row < count() ? row : -1),
                                QItemSelectionModel::ClearAndSelect);
}
