// The desktop's "Test chooser": a sample list shown by the client's chooser widget.
#include "client/views/akui_chooser_widget.h"
#include "client/views/test_chooser.h"
#include "tests/client/client_session.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/docks/desktop_widgets.h"
#include "views/chooser/chooser_table.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

TEST(TestChooser, TheDesktopFactoryShowsTheSampleRowAndActivationSendsRequest165)
{
  desktop_widget_factory_t *factory = nullptr;
  for ( desktop_widget_factory_t *candidate : desktop_widget_factories() )
    if ( candidate->matches("Test chooser", nullptr) )
      factory = candidate;
  ASSERT_NE(factory, nullptr);
  std::unique_ptr<QWidget> widget(factory->create_widget("Test chooser", nullptr));
  auto *chooser = dynamic_cast<akui_chooser_widget_t *>(widget.get());
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->windowTitle(), QStringLiteral("Test"));
  chooser->resize(500, 200);
  chooser->show();
  ASSERT_TRUE(pump_until([&] { return chooser->table_model()->rowCount() == 1; }));
  const QAbstractItemModel *model = chooser->table_model();
  ASSERT_EQ(model->columnCount(), 3);
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
  EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Public"));
  EXPECT_EQ(model->index(0, 0).data().toString(), QStringLiteral("my name"));
  EXPECT_EQ(model->index(0, 1).data().toString(), QStringLiteral("my address"));
  EXPECT_EQ(model->index(0, 2).data().toString(), QStringLiteral("my whatever"));
  save_screenshot(*chooser, QStringLiteral("sample"));

  recording_ui_callback_t ui;
  QTest::mouseClick(chooser->table()->viewport(), Qt::LeftButton, {},
                    chooser->table()->visualRect(model->index(0, 0)).center());
  QTest::keyClick(chooser->table(), Qt::Key_Return);
  EXPECT_EQ(ui.requests_of(ui_code_test_chooser_activated).size(), 1u);
}

} // namespace
