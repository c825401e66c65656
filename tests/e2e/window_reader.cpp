// The probe socket's client: one request line, one JSON line back.
#include "tests/e2e/window_reader.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

// A busy program answers when it returns to its event loop; a wait box's loop answers too.
constexpr int answer_limit_ms = 10000;

QRect rect_of(const QJsonValue &value)
{
  const QJsonArray numbers = value.toArray();
  return numbers.size() == 4 ? QRect(numbers[0].toInt(), numbers[1].toInt(), numbers[2].toInt(), numbers[3].toInt())
                             : QRect();
}

QString without_ampersands(QString text)
{
  return text.remove(QLatin1Char('&'));
}

shown_widget_t widget_of(const QJsonObject &entry)
{
  shown_widget_t widget;
  widget.kind = entry["kind"].toString();
  widget.cls = entry["class"].toString();
  widget.name = entry["name"].toString();
  widget.text = entry["text"].toString();
  widget.rect = rect_of(entry["rect"]);
  widget.enabled = entry["enabled"].toBool();
  widget.focus = entry["focus"].toBool();
  widget.checked = entry["checked"].toBool();
  widget.raw = entry;
  for ( const QJsonValue &value : entry["rows"].toArray() )
  {
    const QJsonObject row = value.toObject();
    shown_row_t shown;
    for ( const QJsonValue &text : row["texts"].toArray() )
      shown.texts.append(text.toString());
    shown.bold = row["bold"].toBool();
    shown.selected = row["selected"].toBool();
    shown.depth = row["depth"].toInt();
    shown.rect = rect_of(row["rect"]);
    widget.rows.push_back(shown);
  }
  return widget;
}

} // namespace

const shown_widget_t *shown_window_t::find(const QString &kind, const QString &text) const
{
  for ( const shown_widget_t &widget : widgets )
    if ( (kind.isEmpty() || widget.kind == kind) && without_ampersands(widget.text) == without_ampersands(text) )
      return &widget;
  return nullptr;
}

std::vector<const shown_widget_t *> shown_window_t::all(const QString &kind) const
{
  std::vector<const shown_widget_t *> found;
  for ( const shown_widget_t &widget : widgets )
    if ( widget.kind == kind )
      found.push_back(&widget);
  return found;
}

const shown_window_t *shown_screen_t::window(const QString &title) const
{
  for ( const shown_window_t &shown : windows )
    if ( shown.title == title )
      return &shown;
  return nullptr;
}

const shown_window_t *shown_screen_t::window_of_class(const QString &cls) const
{
  for ( const shown_window_t &shown : windows )
    if ( shown.cls == cls )
      return &shown;
  return nullptr;
}

std::string shown_screen_t::visible_texts() const
{
  std::string out = "keyboard focus: " + (focus.isEmpty() ? std::string("none") : focus.toStdString()) + "\n";
  for ( const shown_window_t &shown : windows )
  {
    out += "window \"" + shown.title.toStdString() + "\" (" + shown.cls.toStdString() + ")"
           + (shown.active ? " active" : "") + "\n";
    for ( const shown_widget_t &widget : shown.widgets )
    {
      out += "  " + widget.cls.toStdString() + " \"" + widget.text.left(200).toStdString() + "\"";
      if ( !widget.enabled )
        out += " disabled";
      if ( widget.focus )
        out += " focused";
      out += "\n";
      for ( const QJsonValue &item : widget.raw["items"].toArray() )
        out += "    item \"" + item.toObject()["text"].toString().toStdString() + "\"\n";
      for ( const shown_row_t &row : widget.rows )
        out += "    " + std::string(size_t(row.depth) * 2, ' ') + "row " + row.texts.join(" | ").toStdString()
               + (row.bold ? " (bold)" : "") + (row.selected ? " (selected)" : "") + "\n";
    }
  }
  return out;
}

window_reader_t::~window_reader_t()
{
  disconnect();
}

bool window_reader_t::connect_to(const std::string &path)
{
  disconnect();
  sockaddr_un address {};
  address.sun_family = AF_UNIX;
  if ( path.size() >= sizeof(address.sun_path) )
    return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if ( fd_ >= 0 && connect(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0 )
    return true;
  disconnect();
  return false;
}

void window_reader_t::disconnect()
{
  if ( fd_ >= 0 )
    close(fd_);
  fd_ = -1;
}

shown_screen_t window_reader_t::snapshot()
{
  shown_screen_t screen;
  static const char request[] = "snapshot\n";
  if ( fd_ < 0 || send(fd_, request, sizeof(request) - 1, MSG_NOSIGNAL) != ssize_t(sizeof(request) - 1) )
    return screen;
  std::string line;
  char buffer[65536];
  while ( line.empty() || line.back() != '\n' )
  {
    pollfd ready {fd_, POLLIN, 0};
    if ( poll(&ready, 1, answer_limit_ms) <= 0 )
      return screen;
    const ssize_t got = recv(fd_, buffer, sizeof(buffer), 0);
    if ( got <= 0 )
    {
      disconnect();
      return screen;
    }
    line.append(buffer, size_t(got));
  }
  const QJsonObject reply = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
  screen.focus = reply["focus"].toString();
  for ( const QJsonValue &value : reply["windows"].toArray() )
  {
    const QJsonObject entry = value.toObject();
    shown_window_t shown;
    shown.title = entry["title"].toString();
    shown.cls = entry["class"].toString();
    shown.active = entry["active"].toBool();
    shown.modal = entry["modal"].toBool();
    shown.rect = rect_of(entry["rect"]);
    for ( const QJsonValue &widget : entry["widgets"].toArray() )
      shown.widgets.push_back(widget_of(widget.toObject()));
    screen.windows.push_back(std::move(shown));
  }
  return screen;
}
