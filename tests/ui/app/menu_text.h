// Menus as text, for comparing what a user would see with one expected string.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <string>

// The titles of the menus on the window's menu bar, blank-separated.
inline std::string menu_bar_titles(QMainWindow &window)
{
  std::string out;
  for ( const QAction *item : window.menuBar()->actions() )
    out += (out.empty() ? "" : " ") + item->text().toStdString();
  return out;
}

// The items of a menu: texts joined by '|', "-" for a separator, a submenu as "Title[items]".
inline std::string menu_items(const QMenu *menu)
{
  std::string out;
  for ( const QAction *item : menu->actions() )
  {
    if ( !out.empty() )
      out += '|';
    if ( item->isSeparator() )
      out += '-';
    else
      out += item->text().toStdString();
    if ( item->menu() != nullptr )
      out += '[' + menu_items(item->menu()) + ']';
  }
  return out;
}
