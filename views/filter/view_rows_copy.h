// Copying the selected rows of an item view as tab-separated text, in the order the view shows them.
#pragma once

#include <QModelIndexList>
#include <QStringList>

#include <vector>

class QAbstractItemView;
class QHeaderView;

// Puts the rows of the indexes on the clipboard, one line each in the list's order: the display texts of
// the columns the header does not hide, joined by tabs; with_header first gives the header texts of those
// columns. Lines are joined by newlines, with none at the end. Nothing for an empty list.
void copy_view_rows(QAbstractItemView *view, QHeaderView *header, const QModelIndexList &indexes, bool with_header);

// Appends to the lines the header texts of the view's model for the columns the header does not hide,
// joined by tabs.
void header_texts_line(QStringList *lines, QAbstractItemView *view, QHeaderView *header);

// Sorts the indexes into the order the view shows their rows (parents before their children, siblings by row;
// within a row, by column). Indexes of other models keep their relative order at the end.
void sort_indexes_in_view_order(QAbstractItemView *view, QModelIndexList *indexes);
void sort_indexes_in_view_order(QAbstractItemView *view, std::vector<QModelIndex> *indexes);
