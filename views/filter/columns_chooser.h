// The "Columns" form: which columns of a filtered view its header shows.
#pragma once

#include "core/qstring.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class QHeaderView;

// The most columns the form offers, and how many one check-box group holds.
inline constexpr size_t columns_chooser_max_columns = 128;
inline constexpr size_t columns_chooser_group_size = 16;

// The form text for the titles from `first` on (at most 128): the title line "Columns", then one check box
// per column, its title with ':', '<' and '>' made blanks, in groups of 16 each closed right after its
// last member. One 16-bit group value per group follows as the form's arguments.
[[nodiscard]] qstring columns_chooser_form(const std::vector<qstring> &titles, size_t first);

// Asks through the core's form request which of the offered columns to show, each box starting checked for
// a column the header does not hide; when the form is confirmed, every column whose box differs from its
// state is shown or hidden. True when the form was confirmed.
bool columns_chooser_dialog(QHeaderView *header, const std::vector<qstring> &titles, size_t first);
