// The client's stored desktop and its default layout.
#include "client/app/stored_desktop.h"

#include "client/app/akui_app.h"
#include "core/internal_error.h"
#include "core/json_writer.h"
#include "core/registry.h"
#include "ui/desktop_layout.h"
#include "ui/docks/dock_area.h"

const char default_desktop_json[] =
  R"({"layout":{"main":{"type":"vsplit","children":[)"
  R"({"type":"hsplit","children":[{"type":"tabs","children":["Arkive files","Local files"]},)"
  R"({"type":"tabs","children":["Worklists","Commits"]}],"partitions":[30,70]},"Log"],"partitions":[80,20],)"
  R"("area_geom":{"frame_geometry":[0,0,-1,-1],"normal_geometry":[0,0,-1,-1],"screen_number":0,)"
  R"("maximized":true,"fullscreen":false,"screen_width":-1}}},"focus":"Arkive files",)"
  R"("default_toolbars":["SyncToolBar","CommitToolBar","FilesToolBar","ArkiveToolBar","WorklistToolBar",)"
  R"("ResolveToolBar","MiscToolBar"]})";

bool read_stored_desktop(desktop_config_t *out)
{
  qstring text;
  return registry_read_text(&text, main_desktop_value, desktops_key) && out->parse_json(text.c_str());
}

void restore_main_window_state(akui_app_t &app)
{
  desktop_config_t stored;
  if ( read_stored_desktop(&stored) )
    app.restore_main_window(stored);
}

void restore_desktop(akui_app_t &app)
{
  desktop_config_t stored;
  // A stored desktop that names no view the program knows would leave an empty window: the default serves
  // better.
  if ( read_stored_desktop(&stored) && app.apply_desktop(stored, 0) && app.top_level_dock_area() != nullptr
       && app.top_level_dock_area()->root() != nullptr )
    return;
  desktop_config_t fallback;
  if ( !app.default_desktop_layout(fallback) )
    interr(INTERR_DEFAULT_DESKTOP_UNPARSED);
  if ( !app.apply_desktop(fallback, 0) )
    interr(INTERR_DEFAULT_DESKTOP_REFUSED);
}

void store_desktop(akui_app_t &app)
{
  desktop_config_t current;
  qstring text;
  if ( app.save_desktop(current) && json_to_text(&text, &current.value, 0) )
    registry_write_text(main_desktop_value, desktops_key, text.c_str());
}
