// The sample list of the "Test chooser" desktop widget.
#include "client/views/test_chooser.h"

#include "core/ui_callback.h"
#include "views/chooser/chooser_factory.h"
#include "views/chooser/chooser_widget.h"

namespace {

constexpr const char *test_header[] = {"Name", "Address", "Public"};
constexpr uint32_t test_widths[] = {10, 20, 10};

} // namespace

test_chooser_t::test_chooser_t()
{
  title = "Test";
  columns = 3;
  header = test_header;
  widths = test_widths;
}

void test_chooser_t::describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *, uint64_t)
{
  texts[0] = "my name";
  texts[1] = "my address";
  texts[2] = "my whatever";
}

chooser_single_result_t test_chooser_t::activate_items(int64_t row)
{
  if ( ui_callback != nullptr )
    (void)ui_callback(ui_code_test_chooser_activated, static_cast<chooser_base_t *>(this));
  return {row, chooser_unchanged};
}

QWidget *test_chooser_desktop_widget_factory_t::create_widget(const char *, const json_object_t *)
{
  auto *source = new test_chooser_t;
  return chooser_widget_factory().new_chooser_widget(init_chooser_widget_setup(source, nullptr, false));
}
