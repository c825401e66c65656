// A user at the test's X display: finds the windows another process shows, looks at the screen, and types and
// clicks into those windows through the display server's input extension, as a keyboard and a mouse would.
#pragma once

#include <QRect>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

using x_window_t = unsigned long;

// One top-level window on the screen.
struct x_window_info_t
{
  x_window_t window = 0;
  pid_t pid = 0;
  std::string title;
  QRect geometry; // in screen coordinates
};

// Holds its own connection to $DISPLAY. Every operation is a no-op (ready() false) when there is no X display
// or the server lacks the input extension.
class x_user_t
{
public:
  x_user_t();
  ~x_user_t();
  x_user_t(const x_user_t &) = delete;
  x_user_t &operator=(const x_user_t &) = delete;

  [[nodiscard]] bool ready() const;

  // The mapped top-level windows of process pid, bottom to top.
  [[nodiscard]] std::vector<x_window_info_t> windows_of(pid_t pid) const;
  // Waits until a mapped top-level window of pid that is `wanted` shows; answers it, or a record with window 0
  // when the time runs out.
  [[nodiscard]] x_window_info_t wait_for_window(pid_t pid, std::chrono::milliseconds limit,
                                                const std::function<bool(const x_window_info_t &)> &wanted) const;

  // Moves the pointer to the point of the window and presses and releases the left button there.
  void click(const x_window_info_t &window, QPoint at) const;
  // The same at a point of the screen.
  void click_at(QPoint screen_point) const;
  void double_click_at(QPoint screen_point) const;
  // Presses and releases the right button at a point of the screen (a context menu).
  void right_click_at(QPoint screen_point) const;
  // Drags with the left button from one point of the screen to another: presses at `from`, moves there in small
  // steps as a hand does, giving the program `pace` between steps to follow, rests over `to`, and releases.
  void drag(QPoint from, QPoint to, std::chrono::milliseconds pace = std::chrono::milliseconds(15)) const;
  // Types the text's printable ASCII characters one by one, with Shift where the keyboard needs it.
  void type(const std::string &text) const;
  // Presses the keys of `keys` in order and releases them in reverse order (X key symbol names: "Alt_L", "f",
  // "Return", "Escape").
  void press(const std::vector<std::string> &keys) const;

private:
  // Moves the pointer there and presses and releases the button (X button number).
  void button_click_at(QPoint screen_point, unsigned int button) const;

  struct library_t;
  library_t *x_ = nullptr;
};
