// The record list of the main window: every listed record's name, sorted as
// the other lists are, with the record index as each row's item data. The rows
// live in one model that a refill replaces whole, in one reset: a list of
// every record then costs its names as stored (CP932, one buffer that the
// record list's kept order shares), and nothing per row besides (no item
// objects to create or free, no row measured); the view asks for the rows it
// shows alone, and only those are converted.
#pragma once

#include <QListView>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Rows for a refill, built apart from the list and handed to it whole: the
// names one after the other in one buffer, and each row's place in it.
struct RecordRows
{
    struct Row
    {
        uint32_t offset; // in names
        uint32_t length;
        int index; // record index
    };

    // Adds a row at the end.
    void add(const char* cp932, int index);
    std::string_view name(const Row& row) const { return std::string_view(*names).substr(row.offset, row.length); }
    QString text(const Row& row) const;

    // The names, for appending: copied first while another holder shares
    // them, so that a buffer handed on never changes under its holder.
    std::string& ownNames() { return own(names); }
    static std::string& own(std::shared_ptr<std::string>& shared);

    std::shared_ptr<std::string> names = std::make_shared<std::string>();
    std::vector<Row> rows; // in list order once handed to the list
};

class RecordList : public QListView
{
    Q_OBJECT

public:
    explicit RecordList(QWidget* parent);

    int count() const;
    QString text(int row) const;
    // Record index of a row; -1 when there is no such row.
    int recordIndex(int row) const;
    // The row of a record index; -1 when it is not listed.
    int rowOf(int recordIndex) const;

    // The selected row; -1 when none is selected.
    int selectedRow() const;
    int currentRow() const;
    // Makes `row` current and the only one selected; -1 selects none.
    void setCurrentRow(int row);
    void scrollToRow(int row);
    QRect rowRect(int row) const;

    // Replaces every row; `rows` are in list order already.
    void setRows(RecordRows rows);
    void clear();
    // Adds a row at its sorted place, before the rows of an equal text, and
    // returns the row it got.
    int addSorted(const char* cp932, int index);
    int addSorted(const QString& text, int index);

signals:
    // The selection changed (by the user or by setCurrentRow).
    void rowSelectionChanged();
    // The mouse went down on / double-clicked a row.
    void rowPressed(int row);
    void rowDoubleClicked(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Rows;
    Rows* m_rows;
};
