// The site forms: the new-site form of the Sites view and of the first connection, and the pieces the edit
// form shares with it (the form state, its callback, the filter lines).
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/wire_records.h"

#include <cstdint>

class form_actions_t;

// Modes of the site forms.
inline constexpr int32_t site_form_new = 0;
inline constexpr int32_t site_form_edit = 1;

// The caller data of the site forms ("%*"), read by site_form_callback.
struct site_form_state_t
{
  uint8_t user_editable = 0; // the User line is an input field rather than a label
  uint8_t fields_fixed = 0;  // the Name, User and Client host fields are hidden
  int32_t mode = site_form_new;
  // The site exists on the server already (its filters were refused): only the filters may change, the
  // Rootdir field is disabled too.
  uint8_t filters_only = 0;
};

// Field numbers of the site forms.
inline constexpr int site_field_name = 1;
inline constexpr int site_field_user = 2;
inline constexpr int site_field_rootdir = 3;
inline constexpr int site_field_host = 4;

// The forms' callback: hides the fixed fields when the form opens and keeps the OK button enabled exactly
// while the root directory (and, for a new site, the name; for an editable user, the user) is not empty.
// Answers 1.
int site_form_callback(int field_id, form_actions_t &actions);

// The filter lines of a filter text: one per "\n" (a final "\n" gives no empty last line), trailing white
// space removed, empty lines and lines beginning with '#' dropped; leading blanks and '!' stay.
[[nodiscard]] qvector<qstring> parse_site_filter_lines(const char *text);

// The site name as it may stand in a form's title: the characters the form language reads are replaced.
[[nodiscard]] qstring site_form_title_text(const qstring &name);

// The User line of the site forms: an input field for field 2 when editable, else the label "User:%q".
[[nodiscard]] const char *site_user_line(bool editable);
// The Rootdir (field 3), Client host (field 4) and filter (field 5) lines of the site forms.
extern const char site_rootdir_line[];
extern const char site_host_line[];
extern const char site_filter_line[];

// The new-site form over *site (user and client host preset; a preset name hides the Name, User and Client
// host fields). The site is added with the entered values and, when the filter text differs from the default
// one, its filters are set. A refused add shows the form again, or, with a preset name, is reported ("Failed
// to add site") and answers false; refused filters show the form again for the filters alone. True once the
// site was added, also when the form is cancelled after that.
bool run_new_site_form(const char *header, site_info_t *site);
