// The X user: Xlib for the windows, the input extension's library (loaded at run time) for keys and buttons.
#include "tests/client/x_user.h"

#include <dlfcn.h>

#include <thread>

// Xlib's macros clash with Qt's names: it comes after every Qt header.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

struct x_user_t::library_t
{
  using fake_key_t = int (*)(Display *, unsigned int keycode, int is_press, unsigned long delay);
  using fake_button_t = int (*)(Display *, unsigned int button, int is_press, unsigned long delay);
  using fake_motion_t = int (*)(Display *, int screen, int x, int y, unsigned long delay);

  Display *display = nullptr;
  void *xtest = nullptr;
  fake_key_t fake_key = nullptr;
  fake_button_t fake_button = nullptr;
  fake_motion_t fake_motion = nullptr;
  Atom net_wm_pid = 0;
  Atom net_wm_name = 0;
  Atom utf8_string = 0;
};

namespace {

using namespace std::chrono_literals;

// The whole value of a window property of one format and type; empty when the window has none.
std::vector<unsigned char> read_property(Display *display, Window window, Atom property, Atom type, int *format)
{
  Atom actual_type = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char *data = nullptr;
  if ( XGetWindowProperty(display, window, property, 0, 4096, False, type, &actual_type, format, &count, &after,
                          &data) != Success
    || data == nullptr )
    return {};
  const size_t bytes = *format == 32 ? count * sizeof(long) : *format == 16 ? count * 2 : count;
  std::vector<unsigned char> value(data, data + bytes);
  XFree(data);
  return actual_type == type ? value : std::vector<unsigned char>();
}

} // namespace

x_user_t::x_user_t()
{
  auto lib = std::make_unique<library_t>();
  lib->display = XOpenDisplay(nullptr);
  lib->xtest = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
  if ( lib->display == nullptr || lib->xtest == nullptr )
  {
    if ( lib->display != nullptr )
      XCloseDisplay(lib->display);
    if ( lib->xtest != nullptr )
      dlclose(lib->xtest);
    return;
  }
  lib->fake_key = reinterpret_cast<library_t::fake_key_t>(dlsym(lib->xtest, "XTestFakeKeyEvent"));
  lib->fake_button = reinterpret_cast<library_t::fake_button_t>(dlsym(lib->xtest, "XTestFakeButtonEvent"));
  lib->fake_motion = reinterpret_cast<library_t::fake_motion_t>(dlsym(lib->xtest, "XTestFakeMotionEvent"));
  lib->net_wm_pid = XInternAtom(lib->display, "_NET_WM_PID", False);
  lib->net_wm_name = XInternAtom(lib->display, "_NET_WM_NAME", False);
  lib->utf8_string = XInternAtom(lib->display, "UTF8_STRING", False);
  x_ = lib.release();
}

x_user_t::~x_user_t()
{
  if ( x_ == nullptr )
    return;
  XCloseDisplay(x_->display);
  dlclose(x_->xtest);
  delete x_;
}

bool x_user_t::ready() const
{
  return x_ != nullptr && x_->fake_key != nullptr && x_->fake_button != nullptr && x_->fake_motion != nullptr;
}

std::vector<x_window_info_t> x_user_t::windows_of(pid_t pid) const
{
  std::vector<x_window_info_t> found;
  if ( !ready() )
    return found;
  Display *display = x_->display;
  Window root = DefaultRootWindow(display);
  Window root_out = 0;
  Window parent = 0;
  Window *children = nullptr;
  unsigned int count = 0;
  if ( XQueryTree(display, root, &root_out, &parent, &children, &count) == 0 )
    return found;
  for ( unsigned int i = 0; i < count; ++i )
  {
    XWindowAttributes attributes {};
    if ( XGetWindowAttributes(display, children[i], &attributes) == 0 || attributes.map_state != IsViewable )
      continue;
    int format = 0;
    const std::vector<unsigned char> pid_value = read_property(display, children[i], x_->net_wm_pid, XA_CARDINAL,
                                                               &format);
    if ( format != 32 || pid_value.size() < sizeof(long) || pid_t(*reinterpret_cast<const long *>(
                                                                 pid_value.data())) != pid )
      continue;
    x_window_info_t info;
    info.window = children[i];
    info.pid = pid;
    const std::vector<unsigned char> name = read_property(display, children[i], x_->net_wm_name, x_->utf8_string,
                                                          &format);
    info.title.assign(name.begin(), name.end());
    info.geometry = QRect(attributes.x, attributes.y, attributes.width, attributes.height);
    found.push_back(info);
  }
  XFree(children);
  return found;
}

x_window_info_t x_user_t::wait_for_window(pid_t pid, std::chrono::milliseconds limit,
                                          const std::function<bool(const x_window_info_t &)> &wanted) const
{
  const auto end = std::chrono::steady_clock::now() + limit;
  do
  {
    for ( const x_window_info_t &info : windows_of(pid) )
      if ( wanted(info) )
        return info;
    std::this_thread::sleep_for(10ms);
  } while ( std::chrono::steady_clock::now() < end );
  return {};
}

void x_user_t::click(const x_window_info_t &window, QPoint at) const
{
  click_at(window.geometry.topLeft() + at);
}

void x_user_t::click_at(QPoint screen_point) const
{
  button_click_at(screen_point, Button1);
}

void x_user_t::double_click_at(QPoint screen_point) const
{
  if ( !ready() )
    return;
  x_->fake_motion(x_->display, DefaultScreen(x_->display), screen_point.x(), screen_point.y(), CurrentTime);
  for ( int i = 0; i < 2; ++i )
  {
    x_->fake_button(x_->display, Button1, True, CurrentTime);
    x_->fake_button(x_->display, Button1, False, CurrentTime);
  }
  XSync(x_->display, False);
}

void x_user_t::right_click_at(QPoint screen_point) const
{
  button_click_at(screen_point, Button3);
}

void x_user_t::button_click_at(QPoint screen_point, unsigned int button) const
{
  if ( !ready() )
    return;
  x_->fake_motion(x_->display, DefaultScreen(x_->display), screen_point.x(), screen_point.y(), CurrentTime);
  x_->fake_button(x_->display, button, True, CurrentTime);
  x_->fake_button(x_->display, button, False, CurrentTime);
  XSync(x_->display, False);
}

void x_user_t::drag(QPoint from, QPoint to, std::chrono::milliseconds pace) const
{
  if ( !ready() )
    return;
  const int screen = DefaultScreen(x_->display);
  const auto move = [&](QPoint at) {
    x_->fake_motion(x_->display, screen, at.x(), at.y(), CurrentTime);
    XSync(x_->display, False);
    std::this_thread::sleep_for(pace);
  };
  move(from);
  x_->fake_button(x_->display, Button1, True, CurrentTime);
  XSync(x_->display, False);
  std::this_thread::sleep_for(pace);
  // A few pixels first, past the distance at which a drag starts, then the way to the target; the drop target
  // answers only after the pointer moved over it, so the hand rests there a moment.
  constexpr int steps = 12;
  for ( int i = 1; i <= steps; ++i )
    move(from + (to - from) * i / steps + QPoint(i == 1 ? 12 : 0, 0));
  for ( int i = 0; i < 4; ++i )
    move(to + QPoint(i % 2, 0));
  x_->fake_button(x_->display, Button1, False, CurrentTime);
  XSync(x_->display, False);
}

void x_user_t::type(const std::string &text) const
{
  if ( !ready() )
    return;
  const unsigned int shift = XKeysymToKeycode(x_->display, XK_Shift_L);
  for ( const char c : text )
  {
    if ( c < 0x20 || c > 0x7e )
      continue;
    // Latin-1 characters are their own key symbols.
    const KeySym symbol = KeySym(static_cast<unsigned char>(c));
    const KeyCode code = XKeysymToKeycode(x_->display, symbol);
    if ( code == 0 )
      continue;
    const bool shifted = XkbKeycodeToKeysym(x_->display, code, 0, 0) != symbol;
    if ( shifted )
      x_->fake_key(x_->display, shift, True, CurrentTime);
    x_->fake_key(x_->display, code, True, CurrentTime);
    x_->fake_key(x_->display, code, False, CurrentTime);
    if ( shifted )
      x_->fake_key(x_->display, shift, False, CurrentTime);
  }
  XSync(x_->display, False);
}

void x_user_t::press(const std::vector<std::string> &keys) const
{
  if ( !ready() )
    return;
  std::vector<unsigned int> codes;
  for ( const std::string &key : keys )
    codes.push_back(XKeysymToKeycode(x_->display, XStringToKeysym(key.c_str())));
  for ( unsigned int code : codes )
    x_->fake_key(x_->display, code, True, CurrentTime);
  for ( auto code = codes.rbegin(); code != codes.rend(); ++code )
    x_->fake_key(x_->display, *code, False, CurrentTime);
  XSync(x_->display, False);
}
