// A sample list for trying the chooser widget in the desktop ("Test chooser").
#pragma once

#include "ui/docks/desktop_widgets.h"
#include "views/chooser/chooser_base.h"

// The UI callback request an activated sample row sends (the source); the client's dispatcher ignores it.
inline constexpr int32_t ui_code_test_chooser_activated = 165;

// Titled "Test", columns "Name", "Address", "Public", one row "my name", "my address", "my whatever".
class test_chooser_t : public chooser_t
{
public:
  test_chooser_t();
  uint64_t item_count() override { return 1; }
  void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) override;
  // Sends request 165; nothing changes.
  chooser_single_result_t activate_items(int64_t row) override;
};

// The desktop's "Test chooser": a new chooser widget over a new sample list each time.
class test_chooser_desktop_widget_factory_t : public title_desktop_widget_factory_t
{
public:
  test_chooser_desktop_widget_factory_t() : title_desktop_widget_factory_t("Test chooser", 1) {}
  QWidget *create_widget(const char *name, const json_object_t *config) override;
};
