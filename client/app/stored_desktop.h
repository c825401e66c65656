// The client's stored desktop: the default layout, its restoring at start-up and its storing at shutdown.
#pragma once

struct desktop_config_t;
class akui_app_t;

// Where the desktop is stored: the value "main_desktop" of the key "Desktops".
inline constexpr char desktops_key[] = "Desktops";
inline constexpr char main_desktop_value[] = "main_desktop";

// Internal errors of a default desktop that does not parse or cannot be applied.
inline constexpr int INTERR_DEFAULT_DESKTOP_UNPARSED = 80008;
inline constexpr int INTERR_DEFAULT_DESKTOP_REFUSED = 80009;

// The client's default desktop: "Arkive files" and "Local files" tabs left (30 per cent) of "Worklists" and
// "Commits" tabs, "Log" below (20 per cent), maximized, the focus on "Arkive files", the seven toolbars.
extern const char default_desktop_json[];

// The stored desktop; false when there is none or it does not parse as a JSON object.
[[nodiscard]] bool read_stored_desktop(desktop_config_t *out);

// Before the main window is first shown: its geometry, menu bar and toolbars from the stored desktop. Anything
// missing or malformed leaves the window as built.
void restore_main_window_state(akui_app_t &app);

// After the login: applies the stored desktop; without one, when it is refused (the framework reports why) or
// when it placed no view at all, the default desktop. The default desktop not parsing or being refused is an
// internal error.
void restore_desktop(akui_app_t &app);

// Stores the present desktop as compact JSON text.
void store_desktop(akui_app_t &app);
