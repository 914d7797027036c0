#pragma once

#include <QAbstractListModel>
#include <QByteArrayList>
#include <QItemSelectionModel>
#include <QStringList>

// The roster: the connected users' entries in the order they came, and the
// one entry the leave lookup (or the operator) has selected. An entry keeps
// the very bytes a client sent, so the roster goes back out unchanged; its
// text is those bytes decoded, and a view shows that text with every control
// and bidi character as a visible stand-in, so a nickname with CR LF in it
// still takes one row.
class RosterModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    // The entry's bytes, for whoever needs them from a model index.
    static constexpr int EntryRole = Qt::UserRole;

    explicit RosterModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    int count() const { return int(m_entries.size()); }
    // The entry's bytes; the empty text for a row outside the roster.
    QByteArray entry(int row) const;
    // The entry as decoded text, before any stand-ins: what the lookup compares.
    QString text(int row) const;
    const QByteArrayList &entries() const { return m_entries; }
    // The first row holding exactly these bytes, or -1.
    int rowOf(const QByteArray &entry) const;

    void append(const QByteArray &entry);
    void removeEntry(int row);
    // Puts these entries in place of all others at once.
    void replaceAll(const QByteArrayList &entries);
    void clear();

    // The selection views share, so a click in the list selects for the
    // removal tick as the lookup does.
    QItemSelectionModel &selection() { return m_selection; }
    // The one selected entry, -1 when none is. Selecting -1 (or a row past
    // the end) leaves nothing selected; the current row follows.
    int selectedRow() const;
    void selectRow(int row);

private:
    QByteArrayList m_entries;
    QStringList m_texts;
    QItemSelectionModel m_selection{this};
};
