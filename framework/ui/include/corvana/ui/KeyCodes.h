#pragma once

class QKeyEvent;

namespace corvana::ui {

// The codes that OnKeyPress handlers (TEdit, TDBGrid) receive for the keys
// that type no character; every other key reaches them as the character it
// types.
inline constexpr char32_t kKeyBackspace = 8;
inline constexpr char32_t kKeyEnter = 13;
inline constexpr char32_t kKeyEscape = 27;

// The code of Enter (either Enter key), Backspace or Escape; 0 for any other
// key. The modifiers held are not looked at.
char32_t ControlKeyCode(const QKeyEvent* event);

}  // namespace corvana::ui
