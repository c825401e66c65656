// How chooser widgets are made: the setup record a widget is built from, the persistence helper that keeps its
// header state, and the factory through which the application makes, presents and refines them.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstdint>
#include <memory>
#include <vector>

class QWidget;
class chooser_base_t;
class chooser_table_widget_t;
class chooser_widget_t;

// The columns as a folder model is given them: titles, widths in pixels (-1 none), one word per title and an
// option word.
struct chooser_columns_desc_t
{
  std::vector<qstring> titles;
  std::vector<int32_t> widths;
  std::vector<int32_t> title_words;
  int32_t options = 0;
};

// Flags of a setup.
inline constexpr uint32_t setup_dialog = 0x1;   // the source is modal
inline constexpr uint32_t setup_embedded = 0x2; // embedded in a form
// Prefix bits of a setup: what the title's control prefixes (and the source's flags) asked.
inline constexpr uint32_t prefix_no_main_menu = 0x1;
inline constexpr uint32_t prefix_no_status_bar = 0x2;

// The record a chooser widget is built from.
struct chooser_widget_setup_t
{
  chooser_base_t *source = nullptr; // not owned
  qstring title;                    // without help marker and control prefixes
  qstring generic_title;            // empty unless the creator sets it
  uint32_t flags = 0;               // setup_*
  uint32_t prefix_bits = 0;         // prefix_*
  int32_t help_id = 0;
  chooser_columns_desc_t columns_desc; // empty; the widget fills the widths while it is built
};

// The title with its help marker and the control prefixes "NOMAINMENU\n" and "NOSTATUSBAR\n" (in any order)
// removed; the marker's topic (0 without one) and the prefix bits found go to the outputs when given. Null: "".
[[nodiscard]] qstring strip_chooser_title(const char *title, int32_t *help_id = nullptr, uint32_t *prefix_bits = nullptr);

// The setup of a source: its title (or the override), help topic (chooser_default_help without a marker),
// prefix bits (chooser_no_status_bar adds prefix_no_status_bar) and flags (setup_dialog for a modal source,
// setup_embedded when asked).
[[nodiscard]] chooser_widget_setup_t init_chooser_widget_setup(chooser_base_t *source, const char *title_override,
                                                               bool embedded);

// Keeps a chooser's header state between runs; the application's helper stores it by the widget's generic
// title. Every operation answers false or does nothing in the base.
class chooser_persistence_helper_t
{
public:
  virtual ~chooser_persistence_helper_t() = default;
  // The tree mode saved for the widget.
  virtual bool read_widget_state(int32_t *tree_mode);
  // The saved section widths in pixels, one per column.
  virtual bool read_column_widths(std::vector<int32_t> *widths);
  // The saved header visibility buffer (ui/header_visibility.h).
  virtual bool read_columns_visible(byte_buffer_t *bytes);
  virtual bool write_widget_state(int32_t tree_mode);
  virtual bool write_column_widths(const std::vector<int32_t> &widths);
  virtual bool write_columns_visible(const byte_buffer_t &bytes);
};

// Makes the chooser's widgets and shows them; the application installs its own to refine them. Every widget
// made is owned by the caller (or its Qt parent).
class chooser_widget_factory_t
{
public:
  virtual ~chooser_widget_factory_t() = default;
  // A new widget for the setup. Base: a chooser_widget_t.
  virtual chooser_widget_t *new_chooser_widget(const chooser_widget_setup_t &setup);
  // The table of a widget being built (parented by the widget afterwards). Base: a chooser_table_widget_t.
  virtual chooser_table_widget_t *new_table_view(chooser_widget_t *owner);
  // The widget's persistence helper, owned by the widget. Base: none (nothing is kept).
  virtual std::unique_ptr<chooser_persistence_helper_t> new_chooser_persistence_helper(chooser_widget_t *widget);
  // Shows a docked chooser in the desktop with the dock placement word. Base: as a dock of the application's
  // top-level dock area, or as a window of its own without one.
  virtual void present_widget(QWidget *widget, uint32_t placement);
  // Runs a widget in the modal chooser dialog, which destroys it; answers the chosen row, -1 when none. Base:
  // the library has no such dialog yet: the widget is destroyed unshown and the answer is -1.
  virtual int64_t run_modal_chooser(chooser_widget_t *widget);
};

// The installed factory, or the library's own when none is installed.
[[nodiscard]] chooser_widget_factory_t &chooser_widget_factory();
// Installs a factory (not owned; null goes back to the library's own) and answers the previous one.
chooser_widget_factory_t *set_chooser_widget_factory(chooser_widget_factory_t *factory);
