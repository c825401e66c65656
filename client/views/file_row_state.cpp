// File row states and the composed state icons.
#include "client/views/file_row_state.h"

#include "client/app/akui_app.h"
#include "repo/database_files.h"
#include "views/filter/item_info.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr uint32_t key_latest = 0x10;
constexpr uint32_t key_database = 0x20;
constexpr uint32_t key_resolving = 0x40;
constexpr const char *icon_folder = ":/AKUI/resources/icons/files/";

} // namespace

file_row_look_t file_row_look(const char *server_path, const arkive_file_info_t *server_record,
                              const opened_file_lookup_t &opened_file)
{
  file_row_look_t look;
  if ( server_record != nullptr )
  {
    if ( server_record->last_revision != 0 )
    {
      look.revision_text = format_revision_pair(server_record->site_revision, server_record->last_revision);
      look.latest = server_record->last_revision == server_record->site_revision;
    }
    if ( server_record->action == server_state_deleted )
    {
      look.style |= row_italic;
      look.icon_state = file_icon_deleted;
    }
    else
    {
      if ( server_record->last_revision != server_record->site_revision )
        look.style |= row_italic;
      if ( const worklist_file_t *opened = opened_file(server_record->path.c_str()); opened != nullptr )
      {
        look.style |= row_bold;
        if ( opened->site_revision != 0 && opened->site_revision != opened->last_revision )
          look.style |= row_bold | row_italic;
        look.icon_state = opened->action;
      }
    }
    look.has_icon_path = true;
    look.icon_path = server_record->path;
    return look;
  }
  look.style |= row_grey;
  if ( const worklist_file_t *opened = opened_file(server_path); opened != nullptr )
  {
    look.style |= row_bold;
    look.revision_text = format_revision_pair(opened->site_revision, opened->last_revision);
    look.icon_state = file_icon_added;
    look.has_icon_path = true;
    look.icon_path = opened->path;
  }
  return look;
}

bool describe_file_row_state(item_info_t *row, const char *server_path, const arkive_file_info_t *server_record)
{
  akui_app_t *app = akui_app();
  const file_row_look_t look
    = file_row_look(server_path, server_record, [app](const char *path) { return app->opened_file(path); });
  if ( !row->texts.empty() && !look.revision_text.empty() )
  {
    qstring name(row->texts[0].view());
    name += look.revision_text;
    row->set_text(0, name.view());
  }
  row->attributes |= look.style;
  row->icon = file_state_icon_id(look.icon_state, look.latest, look.has_icon_path ? look.icon_path.c_str() : nullptr);
  return true;
}

qstring file_state_icon_key(int state, bool latest, bool database, bool resolving)
{
  uint32_t bits = (state >= file_icon_added && state <= file_icon_edited) ? uint32_t(state) : 0;
  if ( latest )
    bits |= key_latest;
  if ( database )
    bits |= key_database;
  if ( resolving )
    bits |= key_resolving;
  char text[32];
  std::snprintf(text, sizeof(text), "__cfi__%x", unsigned(bits));
  return qstring(text);
}

QIcon file_state_icon(int state, bool latest, const char *path)
{
  akui_app_t *app = akui_app();
  const bool database = path != nullptr && is_database_path(path);
  const bool resolving = path != nullptr && app->is_resolving(path);
  const qstring key = file_state_icon_key(state, latest, database, resolving);
  if ( QIcon known = app->icon_by_name(key.c_str()); !known.isNull() )
    return known;

  std::vector<const char *> overlays;
  if ( state == file_icon_added )
    overlays.push_back("added");
  else if ( state == file_icon_deleted )
    overlays.push_back("deleted");
  else if ( state == file_icon_edited )
  {
    overlays.push_back("user_checked_out");
    if ( resolving )
      overlays.push_back("process");
  }
  if ( state != file_icon_added )
    overlays.push_back(latest ? "latest_rev" : "not_latest_rev");

  QImage image(QString(icon_folder) + (database ? "plain_zdb.svg" : "plain.svg"));
  if ( image.isNull() )
    image = QImage(28, 16, QImage::Format_ARGB32_Premultiplied);
  image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  {
    QPainter painter(&image);
    for ( const char *name : overlays )
    {
      const QImage overlay(QString(icon_folder) + name + ".svg");
      if ( !overlay.isNull() )
        painter.drawImage(QPoint(0, 0), overlay);
    }
  }
  QIcon icon(QPixmap::fromImage(image));
  (void)app->register_icon(icon, key.c_str());
  return icon;
}

int32_t file_state_icon_id(int state, bool latest, const char *path)
{
  return akui_app()->icon_id_of(file_state_icon(state, latest, path));
}
