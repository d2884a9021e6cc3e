#pragma once

// A record of what the user sees, written as it happens, for the desktop
// tests (which drive the host in a real window and cannot look inside it)
// and for finding focus problems that only a real window system shows.
//
// Off unless the environment variable CORVANA_UI_TRACE names a file; the
// file is then created anew and gets one line per event:
//
//   focus <form>.<widget>   the keyboard focus moved to a widget
//   message <title>|<text>  a message box was shown
//   window <title>          a dialog or window of its own was shown
//
// and, each time Ctrl+Alt+Shift+D is pressed (the key is not passed on), a
// dump of the windows, ending with "end <n>" (n counts the dumps from 1):
//
//   dump <n>
//   active <title of the active window>
//   focus <form>.<widget>
//   box <title>|<text>                              each message box shown
//   widget <name> <x> <y> <w> <h> <enabled> <text>  each named visible widget
//                                                   of the active window (or
//                                                   of the main window shown)
//   menu <text> <x> <y> <w> <h>                     each item of a menu bar
//   grid <name> <rows> <current row> <scrolls> <current field>
//                                                   each data grid (scrolls:
//                                                   1 when it has a horizontal
//                                                   scroll bar), then
//   column <grid> <field> <x> <w>                   its visible columns
//   row <grid> <row> <y> <h>                        its first visible rows
//   cell <grid> <row> <field> <whole> <text>        their cells (whole: 1 when
//                                                   the text is shown uncut)
//   text <widget> <text>                            every text of the window
//                                                   (its title; each visible
//                                                   widget's text, tool tip,
//                                                   group title; the column
//                                                   titles and first 50 rows
//                                                   of lists and trees), the
//                                                   widget named or, without
//                                                   a name, its class
//   end <n>
//
// Positions are global screen coordinates of the widget's top-left corner;
// texts have line breaks replaced by blanks.
namespace corvana::ui {

// Installs the trace when CORVANA_UI_TRACE is set (after the QApplication
// exists); does nothing otherwise, or when called again.
void InstallUiTrace();

}  // namespace corvana::ui
