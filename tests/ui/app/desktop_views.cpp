// The client's desktop as the UI suite stands it in: its default desktop and the views its factories make.
#include "tests/ui/app/desktop_views.h"

#include "ui/docks/desktop_widgets.h"

#include <QPainter>

#include <map>

const char default_desktop_text[] =
  R"({"layout":{"main":{"type":"vsplit","children":[)"
  R"({"type":"hsplit","children":[{"type":"tabs","children":["Arkive files","Local files"]},)"
  R"({"type":"tabs","children":["Worklists","Commits"]}],"partitions":[30,70]},"Log"],"partitions":[80,20],)"
  R"("area_geom":{"frame_geometry":[0,0,-1,-1],"normal_geometry":[0,0,-1,-1],"screen_number":0,)"
  R"("maximized":true,"fullscreen":false,"screen_width":-1}}},"focus":"Arkive files",)"
  R"("default_toolbars":["SyncToolBar","CommitToolBar","FilesToolBar","ArkiveToolBar","WorklistToolBar",)"
  R"("ResolveToolBar","MiscToolBar"]})";

const QStringList &default_desktop_names()
{
  static const QStringList names {QStringLiteral("Log"), QStringLiteral("Arkive files"),
                                  QStringLiteral("Local files"), QStringLiteral("Worklists"),
                                  QStringLiteral("Commits")};
  return names;
}

std::vector<QString> *desktop_test_view_t::journal = nullptr;

desktop_test_view_t::desktop_test_view_t(const QString &name)
{
  setWindowTitle(name);
  setObjectName(name);
  setFocusPolicy(Qt::StrongFocus);
  setFrameStyle(QFrame::StyledPanel);
  setMinimumSize(60, 40);
}

bool desktop_test_view_t::event(QEvent *event)
{
  if ( event->type() == IGetWidgetConfigEvent::event_type )
  {
    if ( sort != 0 )
    {
      json_member_t *member = json_object_append_member(&static_cast<IGetWidgetConfigEvent *>(event)->members);
      member->key = "sort";
      json_value_set_int(&member->value, sort);
    }
    return true;
  }
  if ( event->type() == ISetWidgetConfigEvent::event_type )
  {
    ++configured;
    const json_object_t *config = static_cast<ISetWidgetConfigEvent *>(event)->config;
    const json_value_t *value = config != nullptr ? json_object_find(config, "sort", JSON_INT) : nullptr;
    sort = value != nullptr ? int(value->u.i) : 0;
    return true;
  }
  if ( event->type() == ISaveStateEvent::event_type )
  {
    ++saves;
    if ( journal != nullptr )
      journal->push_back(QStringLiteral("save ") + windowTitle());
    return true;
  }
  if ( event->type() == QEvent::Type(2002) )
  {
    ++closings;
    if ( journal != nullptr )
      journal->push_back(QStringLiteral("close ") + windowTitle());
  }
  return QFrame::event(event);
}

void desktop_test_view_t::paintEvent(QPaintEvent *event)
{
  QFrame::paintEvent(event);
  QPainter painter(this);
  const int line = fontMetrics().height() + 4;
  painter.fillRect(rect().adjusted(1, 1, -1, -1), hasFocus() ? QColor(232, 240, 252) : palette().base().color());
  painter.setPen(palette().text().color());
  painter.drawText(8, line, windowTitle() + (sort != 0 ? QStringLiteral(" (sorted by %1)").arg(sort) : QString()));
  painter.setPen(palette().mid().color());
  for ( int row = 1; row * line + line < height(); ++row )
    painter.drawText(16, row * line + line, QStringLiteral("%1 item %2").arg(windowTitle()).arg(row));
}

namespace {

std::map<QString, int> &made()
{
  static std::map<QString, int> counts;
  return counts;
}

class view_factory_t : public title_desktop_widget_factory_t
{
public:
  explicit view_factory_t(const char *name) : title_desktop_widget_factory_t(name, 1) {}
  QWidget *create_widget(const char *name, const json_object_t *) override
  {
    ++made()[QString::fromUtf8(name)];
    return new desktop_test_view_t(QString::fromUtf8(name));
  }
};

} // namespace

int desktop_views_made(const QString &name)
{
  const auto found = made().find(name);
  return found != made().end() ? found->second : 0;
}

void register_desktop_test_factories()
{
  static view_factory_t factories[] = {view_factory_t("Log"), view_factory_t("Arkive files"),
                                       view_factory_t("Local files"), view_factory_t("Worklists"),
                                       view_factory_t("Commits")};
  static bool registered = false;
  if ( registered )
    return;
  registered = true;
  for ( view_factory_t &factory : factories )
    register_desktop_widget_factory(&factory);
}
