// A list embedded in a form's 'E' field: the field's value is the list's selection, the field reloads the
// list, and the form hears of selection changes unless the list's flags keep them.
#include "forms/inputs/field_widgets.h"
#include "tests/forms/form_widget_fixture.h"
#include "tests/views/chooser_test_support.h"

namespace {

std::vector<int> field_changes;

int record_change(int id, form_actions_t &)
{
  if ( id >= 0 )
    field_changes.push_back(id);
  return 1;
}

class ChooserForm : public chooser_fixture_t
{
protected:
  void SetUp() override
  {
    chooser_fixture_t::SetUp();
    field_changes.clear();
  }
  // Compiles a form embedding the list in field 4 with that initial selection and shows it; the list's widget.
  // The list must outlive the form.
  static chooser_widget_t *embed(hosted_form_t &hosted, test_multi_list_t &list, qvector<uint64_t> *selection)
  {
    if ( !hosted.compile("Choose\n%/<~L~ist:E4::::>", {arg_callback(&record_change),
                                                       {form_arg_kind::chooser, list.embedded_list()},
                                                       {form_arg_kind::selection, selection}})
         || !hosted.show() )
      return nullptr;
    settle();
    auto *container = hosted.control<chooser_widget_container_t>('E');
    return container != nullptr ? as_chooser_widget(container->content()) : nullptr;
  }
  static void click_row(chooser_widget_t *widget, int row, Qt::KeyboardModifiers modifiers = {})
  {
    QTableView *table = widget->table();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers,
                      table->visualRect(table->model()->index(row, 0)).center());
    settle();
  }
};

TEST_F(ChooserForm, FieldReadsSetsAndReloadsTheSelection)
{
  test_multi_list_t list(numbered_rows(6), "", chooser_keep | chooser_multi_select);
  qvector<uint64_t> selection {4, 1};
  hosted_form_t hosted;
  chooser_widget_t *widget = embed(hosted, list, &selection);
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->windowTitle(), "Choose:4");
  EXPECT_TRUE((widget->widget_flags & chooser_widget_t::embedded) != 0);
  EXPECT_EQ(list.prepares, 1) << "prepared before its widget was made";
  EXPECT_EQ(selected_rows(widget), (std::vector<uint64_t> {1, 4})) << "the initial selection was written";

  form_actions_t &actions = hosted.form->actions();
  click_row(widget, 2);
  click_row(widget, 5, Qt::ControlModifier);
  qvector<uint64_t> read;
  ASSERT_TRUE(actions.read_field_value(4, &read));
  EXPECT_EQ(read, (qvector<uint64_t> {2, 5}));

  const qvector<uint64_t> written {0, 3};
  EXPECT_TRUE(actions.write_field_value(4, &written));
  EXPECT_EQ(selected_rows(widget), (std::vector<uint64_t> {0, 3}));
  EXPECT_EQ(current_row(widget), 3) << "the last row becomes current";

  list.rows.push_back({"row 6"});
  list.calls.clear();
  actions.reload_field(4);
  settle();
  EXPECT_EQ(list.calls, (std::vector<std::string> {"reload 0 3"}));
  EXPECT_EQ(shown(widget).size(), 7u);
  EXPECT_EQ(selected_rows(widget), (std::vector<uint64_t> {0, 3}));
}

TEST_F(ChooserForm, SelectionChangesReachTheFormUnlessTheListKeepsThem)
{
  struct case_t
  {
    const char *name;
    uint32_t flags;
    std::vector<int> changes;
  };
  const case_t cases[] = {
    {"reported", 0, {4}},
    {"kept by flag 0x80", chooser_reopen, {}},
  };
  for ( const case_t &c : cases )
  {
    test_multi_list_t list(numbered_rows(3), "", chooser_keep | c.flags);
    qvector<uint64_t> none;
    hosted_form_t hosted;
    chooser_widget_t *widget = embed(hosted, list, &none);
    ASSERT_NE(widget, nullptr) << c.name;
    field_changes.clear();
    list.calls.clear();
    click_row(widget, 1);
    EXPECT_EQ(field_changes, c.changes) << c.name;
    EXPECT_EQ(list.calls, (std::vector<std::string> {"selected 1"})) << c.name << ": the source hears of it in both";
  }
}

} // namespace
